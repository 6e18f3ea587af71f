// Range margins set from held-out sales: on sales with a known noise they hold the share
// asked for, a rating with enough sales gets its own, too few sales state nothing, and the
// share stated is what new sales find, not what the sales that set the margins find.
#include "train/train_ranges.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// `count` sales of one rating around an average of 1,000,000 Pd, each price the average
// times e^(sigma z), z standard normal: the market's own noise.
std::vector<measured_sale> noisy_sales(std::size_t count, double sigma, int rating,
                                       std::mt19937_64 *random) {
  std::normal_distribution<double> z;
  std::vector<measured_sale> sales;
  for (std::size_t i = 0; i < count; ++i)
    sales.push_back(
        {static_cast<std::uint32_t>(1e6 * std::exp(sigma * z(*random))), 1000000, rating});
  return sales;
}

double share_inside(const std::vector<measured_sale> &sales, const range_margins &m) {
  std::size_t inside = 0;
  for (const measured_sale &s : sales) inside += inside_range(s, m) ? 1 : 0;
  return static_cast<double>(inside) / static_cast<double>(sales.size());
}

}  // namespace

TEST(InsideRange, TheRangeAsTheWindowFormsIt) {
  const range_margins tenth = {0.1, 0.1};
  // An average of 123457 runs from 111111 to 135802, both inside.
  EXPECT_TRUE(inside_range({111111, 123457, 0}, tenth));
  EXPECT_TRUE(inside_range({135802, 123457, 0}, tenth));
  EXPECT_FALSE(inside_range({111110, 123457, 0}, tenth));
  EXPECT_FALSE(inside_range({135803, 123457, 0}, tenth));
  // A highest margin of 10 past the largest amount stops there.
  EXPECT_TRUE(inside_range({4294967295u, 1100000000, 0}, {0.0, 10.0}));
}

TEST(CalibrateRanges, MarginsOfAKnownNoiseHoldTheShareAskedFor) {
  std::mt19937_64 random(7);
  // 8% noise: the 80% range of e^(0.08 z) runs from e^(-0.08 * 1.2816) to e^(0.08 * 1.2816).
  const std::vector<measured_sale> sales = noisy_sales(2000, 0.08, 0, &random);
  const range_figures f = calibrate_ranges(sales, 0.8, {0.1, 0.1});
  ASSERT_TRUE(f.by_rating[0].has_value());
  EXPECT_NEAR((*f.by_rating[0])[0], 1.0 - std::exp(-0.08 * 1.2816), 0.01);
  EXPECT_NEAR((*f.by_rating[0])[1], std::exp(0.08 * 1.2816) - 1.0, 0.01);
  EXPECT_NEAR(*f.coverage[0], 0.8, 0.02);
  EXPECT_NEAR(share_inside(noisy_sales(20000, 0.08, 0, &random), *f.by_rating[0]), 0.8, 0.03);
  // Another share asked for.
  const range_figures wide = calibrate_ranges(sales, 0.95, {0.1, 0.1});
  EXPECT_NEAR((*wide.by_rating[0])[1], std::exp(0.08 * 1.96) - 1.0, 0.015);
  EXPECT_NEAR(*wide.coverage[0], 0.95, 0.015);
}

TEST(CalibrateRanges, EachRatingWithEnoughSalesGetsItsOwnMargins) {
  std::mt19937_64 random(11);
  std::vector<measured_sale> sales = noisy_sales(400, 0.04, 0, &random);  // well known
  const std::vector<measured_sale> far = noisy_sales(400, 0.20, 2, &random);
  const std::vector<measured_sale> near =
      noisy_sales(fewest_sales_for_own_margins - 1, 0.1, 1, &random);
  sales.insert(sales.end(), far.begin(), far.end());
  sales.insert(sales.end(), near.begin(), near.end());
  const range_figures f = calibrate_ranges(sales, 0.8, {0.1, 0.1});
  ASSERT_TRUE(f.by_rating[0].has_value() && f.by_rating[2].has_value());
  EXPECT_FALSE(f.by_rating[1].has_value());  // one sale short: the species' margins
  // A narrow range where the networks know the spreads, a wide one where they do not.
  EXPECT_GT((*f.by_rating[2])[1], 4.0 * (*f.by_rating[0])[1]);
  EXPECT_NEAR(*f.coverage[0], 0.8, 0.04);
  EXPECT_NEAR(*f.coverage[2], 0.8, 0.04);
  // The species' margins lie between, and what they hold of rating 1 is measured.
  EXPECT_GT(f.species[1], (*f.by_rating[0])[1]);
  EXPECT_LT(f.species[1], (*f.by_rating[2])[1]);
  ASSERT_TRUE(f.coverage[1].has_value());
  EXPECT_EQ(f.measured, (std::array<std::size_t, 3>{400, fewest_sales_for_own_margins - 1, 400}));
  EXPECT_NEAR(*f.overall, 0.8, 0.03);
}

TEST(CalibrateRanges, TooFewSalesStateNothing) {
  std::mt19937_64 random(3);
  std::vector<measured_sale> sales = noisy_sales(fewest_measured_sales - 1, 0.1, 1, &random);
  // Nine sales in all: the margins asked for stay, no rating states a share.
  range_figures f = calibrate_ranges(sales, 0.8, {0.1, 0.1});
  EXPECT_EQ(f.species, (range_margins{0.1, 0.1}));
  EXPECT_EQ(f.coverage, (std::array<std::optional<double>, 3>{}));
  // One more sale of another rating: margins from the ten, a share for neither rating.
  sales.push_back({1000000, 1000000, 2});
  f = calibrate_ranges(sales, 0.8, {0.1, 0.1});
  EXPECT_NE(f.species, (range_margins{0.1, 0.1}));
  EXPECT_EQ(f.coverage, (std::array<std::optional<double>, 3>{}));
  // Ten of rating 1: its share is stated.
  sales.push_back(sales.front());
  EXPECT_TRUE(calibrate_ranges(sales, 0.8, {0.1, 0.1}).coverage[1].has_value());
  EXPECT_FALSE(measure_ranges(sales, {0.1, 0.1}).coverage[2].has_value());
}

TEST(CalibrateRanges, TheStatedShareIsWhatNewSalesFind) {
  // Thirty sales set a rating's margins, the smallest number that gets its own. Over many
  // such sets, the share each states must match the share new sales find inside its range.
  std::mt19937_64 random(5);
  double stated = 0.0, found = 0.0;
  const int trials = 300;
  for (int t = 0; t < trials; ++t) {
    const std::vector<measured_sale> sales =
        noisy_sales(fewest_sales_for_own_margins, 0.1, 0, &random);
    const range_figures f = calibrate_ranges(sales, 0.8, {0.1, 0.1});
    stated += *f.coverage[0];
    found += share_inside(noisy_sales(400, 0.1, 0, &random), *f.by_rating[0]);
  }
  EXPECT_NEAR(stated / trials, found / trials, 0.015) << stated / trials;
  EXPECT_NEAR(found / trials, 0.8, 0.04);
}

TEST(MeasureRanges, FixedMarginsAreOnlyMeasured) {
  const std::vector<measured_sale> sales = {{95, 100, 0}, {111, 100, 0}, {100, 100, 2}};
  std::vector<measured_sale> many;
  for (int i = 0; i < 4; ++i) many.insert(many.end(), sales.begin(), sales.end());
  const range_figures f = measure_ranges(many, {0.1, 0.1});
  EXPECT_EQ(f.species, (range_margins{0.1, 0.1}));
  EXPECT_FALSE(f.by_rating[0].has_value());
  ASSERT_TRUE(f.overall.has_value());
  EXPECT_NEAR(*f.overall, 8.0 / 12.0, 1e-4);
  EXPECT_FALSE(f.coverage[0].has_value());  // eight sales of rating 0: too few to state
}
