// The application shell: the main window and the form inside it.
#include "app/orvanta.hpp"

#include "view/view_texts.hpp"

namespace {

// Where the form's columns stand, in pixels from the container's top-left corner.
constexpr int input_x = 91;
constexpr int result_x = 149;
constexpr int price_x = 169;
constexpr int hidden_power_resume_x = 392;
constexpr int predict_x = 150;
constexpr int row_step = 39;
constexpr int entry_above_caption = 9;

constexpr int id_max_chars = 3;  // National ID and Lvl
constexpr int iv_max_chars = 2;
constexpr int entry_width_chars = 3;

GtkWidget *new_empty_label() {
  return gtk_label_new("");
}

using entry_setter = void (*)(app_controller *, GtkWidget *);
using entry_getter = GtkWidget *(*)(const app_controller *);

// One entry row: the caption, then the entry (stored in the controller), the caption at
// its own x on the row, the entry 9 pixels higher in the input column. Enter in the
// entry presses Predict.
void put_entry_row(app_controller *controller, GtkFixed *fixed, const char *caption_text,
                   int caption_x, int row, entry_setter set_entry, entry_getter get_entry,
                   int max_chars) {
  GtkWidget *caption = gtk_label_new(caption_text);
  set_entry(controller, gtk_entry_new());
  GtkWidget *entry = get_entry(controller);
  gtk_fixed_put(fixed, caption, caption_x, row);
  gtk_fixed_put(fixed, entry, input_x, row - entry_above_caption);
  gtk_entry_set_max_length(GTK_ENTRY(entry), max_chars);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), entry_width_chars);
  g_signal_connect(entry, "activate", G_CALLBACK(activate_entry), controller);
}

}  // namespace

GtkWidget *create_windows(const char *title, int width, int height) {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), title);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  return window;
}

void create_gui(app_controller *controller, GtkWidget *container) {
  if (controller == nullptr || container == nullptr) return;
  GtkFixed *fixed = GTK_FIXED(container);
  app_view *view = get_controller_view(controller);

  // Shiny row: the box has no caption of its own; "Shiny" stands to its left.
  set_shiny_check_box(controller, gtk_check_button_new());
  g_signal_connect(get_shiny_check_box(controller), "clicked", G_CALLBACK(click_shiny), controller);
  gtk_fixed_put(fixed, get_shiny_check_box(controller), input_x, 18);
  gtk_fixed_put(fixed, gtk_label_new("Shiny"), 52, 18);

  int row = 53;
  put_entry_row(controller, fixed, "National ID", 23, row, set_nid_entry, get_nid_entry,
                id_max_chars);

  // The Hidden Power line, and the addition column near the default window's right edge.
  set_hidden_power_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_hidden_power_label(view), result_x, row);
  set_hidden_power_resume_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_hidden_power_resume_label(view), hidden_power_resume_x, row);

  row += row_step;
  put_entry_row(controller, fixed, "Lvl", 67, row, set_lvl_entry, get_lvl_entry, id_max_chars);

  // The price block: the intro line, then the three networks' prices indented.
  int result_row = row;
  set_models_intro_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_models_intro_label(view), result_x, result_row);
  result_row += 20;
  set_first_model_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_first_model_label(view), price_x, result_row);
  result_row += 15;
  set_second_model_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_second_model_label(view), price_x, result_row);
  result_row += 15;
  set_third_model_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_third_model_label(view), price_x, result_row);

  row += row_step;
  put_entry_row(controller, fixed, "HP", 66, row, set_hp_entry, get_hp_entry, iv_max_chars);

  row += row_step;
  put_entry_row(controller, fixed, "Atk", 63, row, set_atk_entry, get_atk_entry, iv_max_chars);

  result_row = row;
  set_model_resume_label(view, new_empty_label());
  gtk_fixed_put(fixed, get_model_resume_label(view), result_x, result_row);

  row += row_step;
  put_entry_row(controller, fixed, "Def", 63, row, set_def_entry, get_def_entry, iv_max_chars);
  row += row_step;
  put_entry_row(controller, fixed, "SP Atk", 47, row, set_sp_atk_entry, get_sp_atk_entry,
                iv_max_chars);
  row += row_step;
  put_entry_row(controller, fixed, "SP Def", 47, row, set_sp_def_entry, get_sp_def_entry,
                iv_max_chars);
  row += row_step;
  put_entry_row(controller, fixed, "SPD", 61, row, set_spd_entry, get_spd_entry, iv_max_chars);

  // The button's top edge is level with the SPD entry's.
  row -= entry_above_caption;
  set_predict_btn_entry(controller, gtk_button_new_with_label("Predict"));
  g_signal_connect(get_predict_btn_entry(controller), "clicked", G_CALLBACK(click_predict),
                   controller);
  gtk_fixed_put(fixed, get_predict_btn_entry(controller), predict_x, row);
}

GtkWidget *open_main_window(app_controller *controller) {
  GtkWidget *window = create_windows(window_title, window_default_width, window_height);
  set_windows(get_controller_view(controller), window);
  GtkWidget *container = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), container);
  create_gui(controller, container);
  gtk_widget_show_all(window);
  return window;
}
