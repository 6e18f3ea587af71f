// The folder of small networks that the prediction fuzz targets price with: usable ones,
// a missing file, a damaged file and a network of the wrong shape.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "reliability_networks.hpp"

namespace fuzz_networks_detail {
inline std::string folder;
inline void remove_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
}  // namespace fuzz_networks_detail

// Writes the folder once, under /tmp, and removes it when the process exits; aborts when
// it cannot be written, since the target would then test nothing.
inline const std::string &fuzz_networks_folder() {
  using namespace fuzz_networks_detail;
  if (folder.empty()) {
    char pattern[] = "/tmp/orvanta-fuzz-ptp-XXXXXX";
    if (mkdtemp(pattern) == nullptr || !write_reliability_networks(pattern)) {
      std::perror("cannot write the networks folder");
      std::abort();
    }
    folder = pattern;
    std::atexit(remove_folder);
  }
  return folder;
}
