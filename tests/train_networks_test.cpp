// Training a species' three networks: reproducible files, independent networks, held-out
// rows, the joint price of the three, a fit that beats the plain median, and what the
// relative loss and the perfect-IV nodes each do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "nn/multi_layer_perceptron.hpp"
#include "train/train_generations.hpp"
#include "train/train_networks.hpp"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Sales of one species whose price rises with HP and Atk; shiny ones cost fifty times as
// much, so they sit two tiers higher.
std::vector<sale> synthetic_sales(std::uint32_t nid, std::size_t count) {
  std::vector<sale> sales;
  seeded_random random(99);
  for (std::size_t i = 0; i < count; ++i) {
    sale s;
    s.row = i + 1;
    s.nid = nid;
    s.shiny = static_cast<std::uint32_t>(i % 2);
    for (auto &iv : s.ivs) iv = 10 + static_cast<std::uint32_t>(random.below(22));
    const double quality = (s.ivs[0] + s.ivs[1]) / 62.0;
    s.price = static_cast<std::uint32_t>(200000.0 * (1.0 + 3.0 * quality) * (s.shiny ? 50 : 1));
    s.network_price = s.price;
    sales.push_back(s);
  }
  return sales;
}

// A network that gives the same four outputs for every input.
perceptron_ptr constant_network(const std::array<double, 4> &outputs) {
  perceptron_ptr p(create_perceptron(8, 2, 4, 1, 0.1));
  for (matrix *m : {get_hl_weights(p.get())[0], get_o_weights(p.get())})
    for (double &x : m->data) x = 0.0;
  for (std::uint32_t r = 0; r < 4; ++r)
    set_element(get_o_bias(p.get()), r, 0, std::log(outputs[r] / (1.0 - outputs[r])));
  return p;
}

class TrainSpecies : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("orvanta_train_networks_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root_);
    options_.hidden = 6;
    options_.layers = 1;
    options_.epochs = 40;
    options_.learning_rate = 0.5;
    options_.seed = 11;
    options_.holdout = 0.25;
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string dir(const std::string &name) {
    std::filesystem::create_directories(root_ / name);
    return (root_ / name).string();
  }

  species_report run(const std::string &out, const std::vector<sale> &sales) {
    species_report report;
    std::string error;
    EXPECT_TRUE(train_species(133, sales, options_, out, nullptr, &report, &error)) << error;
    return report;
  }

  std::filesystem::path root_;
  training_options options_;
};

}  // namespace

TEST(EpochLearningRate, FallsLinearlyToTheFinalFractionInTheLastEpoch) {
  training_options options;
  options.learning_rate = 0.4;
  options.final_rate = 0.1;
  options.epochs = 5;
  const double expected[] = {0.4, 0.31, 0.22, 0.13, 0.04};
  for (std::uint32_t epoch = 0; epoch < 5; ++epoch)
    EXPECT_NEAR(epoch_learning_rate(options, epoch), expected[epoch], 1e-12) << epoch;
  options.epochs = 1;  // a single epoch steps by the rate asked for
  EXPECT_EQ(epoch_learning_rate(options, 0), 0.4);
  options.epochs = 3;
  options.final_rate = 1.0;  // a constant step
  for (std::uint32_t epoch = 0; epoch < 3; ++epoch)
    EXPECT_EQ(epoch_learning_rate(options, epoch), 0.4);
}

TEST(ChooseHeldOut, HoldsOutTheRoundedFractionAndKeepsOneToTrain) {
  const std::vector<bool> held = choose_held_out(10, 0.25, 1, 58);
  EXPECT_EQ(std::count(held.begin(), held.end(), true), 3);  // 2.5 rounds away from 0
  EXPECT_EQ(choose_held_out(10, 0.25, 1, 58), held);
  EXPECT_NE(choose_held_out(10, 0.25, 1, 59), held);
  EXPECT_NE(choose_held_out(10, 0.25, 2, 58), held);
  const std::vector<bool> none = choose_held_out(10, 0.0, 1, 58);
  EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
  const std::vector<bool> most = choose_held_out(3, 0.95, 1, 58);
  EXPECT_EQ(std::count(most.begin(), most.end(), true), 2);
  const std::vector<bool> single = choose_held_out(1, 0.5, 1, 58);
  EXPECT_EQ(std::count(single.begin(), single.end(), true), 0);
  EXPECT_TRUE(choose_held_out(0, 0.5, 1, 58).empty());
}

TEST(CreateSeededPerceptron, WeightsComeFromTheSeedNotTheClock) {
  training_options options;
  options.hidden = 5;
  options.layers = 2;
  seeded_random a(3), b(3), c(4);
  const perceptron_ptr p(create_seeded_perceptron(options, &a));
  const perceptron_ptr q(create_seeded_perceptron(options, &b));
  const perceptron_ptr r(create_seeded_perceptron(options, &c));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(get_num_inputs(p.get()), 8u);
  EXPECT_EQ(get_num_outputs(p.get()), 4u);
  EXPECT_EQ(get_num_hidden_layers(p.get()), 2u);
  for (std::uint32_t l = 0; l < 2; ++l) {
    EXPECT_EQ(get_hl_weights(p.get())[l]->data, get_hl_weights(q.get())[l]->data);
    EXPECT_NE(get_hl_weights(p.get())[l]->data, get_hl_weights(r.get())[l]->data);
    for (double w : get_hl_weights(p.get())[l]->data) {
      EXPECT_GE(w, -1.0);
      EXPECT_LT(w, 1.0);
    }
    for (double b : get_hl_bias(p.get())[l]->data) EXPECT_EQ(b, 0.0);
  }
  EXPECT_EQ(get_o_weights(p.get())->data, get_o_weights(q.get())->data);
}

TEST(PriceSale, OneTierForAllThreeAsThePredictionChooses) {
  // Alone: tier 1,200,000 for the first, 120,000 for the others. Together, thresholds
  // 0 and 1 each hold somewhere, so all three read line 2 at 120,000,000.
  const perceptron_ptr a = constant_network({0.95, 0.2, 0.1, 0.4});
  const perceptron_ptr b = constant_network({0.3, 0.92, 0.1, 0.5});
  const perceptron_ptr c = constant_network({0.1, 0.1, 0.1, 0.6});
  sale s;
  s.ivs = {20, 21, 22, 23, 24, 25};
  network_prices prices;
  ASSERT_TRUE(price_sale({a.get(), b.get(), c.get()}, s, &prices));
  EXPECT_NEAR(prices.single[0], 240000, 1);
  EXPECT_NEAR(prices.single[1], 36000, 1);
  EXPECT_NEAR(prices.single[2], 12000, 1);
  EXPECT_NEAR(prices.average, 12000000, 1);
}

TEST(MedianPercentageError, MedianOfAbsoluteRelativeErrors) {
  EXPECT_DOUBLE_EQ(median_percentage_error({110, 90, 100}, {100, 100, 100}), 10.0);
  EXPECT_DOUBLE_EQ(median_percentage_error({110, 100, 130, 300}, {100, 100, 100, 100}), 20.0);
  EXPECT_TRUE(std::isnan(median_percentage_error({}, {})));
}

TEST(NetworkPath, NamesTheFileAsThePredictionLooksItUp) {
  EXPECT_EQ(network_path("ptp", 58, 2), "ptp/58_m2.tp");
}

TEST_F(TrainSpecies, SameSeedSameBytesOtherSeedOtherBytes) {
  const std::vector<sale> sales = synthetic_sales(133, 60);
  const species_report first = run(dir("a"), sales);
  run(dir("b"), sales);
  options_.seed = 12;
  run(dir("c"), sales);
  for (int k = 1; k <= 3; ++k) {
    const std::string a = slurp(network_path(dir("a"), 133, k));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, slurp(network_path(dir("b"), 133, k))) << k;
    EXPECT_NE(a, slurp(network_path(dir("c"), 133, k))) << k;
  }
  // The three networks of a run are trained independently.
  EXPECT_NE(slurp(network_path(dir("a"), 133, 1)), slurp(network_path(dir("a"), 133, 2)));
  EXPECT_NE(slurp(network_path(dir("a"), 133, 2)), slurp(network_path(dir("a"), 133, 3)));
  EXPECT_EQ(first.nid, 133u);
  EXPECT_EQ(first.training_rows, 45u);
  EXPECT_EQ(first.held_out_rows, 15u);
  // Nothing but the three files is left behind, beside the folder kept for the files a
  // later run replaces.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir("a")),
                          std::filesystem::directory_iterator{}),
            4);
  EXPECT_TRUE(std::filesystem::is_directory(previous_folder(dir("a"))));
}

TEST_F(TrainSpecies, FilesKeepTheShapeAndTheLearningRate) {
  run(dir("a"), synthetic_sales(133, 20));
  const perceptron_ptr p(load_perceptron(network_path(dir("a"), 133, 1).c_str()));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(get_num_inputs(p.get()), 8u);
  EXPECT_EQ(get_num_hidden_layers_nodes(p.get()), 6u);
  EXPECT_EQ(get_num_outputs(p.get()), 4u);
  EXPECT_EQ(get_num_hidden_layers(p.get()), 1u);
  EXPECT_NE(slurp(network_path(dir("a"), 133, 1)).find("learning_rate  0.500000\n"),
            std::string::npos);
}

TEST_F(TrainSpecies, TheFallingStepShapesTheNetworksButTheFileKeepsTheRateAskedFor) {
  const std::vector<sale> sales = synthetic_sales(133, 20);
  run(dir("falling"), sales);
  options_.final_rate = 1.0;
  run(dir("constant"), sales);
  const std::string falling = slurp(network_path(dir("falling"), 133, 1));
  const std::string constant = slurp(network_path(dir("constant"), 133, 1));
  EXPECT_NE(falling, constant);
  for (const std::string &file : {falling, constant})
    EXPECT_NE(file.find("learning_rate  0.500000\n"), std::string::npos);
}

TEST_F(TrainSpecies, LearnsWhatTheMedianCannot) {
  options_.epochs = 150;
  const species_report report = run(dir("a"), synthetic_sales(133, 120));
  EXPECT_EQ(report.held_out_rows, 30u);
  EXPECT_GT(report.median_baseline_error, 50.0);  // half the rows are fifty times dearer
  EXPECT_LT(report.combined_error, 20.0);
  for (double e : report.network_error) EXPECT_LT(e, 25.0);
  // No row of the synthetic data sits on an Eevee reference spread.
  EXPECT_TRUE(std::isnan(report.reference_baseline_error));
}

TEST_F(TrainSpecies, ReferenceBaselineTakesThePriceOfTheNearestReferenceSpread) {
  // Growlithe sales on its first two reference spreads only, each at its own price: the
  // baseline prices every held-out sale exactly, the species' median cannot.
  std::vector<sale> sales;
  for (std::uint64_t i = 0; i < 40; ++i) {
    sale s;
    s.row = i + 1;
    s.nid = 58;
    const bool second = i % 2 == 1;
    s.ivs = second ? std::array<std::uint32_t, 6>{22, 27, 31, 31, 24, 30}
                   : std::array<std::uint32_t, 6>{26, 21, 25, 25, 28, 28};
    s.price = s.network_price = second ? 4000000 : 1000000;
    sales.push_back(s);
  }
  species_report report;
  std::string error;
  options_.holdout = 0.5;
  ASSERT_TRUE(train_species(58, sales, options_, dir("a"), nullptr, &report, &error)) << error;
  EXPECT_EQ(report.reference_baseline_error, 0.0);
  EXPECT_GT(report.median_baseline_error, 50.0);
  ASSERT_EQ(report.sales.size(), 20u);
  for (const held_out_sale &s : report.sales) {
    EXPECT_EQ(s.coverage, 0);
    EXPECT_EQ(s.reference_baseline, 0.0);
  }
  const coverage_summary on_reference = summarize_coverage({report}, 0);
  EXPECT_EQ(on_reference.rows, 20u);
  EXPECT_EQ(on_reference.reference_baseline_error, 0.0);
  EXPECT_EQ(on_reference.combined_error, report.combined_error);
  EXPECT_EQ(summarize_coverage({report}, 2).rows, 0u);
}

TEST_F(TrainSpecies, ProgressCountsEveryEpochOfEveryNetwork) {
  std::vector<std::pair<int, std::uint32_t>> calls;
  species_report report;
  std::string error;
  options_.epochs = 3;
  ASSERT_TRUE(train_species(
      133, synthetic_sales(133, 8), options_, dir("a"),
      [&](std::uint32_t nid, int network, std::uint32_t epoch, std::uint32_t epochs) {
        EXPECT_EQ(nid, 133u);
        EXPECT_EQ(epochs, 3u);
        calls.emplace_back(network, epoch);
      },
      &report, &error));
  const std::vector<std::pair<int, std::uint32_t>> expected = {
      {1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}};
  EXPECT_EQ(calls, expected);
}

TEST_F(TrainSpecies, UnwritableDirectoryIsAnError) {
  const std::string blocker = (root_ / "file").string();
  std::ofstream(blocker) << "x";
  species_report report;
  std::string error;
  EXPECT_FALSE(
      train_species(133, synthetic_sales(133, 10), options_, blocker, nullptr, &report, &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

TEST_F(TrainSpecies, AFailedRunLeavesTheEarlierFilesAlone) {
  const std::string out = dir("a");
  run(out, synthetic_sales(133, 20));
  const std::string before = slurp(network_path(out, 133, 1));
  // The third file's temporary name is taken by a directory: nothing may be replaced.
  std::filesystem::create_directories(network_path(out, 133, 3) + ".tmp");
  options_.seed = 12;
  species_report report;
  std::string error;
  EXPECT_FALSE(
      train_species(133, synthetic_sales(133, 20), options_, out, nullptr, &report, &error));
  EXPECT_EQ(slurp(network_path(out, 133, 1)), before);
  EXPECT_FALSE(std::filesystem::exists(network_path(out, 133, 1) + ".tmp"));
  EXPECT_FALSE(std::filesystem::exists(network_path(out, 133, 2) + ".tmp"));
}

// 200 Eevee sales, each IV drawn from `lowest` to 31, at the price `rule` gives the IVs.
template <typename rule_type>
std::vector<sale> rule_sales(std::uint32_t lowest, rule_type rule) {
  std::vector<sale> sales(200);
  seeded_random random(5);
  for (std::size_t i = 0; i < sales.size(); ++i) {
    sales[i].row = i + 1;
    sales[i].nid = 133;
    for (auto &iv : sales[i].ivs)
      iv = lowest + static_cast<std::uint32_t>(random.below(32 - lowest));
    sales[i].price = sales[i].network_price = static_cast<std::uint32_t>(rule(sales[i].ivs));
  }
  return sales;
}

// Prices from 1.2m to 100m, all read from the 120m line (0.01 to 0.83): the absolute loss
// hardly sees a miss on the cheap ones, which lie within hundredths of their targets.
TEST_F(TrainSpecies, TheRelativeLossPricesTheCheapSalesOfATierAsWellAsTheDear) {
  const auto sales = rule_sales(0, [](const std::array<std::uint32_t, 6> &iv) {
    return 1.2e6 * std::pow(80.0, (iv[0] + iv[1] + iv[2]) / 93.0);
  });
  options_.hidden = 8;
  options_.epochs = 150;
  options_.learning_rate = 0.15;
  const double relative = run(dir("relative"), sales).combined_error;
  options_.loss = training_loss::absolute;
  const double absolute = run(dir("absolute"), sales).combined_error;
  EXPECT_LT(relative, 10.0);
  EXPECT_GT(absolute, 2 * relative);
}

// Prices that double when Atk is 31: the perfect-IV nodes learn the step (and only with
// their weight on Atk's input and their switch between 30 and 31 does the step land
// there); networks grown from random weights alone round it off.
TEST_F(TrainSpecies, PerfectIvNodesLearnTheStepAPerfectIvMakes) {
  const auto sales = rule_sales(26, [](const std::array<std::uint32_t, 6> &iv) {
    return 400000.0 * (1.0 + (iv[0] + iv[2] + iv[5]) / 93.0) * (iv[1] == 31 ? 2.0 : 1.0);
  });
  const auto step = [](const std::string &out) {  // Atk 31 over Atk 30, the rest at 28
    std::array<perceptron_ptr, 3> p;
    for (int k = 1; k <= 3; ++k) p[k - 1].reset(load_perceptron(network_path(out, 133, k).c_str()));
    std::array<network_prices, 2> at;
    for (std::uint32_t atk : {30u, 31u}) {
      sale s;
      s.ivs = {28, atk, 28, 28, 28, 28};
      EXPECT_TRUE(price_sale({p[0].get(), p[1].get(), p[2].get()}, s, &at[atk - 30]));
    }
    return static_cast<double>(at[1].average) / at[0].average;
  };
  options_.hidden = 12;
  options_.layers = 2;
  options_.epochs = 200;
  options_.learning_rate = 0.15;
  run(dir("detectors"), sales);
  options_.perfect_iv_nodes = 0;
  run(dir("random"), sales);
  EXPECT_GT(step(dir("detectors")), 1.7);
  EXPECT_LT(step(dir("random")), step(dir("detectors")) - 0.3);
}
