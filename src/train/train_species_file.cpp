// Writing species files with nlohmann-json's escaping and number formatting, laid out for
// a person reading them.
#include "train/train_species_file.hpp"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "train/train_sales.hpp"

namespace {

using json = nlohmann::ordered_json;

std::string text(const json &value) {
  return value.dump(-1, ' ', false, json::error_handler_t::strict);
}

// An array of values, written "[a, b, c]" as the rest of the file is.
std::string list_text(const json &values) {
  std::string line = "[";
  for (std::size_t i = 0; i < values.size(); ++i) line += (i == 0 ? "" : ", ") + text(values[i]);
  return line + "]";
}

std::string spread_text(const iv_spread &s) {
  std::string line = "[";
  for (std::size_t i = 0; i < s.size(); ++i) line += (i == 0 ? "" : ", ") + std::to_string(s[i]);
  return line + "]";
}

}  // namespace

std::string species_file_path(const std::string &dir, std::uint32_t nid) {
  return (std::filesystem::path(dir) / (std::to_string(nid) + "_species.json")).string();
}

std::string compose_species_file(const species_description &d) {
  std::vector<std::pair<const char *, std::string>> entries;
  const auto key = [&](const char *name, std::string value) {
    entries.emplace_back(name, std::move(value));
  };
  key("format", text(species_file_format));
  key("nid", text(d.nid));
  key("name", text(d.name));
  json types = json::array();
  for (int type : d.hidden_power_types)
    if (type >= 0) types.push_back(hidden_power_type_names.at(static_cast<std::size_t>(type)));
  key("hidden_power_types", list_text(types));
  key("hidden_power_base_price", text(d.hidden_power_base_price));
  key("lowest_price_margin", text(d.lowest_price_margin));
  key("highest_price_margin", text(d.highest_price_margin));
  std::string spreads = "[";
  for (std::size_t i = 0; i < d.reference_spreads.size(); ++i)
    spreads += (i == 0 ? "\n    " : ",\n    ") + spread_text(d.reference_spreads[i]);
  spreads += d.reference_spreads.empty() ? "]" : "\n  ]";
  key("reference_spreads", spreads);
  if (d.near_match_window.has_value()) {
    std::string window = "[";
    for (std::size_t i = 0; i < 6; ++i) {
      const iv_window &w = (*d.near_match_window)[i];
      window +=
          (i == 0 ? "[" : ", [") + std::to_string(w.below) + ", " + std::to_string(w.above) + "]";
    }
    key("near_match_window", window + "]");
  } else {
    key("near_match_window", "null");
  }
  json errors = json::array();
  for (const std::optional<double> &e : d.expected_error)
    errors.push_back(e.has_value() ? json(*e) : json(nullptr));
  key("expected_error", list_text(errors));
  if (d.networks.has_value()) {
    const auto &n = *d.networks;
    key("networks",
        "{\"m1\": " + text(n[0]) + ", \"m2\": " + text(n[1]) + ", \"m3\": " + text(n[2]) + "}");
  }
  if (!d.training.empty()) key("training", d.training);
  std::string out = "{\n";
  for (std::size_t i = 0; i < entries.size(); ++i)
    out += "  " + text(entries[i].first) + ": " + entries[i].second +
           (i + 1 < entries.size() ? ",\n" : "\n");
  return out + "}\n";
}
