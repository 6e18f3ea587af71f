// The application shell: the main window and the form inside it.
#pragma once

#include <gtk/gtk.h>

#include "controller/controller_orvanta.hpp"

inline constexpr const char *window_title = "Orvanta BETA v4.48.4";

// A new top-level window titled `title` with the default size `width` x `height`;
// closing it ends the GTK main loop. The window is released by GTK when destroyed.
GtkWidget *create_windows(const char *title, int width, int height);

// Fills the GtkFixed `container` with the form and the empty result labels, stores the
// widgets in the controller and, through it, the view, and connects the Shiny box and
// the Predict button (and Enter in every entry) to the controller. Does nothing when
// either argument is null.
void create_gui(app_controller *controller, GtkWidget *container);

// Builds the main window for `controller` as the program opens it (window stored in the
// view, fixed container, form) and shows it. REQUIRES: GTK is initialised.
GtkWidget *open_main_window(app_controller *controller);
