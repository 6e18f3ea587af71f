// A test fixture that runs its tests in a decimal-comma locale (de_DE.UTF-8, or another
// that writes "0,5"), as the window's toolkit may select from the environment.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvanta_test {

inline bool decimal_comma() {
  return std::localeconv()->decimal_point[0] == ',';
}

// Selects a locale that writes "0,5". When the system has none installed, one is
// compiled from the system's locale sources into a private folder for this process.
inline bool select_decimal_comma_locale() {
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "it_IT.UTF-8", "es_ES.UTF-8",
                           "ru_RU.UTF-8", "nl_NL.UTF-8"})
    if (std::setlocale(LC_ALL, name) != nullptr && decimal_comma()) return true;
  const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
  const std::string dir = testing::TempDir() + "orvanta_" + info->test_suite_name() + "_" +
                          info->name() + "_" + std::to_string(getpid()) + "_locales";
  const std::string command = "mkdir -p '" + dir + "' && localedef -c -i de_DE -f UTF-8 '" + dir +
                              "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) == -1) return false;
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr && decimal_comma();
}

class DecimalCommaLocale : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(select_decimal_comma_locale())
        << "no decimal-comma locale could be selected or generated (scripts/setup installs "
           "the locales package and de_DE.UTF-8)";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    ASSERT_STREQ(text, "0,5");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    const char *dir = std::getenv("LOCPATH");
    if (dir != nullptr) {
      std::system(("rm -rf '" + std::string(dir) + "'").c_str());
      unsetenv("LOCPATH");
    }
  }
};

}  // namespace orvanta_test
