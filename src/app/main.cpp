// Orvanta: predicts the market price of a Pokémon from the form in its window.
#include <gtk/gtk.h>

#include "app/orvanta.hpp"

namespace {

// The three records live as long as the process; nothing releases them. Held here, not
// only on main's stack, so that they stay reachable after main returns.
app_model *model;
app_view *view;
app_controller *controller;

}  // namespace

int main(int argc, char *argv[]) {
  model = create_app_model();
  view = create_app_view(model);
  controller = create_app_controller(model, view);

  gtk_init(&argc, &argv);
  open_main_window(controller);
  gtk_main();
  return 0;
}
