#include "model/model_orvanta.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/price_tiers.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace fs = std::filesystem;

namespace {

struct model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};
using model_ptr = std::unique_ptr<app_model, model_deleter>;

// Sigmoid outputs of the output biases used below (hidden and output weights are 0, so an
// output is exactly sigmoid(its bias)). Biases have six decimals, so the model file keeps
// them exactly.
constexpr double high = 4.0;           // 0.982...
constexpr double low = -4.0;           // 0.017...
constexpr double half = 0.0;           // 0.5 exactly
constexpr double below_09 = 2.197224;  // 0.89999994...
constexpr double above_09 = 2.197225;  // 0.90000003...

// A test network: one hidden node, every weight 0 except an optional probe.
struct net {
  std::vector<double> o_bias = {half, half, half, half};  // one per output
  std::uint32_t inputs = 8;
  // Probe: hidden node reads input line probe_line with probe_weight, output 0 reads the
  // hidden node with weight probe_out.
  int probe_line = -1;
  double probe_weight = 0.0;
  double probe_out = 0.0;
  // Weights of 1.79e308 and -1.79e308 on HP and Atk: with both IVs 32 the two products
  // overflow to +inf and -inf and their sum is NaN.
  bool poisoned = false;
};

void write_net(const fs::path &file, const net &n) {
  const auto outputs = static_cast<std::uint32_t>(n.o_bias.size());
  perceptron_ptr p(create_perceptron(n.inputs, 1, outputs, 1, 0.1));
  ASSERT_NE(p, nullptr);
  matrix *hidden = get_hl_weights(p.get())[0];
  for (std::uint32_t j = 0; j < n.inputs; ++j) set_element(hidden, 0, j, 0.0);
  for (std::uint32_t r = 0; r < outputs; ++r) {
    set_element(get_o_weights(p.get()), r, 0, 0.0);
    set_element(get_o_bias(p.get()), r, 0, n.o_bias[r]);
  }
  if (n.probe_line >= 0) {
    set_element(hidden, 0, static_cast<std::uint32_t>(n.probe_line), n.probe_weight);
    set_element(get_o_weights(p.get()), 0, 0, n.probe_out);
  }
  if (n.poisoned) {
    set_element(hidden, 0, 1, 1.79e308);
    set_element(hidden, 0, 2, -1.79e308);
  }
  ASSERT_EQ(save_perceptron(p.get(), file.string().c_str()), 0);
}

std::uint32_t price(double scale, double bias) {
  return static_cast<std::uint32_t>(scale * sigmoid(bias));
}

class PredictPrice : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "orvanta-model-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    model_.reset(create_app_model());
    ASSERT_NE(model_, nullptr);
    diagnostics_ = std::tmpfile();
    ASSERT_NE(diagnostics_, nullptr);
  }
  void TearDown() override {
    if (diagnostics_ != nullptr) std::fclose(diagnostics_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void write_species(const std::string &nid_text, const net &n1, const net &n2, const net &n3) {
    write_net(dir_ / (nid_text + "_m1.tp"), n1);
    write_net(dir_ / (nid_text + "_m2.tp"), n2);
    write_net(dir_ / (nid_text + "_m3.tp"), n3);
  }

  int run(const char *nid, const char *lvl, std::array<const char *, 6> ivs, int shiny = 0) {
    return predict_price(model_.get(), shiny, nid, lvl, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4],
                         ivs[5], dir_.string().c_str(), diagnostics_);
  }
  // An ordinary spread: not special, and not in any group's reference set.
  int run(const char *nid) { return run(nid, "50", {"20", "21", "22", "23", "24", "25"}); }

  std::string diagnostics() {
    std::fflush(diagnostics_);
    std::rewind(diagnostics_);
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, diagnostics_)) > 0) text.append(buffer, n);
    return text;
  }

  void expect_prices(std::uint32_t first, std::uint32_t second, std::uint32_t third) {
    EXPECT_EQ(get_first_prediction(model_.get()), first);
    EXPECT_EQ(get_second_prediction(model_.get()), second);
    EXPECT_EQ(get_third_prediction(model_.get()), third);
  }

  // Marks every figure, so a test can see which ones a call wrote.
  void mark_figures() {
    app_model *m = model_.get();
    m->first_prediction = m->second_prediction = m->third_prediction = 7;
    m->average_prediction = m->lowest_price = m->highest_price = 7;
    m->hidden_power_power = m->hidden_power_base_price = 7;
  }
  // The Hidden Power figures are written before the networks run, so a failure there can
  // leave them changed; prices_only skips them.
  void expect_figures_marked(bool prices_only = false) {
    const app_model *m = model_.get();
    for (std::uint32_t v : {m->first_prediction, m->second_prediction, m->third_prediction,
                            m->average_prediction, m->lowest_price, m->highest_price}) {
      EXPECT_EQ(v, 7U);
    }
    if (prices_only) return;
    EXPECT_EQ(m->hidden_power_power, 7U);
    EXPECT_EQ(m->hidden_power_base_price, 7U);
  }

  fs::path dir_;
  model_ptr model_;
  std::FILE *diagnostics_ = nullptr;
};

net outputs(double o0, double o1, double o2, double o3) {
  net n;
  n.o_bias = {o0, o1, o2, o3};
  return n;
}

}  // namespace

// *** Price tiers ***

TEST(ChoosePriceTier, ExactlyPointNineDoesNotLift) {
  const std::array<double, 4> at = {0.9, 0.9, 0.9, 0.5};
  EXPECT_EQ(choose_price_tier(at, at, at).line, 0U);
  const double just_above = std::nextafter(0.9, 1.0);
  const std::array<double, 4> above = {just_above, 0.9, 0.9, 0.5};
  EXPECT_EQ(choose_price_tier(at, above, at).line, 1U);
  EXPECT_EQ(choose_price_tier(at, above, at).scale, 1200000.0);
}

TEST(ChoosePriceTier, HigherThresholdCountsOnlyWhenLowerOnesHold) {
  const std::array<double, 4> o1 = {0.95, 0.2, 0.1, 0.4};
  const std::array<double, 4> o2 = {0.3, 0.92, 0.1, 0.5};
  const std::array<double, 4> o3 = {0.1, 0.1, 0.1, 0.6};
  EXPECT_EQ(choose_price_tier(o1, o2, o3).line, 2U);
  EXPECT_EQ(choose_price_tier(o1, o2, o3).scale, 120000000.0);
  // any(0) and any(2) without any(1): one tier only.
  const std::array<double, 4> skip = {0.95, 0.1, 0.95, 0.1};
  EXPECT_EQ(choose_price_tier(skip, o3, o3).line, 1U);
  // any(1) and any(2) without any(0): the lowest tier.
  const std::array<double, 4> no_first = {0.1, 0.95, 0.95, 0.1};
  EXPECT_EQ(choose_price_tier(no_first, o3, o3).line, 0U);
  const std::array<double, 4> all = {0.95, 0.95, 0.95, 0.1};
  EXPECT_EQ(choose_price_tier(o3, o3, all).line, 3U);
  EXPECT_EQ(choose_price_tier(o3, o3, all).scale, 1200000000.0);
}

TEST(ChoosePriceTier, TableGrowsByTenHundredTen) {
  ASSERT_EQ(price_tiers.size(), 4U);
  const double scales[4] = {120000.0, 1200000.0, 120000000.0, 1200000000.0};
  for (std::uint32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(price_tiers[k].line, k);
    EXPECT_EQ(price_tiers[k].scale, scales[k]);
  }
}

// *** The input column ***

TEST(CreateMatrixInputs, ShinyFlagThenIvsOverThirtyOneThenZeros) {
  matrix_ptr in(create_matrix_inputs(10, 1, 31, 0, 62, 1, 32, 15));
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(get_lines(in.get()), 10U);
  ASSERT_EQ(get_columns(in.get()), 1U);
  const double expected[10] = {1.0,         1.0,         0.0, 2.0, 1.0 / 31.0,
                               32.0 / 31.0, 15.0 / 31.0, 0.0, 0.0, 0.0};
  for (std::uint32_t r = 0; r < 10; ++r) EXPECT_EQ(get_element(in.get(), r, 0), expected[r]) << r;
}

TEST(CreateMatrixInputs, ZeroLinesIsNullAndShortColumnsGetOnlyTheirLines) {
  EXPECT_EQ(create_matrix_inputs(0, 1, 1, 1, 1, 1, 1, 1), nullptr);
  matrix_ptr in(create_matrix_inputs(3, 1, 31, 62, 31, 31, 31, 31));
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(get_lines(in.get()), 3U);
  EXPECT_EQ(get_element(in.get(), 2, 0), 2.0);
}

// *** The pipeline: statuses and validation order ***

TEST_F(PredictPrice, NullModelOrTextFails) {
  EXPECT_EQ(predict_price(nullptr, 0, "58", "50", "20", "21", "22", "23", "24", "25",
                          dir_.string().c_str(), diagnostics_),
            PREDICTION_FAILED);
  EXPECT_EQ(predict_price(model_.get(), 0, "58", nullptr, "20", "21", "22", "23", "24", "25",
                          dir_.string().c_str(), diagnostics_),
            PREDICTION_FAILED);
}

TEST_F(PredictPrice, EmptyFormIsUnknownSpecies) {
  EXPECT_EQ(run("", "", {"", "", "", "", "", ""}), PREDICTION_NOT_PRICED);
}

TEST_F(PredictPrice, ValidationOrderIsSpeciesLevelIvsSpecial) {
  write_species("58", net{}, net{}, net{});
  mark_figures();
  EXPECT_EQ(run("1", "200", {"20", "21", "22", "23", "24", "25"}), PREDICTION_NOT_PRICED);
  EXPECT_EQ(run("86", "50", {"20", "21", "22", "23", "24", "25"}), PREDICTION_NOT_PRICED);
  EXPECT_EQ(run("-58", "50", {"20", "21", "22", "23", "24", "25"}), PREDICTION_NOT_PRICED);
  EXPECT_EQ(run("58", "101", {"40", "21", "22", "23", "24", "25"}), PREDICTION_BAD_LEVEL);
  EXPECT_EQ(run("58", "-1", {"20", "21", "22", "23", "24", "25"}), PREDICTION_BAD_LEVEL);
  EXPECT_EQ(run("58", "101", {"5", "5", "5", "5", "5", "5"}), PREDICTION_BAD_LEVEL);
  EXPECT_EQ(run("58", "50", {"0", "0", "0", "0", "0", "40"}), PREDICTION_BAD_IVS);
  EXPECT_EQ(run("58", "50", {"20", "21", "22", "23", "24", "33"}), PREDICTION_BAD_IVS);
  EXPECT_EQ(run("58", "50", {"-1", "21", "22", "23", "24", "25"}), PREDICTION_BAD_IVS);
  expect_figures_marked();
  EXPECT_EQ(diagnostics(), "");

  EXPECT_EQ(run("58", "100", {"20", "21", "22", "23", "24", "25"}), PREDICTION_DONE);
  EXPECT_EQ(run("58", "0", {"20", "21", "22", "23", "24", "25"}), PREDICTION_DONE);
  EXPECT_EQ(run("58", "abc", {"20", "21", "22", "23", "24", "25"}), PREDICTION_DONE);
  EXPECT_EQ(run("58", "50", {"32", "21", "22", "23", "24", "25"}), PREDICTION_DONE);
}

TEST_F(PredictPrice, SpecialSpreadsEndWithoutOpeningANetwork) {
  // No network file exists at all.
  struct special {
    std::array<const char *, 6> ivs;
    const char *hidden_power;
  };
  const special cases[] = {
      {{"31", "31", "31", "31", "31", "31"}, "Hidden Power:  Dark"},
      {{"1", "2", "3", "4", "5", "6"}, "Hidden Power:  Fire"},
      {{"5", "5", "5", "5", "5", "5"}, "Hidden Power:  Dark"},
      {{"32", "32", "32", "32", "32", "32"}, "Hidden Power:  Fighting"},
  };
  mark_figures();
  for (const special &c : cases) {
    EXPECT_EQ(run("58", "50", c.ivs), PREDICTION_SPECIAL_PRICE);
    ASSERT_NE(get_hidden_power(model_.get()), nullptr);
    EXPECT_STREQ(get_hidden_power(model_.get()), c.hidden_power);
    EXPECT_NE(get_special_price(model_.get()), nullptr);
  }
  EXPECT_STREQ(get_special_price(model_.get()),
               "The price for an all IVs the same Growlithe \nis around 3m");
  expect_figures_marked();
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(PredictPrice, MissingOrDamagedNetworkFailsAndChangesNoFigure) {
  mark_figures();
  EXPECT_EQ(run("58"), PREDICTION_FAILED);  // no file at all
  write_net(dir_ / "58_m1.tp", net{});
  write_net(dir_ / "58_m3.tp", net{});
  EXPECT_EQ(run("58"), PREDICTION_FAILED);  // _m2 missing; _m1 is released (leak check)
  std::FILE *f = std::fopen((dir_ / "58_m2.tp").string().c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("number_of_inputs 8\nnumber_of_hidden_layers_nodes\n", f);
  std::fclose(f);
  EXPECT_EQ(run("58"), PREDICTION_FAILED);  // malformed _m2
  expect_figures_marked();
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(PredictPrice, NotANumberOutputNeverBecomesAPrice) {
  net poisoned;
  poisoned.poisoned = true;
  write_species("58", net{}, poisoned, net{});
  mark_figures();
  // HP and Atk 32 make the poisoned network's hidden sum inf + -inf.
  EXPECT_EQ(run("58", "50", {"32", "32", "22", "23", "24", "25"}), PREDICTION_FAILED);
  expect_figures_marked(true);
  EXPECT_EQ(diagnostics(), "");
  // The same files with smaller IVs give finite outputs.
  EXPECT_EQ(run("58", "50", {"31", "30", "22", "23", "24", "25"}), PREDICTION_DONE);
}

TEST_F(PredictPrice, UnusableShapesFail) {
  net seven;
  seven.inputs = 7;
  net three_outputs = outputs(half, half, half, half);
  three_outputs.o_bias.pop_back();
  net nine;
  nine.inputs = 9;

  write_species("58", seven, seven, seven);
  EXPECT_EQ(run("58"), PREDICTION_FAILED);
  write_species("58", net{}, three_outputs, net{});
  EXPECT_EQ(run("58"), PREDICTION_FAILED);
  write_species("58", net{}, nine, net{});
  EXPECT_EQ(run("58"), PREDICTION_FAILED);
  write_species("58", nine, net{}, net{});
  EXPECT_EQ(run("58"), PREDICTION_FAILED);
  EXPECT_EQ(diagnostics(), "");
}

TEST_F(PredictPrice, WiderNetworksAgreeingOnNineInputsWork) {
  // A large weight on input line 8 would lift output 0 above 0.9 unless that line is 0.
  net nine;
  nine.inputs = 9;
  nine.probe_line = 8;
  nine.probe_weight = 1000.0;
  nine.probe_out = 10.0;
  nine.o_bias = {-5.0, half, half, half, half};  // and a fifth output, never read
  write_species("58", nine, nine, nine);
  EXPECT_EQ(run("58"), PREDICTION_DONE);
  // Hidden node sigmoid(0) = 0.5, so output 0 is sigmoid(10 * 0.5 - 5) = 0.5.
  expect_prices(60000, 60000, 60000);
}

// *** The pipeline: prices ***

TEST_F(PredictPrice, EveryTierReadsItsOwnLineFromEachNetwork) {
  struct tier_case {
    std::array<double, 3> line0, line1, line2;
    std::uint32_t row;
    double scale;
  };
  const tier_case cases[] = {
      {{low, low, low}, {high, high, high}, {high, high, high}, 0, 120000.0},
      {{low, high, low}, {low, low, low}, {high, high, high}, 1, 1200000.0},
      {{high, low, low}, {low, low, high}, {low, low, low}, 2, 120000000.0},
      {{low, low, high}, {high, low, low}, {low, high, low}, 3, 1200000000.0},
  };
  const std::array<double, 3> line3 = {1.0, -1.0, 0.5};
  for (const tier_case &c : cases) {
    std::array<net, 3> n;
    for (std::size_t k = 0; k < 3; ++k)
      n[k] = outputs(c.line0[k], c.line1[k], c.line2[k], line3[k]);
    write_species("58", n[0], n[1], n[2]);
    ASSERT_EQ(run("58"), PREDICTION_DONE) << c.row;
    std::array<std::uint32_t, 3> expected{};
    for (std::size_t k = 0; k < 3; ++k) {
      const std::array<double, 4> biases = {c.line0[k], c.line1[k], c.line2[k], line3[k]};
      expected[k] = price(c.scale, biases[c.row]);
    }
    expect_prices(expected[0], expected[1], expected[2]);
    const std::uint32_t average = (expected[0] + expected[1] + expected[2]) / 3U;
    EXPECT_EQ(get_average_prediction(model_.get()), average) << c.row;
  }
}

TEST_F(PredictPrice, ThresholdExample) {
  // o1 = (0.95, 0.2, 0.1, 0.4), o2 = (0.3, 0.92, 0.1, 0.5), o3 = (0.1, 0.1, 0.1, 0.6).
  write_species("58", outputs(2.944439, -1.386294, -2.197224, -0.405465),
                outputs(-0.847298, 2.442347, -2.197224, 0.0),
                outputs(-2.197224, -2.197224, -2.197224, 0.405465));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  const std::uint32_t expected = price(120000000.0, -2.197224);
  expect_prices(expected, expected, expected);
  EXPECT_NEAR(expected, 12000000.0, 10.0);
}

TEST_F(PredictPrice, OutputsJustBelowAndJustAbovePointNine) {
  ASSERT_LT(sigmoid(below_09), 0.9);
  ASSERT_GT(sigmoid(above_09), 0.9);
  write_species("58", outputs(below_09, half, half, half), outputs(below_09, half, half, half),
                outputs(below_09, half, half, half));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  const std::uint32_t lowest_tier = price(120000.0, below_09);
  expect_prices(lowest_tier, lowest_tier, lowest_tier);

  write_species("58", outputs(below_09, half, half, half), outputs(below_09, half, half, half),
                outputs(above_09, half, half, half));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  expect_prices(600000, 600000, 600000);
}

TEST_F(PredictPrice, AverageIsTruncatedAndRangeIsTenPercentEitherSide) {
  ASSERT_EQ(price(120000.0, 1.609468), 100000U);
  ASSERT_EQ(price(120000.0, 1.609588), 100002U);
  write_species("58", outputs(1.609468, half, half, half), outputs(1.609468, half, half, half),
                outputs(1.609588, half, half, half));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  expect_prices(100000, 100000, 100002);
  EXPECT_EQ(get_average_prediction(model_.get()), 100000U);
  EXPECT_EQ(get_lowest_price(model_.get()), 90000U);
  EXPECT_EQ(get_highest_price(model_.get()), 110000U);

  ASSERT_EQ(price(1200000.0, -2.165613), 123457U);
  const net n = outputs(high, -2.165613, half, half);
  write_species("58", n, n, n);
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  EXPECT_EQ(get_average_prediction(model_.get()), 123457U);
  EXPECT_EQ(get_lowest_price(model_.get()), 111111U);
  EXPECT_EQ(get_highest_price(model_.get()), 135802U);
  EXPECT_STREQ(get_in_range_message(model_.get()),
               "The results are probably not good, \nbecause of the limited amount of data. "
               "\nIf you believe this is true, \nconsider informing us if you want to help "
               "\nwith data collection.");
}

TEST_F(PredictPrice, ShinyFlagAndSpdReachTheirInputLines) {
  net shiny_probe;
  shiny_probe.probe_line = 0;
  shiny_probe.probe_weight = 3.0;
  shiny_probe.probe_out = 1.0;
  write_species("58", shiny_probe, shiny_probe, shiny_probe);
  ASSERT_EQ(run("58", "50", {"20", "21", "22", "23", "24", "25"}, 0), PREDICTION_DONE);
  const std::uint32_t plain = price(120000.0, sigmoid(0.0));
  expect_prices(plain, plain, plain);
  ASSERT_EQ(run("58", "50", {"20", "21", "22", "23", "24", "25"}, 1), PREDICTION_DONE);
  const std::uint32_t shiny = price(120000.0, sigmoid(3.0));
  expect_prices(shiny, shiny, shiny);
  EXPECT_NE(plain, shiny);

  net spd_probe;
  spd_probe.probe_line = 6;
  spd_probe.probe_weight = 31.0;
  spd_probe.probe_out = 1.0;
  write_species("58", spd_probe, spd_probe, spd_probe);
  ASSERT_EQ(run("58", "50", {"20", "21", "22", "23", "24", "25"}), PREDICTION_DONE);
  const std::uint32_t spd = price(120000.0, sigmoid(31.0 * (25.0 / 31.0)));
  expect_prices(spd, spd, spd);
}

// *** The pipeline: Hidden Power ***

TEST_F(PredictPrice, StarmieWithFireEarnsTheAddition) {
  write_species("121", net{}, net{}, net{});
  ASSERT_EQ(run("121", "50", {"31", "30", "31", "30", "31", "30"}), PREDICTION_DONE);
  EXPECT_STREQ(get_hidden_power(model_.get()), "Hidden Power:  Fire");
  EXPECT_EQ(get_hidden_power_power(model_.get()), 70U);
  EXPECT_EQ(get_hidden_power_base_price(model_.get()), 500000U);

  // Ice does not qualify: the power drops to 0, the base price stays as it was.
  ASSERT_EQ(run("121", "50", {"30", "31", "30", "31", "31", "31"}), PREDICTION_DONE);
  EXPECT_STREQ(get_hidden_power(model_.get()), "Hidden Power:  Ice");
  EXPECT_EQ(get_hidden_power_power(model_.get()), 0U);
  EXPECT_EQ(get_hidden_power_base_price(model_.get()), 500000U);
}

TEST_F(PredictPrice, ScizorNeverEarnsTheAddition) {
  write_species("212", net{}, net{}, net{});
  std::uint32_t types_seen = 0;
  // Every weighted sum S of the lowest bits, so every type 0 to 15 comes up; all IVs 20+
  // so no spread is special.
  for (std::uint32_t s = 0; s < 64; ++s) {
    const std::string hp = std::to_string(20 + (s & 1U)),
                      atk = std::to_string(20 + ((s >> 1) & 1U)),
                      def = std::to_string(22 + ((s >> 2) & 1U)),
                      spd = std::to_string(24 + ((s >> 3) & 1U)),
                      sp_atk = std::to_string(26 + ((s >> 4) & 1U)),
                      sp_def = std::to_string(28 + ((s >> 5) & 1U));
    ASSERT_EQ(
        run("212", "50",
            {hp.c_str(), atk.c_str(), def.c_str(), sp_atk.c_str(), sp_def.c_str(), spd.c_str()}),
        PREDICTION_DONE);
    EXPECT_EQ(get_hidden_power_power(model_.get()), 0U) << s;
    EXPECT_EQ(get_hidden_power_base_price(model_.get()), 0U);
    types_seen |= 1U << (15U * s / 63U);
  }
  EXPECT_EQ(types_seen, 0xFFFFU);
}

// *** The pipeline: texts as typed ***

TEST_F(PredictPrice, NationalIdTextNamesTheFiles) {
  write_species("058", outputs(low, half, half, half), outputs(low, half, half, half),
                outputs(low, half, half, half));
  write_species("58", outputs(high, half, half, half), outputs(high, half, half, half),
                outputs(high, half, half, half));
  ASSERT_EQ(run("058"), PREDICTION_DONE);
  expect_prices(price(120000.0, low), price(120000.0, low), price(120000.0, low));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  expect_prices(600000, 600000, 600000);

  // "58x" is Growlithe for the lookup but names no stored network.
  EXPECT_EQ(run("58x"), PREDICTION_FAILED);
  EXPECT_EQ(run("58x", "50", {"31", "31", "31", "31", "31", "31"}), PREDICTION_SPECIAL_PRICE);
}

TEST_F(PredictPrice, NumbersAreReadAsAtoiReadsThem) {
  // Each IV text reads as 7: all equal and 9 or less.
  EXPECT_EQ(run("58", " \t+100", {"7", " 7", "\n7", "+7", "7abc", "007"}),
            PREDICTION_SPECIAL_PRICE);
  EXPECT_STREQ(get_special_price(model_.get()),
               "The price for an epic fail and all IVs \nthe same Growlithe is around 3m - 4m");
  // A sign without digits, or digits after a blank, read as 0.
  EXPECT_EQ(run("58", "50", {"- 7", "0x7", "7", "7", "7", "7"}), PREDICTION_SPECIAL_PRICE);
  EXPECT_STREQ(get_special_price(model_.get()),
               "The price for an epic fail Growlithe \nis around 100k");
}

TEST_F(PredictPrice, NumbersBeyondThirtyTwoBitsSaturate) {
  // 2^32 + 58, 2^32 + 100 and 2^32 + 30 would wrap to valid values; they saturate instead.
  EXPECT_EQ(run("4294967354", "50", {"20", "21", "22", "23", "24", "25"}), PREDICTION_NOT_PRICED);
  EXPECT_EQ(run("58", "4294967396", {"20", "21", "22", "23", "24", "25"}), PREDICTION_BAD_LEVEL);
  EXPECT_EQ(run("58", "50", {"20", "21", "22", "23", "24", "4294967326"}), PREDICTION_BAD_IVS);
  EXPECT_EQ(run("58", "-4294967296", {"20", "21", "22", "23", "24", "25"}), PREDICTION_BAD_LEVEL);
  EXPECT_EQ(run("58", "50", {"99999999999999999999999999", "21", "22", "23", "24", "25"}),
            PREDICTION_BAD_IVS);
}

// *** The pipeline: diagnostics ***

// The block of networks whose outputs are (half, half, half, half), (high, low, half, 1.0)
// and (low, high, half, -1.0): the means first, then each network.
const std::string half_high_low_block =
    "\n0.500000\n0.500000\n0.500000\n0.500000\n"
    "\n0.500000\n0.500000\n0.500000\n0.500000\n"
    "\n0.982014\n0.017986\n0.500000\n0.731059\n"
    "\n0.017986\n0.982014\n0.500000\n0.268941\n"
    "\n\n";

TEST_F(PredictPrice, DiagnosticBlockListsMeansThenEachNetwork) {
  write_species("58", outputs(half, half, half, half), outputs(high, low, half, 1.0),
                outputs(low, high, half, -1.0));
  ASSERT_EQ(run("58"), PREDICTION_DONE);
  EXPECT_EQ(diagnostics(), half_high_low_block);
}

TEST_F(PredictPrice, DiagnosticsCanBeDroppedOrGoToStandardOutput) {
  write_species("58", net{}, net{}, net{});
  EXPECT_EQ(predict_price(model_.get(), 0, "58", "50", "20", "21", "22", "23", "24", "25",
                          dir_.string().c_str(), nullptr),
            PREDICTION_DONE);
  expect_prices(60000, 60000, 60000);

  testing::internal::CaptureStdout();
  const int status = predict_price(model_.get(), 0, "58", "50", "20", "21", "22", "23", "24", "25",
                                   dir_.string().c_str());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, PREDICTION_DONE);
  std::string block;
  for (int group = 0; group < 4; ++group) block += "\n0.500000\n0.500000\n0.500000\n0.500000\n";
  EXPECT_EQ(out, block + "\n\n");
}

TEST_F(PredictPrice, DefaultFolderIsPtpBelowTheWorkingDirectory) {
  fs::create_directory(dir_ / "ptp");
  write_net(dir_ / "ptp" / "058_m1.tp", net{});
  write_net(dir_ / "ptp" / "058_m2.tp", net{});
  write_net(dir_ / "ptp" / "058_m3.tp", net{});
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  testing::internal::CaptureStdout();
  const int status =
      predict_price(model_.get(), 0, "058", "50", "20", "21", "22", "23", "24", "25");
  testing::internal::GetCapturedStdout();
  fs::current_path(before);
  EXPECT_EQ(status, PREDICTION_DONE);
  expect_prices(60000, 60000, 60000);
}
TEST(AppModel, NewModelHoldsInitialValues) {
  model_ptr model(create_app_model());
  ASSERT_NE(model, nullptr);
  const app_model *m = model.get();
  EXPECT_EQ(get_is_shiny(m), 0);
  EXPECT_EQ(get_hidden_power(m), nullptr);
  EXPECT_EQ(get_special_price(m), nullptr);
  EXPECT_EQ(get_in_range_message(m), nullptr);
  EXPECT_EQ(get_first_prediction(m), 0U);
  EXPECT_EQ(get_second_prediction(m), 0U);
  EXPECT_EQ(get_third_prediction(m), 0U);
  EXPECT_EQ(get_average_prediction(m), 0U);
  EXPECT_EQ(get_lowest_price(m), 0U);
  EXPECT_EQ(get_highest_price(m), 0U);
  EXPECT_EQ(get_hidden_power_power(m), 0U);
  EXPECT_EQ(get_hidden_power_base_price(m), 0U);
}

TEST(AppModel, InverseShinyStatusFlips) {
  model_ptr model(create_app_model());
  inverse_shiny_status(model.get());
  EXPECT_EQ(get_is_shiny(model.get()), 1);
  inverse_shiny_status(model.get());
  EXPECT_EQ(get_is_shiny(model.get()), 0);
  model->is_shiny = 5;
  inverse_shiny_status(model.get());
  EXPECT_EQ(get_is_shiny(model.get()), 0);
  inverse_shiny_status(nullptr);  // ignored
}

TEST(AppModelDeathTest, GetterOnNullModelStops) {
  EXPECT_DEATH(get_first_prediction(nullptr), "get_first_prediction.*m != NULL");
  EXPECT_DEATH(get_hidden_power(nullptr), "m != NULL");
}

// *** A shiny Pokemon has no fixed price ***

TEST_F(PredictPrice, ShinyFixedPriceSpreadsGoToTheNetworks) {
  write_species("58", net{}, net{}, net{});
  const std::array<const char *, 6> fixed[] = {
      {"31", "31", "31", "31", "31", "31"},  // all equal
      {"1", "2", "3", "4", "5", "6"},        // epic fail
      {"5", "5", "5", "5", "5", "5"},        // both
  };
  for (const auto &ivs : fixed) {
    model_->special_price.reset();
    EXPECT_EQ(run("58", "50", ivs, 1), PREDICTION_DONE);
    expect_prices(60000, 60000, 60000);
    EXPECT_EQ(get_special_price(model_.get()), nullptr);  // no fixed-price text composed
    EXPECT_NE(get_in_range_message(model_.get()), nullptr);
    // Without Shiny nothing changes.
    EXPECT_EQ(run("58", "50", ivs, 0), PREDICTION_SPECIAL_PRICE);
    EXPECT_NE(get_special_price(model_.get()), nullptr);
  }
  // The flag is any non-zero value, as the controller may pass it.
  EXPECT_EQ(run("58", "50", fixed[0], -3), PREDICTION_DONE);
}

// *** The diagnostic block in every locale ***

TEST_F(PredictPrice, DiagnosticBlockIsTheSameUnderADecimalCommaLocale) {
  write_species("58", outputs(half, half, half, half), outputs(high, low, half, 1.0),
                outputs(low, high, half, -1.0));
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  char comma[16];
  std::snprintf(comma, sizeof comma, "%lf", 0.5);
  const int status = run("58");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_STREQ(comma, "0,500000");  // the locale really writes commas
  ASSERT_EQ(status, PREDICTION_DONE);
  EXPECT_EQ(diagnostics(), half_high_low_block);
}
