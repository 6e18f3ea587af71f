// The networks search path and the file names of a species.
#include "model/ptp_path.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "model/species_file.hpp"

TEST(SearchPath, WorkingFolderThenSellersFolderThenInstalled) {
  const char *saved_xdg = std::getenv("XDG_DATA_HOME");
  const char *saved_home = std::getenv("HOME");
  const std::string xdg = saved_xdg != nullptr ? saved_xdg : "";
  const std::string home = saved_home != nullptr ? saved_home : "";
  setenv("HOME", "/home/seller", 1);
  setenv("XDG_DATA_HOME", "/data", 1);
  std::vector<std::string> path = default_ptp_search_path();
  ASSERT_EQ(path.size(), 3U);
  EXPECT_EQ(path[0], "./ptp");
  EXPECT_EQ(path[1], "/data/orvanta/ptp");
  EXPECT_EQ(path[2], installed_ptp_dir());
  EXPECT_NE(path[2].find("share/orvanta/ptp"), std::string::npos);
  for (const char *unset : {"", "relative/data"}) {
    setenv("XDG_DATA_HOME", unset, 1);
    EXPECT_EQ(seller_ptp_dir(), "/home/seller/.local/share/orvanta/ptp") << unset;
  }
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(seller_ptp_dir(), "/home/seller/.local/share/orvanta/ptp");
  if (saved_xdg != nullptr) setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  if (saved_home != nullptr) setenv("HOME", home.c_str(), 1);
}

TEST(NetworkFileName, TextAsTypedNamesTheFiles) {
  EXPECT_EQ(network_file_name("058", 2), "058_m2.tp");
  EXPECT_EQ(network_file_path("./ptp", "58x", 3), "./ptp/58x_m3.tp");
  EXPECT_EQ(species_file_name(58), "58_species.json");
  EXPECT_EQ(national_number("058"), 58U);
  EXPECT_EQ(national_number(" 58x"), 58U);
  // Nothing outside the folder: no name at all for a text that would leave it.
  for (const char *text : {"../", "5/x", "/", ".", ".."}) {
    EXPECT_EQ(network_file_name(text, 1), "") << text;
    EXPECT_EQ(network_file_path("./ptp", text, 1), "") << text;
  }
  EXPECT_EQ(network_file_name("..5", 1), "..5_m1.tp");
}
