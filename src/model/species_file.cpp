// Species files: reading and writing them.
#include "model/species_file.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <new>
#include <nlohmann/json.hpp>

#include "common/contract.hpp"
#include "common/files.hpp"
#include "common/utf8_text.hpp"

namespace {

constexpr const char *species_file_format = "orvanta-species-1";

// *** Reading ***

using json = nlohmann::json;

// Why a species file cannot be used; caught at the top of the reader.
struct damaged_file {
  std::string reason;
};

[[noreturn]] void damaged(std::string reason) {
  throw damaged_file{std::move(reason)};
}

// A value as it stands in the file, cut short so a message stays one readable line.
std::string shown(const json &value) {
  std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
  if (text.size() > 24) text = text.substr(0, 21) + "...";
  return text;
}

const json &member(const json &object, const char *key) {
  const auto found = object.find(key);
  if (found == object.end()) damaged(std::string("the key \"") + key + "\" is missing");
  return *found;
}

// A whole number 0 to `highest`, written without fraction or exponent.
std::uint64_t whole_number(const json &value, const std::string &where, std::uint64_t highest) {
  if (value.is_number_unsigned()) {
    const std::uint64_t n = value.get<std::uint64_t>();
    if (n > highest)
      damaged(where + " is " + std::to_string(n) + ", above " + std::to_string(highest));
    return n;
  }
  if (value.is_number_integer()) damaged(where + " is " + shown(value) + ", below 0");
  if (value.is_number_float())
    damaged(where + " is " + shown(value) +
            ": a whole number is written without a fraction or an exponent");
  damaged(where + " must be a whole number, not " + shown(value));
}

double number_from(const json &value, const std::string &where, double lowest,
                   std::optional<double> highest) {
  if (!value.is_number()) damaged(where + " must be a number, not " + shown(value));
  const double x = value.get<double>();
  // The bounds are 0 and 1: written as whole numbers.
  if (!(x >= lowest))
    damaged(where + " is " + shown(value) + ", below " + std::to_string(std::lround(lowest)));
  if (highest.has_value() && x > *highest)
    damaged(where + " is " + shown(value) + ", above " + std::to_string(std::lround(*highest)));
  return x;
}

const json &array_of(const json &value, const std::string &where, std::size_t lowest,
                     std::size_t highest) {
  if (!value.is_array()) damaged(where + " must be an array, not " + shown(value));
  if (value.size() < lowest || value.size() > highest) {
    const std::string count = lowest == highest ? "exactly " + std::to_string(lowest)
                              : lowest == 0
                                  ? "at most " + std::to_string(highest)
                                  : std::to_string(lowest) + " to " + std::to_string(highest);
    damaged(where + " has " + std::to_string(value.size()) + " entries; it must have " + count);
  }
  return value;
}

// A displayed name: 1 to 64 bytes, no control characters, which would break the window's
// message lines.
std::string name_from(const json &value) {
  if (!value.is_string()) damaged("name must be a string, not " + shown(value));
  const std::string &name = value.get_ref<const std::string &>();
  if (name.empty() || name.size() > 64)
    damaged("name has " + std::to_string(name.size()) + " bytes; it must have 1 to 64");
  if (!printable_utf8(name)) damaged("name holds a control character");
  return name;
}

int type_from_name(const json &value, const std::string &where) {
  if (value.is_string()) {
    for (int type = 0; type < 16; ++type) {
      if (value.get_ref<const std::string &>() == hidden_power_type_name(type)) return type;
    }
  }
  damaged(where + " is " + shown(value) +
          ", not a type name as the Hidden Power line shows it (\"Fighting\" ... \"Dark\")");
}

bool is_sha256_hex(const json &value) {
  if (!value.is_string()) return false;
  const std::string &text = value.get_ref<const std::string &>();
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// An optional key with one entry per coverage rating: nullptr when it is absent or null,
// otherwise its array of exactly three entries.
const json *by_rating(const json &root, const char *key) {
  const auto found = root.find(key);
  if (found == root.end() || found->is_null()) return nullptr;
  return &array_of(*found, key, 3, 3);
}

// A day as the trainer writes one: YYYY-MM-DD.
bool day_text(const json &value) {
  if (!value.is_string()) return false;
  const std::string &text = value.get_ref<const std::string &>();
  if (text.size() != 10) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 4 || i == 7;
    if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

// The keys of "training" that readers rely on. The dates come as a pair or not at all, so
// that no text states half a period.
training_summary summarize_training(const json &training) {
  training_summary summary;
  if (const auto rows = training.find("rows"); rows != training.end() && rows->is_number_unsigned())
    summary.rows = rows->get<std::uint64_t>();
  if (const auto dates = training.find("dates"); dates != training.end() && dates->is_object()) {
    const auto first = dates->find("first");
    const auto last = dates->find("last");
    if (first != dates->end() && last != dates->end() && day_text(*first) && day_text(*last)) {
      summary.first_date = first->get<std::string>();
      summary.last_date = last->get<std::string>();
    }
  }
  return summary;
}

// Every rule of the format but size, nesting and UTF-8, which the parser enforces.
species_description describe(const json &root, std::uint32_t nid) {
  if (!root.is_object()) damaged("the file must hold one JSON object, not " + shown(root));
  species_description d;
  const json &format = member(root, "format");
  if (format != json(species_file_format))
    damaged("format is " + shown(format) + ", not \"" + species_file_format + "\"");
  const std::uint64_t file_nid = whole_number(member(root, "nid"), "nid", UINT32_MAX);
  if (file_nid != nid)
    damaged("nid is " + std::to_string(file_nid) + " in the file of " + std::to_string(nid));
  d.nid = nid;
  d.name = name_from(member(root, "name"));

  const json &types = array_of(member(root, "hidden_power_types"), "hidden_power_types", 0, 3);
  for (std::size_t i = 0; i < types.size(); ++i) {
    const std::string where = "hidden_power_types[" + std::to_string(i) + "]";
    const int type = type_from_name(types[i], where);
    for (std::size_t k = 0; k < i; ++k) {
      if (d.hidden_power_types[k] == type) damaged(where + " repeats " + shown(types[i]));
    }
    d.hidden_power_types[i] = type;
  }
  d.hidden_power_base_price = static_cast<std::uint32_t>(
      whole_number(member(root, "hidden_power_base_price"), "hidden_power_base_price", UINT32_MAX));
  d.lowest_price_margin = number_from(member(root, "lowest_price_margin"), "lowest_price_margin",
                                      0.0, species_file_max_lowest_margin);
  d.highest_price_margin = number_from(member(root, "highest_price_margin"), "highest_price_margin",
                                       0.0, species_file_max_highest_margin);

  const json &spreads =
      array_of(member(root, "reference_spreads"), "reference_spreads", 0, species_file_max_spreads);
  d.reference_spreads.reserve(spreads.size());
  for (std::size_t s = 0; s < spreads.size(); ++s) {
    const std::string where = "reference_spreads[" + std::to_string(s) + "]";
    const json &ivs = array_of(spreads[s], where, 6, 6);
    iv_spread spread{};
    for (std::size_t i = 0; i < 6; ++i) {
      spread[i] = static_cast<std::uint8_t>(
          whole_number(ivs[i], where + "[" + std::to_string(i) + "]", 31));
    }
    d.reference_spreads.push_back(spread);
  }

  const json &window = member(root, "near_match_window");
  if (!window.is_null()) {
    array_of(window, "near_match_window", 6, 6);
    std::array<iv_window, 6> w{};
    for (std::size_t i = 0; i < 6; ++i) {
      const std::string where = "near_match_window[" + std::to_string(i) + "]";
      const json &pair = array_of(window[i], where, 2, 2);
      w[i].below = static_cast<std::uint8_t>(whole_number(pair[0], where + "[0]", 31));
      w[i].above = static_cast<std::uint8_t>(whole_number(pair[1], where + "[1]", 31));
    }
    d.near_match_window = w;
  }

  if (const json *errors = by_rating(root, "expected_error"); errors != nullptr) {
    for (std::size_t r = 0; r < 3; ++r) {
      const json &e = (*errors)[r];
      if (!e.is_null())
        d.expected_error[r] =
            number_from(e, "expected_error[" + std::to_string(r) + "]", 0.0, std::nullopt);
    }
  }

  if (const json *margins = by_rating(root, "range_margins"); margins != nullptr) {
    for (std::size_t r = 0; r < 3; ++r) {
      const json &pair = (*margins)[r];
      if (pair.is_null()) continue;
      const std::string where = "range_margins[" + std::to_string(r) + "]";
      array_of(pair, where, 2, 2);
      d.range_margins[r] = std::array<double, 2>{
          number_from(pair[0], where + "[0]", 0.0, species_file_max_lowest_margin),
          number_from(pair[1], where + "[1]", 0.0, species_file_max_highest_margin)};
    }
  }

  if (const json *shares = by_rating(root, "range_coverage"); shares != nullptr) {
    for (std::size_t r = 0; r < 3; ++r) {
      if (!(*shares)[r].is_null())
        d.range_coverage[r] =
            number_from((*shares)[r], "range_coverage[" + std::to_string(r) + "]", 0.0, 1.0);
    }
  }

  if (const auto fixed = root.find("fixed_prices"); fixed != root.end()) {
    if (!fixed->is_boolean()) damaged("fixed_prices must be true or false, not " + shown(*fixed));
    d.fixed_prices = fixed->get<bool>();
  }

  if (const auto networks = root.find("networks"); networks != root.end()) {
    if (!networks->is_object()) damaged("networks must be an object, not " + shown(*networks));
    std::array<std::string, 3> sums;
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string key = "m" + std::to_string(k + 1);
      const json &sum = member(*networks, key.c_str());
      if (!is_sha256_hex(sum))
        damaged("networks." + key + " is " + shown(sum) +
                ", not a SHA-256 in 64 lower-case hex digits");
      sums[k] = sum.get<std::string>();
    }
    d.networks = std::move(sums);
  }

  if (const auto training = root.find("training"); training != root.end()) {
    if (!training->is_object()) damaged("training must be an object, not " + shown(*training));
    d.training = training->dump();
    d.trained = summarize_training(*training);
  }
  return d;
}

// Strips the library's "[json.exception.parse_error.101] " tag from a message.
std::string parser_message(const json::exception &e) {
  std::string text = e.what();
  if (const std::size_t end = text.find("] ");
      text.rfind("[json.exception.", 0) == 0 && end != std::string::npos)
    text.erase(0, end + 2);
  return text;
}

}  // namespace

std::string species_file_name(std::uint32_t nid) {
  return std::to_string(nid) + "_species.json";
}

species_file parse_species_file(std::string_view bytes, std::uint32_t nid,
                                std::string_view file_name) {
  species_file result;
  result.state = species_file_state::damaged;
  const std::string prefix = std::string(file_name) + ": ";
  if (bytes.size() > species_file_max_bytes) {
    result.reason = prefix + "has " + std::to_string(bytes.size()) +
                    " bytes, more than the 16 MiB a species file may have";
    return result;
  }
  try {
    // The nesting is checked while parsing, so a deeply nested file is refused before it
    // is built. The callback sees the depth of a container before it is entered.
    const json::parser_callback_t depth_check = [](int depth, json::parse_event_t event, json &) {
      if ((event == json::parse_event_t::object_start ||
           event == json::parse_event_t::array_start) &&
          depth >= species_file_max_depth)
        damaged("arrays and objects are nested deeper than 8");
      return true;
    };
    const json root = json::parse(bytes.begin(), bytes.end(), depth_check);
    result.description = describe(root, nid);
    result.state = species_file_state::valid;
  } catch (const damaged_file &e) {
    result.reason = prefix + e.reason;
  } catch (const json::exception &e) {
    result.reason = prefix + "not valid UTF-8 JSON: " + parser_message(e);
  } catch (const std::bad_alloc &) {
    result.reason = prefix + "memory ran out while reading it";
  }
  return result;
}

species_file read_species_file(const char *folder, std::uint32_t nid) {
  const std::string path = std::string(folder) + "/" + species_file_name(nid);
  const file_bytes f = read_regular_file(path.c_str(), species_file_max_bytes);
  species_file result;
  if (f.problem == file_problem::missing) return result;  // absent
  if (f.problem != file_problem::none) {
    result.state = species_file_state::damaged;
    result.reason = path + ": " + describe_file_problem(f, "16 MiB a species file may have");
    return result;
  }
  result = parse_species_file(f.bytes, nid, path);
  result.identity = f.identity;
  return result;
}

// *** Writing ***

std::string format_species_file(const species_description *d) {
  ORV_CHECK(d != NULL);
  // Scalars go through the JSON library, which escapes names and writes the shortest
  // text that reads back to the same double, whatever the locale.
  std::string out = "{\n";
  const auto line = [&out](const char *key, const std::string &value, bool last = false) {
    out += "  \"";
    out += key;
    out += "\": ";
    out += value;
    out += last ? "\n" : ",\n";
  };
  line("format", json(species_file_format).dump());
  line("nid", std::to_string(d->nid));
  line("name", json(d->name).dump());
  std::string types = "[";
  for (int type : d->hidden_power_types) {
    if (type < 0) continue;
    if (types.size() > 1) types += ", ";
    types += json(hidden_power_type_name(type)).dump();
  }
  line("hidden_power_types", types + "]");
  line("hidden_power_base_price", std::to_string(d->hidden_power_base_price));
  line("lowest_price_margin", json(d->lowest_price_margin).dump());
  line("highest_price_margin", json(d->highest_price_margin).dump());
  std::string spreads = "[";
  for (std::size_t s = 0; s < d->reference_spreads.size(); ++s) {
    spreads += s == 0 ? "\n    [" : ",\n    [";
    for (std::size_t i = 0; i < 6; ++i) {
      if (i > 0) spreads += ", ";
      spreads += std::to_string(d->reference_spreads[s][i]);
    }
    spreads += "]";
  }
  line("reference_spreads", spreads + (d->reference_spreads.empty() ? "]" : "\n  ]"));
  std::string window = "null";
  if (d->near_match_window.has_value()) {
    window = "[";
    for (std::size_t i = 0; i < 6; ++i) {
      const iv_window &w = (*d->near_match_window)[i];
      window +=
          (i > 0 ? ", [" : "[") + std::to_string(w.below) + ", " + std::to_string(w.above) + "]";
    }
    window += "]";
  }
  const bool has_networks = d->networks.has_value();
  const bool has_training = !d->training.empty();
  line("near_match_window", window);
  std::string errors = "[";
  for (std::size_t r = 0; r < 3; ++r) {
    if (r > 0) errors += ", ";
    errors += d->expected_error[r].has_value() ? json(*d->expected_error[r]).dump() : "null";
  }
  line("expected_error", errors + "]");
  const bool any_margins = std::any_of(d->range_margins.begin(), d->range_margins.end(),
                                       [](const auto &pair) { return pair.has_value(); });
  if (any_margins) {
    std::string margins = "[";
    for (std::size_t r = 0; r < 3; ++r) {
      if (r > 0) margins += ", ";
      const auto &pair = d->range_margins[r];
      margins += pair.has_value()
                     ? "[" + json((*pair)[0]).dump() + ", " + json((*pair)[1]).dump() + "]"
                     : "null";
    }
    line("range_margins", margins + "]");
  }
  if (std::any_of(d->range_coverage.begin(), d->range_coverage.end(),
                  [](const auto &share) { return share.has_value(); })) {
    std::string shares = "[";
    for (std::size_t r = 0; r < 3; ++r) {
      if (r > 0) shares += ", ";
      shares += d->range_coverage[r].has_value() ? json(*d->range_coverage[r]).dump() : "null";
    }
    line("range_coverage", shares + "]");
  }
  line("fixed_prices", d->fixed_prices ? "true" : "false", !has_networks && !has_training);
  if (has_networks) {
    const std::array<std::string, 3> &sums = *d->networks;
    line("networks",
         "{\"m1\": " + json(sums[0]).dump() + ", \"m2\": " + json(sums[1]).dump() +
             ", \"m3\": " + json(sums[2]).dump() + "}",
         !has_training);
  }
  if (has_training) line("training", json::parse(d->training).dump(), true);
  out += "}\n";
  return out;
}

const char *hidden_power_type_name(int type) {
  static constexpr std::array<const char *, 16> names = {
      "Fighting", "Flying", "Poison", "Ground",   "Rock",    "Bug", "Ghost",  "Steel",
      "Fire",     "Water",  "Grass",  "Electric", "Psychic", "Ice", "Dragon", "Dark"};
  return type >= 0 && type < 16 ? names[static_cast<std::size_t>(type)] : nullptr;
}
