// Training targets: the price tiers read backwards must read forwards as the same price.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "model/price_tiers.hpp"
#include "train/train_targets.hpp"

namespace {

// The tier the prediction would choose for one network's outputs.
double scale_of(const std::array<double, 4> &o) {
  return choose_price_tier(o, o, o).scale;
}

}  // namespace

TEST(PriceTargets, ReadBackAsThePriceAcrossEveryTierAndBoundary) {
  const std::uint32_t prices[] = {1,         999,       50000,      107999,
                                  108000,    108001,    119999,     120000,
                                  500000,    1079999,   1080000,    1080001,
                                  1200000,   4321987,   107999999,  108000000,
                                  108000001, 600000000, 1163999999, highest_trainable_price};
  for (std::uint32_t price : prices) {
    const std::uint32_t back = price_of_outputs(price_targets(price));
    // The quotient and product in double may land a hair below: truncation loses 1 Pd.
    EXPECT_LE(back, price) << price;
    EXPECT_GE(back + 1, price) << price;
  }
}

TEST(PriceTargets, EachPriceLandsInItsTier) {
  EXPECT_EQ(scale_of(price_targets(108000)), 120000.0);  // 0.9 exactly does not lift
  EXPECT_EQ(scale_of(price_targets(108001)), 1200000.0);
  EXPECT_EQ(scale_of(price_targets(1080000)), 1200000.0);
  EXPECT_EQ(scale_of(price_targets(1080001)), 120000000.0);
  EXPECT_EQ(scale_of(price_targets(108000000)), 120000000.0);
  EXPECT_EQ(scale_of(price_targets(108000001)), 1200000000.0);
}

TEST(PriceTargets, LiftedThresholdsAboveTheRestAtOrBelowTheLimit) {
  // A 50m sale: thresholds 0 and 1 lift (capped), line 2 is read, line 3 stays small.
  const std::array<double, 4> t = price_targets(50000000);
  EXPECT_EQ(t[0], target_ceiling);
  EXPECT_EQ(t[1], target_ceiling);
  EXPECT_DOUBLE_EQ(t[2], 50000000.0 / 120000000.0);
  EXPECT_DOUBLE_EQ(t[3], 50000000.0 / 1200000000.0);
  EXPECT_GT(target_ceiling, tier_threshold);
}

TEST(PriceTargets, NeverAboveTheCeiling) {
  for (std::uint32_t price = 1; price <= highest_trainable_price; price += 9999991) {
    for (double t : price_targets(price)) {
      EXPECT_GE(t, 0.0);
      EXPECT_LE(t, target_ceiling);
    }
  }
  EXPECT_EQ(price_targets(highest_trainable_price)[3], target_ceiling);
}

TEST(PriceTargets, ContinuousAcrossATierBoundary) {
  // Just above 108,000 line 0 lifts the tier, just below it is the price line; the
  // targets barely differ, so a network that misses the threshold reads nearly the
  // same price from the tier below.
  const std::array<double, 4> below = price_targets(107000);
  const std::array<double, 4> above = price_targets(110000);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(below[k], above[k], 0.03) << k;

  std::array<double, 4> missed = above;
  missed[0] = 0.89;  // threshold 0 not reached: tier 120,000 reads line 0
  EXPECT_NEAR(price_of_outputs(missed), 110000, 0.04 * 110000);
  std::array<double, 4> overshot = below;
  overshot[0] = 0.91;  // threshold 0 passed by mistake: tier 1,200,000 reads line 1
  EXPECT_NEAR(price_of_outputs(overshot), 107000, 0.04 * 107000);
}

TEST(PriceOfOutputs, ReadsTheChosenTiersLine) {
  EXPECT_EQ(price_of_outputs({0.5, 0.99, 0.99, 0.99}), 60000u);  // tier 0 ignores the rest
  EXPECT_EQ(price_of_outputs({0.95, 0.5, 0.2, 0.1}), 600000u);
  EXPECT_EQ(price_of_outputs({0.95, 0.95, 0.5, 0.1}), 60000000u);
  EXPECT_EQ(price_of_outputs({0.95, 0.95, 0.95, 0.5}), 600000000u);
  EXPECT_EQ(price_of_outputs({0.95, 0.5, 0.95, 0.1}), 600000u);  // threshold 2 needs 1
}
