// The controller: accessors, the Shiny toggle and the Predict action.
#include "controller/controller_orvanta.hpp"

#include <cstdio>
#include <new>

#include "model/ptp_path.hpp"

namespace {

const char *entry_text(GtkWidget *entry) {
  return entry != nullptr ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

}  // namespace

app_controller *create_app_controller(app_model *model, app_view *view) {
  if (model == nullptr || view == nullptr) return nullptr;
  auto *controller = new (std::nothrow) app_controller;
  if (controller == nullptr) return nullptr;
  controller->controller_model = model;
  controller->controller_view = view;
  return controller;
}

// Getters answer nullptr for a null controller; setters never store nullptr.
GtkWidget *get_shiny_check_box(const app_controller *controller) {
  return controller != nullptr ? controller->shiny_check_box : nullptr;
}
void set_shiny_check_box(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->shiny_check_box = value;
}
GtkWidget *get_nid_entry(const app_controller *controller) {
  return controller != nullptr ? controller->nid_entry : nullptr;
}
void set_nid_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->nid_entry = value;
}
GtkWidget *get_lvl_entry(const app_controller *controller) {
  return controller != nullptr ? controller->lvl_entry : nullptr;
}
void set_lvl_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->lvl_entry = value;
}
GtkWidget *get_hp_entry(const app_controller *controller) {
  return controller != nullptr ? controller->hp_entry : nullptr;
}
void set_hp_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->hp_entry = value;
}
GtkWidget *get_atk_entry(const app_controller *controller) {
  return controller != nullptr ? controller->atk_entry : nullptr;
}
void set_atk_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->atk_entry = value;
}
GtkWidget *get_def_entry(const app_controller *controller) {
  return controller != nullptr ? controller->def_entry : nullptr;
}
void set_def_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->def_entry = value;
}
GtkWidget *get_sp_atk_entry(const app_controller *controller) {
  return controller != nullptr ? controller->sp_atk_entry : nullptr;
}
void set_sp_atk_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->sp_atk_entry = value;
}
GtkWidget *get_sp_def_entry(const app_controller *controller) {
  return controller != nullptr ? controller->sp_def_entry : nullptr;
}
void set_sp_def_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->sp_def_entry = value;
}
GtkWidget *get_spd_entry(const app_controller *controller) {
  return controller != nullptr ? controller->spd_entry : nullptr;
}
void set_spd_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->spd_entry = value;
}
GtkWidget *get_predict_btn_entry(const app_controller *controller) {
  return controller != nullptr ? controller->predict_btn_entry : nullptr;
}
void set_predict_btn_entry(app_controller *controller, GtkWidget *value) {
  if (controller != nullptr && value != nullptr) controller->predict_btn_entry = value;
}
app_model *get_controller_model(const app_controller *controller) {
  return controller != nullptr ? controller->controller_model : nullptr;
}
void set_controller_model(app_controller *controller, app_model *value) {
  if (controller != nullptr && value != nullptr) controller->controller_model = value;
}
app_view *get_controller_view(const app_controller *controller) {
  return controller != nullptr ? controller->controller_view : nullptr;
}
void set_controller_view(app_controller *controller, app_view *value) {
  if (controller != nullptr && value != nullptr) controller->controller_view = value;
}

void click_shiny(GtkWidget * /*widget*/, gpointer data) {
  auto *controller = static_cast<app_controller *>(data);
  if (controller == nullptr) return;
  inverse_shiny_status(controller->controller_model);
}

void click_predict(GtkWidget * /*widget*/, gpointer data) {
  auto *controller = static_cast<app_controller *>(data);
  if (controller == nullptr) return;
  app_model *model = controller->controller_model;
  app_view *view = controller->controller_view;
  // The model's flag counts, not the box's state: the box flips it at every toggle.
  const int is_shiny = get_is_shiny(model);
  // Each species from the first folder that holds it: ./ptp, the seller's own networks,
  // then the installed ones. The path is read at every press, as the files are.
  const char *nid = entry_text(controller->nid_entry);
  prediction_details details;
  const int status = predict_price_on_path(
      model, is_shiny, nid, entry_text(controller->lvl_entry), entry_text(controller->hp_entry),
      entry_text(controller->atk_entry), entry_text(controller->def_entry),
      entry_text(controller->sp_atk_entry), entry_text(controller->sp_def_entry),
      entry_text(controller->spd_entry), default_ptp_search_path(), stdout, &details);
  switch (status) {
    case PREDICTION_FAILED:
      update_view_not_loaded(view);
      break;
    case PREDICTION_NOT_PRICED:
      update_view_not_available(view);
      break;
    case PREDICTION_BAD_LEVEL:
      update_view_bad_lvl(view);
      break;
    case PREDICTION_BAD_IVS:
      update_view_bad_ivs(view);
      break;
    case PREDICTION_SPECIAL_PRICE:
      update_view_special_price(view);
      break;
    default:
      update_view(view);
      break;
  }
  update_source_line(view, &details, nid, status);
}

void edit_form(GtkWidget * /*widget*/, gpointer data) {
  auto *controller = static_cast<app_controller *>(data);
  if (controller == nullptr) return;
  show_results_outdated(controller->controller_view);
}

void activate_entry(GtkWidget * /*widget*/, gpointer data) {
  auto *controller = static_cast<app_controller *>(data);
  if (controller == nullptr || controller->predict_btn_entry == nullptr) return;
  gtk_button_clicked(GTK_BUTTON(controller->predict_btn_entry));
}
