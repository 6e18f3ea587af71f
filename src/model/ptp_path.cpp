// Network file names, the search path of networks folders and the folder of a species.
#include "model/ptp_path.hpp"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/files.hpp"
#include "model/model_orvanta.hpp"
#include "model/species_file.hpp"

std::uint32_t national_number(const char *nid_text) {
  return static_cast<std::uint32_t>(parse_form_number(nid_text));
}

std::string network_file_name(const char *nid_text, int index) {
  const std::string_view text = nid_text;
  if (text.find('/') != std::string_view::npos || text == "." || text == "..") return std::string();
  return std::string(text) + "_m" + std::to_string(index) + ".tp";
}

std::string network_file_path(const std::string &folder, const char *nid_text, int index) {
  std::string name = network_file_name(nid_text, index);
  return name.empty() ? name : folder + "/" + name;
}

std::string seller_ptp_dir() {
  const char *data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') return std::string(data_home) + "/orvanta/ptp";
  const char *home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/orvanta/ptp";
  return std::string();
}

std::string installed_ptp_dir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return (exe.parent_path() / ".." / "share" / "orvanta" / "ptp").lexically_normal().string();
}

bool is_installed_ptp_dir(const std::string &folder) {
  // The program's own path does not change while it runs: read it once.
  static const std::string installed = installed_ptp_dir();
  return !installed.empty() && folder == installed;
}

std::vector<std::string> default_ptp_search_path() {
  std::vector<std::string> path = {"./ptp"};
  for (std::string folder : {seller_ptp_dir(), installed_ptp_dir()}) {
    if (!folder.empty()) path.push_back(std::move(folder));
  }
  return path;
}

std::string species_folder(const std::vector<std::string> &path, const char *nid_text) {
  const std::uint32_t nid = national_number(nid_text);
  for (const std::string &folder : path) {
    const std::string first_network = network_file_path(folder, nid_text, 1);
    if (path_exists(folder + "/" + species_file_name(nid)) ||
        (!first_network.empty() && path_exists(first_network)))
      return folder;
  }
  return path.empty() ? std::string("./ptp") : path.front();
}
