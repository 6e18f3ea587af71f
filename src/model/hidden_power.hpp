// Hidden Power type and base power from the six IVs, by the game's published formula.
// IVs always come in the form's order HP, Atk, Def, SP Atk, SP Def, SPD; only the two
// lowest bits of each are read, so every input is accepted.
#pragma once

#include <cstdint>

// The type index, 0 (Fighting) to 15 (Dark).
std::uint32_t hidden_power_calculator(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                      std::uint32_t sp_atk, std::uint32_t sp_def,
                                      std::uint32_t spd);
// The base power, 30 to 70.
std::uint32_t hidden_power_power_calculator(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                            std::uint32_t sp_atk, std::uint32_t sp_def,
                                            std::uint32_t spd);
// The display text ("Hidden Power:  Fire") in a new 127-byte buffer that the caller
// releases with free(), or nullptr when the buffer cannot be obtained.
char *hidden_power_calculator_str(std::uint32_t hp, std::uint32_t atk, std::uint32_t def,
                                  std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd);
