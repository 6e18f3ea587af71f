// Species files: "<N>_species.json" beside a species' three networks says how that species
// is priced, in place of the built-in species table. The trainer writes them; a seller may
// write one by hand. The reader enforces every limit of the format.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Six IVs in the form's order: HP, Atk, Def, SP Atk, SP Def, SPD, each 0 to 31.
using iv_spread = std::array<std::uint8_t, 6>;

// How far below and above a reference IV a spread may lie and still rate as a near match.
struct iv_window {
  std::uint8_t below = 0;
  std::uint8_t above = 0;
};

// One species as a species file describes it.
struct species_description {
  std::uint32_t nid = 0;
  std::string name;                                      // 1 to 64 bytes, no control characters
  std::array<int, 3> hidden_power_types = {-1, -1, -1};  // type numbers 0 to 15; -1: empty
  std::uint32_t hidden_power_base_price = 500000;
  double lowest_price_margin = 0.1;
  double highest_price_margin = 0.1;
  std::vector<iv_spread> reference_spreads;                   // at most 100,000
  std::optional<std::array<iv_window, 6>> near_match_window;  // nothing: never rates 1
  std::array<std::optional<double>, 3> expected_error;        // by rating 0, 1, 2
  std::optional<std::array<std::string, 3>> networks;         // SHA-256 of _m1, _m2, _m3 (hex)
  std::string training;  // the free-form "training" object as compact JSON; empty if absent
};

// The coverage rating of a spread against a species file's reference spreads: 0 when it
// equals one, 1 when every IV lies within the near-match window of one (never when there is
// no window), 2 otherwise. IVs are compared as unsigned 32-bit values, so a negative IV as
// typed (a very large value) matches nothing.
int rate_spread(const species_description *d, std::uint32_t hp, std::uint32_t atk,
                std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd);
