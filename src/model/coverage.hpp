// Coverage classifiers: how well a species group's training data covers an IV spread.
// 0: the spread is one of the group's reference spreads; 1: it lies in the near-match
// window of one (only Growlithe, Staryu and Scyther have a window); 2: neither.
#pragma once

#include <cstdint>

int Growlithe_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                    std::uint32_t sp_def, std::uint32_t spd);
int Seel_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
               std::uint32_t sp_def, std::uint32_t spd);
int Horsea_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                 std::uint32_t sp_def, std::uint32_t spd);
int Staryu_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                 std::uint32_t sp_def, std::uint32_t spd);
int Scyther_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                  std::uint32_t sp_def, std::uint32_t spd);
int Eevee_range(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                std::uint32_t sp_def, std::uint32_t spd);

struct species_description;

// The coverage rating of a spread against a species' reference spreads: 0 when it equals
// one, 1 when every IV lies within the near-match window of one (never when there is no
// window), 2 otherwise. IVs are compared as unsigned 32-bit values, so a negative IV as
// typed (a very large value) matches nothing. The six classifiers rate by the same rule.
// REQUIRES: d != NULL.
int rate_spread(const species_description *d, std::uint32_t hp, std::uint32_t atk,
                std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def, std::uint32_t spd);

// The species groups of the built-in table, each rated by one classifier.
enum class coverage_group { growlithe, seel, horsea, staryu, scyther, eevee };

// Copies the group's reference spreads and near-match window into d, so the species table
// describes its species as a species file would. REQUIRES: d != NULL.
void describe_coverage(coverage_group group, species_description *d);
