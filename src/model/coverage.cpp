// The coverage rating, the one rule behind the six classifiers and every species file: each
// species group's reference spreads and near-match window, and the rating against them.
#include "model/coverage.hpp"

#include <array>
#include <cstddef>
#include <span>

#include "common/contract.hpp"
#include "model/species_file.hpp"

namespace {

using reference_spread = iv_spread;
using classifier_window = std::array<iv_window, 6>;

// The Growlithe group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 18> growlithe_spreads = {{
    // HP Atk Def SpA SpD SPD
    {26, 21, 25, 25, 28, 28},  // 1
    {22, 27, 31, 31, 24, 30},  // 2
    {24, 22, 27, 26, 23, 30},  // 3
    {13, 31, 10, 18, 13, 31},  // 4
    {26, 20, 29, 19, 20, 29},  // 5
    {22, 23, 18, 29, 11, 31},  // 6
    {10, 25, 25, 28, 25, 27},  // 7
    {25, 29, 31, 21, 11, 25},  // 8
    {23, 27, 31, 17, 28, 30},  // 9
    {23, 24, 10, 5, 31, 30},   // 10
    {23, 25, 21, 16, 29, 28},  // 11
    {25, 22, 25, 25, 31, 18},  // 12
    {28, 26, 21, 24, 13, 29},  // 13
    {29, 26, 18, 20, 31, 20},  // 14
    {29, 22, 15, 10, 31, 27},  // 15
    {27, 20, 20, 28, 11, 27},  // 16
    {23, 27, 29, 27, 10, 30},  // 17
    {27, 24, 29, 28, 26, 28},  // 18
}};

// The Seel group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 13> seel_spreads = {{
    // HP Atk Def SpA SpD SPD
    {23, 30, 23, 29, 26, 21},  // 1
    {24, 26, 20, 26, 30, 24},  // 2
    {30, 31, 20, 24, 22, 24},  // 3
    {20, 24, 25, 22, 29, 28},  // 4
    {21, 26, 24, 20, 28, 29},  // 5
    {20, 29, 31, 21, 23, 26},  // 6
    {31, 27, 28, 26, 29, 21},  // 7
    {26, 28, 27, 26, 28, 22},  // 8
    {29, 28, 22, 23, 31, 25},  // 9
    {22, 28, 27, 31, 24, 21},  // 10
    {28, 27, 31, 29, 23, 30},  // 11
    {25, 21, 20, 26, 21, 28},  // 12
    {28, 22, 30, 23, 31, 23},  // 13
}};

// The Horsea group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 26> horsea_spreads = {{
    // HP Atk Def SpA SpD SPD
    {25, 23, 31, 20, 31, 31},  // 1
    {21, 31, 26, 24, 25, 23},  // 2
    {24, 28, 20, 24, 20, 21},  // 3
    {21, 20, 28, 30, 23, 27},  // 4
    {25, 25, 26, 23, 29, 20},  // 5
    {29, 22, 20, 26, 20, 22},  // 6
    {28, 22, 27, 31, 20, 21},  // 7
    {20, 29, 29, 26, 22, 28},  // 8
    {21, 25, 31, 24, 20, 20},  // 9
    {26, 30, 31, 26, 28, 20},  // 10
    {24, 26, 26, 21, 27, 28},  // 11
    {21, 30, 27, 30, 30, 22},  // 12
    {24, 20, 25, 23, 29, 25},  // 13
    {26, 28, 20, 20, 28, 20},  // 14
    {30, 24, 28, 20, 29, 25},  // 15
    {24, 26, 28, 26, 22, 24},  // 16
    {27, 24, 30, 23, 28, 22},  // 17
    {20, 30, 23, 29, 30, 24},  // 18
    {25, 22, 26, 25, 24, 26},  // 19
    {27, 29, 31, 25, 24, 21},  // 20
    {30, 22, 22, 25, 28, 23},  // 21
    {28, 23, 31, 26, 30, 29},  // 22
    {25, 28, 22, 21, 29, 28},  // 23
    {20, 30, 28, 29, 24, 25},  // 24
    {27, 31, 30, 26, 24, 20},  // 25
    {20, 13, 28, 27, 22, 27},  // 26
}};

// The Staryu group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 26> staryu_spreads = {{
    // HP Atk Def SpA SpD SPD
    {26, 31, 24, 21, 21, 24},  // 1
    {23, 29, 26, 27, 29, 24},  // 2
    {28, 11, 28, 21, 18, 31},  // 3
    {18, 24, 13, 22, 28, 31},  // 4
    {9, 24, 29, 25, 31, 31},   // 5
    {4, 14, 18, 24, 19, 31},   // 6
    {16, 19, 31, 23, 27, 27},  // 7
    {23, 22, 26, 23, 25, 17},  // 8
    {9, 31, 28, 30, 21, 27},   // 9
    {19, 28, 21, 18, 30, 28},  // 10
    {25, 7, 20, 27, 27, 27},   // 11
    {11, 23, 18, 11, 25, 31},  // 12
    {16, 26, 15, 11, 22, 31},  // 13
    {31, 26, 31, 29, 9, 22},   // 14
    {17, 26, 31, 29, 9, 22},   // 15
    {23, 28, 6, 27, 26, 22},   // 16
    {12, 16, 21, 30, 14, 30},  // 17
    {30, 13, 15, 24, 7, 25},   // 18
    {24, 28, 19, 20, 26, 20},  // 19
    {19, 21, 15, 20, 3, 31},   // 20
    {10, 30, 29, 23, 22, 23},  // 21
    {23, 25, 17, 19, 21, 27},  // 22
    {29, 20, 18, 25, 12, 28},  // 23
    {3, 28, 26, 12, 23, 31},   // 24
    {31, 20, 12, 16, 19, 29},  // 25
    {28, 22, 31, 24, 21, 22},  // 26
}};

// The Scyther group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 29> scyther_spreads = {{
    // HP Atk Def SpA SpD SPD
    {22, 23, 31, 22, 24, 25},  // 1
    {21, 24, 28, 28, 26, 28},  // 2
    {16, 11, 16, 19, 30, 4},   // 3
    {20, 16, 2, 17, 26, 11},   // 4
    {25, 30, 29, 14, 2, 2},    // 5
    {18, 6, 27, 19, 2, 13},    // 6
    {19, 6, 30, 24, 21, 7},    // 7
    {9, 22, 21, 2, 21, 30},    // 8
    {22, 10, 16, 10, 31, 4},   // 9
    {30, 27, 15, 17, 18, 10},  // 10
    {21, 27, 25, 27, 16, 7},   // 11
    {15, 28, 22, 20, 7, 25},   // 12
    {13, 23, 22, 22, 4, 24},   // 13
    {27, 12, 26, 20, 23, 24},  // 14
    {21, 11, 14, 28, 17, 22},  // 15
    {17, 30, 23, 29, 26, 28},  // 16
    {31, 28, 26, 21, 14, 31},  // 17
    {28, 21, 29, 30, 19, 23},  // 18
    {30, 27, 29, 11, 28, 21},  // 19
    {30, 10, 22, 27, 24, 31},  // 20
    {26, 31, 23, 20, 23, 16},  // 21
    {13, 17, 28, 15, 16, 18},  // 22
    {21, 31, 16, 28, 20, 23},  // 23
    {30, 27, 23, 31, 11, 16},  // 24
    {21, 21, 30, 30, 23, 9},   // 25
    {30, 7, 28, 25, 30, 26},   // 26
    {20, 28, 5, 15, 30, 24},   // 27
    {30, 25, 15, 31, 31, 9},   // 28
    {25, 24, 23, 4, 30, 26},   // 29
}};

// The Eevee group's reference spreads, in evaluation order.
constexpr std::array<reference_spread, 6> eevee_spreads = {{
    // HP Atk Def SpA SpD SPD
    {16, 9, 5, 29, 29, 24},   // 1
    {16, 29, 11, 24, 8, 16},  // 2
    {9, 16, 12, 15, 18, 14},  // 3
    {14, 7, 9, 2, 8, 17},     // 4
    {12, 15, 2, 23, 6, 10},   // 5
    {23, 29, 16, 11, 5, 10},  // 6
}};

// How far each IV may lie below and above a reference value and still be a near match,
// as {below, above} in the order HP, Atk, Def, SP Atk, SP Def, SPD.
constexpr classifier_window growlithe_window = {{{2, 2}, {0, 0}, {2, 2}, {2, 2}, {2, 2}, {0, 0}}};
constexpr classifier_window staryu_window = {{{2, 2}, {2, 2}, {2, 2}, {0, 0}, {2, 2}, {1, 1}}};
// Scyther's SPD window runs upward only.
constexpr classifier_window scyther_window = {{{1, 1}, {0, 0}, {2, 2}, {2, 2}, {2, 2}, {0, 2}}};

// 0: an exact reference spread; 1: inside the window of one (when there is a window);
// 2: neither. IVs are compared as unsigned 32-bit values in 64-bit arithmetic, so neither
// bound wraps around and an IV typed as a negative number matches nothing.
int rate(const std::array<std::uint32_t, 6> &ivs, std::span<const reference_spread> references,
         const classifier_window *window) {
  bool near = false;
  for (const reference_spread &reference : references) {
    bool equal = true;
    bool inside = window != nullptr;
    for (std::size_t i = 0; i < ivs.size(); ++i) {
      const std::int64_t iv = ivs[i];
      const std::int64_t ref = reference[i];
      equal = equal && iv == ref;
      if (inside) inside = iv >= ref - (*window)[i].below && iv <= ref + (*window)[i].above;
    }
    if (equal) return 0;
    near = near || inside;
  }
  return near ? 1 : 2;
}

// Each group's spreads and window, in the order of coverage_group.
struct group_coverage {
  std::span<const reference_spread> references;
  const classifier_window *window;
};
constexpr std::array<group_coverage, 6> groups = {{
    {growlithe_spreads, &growlithe_window},
    {seel_spreads, nullptr},
    {horsea_spreads, nullptr},
    {staryu_spreads, &staryu_window},
    {scyther_spreads, &scyther_window},
    {eevee_spreads, nullptr},
}};

int rate_in_group(coverage_group group, const std::array<std::uint32_t, 6> &ivs) {
  const group_coverage &g = groups[static_cast<std::size_t>(group)];
  return rate(ivs, g.references, g.window);
}

}  // namespace

int Growlithe_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                    std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::growlithe, {hp, atk, def, sp_atk, sp_def, spd});
}

int Seel_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
               std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::seel, {hp, atk, def, sp_atk, sp_def, spd});
}

int Horsea_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                 std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::horsea, {hp, atk, def, sp_atk, sp_def, spd});
}

int Staryu_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                 std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::staryu, {hp, atk, def, sp_atk, sp_def, spd});
}

int Scyther_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                  std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::scyther, {hp, atk, def, sp_atk, sp_def, spd});
}

int Eevee_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                std::uint32_t sp_def, std::uint32_t spd) {
  return rate_in_group(coverage_group::eevee, {hp, atk, def, sp_atk, sp_def, spd});
}

int rate_spread(const species_description *d, std::uint32_t hp, std::uint32_t atk,
                std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd) {
  ORV_CHECK(d != NULL);
  return rate({hp, atk, def, sp_atk, sp_def, spd}, d->reference_spreads,
              d->near_match_window.has_value() ? &*d->near_match_window : nullptr);
}

void describe_coverage(coverage_group group, species_description *d) {
  ORV_CHECK(d != NULL);
  const group_coverage &g = groups[static_cast<std::size_t>(group)];
  d->reference_spreads.assign(g.references.begin(), g.references.end());
  d->near_match_window.reset();
  if (g.window != nullptr) d->near_match_window = *g.window;
}
