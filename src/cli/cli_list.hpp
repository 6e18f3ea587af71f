// orvanta-cli --list: the species a search path of networks folders can price, each with
// the folder that prices it, what describes it (its species file or the built-in table),
// whether its three networks are there and what its species file says of its training.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/species_file.hpp"

struct listed_species {
  std::uint32_t nid = 0;
  std::string folder;  // the first folder of the path holding its species file or networks
  species_file_state source = species_file_state::absent;  // absent: the built-in table
  std::string name;                                        // empty for a damaged species file
  std::string reason;                          // why a damaged species file cannot be used
  bool networks = false;                       // all three network files are in the folder
  std::optional<std::uint64_t> training_rows;  // the species file's training "rows"
  std::array<std::optional<double>, 3> expected_error;
  std::array<std::optional<double>, 3> range_coverage;  // the share inside the range, by rating
};

// The species `path` prices, by National ID: the built-in table's priced species and every
// species with a "<N>_species.json" in a folder of the path, each described as the folder
// that prices it holds it (a species file there, damaged or not, comes first).
std::vector<listed_species> list_species(const std::vector<std::string> &path);

// One species as a line of text for people, or as a JSON object (one per line).
std::string list_line_text(const listed_species &s, const std::string &folder_role);
std::string list_line_json(const listed_species &s);
