// How the three networks' outputs become a price.
//
// Outputs 0, 1 and 2 act as thresholds: each lifts the price one tier when at least one
// of the three networks puts it strictly above 0.9, a higher one counting only when all
// lower ones hold. The output in the chosen tier's line, times the tier's scale, is the
// price. The trainer uses the same table backwards to turn a price into targets.
#pragma once

#include <array>
#include <cstdint>

struct price_tier {
  double scale;        // 120,000 / 1,200,000 / 120,000,000 / 1,200,000,000 Pd
  std::uint32_t line;  // the output line the price is read from: 0 to 3
};

// The four tiers, lowest first: tiers[k].line == k.
extern const std::array<price_tier, 4> price_tiers;

// The output strictly above this lifts a tier.
inline constexpr double tier_threshold = 0.9;

// The tier for the first four outputs of each of the three networks.
price_tier choose_price_tier(const std::array<double, 4> &o1, const std::array<double, 4> &o2,
                             const std::array<double, 4> &o3);
