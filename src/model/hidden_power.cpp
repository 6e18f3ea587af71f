// Hidden Power type and base power from the six IVs.
#include "model/hidden_power.hpp"

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

// Display texts by type index.
constexpr std::array<const char *, 16> hidden_power_texts = {
    "Hidden Power:  Fighting", "Hidden Power:  Flying", "Hidden Power:  Poison",
    "Hidden Power:  Ground",   "Hidden Power:  Rock",   "Hidden Power:  Bug",
    "Hidden Power:  Ghost",    "Hidden Power:  Steel",  "Hidden Power:  Fire",
    "Hidden Power:  Water",    "Hidden Power:  Grass",  "Hidden Power:  Electric",
    "Hidden Power:  Psychic",  "Hidden Power:  Ice",    "Hidden Power:  Dragon",
    "Hidden Power:  Dark",
};

// Every display text is returned in a buffer of this size, whatever its length.
constexpr std::size_t hidden_power_text_size = 127;

// The game weighs the IVs in its own order, not the form's: SPD ranks before SP Atk and
// SP Def. Returns the weighted sum (0 to 63) of the chosen bit of each IV.
std::uint32_t weighted_bits(std::uint32_t bit, std::uint32_t hp, std::uint32_t atk,
                            std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def,
                            std::uint32_t spd) {
  auto b = [bit](std::uint32_t iv) -> std::uint32_t { return (iv & bit) != 0 ? 1U : 0U; };
  return b(hp) * 1U + b(atk) * 2U + b(def) * 4U + b(spd) * 8U + b(sp_atk) * 16U + b(sp_def) * 32U;
}

}  // namespace

std::uint32_t hidden_power_calculator(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                      std::uint32_t sp_atk, std::uint32_t sp_def,
                                      std::uint32_t spd) {
  return 15U * weighted_bits(1U, hp, atk, def, sp_atk, sp_def, spd) / 63U;
}

std::uint32_t hidden_power_power_calculator(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                            std::uint32_t sp_atk, std::uint32_t sp_def,
                                            std::uint32_t spd) {
  return 40U * weighted_bits(2U, hp, atk, def, sp_atk, sp_def, spd) / 63U + 30U;
}

char *hidden_power_calculator_str(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                  std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd) {
  auto *text = static_cast<char *>(std::malloc(hidden_power_text_size));
  if (text == nullptr) return nullptr;
  const char *shown =
      hidden_power_texts[hidden_power_calculator(hp, atk, def, sp_atk, sp_def, spd)];
  std::memcpy(text, shown, std::strlen(shown) + 1);
  return text;
}
