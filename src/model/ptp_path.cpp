// Network file names, the search path of networks folders and the folder of a species.
#include "model/ptp_path.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "model/model_orvanta.hpp"
#include "model/species_file.hpp"

std::string network_file_name(const char *nid_text, int index) {
  return std::string(nid_text) + "_m" + std::to_string(index) + ".tp";
}

std::string network_file_path(const std::string &folder, const char *nid_text, int index) {
  return folder + "/" + network_file_name(nid_text, index);
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

namespace {

bool exists(const std::string &path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string species_folder(const std::vector<std::string> &path, const char *nid_text) {
  const auto nid = static_cast<std::uint32_t>(parse_form_number(nid_text));
  for (const std::string &folder : path) {
    if (exists(folder + "/" + species_file_name(nid)) ||
        exists(network_file_path(folder, nid_text, 1)))
      return folder;
  }
  return path.empty() ? std::string("./ptp") : path.front();
}
