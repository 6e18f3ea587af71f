// Orvanta: predicts the market price of a Pokémon from the form in its window.
#include <gtk/gtk.h>

#include <cstdio>
#include <memory>

#include "app/orvanta.hpp"

namespace {

// The three records live as long as the process; nothing releases them. Held here, not
// only on main's stack, so that they stay reachable after main returns.
app_model *model;
app_view *view;
app_controller *controller;

struct option_context_deleter {
  void operator()(GOptionContext *context) const { g_option_context_free(context); }
};

// Reads the program's own options and GTK's (--display, --gtk-debug, ...) without opening
// a display, so that --help and --version answer on a terminal without one. GTK's options
// are applied and removed from the arguments; any other argument is left and ignored.
// Answers -1 to go on, or the exit status once the program has answered.
int read_options(int *argc, char ***argv) {
  gboolean version = FALSE;
  const GOptionEntry entries[] = {{"version", 'V', 0, G_OPTION_ARG_NONE, &version,
                                   "Show the program's version and exit", nullptr},
                                  {}};
  std::unique_ptr<GOptionContext, option_context_deleter> context(
      g_option_context_new("- price a Pokémon before you sell it"));
  g_option_context_set_summary(
      context.get(),
      "Type a Pokémon's National ID, level, Shiny flag and six IVs and press Predict: the\n"
      "window shows three price estimates, their average, a recommended sales range and\n"
      "the Hidden Power type. Each species is priced from the first of ./ptp,\n"
      "${XDG_DATA_HOME:-~/.local/share}/orvanta/ptp and the installed networks that\n"
      "holds its files.");
  g_option_context_add_main_entries(context.get(), entries, nullptr);
  g_option_context_add_group(context.get(), gtk_get_option_group(FALSE));
  g_option_context_set_ignore_unknown_options(context.get(), TRUE);
  GError *error = nullptr;
  if (!g_option_context_parse(context.get(), argc, argv, &error)) {
    std::fprintf(stderr, "orvanta: %s\nTry 'orvanta --help'.\n", error->message);
    g_error_free(error);
    return 2;
  }
  if (version) {
    std::printf("orvanta %s\n", ORVANTA_VERSION);
    return 0;
  }
  return -1;
}

}  // namespace

int main(int argc, char *argv[]) {
  model = create_app_model();
  view = create_app_view(model);
  controller = create_app_controller(model, view);

  if (const int status = read_options(&argc, &argv); status >= 0) return status;
  gtk_init(&argc, &argv);
  open_main_window(controller);
  gtk_main();
  return 0;
}
