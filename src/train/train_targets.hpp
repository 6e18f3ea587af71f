// Training targets: the four outputs that the price tiers read back as a given price.
#pragma once

#include <array>
#include <cstdint>

// No target exceeds this: a sigmoid output never reaches 1.0, and targets close to it
// would make the weights grow without end. It leaves a clear margin above the tier
// threshold (0.9) for the thresholds that a price lifts.
inline constexpr double target_ceiling = 0.97;

// The highest price the targets can express: the top tier's scale times the ceiling.
inline constexpr std::uint32_t highest_trainable_price = 1164000000;

// The four outputs a network should give for a price of 1 to highest_trainable_price Pd.
std::array<double, 4> price_targets(std::uint32_t price);

// The price one network's outputs give on their own: the tier rule applied as if all
// three networks had given these outputs, the chosen line times the tier's scale,
// truncated to whole Pd as the prediction does.
std::uint32_t price_of_outputs(const std::array<double, 4> &outputs);
