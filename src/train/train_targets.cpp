// Price targets, the price tiers read backwards.
//
// The prediction lifts the price one tier for each of outputs 0, 1 and 2 (in order) that
// lies strictly above 0.9, then reads the price from the output line of the chosen tier
// times that tier's scale. Every target line k here is simply price / scale_k, capped at
// target_ceiling. Why that one rule is the inverse:
//
// - Threshold k holds exactly when price > 0.9 * scale_k. The scales grow, so the
//   thresholds that hold are always the lowest ones, 0 to t - 1, and the rule picks tier
//   t; its line holds price / scale_t, which reads back as the price.
// - The line read in tiers 0 to 2 is also that tier's own threshold: tier t reads line t,
//   so line t must stay at or below 0.9 there. It does, since price <= 0.9 * scale_t is
//   what keeps the price in tier t; a dearer sale belongs to the next tier up.
// - Near a tier boundary, fixed targets (say 0.95 for every lifted threshold) would make
//   the targets jump where the price crosses 0.9 * scale_k, a step that smooth networks
//   can only blur. With price / scale_k the targets are continuous: a threshold that
//   ends just below 0.9 instead of just above drops the price one tier, and the line
//   read there is that same output, about 0.9, times its own scale, which is again
//   about the price. The same holds upward: a line above the tier holds the small value
//   price / scale_k (0.09 or less for the next one), so a read line pushed above 0.9
//   lifts the tier onto a line that still reads about the price.
// - Lifted thresholds well inside a higher tier would exceed 1.0; they are capped at
//   target_ceiling, well clear of 0.9.
#include "train/train_targets.hpp"

#include <algorithm>

#include "model/price_tiers.hpp"

std::array<double, 4> price_targets(std::uint32_t price) {
  std::array<double, 4> targets{};
  for (const price_tier &tier : price_tiers)
    targets[tier.line] = std::min(static_cast<double>(price) / tier.scale, target_ceiling);
  return targets;
}

std::uint32_t price_of_outputs(const std::array<double, 4> &outputs) {
  const price_tier tier = choose_price_tier(outputs, outputs, outputs);
  return static_cast<std::uint32_t>(tier.scale * outputs[tier.line]);
}
