// Many predictions in one process, as a window left open all day makes them, across
// every status: the memory the process holds stays flat. Under AddressSanitizer the run
// is shorter and the leak checker at exit does the work (its allocator keeps freed memory
// in quarantine, so resident memory says nothing there).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/model_orvanta.hpp"
#include "reliability_networks.hpp"
#include "view/view_texts.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define ORVANTA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANTA_UNDER_ASAN 1
#endif
#endif

namespace {

namespace fs = std::filesystem;

#ifdef ORVANTA_UNDER_ASAN
constexpr int total_predictions = 20000;
#else
constexpr int total_predictions = 100000;
#endif
constexpr int warm_up_predictions = 1000;
// Peak resident memory may grow by this much between the warm-up and the end of the run.
constexpr long allowed_growth_kib = 2048;

// The process's peak resident memory (VmHWM) in KiB, or -1 when it cannot be read.
long peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

using iv_texts = std::array<std::string, 6>;

// Six IVs from 0 to 32 that are neither all 9 or less nor all equal: a spread the
// networks price.
iv_texts priced_spread(std::mt19937 &random) {
  std::uniform_int_distribution<int> iv(0, 32);
  for (;;) {
    std::array<int, 6> v;
    for (int &x : v) x = iv(random);
    bool all_low = true, all_equal = true;
    for (int x : v) {
      all_low = all_low && x <= 9;
      all_equal = all_equal && x == v[0];
    }
    if (all_low || all_equal) continue;
    iv_texts texts;
    for (int k = 0; k < 6; ++k) texts[k] = std::to_string(v[k]);
    return texts;
  }
}

struct soak_case {
  const char *nid;
  const char *lvl;
  std::optional<iv_texts> ivs;  // none: a fresh priced spread at every use
  int status;
};

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvanta-soak-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(write_reliability_networks(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string dir_;
};

TEST_F(Soak, HundredThousandPredictionsKeepMemoryFlat) {
  const std::nullopt_t fresh = std::nullopt;
  const iv_texts fire = {"31", "30", "31", "30", "31", "30"};
  const std::vector<soak_case> cases = {
      {"58", "50", fresh, PREDICTION_DONE},
      {"058", "100", fresh, PREDICTION_DONE},
      {"120", "0", fresh, PREDICTION_DONE},
      {"123", "7", fresh, PREDICTION_DONE},
      {"133", "50", fire, PREDICTION_DONE},  // Hidden Power addition
      {"133", "50", fresh, PREDICTION_DONE},
      {missing_network_text, "50", fresh, PREDICTION_FAILED},
      {damaged_network_text, "50", fresh, PREDICTION_FAILED},
      {misshapen_network_text, "50", fresh, PREDICTION_FAILED},
      {"58x", "50", fresh, PREDICTION_FAILED},  // species 58, but no such file
      {"86", "50", fresh, PREDICTION_NOT_PRICED},
      {"", "", iv_texts{}, PREDICTION_NOT_PRICED},
      {"58", "101", fresh, PREDICTION_BAD_LEVEL},
      {"212", "-1", fresh, PREDICTION_BAD_LEVEL},
      {"121", "50", iv_texts{"31", "31", "33", "31", "31", "31"}, PREDICTION_BAD_IVS},
      {"59", "50", iv_texts{"-1", "20", "20", "20", "20", "20"}, PREDICTION_BAD_IVS},
      {"133", "50", iv_texts{"31", "31", "31", "31", "31", "31"}, PREDICTION_SPECIAL_PRICE},
      {"123", "50", iv_texts{"1", "2", "3", "4", "5", "6"}, PREDICTION_SPECIAL_PRICE},
  };

  std::mt19937 random(8);
  app_model *model = create_app_model();
  ASSERT_NE(model, nullptr);
  view_texts shown;
  std::array<long, 6> by_status{};
  long peak_after_warm_up = -1;
  for (int n = 0; n < total_predictions; ++n) {
    const soak_case &c = cases[static_cast<std::size_t>(n) % cases.size()];
    const iv_texts ivs = c.ivs.has_value() ? *c.ivs : priced_spread(random);
    const int is_shiny = (n / static_cast<int>(cases.size())) % 2;
    const int status =
        predict_price(model, is_shiny, c.nid, c.lvl, ivs[0].c_str(), ivs[1].c_str(), ivs[2].c_str(),
                      ivs[3].c_str(), ivs[4].c_str(), ivs[5].c_str(), dir_.c_str(), nullptr);
    // A shiny Pokemon has no fixed price: both fixed-price cases have usable networks.
    const int expected =
        is_shiny != 0 && c.status == PREDICTION_SPECIAL_PRICE ? PREDICTION_DONE : c.status;
    ASSERT_EQ(status, expected) << "prediction " << n << " of National ID \"" << c.nid << "\"";
    ++by_status[static_cast<std::size_t>(status)];
    shown = compose_view_texts(model, status, std::move(shown));
    if (n + 1 == warm_up_predictions) peak_after_warm_up = peak_resident_kib();
  }
  const long peak_at_end = peak_resident_kib();
  free_app_model(model);

  for (int status = 0; status < 6; ++status) EXPECT_GT(by_status[status], 0) << status;
  std::printf("peak resident memory: %ld KiB after %d predictions, %ld KiB after %d\n",
              peak_after_warm_up, warm_up_predictions, peak_at_end, total_predictions);
  RecordProperty("peak_kib_after_warm_up", std::to_string(peak_after_warm_up));
  RecordProperty("peak_kib_at_end", std::to_string(peak_at_end));
  ASSERT_GT(peak_after_warm_up, 0);
  ASSERT_GT(peak_at_end, 0);
#ifndef ORVANTA_UNDER_ASAN
  EXPECT_LT(peak_at_end - peak_after_warm_up, allowed_growth_kib);
#endif
}

}  // namespace
