// The price tiers shared by the prediction and the trainer.
#include "model/price_tiers.hpp"

#include <cstddef>

// clang-format off
const std::array<price_tier, 4> price_tiers = {{
    //  scale (Pd)      line
    {           120000.0, 0},
    {          1200000.0, 1},
    {        120000000.0, 2},
    {       1200000000.0, 3},
}};
// clang-format on

price_tier choose_price_tier(const std::array<double, 4> &o1, const std::array<double, 4> &o2,
                             const std::array<double, 4> &o3) {
  auto any_above = [&](std::size_t r) {
    return o1[r] > tier_threshold || o2[r] > tier_threshold || o3[r] > tier_threshold;
  };
  // Each threshold output lifts one tier, but only while every lower one holds.
  std::size_t tier = 0;
  while (tier < 3 && any_above(tier)) ++tier;
  return price_tiers[tier];
}
