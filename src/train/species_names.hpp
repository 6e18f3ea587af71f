// The names of the species, built into the trainer for National IDs 1 to 649.
#pragma once

#include <cstdint>

// The English name of the species with this National Pokédex number (UTF-8), or nullptr
// outside 1 to 649. The text is static.
const char *species_name(std::uint32_t nid);

// The highest National ID with a built-in name.
inline constexpr std::uint32_t highest_named_species = 649;
