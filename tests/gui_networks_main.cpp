// Writes the window tests' networks into the folder named on the command line.
#include <cstdio>

#include "gui_networks.hpp"

int main(int argc, char *argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  if (!write_test_networks(argv[1])) {
    std::fprintf(stderr, "%s: cannot write the networks into %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
