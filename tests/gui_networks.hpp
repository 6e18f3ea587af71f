// Networks for the window's tests, with outputs known in advance.
#pragma once

#include <string>

// The national number the networks are written for (Eevee: priced, and a Fire Hidden
// Power earns the addition).
inline constexpr const char *test_species = "133";

// Writes <dir>/133_m1.tp, _m2.tp and _m3.tp. Every output line but the first is 0.5, so
// prices stay in the lowest tier; the first outputs are 0.5 (or about 0.72 for a shiny
// Pokémon: only the first network reads the shiny flag), sigmoid(-1) and sigmoid(1),
// that is 60k (86k shiny), 32k and 87k. Returns false when a file cannot be written.
bool write_test_networks(const std::string &dir);
