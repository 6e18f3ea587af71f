// A folder of small networks for the reliability tests and the fuzzers: usable networks
// for most priced species, and for the others the faults a user's copy of a network
// folder can have (a missing file, a damaged file, a network of the wrong shape).
#pragma once

#include <string>

// National ID texts whose three networks are all present and usable: a prediction of one
// of them runs the networks. "058" names its own files, apart from "58".
inline constexpr const char *usable_network_texts[] = {"58", "058", "120", "123", "133"};
// Priced species whose networks cannot be used: 59 lacks its third file, 121's second
// file is cut short in the middle of its weights, and 212's first network has three
// outputs where the price model reads four.
inline constexpr const char *missing_network_text = "59";
inline constexpr const char *damaged_network_text = "121";
inline constexpr const char *misshapen_network_text = "212";

// Writes the networks into the existing folder `dir`, their weights drawn from a fixed
// seed, so every run writes the same files. Returns false when a file cannot be written.
bool write_reliability_networks(const std::string &dir);

// True when `nid` is exactly one of usable_network_texts.
bool has_usable_networks(const std::string &nid);
