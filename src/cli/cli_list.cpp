// The species list: the built-in table and the species files found along the path.
#include "cli/cli_list.hpp"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>

#include "cli/cli_output.hpp"
#include "common/files.hpp"
#include "model/ptp_path.hpp"

namespace {

using json = nlohmann::ordered_json;

// The National ID of a species file's name ("121_species.json"), written as the files are
// named: decimal, no leading zero, at most 4294967295.
std::optional<std::uint32_t> species_file_nid(std::string_view name) {
  constexpr std::string_view suffix = "_species.json";
  if (name.size() <= suffix.size() || !name.ends_with(suffix)) return std::nullopt;
  const std::string_view digits = name.substr(0, name.size() - suffix.size());
  if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
  std::uint32_t nid = 0;
  const auto end = digits.data() + digits.size();
  const auto result = std::from_chars(digits.data(), end, nid);
  if (result.ec != std::errc{} || result.ptr != end) return std::nullopt;
  return nid;
}

std::string percent(const std::optional<double> &fraction) {
  if (!fraction.has_value()) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", *fraction * 100.0);
  return text;
}

// "5.0% / - / 25.0%": one figure per rating.
std::string by_rating(const std::array<std::optional<double>, 3> &figures) {
  return percent(figures[0]) + " / " + percent(figures[1]) + " / " + percent(figures[2]);
}

nlohmann::ordered_json by_rating_json(const std::array<std::optional<double>, 3> &figures) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const std::optional<double> &f : figures)
    list.push_back(f.has_value() ? nlohmann::ordered_json(*f) : nlohmann::ordered_json(nullptr));
  return list;
}

}  // namespace

std::vector<listed_species> list_species(const std::vector<std::string> &path) {
  std::map<std::uint32_t, bool> candidates;  // National ID -> on the built-in table, priced
  for (const species_description &d : built_in_species()) {
    if (d.priced) candidates[d.nid] = true;
  }
  for (const std::string &folder : path) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::optional<std::uint32_t> nid = species_file_nid(it->path().filename().native());
      if (nid.has_value()) candidates.emplace(*nid, false);
    }
  }
  std::vector<listed_species> list;
  for (const auto &[nid, built_in] : candidates) {
    const std::string text = std::to_string(nid);
    listed_species s;
    s.nid = nid;
    s.folder = species_folder(path, text.c_str());
    const species_file file = read_species_file(s.folder.c_str(), nid);
    s.source = file.state;
    if (file.state == species_file_state::absent) {
      if (!built_in) continue;  // its file lies behind a folder that prices it by the table
      s.name = find_built_in_species(nid)->name;
    } else if (file.state == species_file_state::damaged) {
      s.reason = file.reason;
    } else {
      s.name = file.description.name;
      s.training_rows = file.description.trained.rows;
      s.expected_error = file.description.expected_error;
      s.range_coverage = file.description.range_coverage;
    }
    s.networks = true;
    for (int k = 1; k <= 3; ++k)
      s.networks = s.networks && path_exists(network_file_path(s.folder, text.c_str(), k));
    list.push_back(std::move(s));
  }
  return list;
}

std::string list_line_text(const listed_species &s, const std::string &folder_role) {
  std::string line = std::to_string(s.nid);
  switch (s.source) {
    case species_file_state::absent:
      line += " " + s.name + ": built-in table";
      break;
    case species_file_state::valid: {
      line += " " + s.name + ": species file";
      std::string training;
      if (s.training_rows.has_value())
        training = std::to_string(*s.training_rows) + " training rows; ";
      line += " (" + training + "expected error " + by_rating(s.expected_error) +
              "; inside the range " + by_rating(s.range_coverage) + ")";
      break;
    }
    case species_file_state::damaged:
      line += ": damaged species file, not priced";
      break;
  }
  line += s.networks ? ", networks present" : ", networks missing";
  line += ", folder " + s.folder;
  if (!folder_role.empty()) line += " (" + folder_role + ")";
  return line + "\n";
}

std::string list_line_json(const listed_species &s) {
  json j;
  j["nid"] = s.nid;
  if (s.source == species_file_state::damaged) {
    j["name"] = nullptr;
  } else {
    j["name"] = s.name;
  }
  j["priced_by"] = s.source == species_file_state::absent  ? "built-in table"
                   : s.source == species_file_state::valid ? "species file"
                                                           : "damaged species file";
  j["folder"] = s.folder;
  j["networks"] = s.networks;
  j["training_rows"] = s.training_rows.has_value() ? json(*s.training_rows) : json(nullptr);
  const bool valid = s.source == species_file_state::valid;
  j["expected_error"] = valid ? by_rating_json(s.expected_error) : json(nullptr);
  j["range_coverage"] = valid ? by_rating_json(s.range_coverage) : json(nullptr);
  return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}
