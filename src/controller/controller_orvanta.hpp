// The controller: the form's input widgets, the Shiny toggle and the Predict action.
#pragma once

#include <gtk/gtk.h>

#include "model/model_orvanta.hpp"
#include "view/view_orvanta.hpp"

// The form's input widgets and the model and view they drive. The widgets belong to the
// window and the records to the program; the controller only refers to them. One per
// window, never released.
struct app_controller {
  GtkWidget *shiny_check_box = nullptr;
  GtkWidget *nid_entry = nullptr;
  GtkWidget *lvl_entry = nullptr;
  GtkWidget *hp_entry = nullptr;
  GtkWidget *atk_entry = nullptr;
  GtkWidget *def_entry = nullptr;
  GtkWidget *sp_atk_entry = nullptr;
  GtkWidget *sp_def_entry = nullptr;
  GtkWidget *spd_entry = nullptr;
  GtkWidget *predict_btn_entry = nullptr;
  app_model *controller_model = nullptr;
  app_view *controller_view = nullptr;
};

// A new controller of `model` and `view` with no widgets yet, or nullptr when either is
// null or memory runs out.
app_controller *create_app_controller(app_model *model, app_view *view);

// Getters answer nullptr for a null controller; setters store only a non-null value in a
// non-null controller (a null value never overwrites a field).
GtkWidget *get_shiny_check_box(const app_controller *controller);
void set_shiny_check_box(app_controller *controller, GtkWidget *widget);
GtkWidget *get_nid_entry(const app_controller *controller);
void set_nid_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_lvl_entry(const app_controller *controller);
void set_lvl_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_hp_entry(const app_controller *controller);
void set_hp_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_atk_entry(const app_controller *controller);
void set_atk_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_def_entry(const app_controller *controller);
void set_def_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_sp_atk_entry(const app_controller *controller);
void set_sp_atk_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_sp_def_entry(const app_controller *controller);
void set_sp_def_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_spd_entry(const app_controller *controller);
void set_spd_entry(app_controller *controller, GtkWidget *widget);
GtkWidget *get_predict_btn_entry(const app_controller *controller);
void set_predict_btn_entry(app_controller *controller, GtkWidget *widget);
app_model *get_controller_model(const app_controller *controller);
void set_controller_model(app_controller *controller, app_model *model);
app_view *get_controller_view(const app_controller *controller);
void set_controller_view(app_controller *controller, app_view *view);

// "clicked" handler of the Shiny box: flips the model's shiny flag, so that the flag
// follows the box. `data` is the app_controller; a null one is ignored.
void click_shiny(GtkWidget *widget, gpointer data);

// "clicked" handler of the Predict button: predicts from the form's texts and the
// model's shiny flag, then shows the outcome and, below the form, whose price it is. `data` is the
// app_controller; a null one is ignored.
void click_predict(GtkWidget *widget, gpointer data);

// "activate" handler of the form's entries: Enter in an entry presses Predict. `data` is
// the app_controller; a null one is ignored.
void activate_entry(GtkWidget *widget, gpointer data);

// "changed" handler of the form's entries and "clicked" handler of the Shiny box: the
// result on screen no longer answers the form, so it is greyed until the next Predict.
// `data` is the app_controller; a null one is ignored.
void edit_form(GtkWidget *widget, gpointer data);
