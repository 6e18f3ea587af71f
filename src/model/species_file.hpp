// Species files: "<N>_species.json" beside a species' three networks says how that species
// is priced, in place of the built-in species table. The trainer writes them; a seller may
// write one by hand. The reader enforces every limit of the format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.hpp"

// Six IVs in the form's order: HP, Atk, Def, SP Atk, SP Def, SPD, each 0 to 31.
using iv_spread = std::array<std::uint8_t, 6>;

// How far below and above a reference IV a spread may lie and still rate as a near match.
struct iv_window {
  std::uint8_t below = 0;
  std::uint8_t above = 0;
};

// What a species file's free-form "training" object says in the keys that readers rely
// on, where it says it; a value of another form is left out, never refused.
struct training_summary {
  std::optional<std::uint64_t> rows;  // training.rows: the sales the networks learned from
  std::string first_date;             // training.dates.first, YYYY-MM-DD; empty if not stated
  std::string last_date;              // training.dates.last, YYYY-MM-DD; empty if not stated
};

// One species as a species file describes it (or as the built-in table does).
struct species_description {
  std::uint32_t nid = 0;
  // The built-in table knows species it does not price (their networks are missing); a
  // species file always prices its species.
  bool priced = true;
  std::string name;                                      // 1 to 64 bytes, no control characters
  std::array<int, 3> hidden_power_types = {-1, -1, -1};  // type numbers 0 to 15; -1: empty
  std::uint32_t hidden_power_base_price = 500000;
  double lowest_price_margin = 0.1;
  double highest_price_margin = 0.1;
  std::vector<iv_spread> reference_spreads;                   // at most 100,000
  std::optional<std::array<iv_window, 6>> near_match_window;  // nothing: never rates 1
  std::array<std::optional<double>, 3> expected_error;        // by rating 0, 1, 2
  // The range margins {lowest, highest} of the spreads of one rating, in place of the two
  // species-wide margins above; a rating without its own pair uses those.
  std::array<std::optional<std::array<double, 2>>, 3> range_margins;
  // By rating: the share of measured sales whose price lay inside the recommended range.
  std::array<std::optional<double>, 3> range_coverage;
  // False: no spread has a fixed price; epic fails and all-equal spreads are priced by the
  // networks like any other.
  bool fixed_prices = true;
  std::optional<std::array<std::string, 3>> networks;  // SHA-256 of _m1, _m2, _m3 (hex)
  std::string training;      // the free-form "training" object as compact JSON; empty if absent
  training_summary trained;  // what `training` says of the sales, read from it
};

// *** Reading and writing species files ***

// What a networks folder says about one species.
enum class species_file_state {
  absent,   // no species file: the built-in table applies
  valid,    // the file describes the species
  damaged,  // the file is there but cannot be used: predictions of the species fail
};

struct species_file {
  species_file_state state = species_file_state::absent;
  species_description description;  // only when valid
  std::string reason;               // only when damaged: the file's name and what is wrong
  file_identity identity;           // the file read_species_file read, if it read one
};

// The highest margins a species file may give: the lowest price keeps at least nothing of
// the average, the highest may reach eleven times it.
inline constexpr double species_file_max_lowest_margin = 1.0;
inline constexpr double species_file_max_highest_margin = 10.0;

// The largest species file read, and the deepest nesting of arrays and objects in it.
inline constexpr std::size_t species_file_max_bytes = 16U * 1024U * 1024U;
inline constexpr int species_file_max_depth = 8;
inline constexpr std::size_t species_file_max_spreads = 100000;

// The species file's name for a national number: "121_species.json".
std::string species_file_name(std::uint32_t nid);

// Reads "<folder>/<nid>_species.json". Absent only when no file of that name exists; a
// file that exists but cannot be read is damaged.
species_file read_species_file(const char *folder, std::uint32_t nid);

// Checks the bytes of a species file for national number `nid` against every rule of the
// format. `file_name` starts each reason (e.g. "./ptp/121_species.json"). Never absent.
species_file parse_species_file(std::string_view bytes, std::uint32_t nid,
                                std::string_view file_name);

// The species file text for the description, deterministic (the same description always
// gives the same bytes), which parse_species_file reads back to the same description.
// REQUIRES: d != NULL and d is valid by the format's rules.
std::string format_species_file(const species_description *d);

// The Hidden Power type's name as the Hidden Power line shows it ("Fire" for 8), or
// nullptr outside 0 to 15.
const char *hidden_power_type_name(int type);

// *** The built-in table ***

// The built-in species table in its fixed order, priced or not: names, Hidden Power types,
// margins, reference spreads and windows. Lives as long as the program.
const std::vector<species_description> &built_in_species();
// The built-in entry for `nid`, or nullptr when the table does not know it.
const species_description *find_built_in_species(std::uint32_t nid);
