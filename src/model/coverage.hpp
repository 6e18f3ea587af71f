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
using coverage_classifier = int (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                    std::uint32_t, std::uint32_t);
// Copies the classifier's reference spreads and near-match window into d, so the species
// table can describe its species as a species file would. False for a function that is not
// one of the six classifiers. REQUIRES: d != NULL.
bool describe_coverage(coverage_classifier classifier, species_description *d);
