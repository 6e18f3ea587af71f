// Where a species' networks and species file are found: the one place that composes their
// file names, the search path of networks folders, and the folder that prices a species.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The national number a National ID text stands for, read as atoi reads it: it names the
// species file and picks the species ("058", "58" and "58x" are all 58).
std::uint32_t national_number(const char *nid_text);

// A network file's name: the National ID text as typed, then "_m1.tp", "_m2.tp" or
// "_m3.tp" for index 1, 2 or 3 ("058" and "58" name different files). The files lie inside
// the networks folder only: a text that holds '/', or is "." or "..", names none, and the
// name is then empty.
std::string network_file_name(const char *nid_text, int index);
// "<folder>/<network_file_name>", or empty where the text names no network file.
std::string network_file_path(const std::string &folder, const char *nid_text, int index);

// The seller's own networks folder, ${XDG_DATA_HOME:-$HOME/.local/share}/orvanta/ptp (an
// empty or relative XDG_DATA_HOME counts as unset), or "" when neither variable helps.
std::string seller_ptp_dir();
// The installed networks, <folder of the running program>/../share/orvanta/ptp, or ""
// when the program's own path cannot be read.
std::string installed_ptp_dir();
// True when `folder` is the installed networks' folder as installed_ptp_dir() names it (the
// bundled example networks), which is how the search path names it.
bool is_installed_ptp_dir(const std::string &folder);

// The folders searched in order when none is chosen: ./ptp, the seller's own folder, the
// installed networks. Folders that do not exist are kept: they hold nothing.
std::vector<std::string> default_ptp_search_path();

// The folder that prices the species typed as `nid_text`: the first of `path` holding its
// species file or its first network file, otherwise the first folder ("./ptp" for an
// empty path). A species found damaged there is refused, never looked for further on.
std::string species_folder(const std::vector<std::string> &path, const char *nid_text);
