// What the tests of the real window share: pumping GTK's events, a working folder with
// ./ptp as the program expects to be started in, the main window built exactly as the
// program builds it, and a test main that needs an X display.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/orvanta.hpp"

// Handles every pending event after the X server has caught up.
void pump();

// Pumps events until `done` holds or two seconds have passed; answers `done`.
template <typename Condition>
bool wait_for(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pump();
    g_usleep(2000);
  }
  return true;
}

using networks_writer = bool (*)(const std::string &dir);

// A fresh folder holding ./ptp filled by `write`, made the working folder for the life of
// the object.
class networks_folder {
 public:
  explicit networks_folder(networks_writer write);
  ~networks_folder();
  networks_folder(const networks_folder &) = delete;
  networks_folder &operator=(const networks_folder &) = delete;
  bool ready() const { return written_; }

 private:
  std::filesystem::path dir_;
  std::filesystem::path previous_;
  bool written_ = false;
};

// The main window exactly as the program builds it, shown and drawn, over the networks
// that the derived fixture's writer puts in ./ptp.
class main_window_test : public ::testing::Test {
 protected:
  explicit main_window_test(networks_writer write) : folder_(write) {}
  void SetUp() override;
  void TearDown() override;

  // National ID, Lvl, HP, Atk, Def, SP Atk, SP Def, SPD.
  std::array<GtkWidget *, 8> entries() const;
  // The seven result labels' texts in field order.
  std::vector<std::string> labels() const;
  // The source line's text.
  std::string source_line() const;
  // The seven result labels in field order, then the source line.
  std::vector<GtkWidget *> result_widgets() const;

  networks_folder folder_;
  app_model *model_ = nullptr;
  app_view *view_ = nullptr;
  app_controller *controller_ = nullptr;
  GtkWidget *window_ = nullptr;
};

// The main of a window test program: the X11 backend, no accessibility bus, synthesized
// input taken as the core pointer's; GTK is not initialised when only listing tests.
int run_window_tests(int argc, char **argv);
