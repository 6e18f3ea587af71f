#include "window_harness.hpp"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

void pump() {
  gdk_display_sync(gdk_display_get_default());
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

networks_folder::networks_folder(networks_writer write) {
  char pattern[] = "/tmp/orvanta-window-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  dir_ = pattern;
  fs::create_directory(dir_ / "ptp");
  written_ = write((dir_ / "ptp").string());
  previous_ = fs::current_path();
  fs::current_path(dir_);
}

networks_folder::~networks_folder() {
  if (dir_.empty()) return;
  fs::current_path(previous_);
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void main_window_test::SetUp() {
  ASSERT_TRUE(folder_.ready());
  model_ = create_app_model();
  view_ = create_app_view(model_);
  controller_ = create_app_controller(model_, view_);
  ASSERT_NE(controller_, nullptr);
  window_ = open_main_window(controller_);
  ASSERT_TRUE(wait_for([&] { return gtk_widget_get_mapped(window_); }));
  gtk_test_widget_wait_for_draw(window_);
}

void main_window_test::TearDown() {
  if (window_ != nullptr) {
    // Closing would quit a main loop; these tests run none.
    g_signal_handlers_disconnect_by_func(window_, reinterpret_cast<gpointer>(gtk_main_quit),
                                         nullptr);
    gtk_widget_destroy(window_);
    pump();
  }
  delete controller_;
  delete view_;
  free_app_model(model_);
}

std::array<GtkWidget *, 8> main_window_test::entries() const {
  return {get_nid_entry(controller_),    get_lvl_entry(controller_), get_hp_entry(controller_),
          get_atk_entry(controller_),    get_def_entry(controller_), get_sp_atk_entry(controller_),
          get_sp_def_entry(controller_), get_spd_entry(controller_)};
}

std::vector<std::string> main_window_test::labels() const {
  const auto text_of = [](GtkWidget *label) -> std::string {
    return gtk_label_get_text(GTK_LABEL(label));
  };
  return {text_of(get_hidden_power_label(view_)),       text_of(get_models_intro_label(view_)),
          text_of(get_first_model_label(view_)),        text_of(get_second_model_label(view_)),
          text_of(get_third_model_label(view_)),        text_of(get_model_resume_label(view_)),
          text_of(get_hidden_power_resume_label(view_))};
}

std::string main_window_test::source_line() const {
  return gtk_label_get_text(GTK_LABEL(get_source_line_label(view_)));
}

std::vector<GtkWidget *> main_window_test::result_widgets() const {
  return {get_hidden_power_label(view_),        get_models_intro_label(view_),
          get_first_model_label(view_),         get_second_model_label(view_),
          get_third_model_label(view_),         get_model_resume_label(view_),
          get_hidden_power_resume_label(view_), get_source_line_label(view_)};
}

int run_window_tests(int argc, char **argv) {
  g_setenv("GDK_BACKEND", "x11", FALSE);
  g_setenv("NO_AT_BRIDGE", "1", FALSE);
  g_setenv("GDK_CORE_DEVICE_EVENTS", "1", FALSE);
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // A home of its own: nothing of the machine's settings (a desktop font in
  // ~/.config/gtk-3.0) reaches the window, and nothing is written outside the test.
  char home[] = "/tmp/orvanta-window-home-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  g_setenv("HOME", home, TRUE);
  g_setenv("XDG_DATA_HOME", (std::string(home) + "/.local/share").c_str(), TRUE);
  g_setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), TRUE);
  int status = 1;
  if (gtk_init_check(&argc, &argv)) {
    status = RUN_ALL_TESTS();
  } else {
    std::fprintf(stderr, "%s: no X display; run under xvfb-run\n", argv[0]);
  }
  std::error_code ignored;
  fs::remove_all(home, ignored);
  return status;
}
