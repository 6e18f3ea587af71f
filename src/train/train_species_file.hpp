// The species file the trainer writes beside a species' three networks.
#pragma once

#include <string>

#include "model/species_file.hpp"

// The format tag of the species files this trainer writes.
inline constexpr const char *species_file_format = "orvanta-species-1";

// "<dir>/<nid>_species.json".
std::string species_file_path(const std::string &dir, std::uint32_t nid);

// The text of the species file describing `d`: one JSON object, a key per line and a
// reference spread per line. `d.training` is written as it is (compact JSON, or nothing
// when empty). The same description always gives the same bytes.
std::string compose_species_file(const species_description &d);
