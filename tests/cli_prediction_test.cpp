// The batch's pricer: what it keeps of the files it reads, and that pricing from what it
// kept gives the record a prediction of its own gives.
#include "cli/cli_prediction.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/cli_output.hpp"
#include "model/species_file.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace fs = std::filesystem;

namespace {

class BatchPricer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "orvanta-pricer-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // Species 1 from a large species file (60,000 spreads) and networks for the text "1".
    species_description d;
    d.nid = 1;
    d.name = "Bulbasaur";
    std::mt19937 random(7);
    std::uniform_int_distribution<int> iv(0, 31);
    for (int k = 0; k < 60000; ++k) {
      iv_spread s;
      for (std::uint8_t &v : s) v = static_cast<std::uint8_t>(iv(random));
      d.reference_spreads.push_back(s);
    }
    std::ofstream(dir_ / species_file_name(1)) << format_species_file(&d);
    for (int k = 1; k <= 3; ++k) {
      perceptron_ptr p(create_perceptron(8, 4, 4, 1, 0.1));
      const std::string file = (dir_ / ("1_m" + std::to_string(k) + ".tp")).string();
      ASSERT_EQ(save_perceptron(p.get(), file.c_str()), 0);
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  static cli_form form_of(const std::string &nid) {
    cli_form form;
    form.texts[0] = nid;
    const char *rest[7] = {"50", "20", "21", "22", "23", "24", "26"};
    for (int i = 0; i < 7; ++i) form.texts[i + 1] = rest[i];
    return form;
  }

  // The JSON record of the form priced by the pricer and priced on its own.
  std::pair<std::string, std::string> records(batch_pricer *b, const std::string &nid) {
    const cli_form form = form_of(nid);
    const std::vector<std::string> path = {dir_.string()};
    cli_prediction batch, alone = run_prediction(&form, path, nullptr);
    price_form(b, &form, nullptr, &batch);
    std::string a, b_record;
    append_prediction(cli_format::json, true, false, 1, &form, &alone, &a);
    append_prediction(cli_format::json, true, false, 1, &form, &batch, &b_record);
    return {b_record, a};
  }

  // "1aa", "1ab", ...: distinct texts of the number 1, whose networks do not exist.
  static std::vector<std::string> hostile_texts(int count) {
    std::vector<std::string> texts;
    for (char a = 'a'; a <= 'z'; ++a)
      for (char b = 'a'; b <= 'z'; ++b)
        if (static_cast<int>(texts.size()) < count) texts.push_back(std::string("1") + a + b);
    return texts;
  }

  fs::path dir_;
};

}  // namespace

TEST_F(BatchPricer, DistinctTextsOfOneNumberShareItsSpeciesFile) {
  const batch_pricer_ptr b(create_batch_pricer({dir_.string()}, true, false));
  ASSERT_NE(b, nullptr);
  const auto [first, alone] = records(b.get(), "1");
  EXPECT_EQ(first, alone);
  EXPECT_NE(first.find("\"status\":0"), std::string::npos);
  const std::size_t one_species = batch_pricer_kept_bytes(b.get());
  EXPECT_GT(one_species, 60000U * 6U);  // the spreads are counted
  const std::vector<std::string> texts = hostile_texts(300);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i < 3) {
      const auto [record, expected] = records(b.get(), texts[i]);
      ASSERT_EQ(record, expected) << texts[i];
    } else {
      const cli_form form = form_of(texts[i]);
      cli_prediction p;
      price_form(b.get(), &form, nullptr, &p);
      ASSERT_EQ(p.status, PREDICTION_FAILED) << texts[i];  // no networks of that name
    }
  }
  // 300 more texts cost far less than one more copy of the species file would.
  EXPECT_LT(batch_pricer_kept_bytes(b.get()) - one_species, one_species / 2);
}

TEST_F(BatchPricer, BeyondItsLimitEachRowIsPricedOnItsOwn) {
  // A limit the first species already fills: every later text is priced without being
  // kept, and answers exactly as when it is kept.
  const batch_pricer_ptr b(create_batch_pricer({dir_.string()}, true, false, 1));
  ASSERT_NE(b, nullptr);
  for (const char *text : {"1", "01", "1aa", "1"}) {
    const auto [record, expected] = records(b.get(), text);
    EXPECT_EQ(record, expected) << text;
  }
  const std::size_t kept = batch_pricer_kept_bytes(b.get());
  records(b.get(), "1ac");
  EXPECT_EQ(batch_pricer_kept_bytes(b.get()), kept);
}
