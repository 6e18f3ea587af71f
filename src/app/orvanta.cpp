// The application shell: the main window and the form inside it.
#include "app/orvanta.hpp"

#include "view/view_texts.hpp"

namespace {

// Where the form's columns stand, in pixels from the container's top-left corner at
// GTK's default font (Sans 10); every position scales with a larger font.
constexpr int input_x = 91;
constexpr int result_x = 149;
constexpr int price_x = 169;
constexpr int hidden_power_resume_x = 392;
constexpr int predict_x = 150;
constexpr int row_step = 39;
constexpr int entry_above_caption = 9;
// Captions stand right-aligned in a column that ends a few pixels before the inputs, so
// that a long caption ("National ID") or a wider font never runs under its input.
constexpr int caption_left = 8;
constexpr int caption_gap = 6;

constexpr int id_max_chars = 3;  // National ID and Lvl
constexpr int iv_max_chars = 2;
constexpr int entry_width_chars = 3;

// The form's container and the factor by which its font is larger than the default.
struct form {
  GtkFixed *fixed;
  double scale;

  void put(GtkWidget *widget, int x, int y) const {
    gtk_fixed_put(fixed, widget, scale_pixels(scale, x), scale_pixels(scale, y));
  }

  // A caption on row `row`, ending a few pixels before the input column, named as the
  // label of `input`: a screen reader announces the input by it.
  void put_caption(const char *text, GtkWidget *input, int row) const {
    GtkWidget *caption = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(caption), 1.0f);
    const int left = scale_pixels(scale, caption_left);
    gtk_widget_set_size_request(caption, scale_pixels(scale, input_x - caption_gap) - left, -1);
    gtk_fixed_put(fixed, caption, left, scale_pixels(scale, row));
    gtk_label_set_mnemonic_widget(GTK_LABEL(caption), input);
    atk_object_set_name(gtk_widget_get_accessible(input), text);
  }
};

GtkWidget *new_empty_label() {
  return gtk_label_new("");
}

using entry_setter = void (*)(app_controller *, GtkWidget *);
using entry_getter = GtkWidget *(*)(const app_controller *);

// One entry row: the caption, then the entry (stored in the controller), the caption on
// the row, the entry 9 pixels higher in the input column. Enter in the entry presses
// Predict.
void put_entry_row(app_controller *controller, const form &f, const char *caption_text, int row,
                   entry_setter set_entry, entry_getter get_entry, int max_chars) {
  set_entry(controller, gtk_entry_new());
  GtkWidget *entry = get_entry(controller);
  f.put_caption(caption_text, entry, row);
  f.put(entry, input_x, row - entry_above_caption);
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
  const form f{GTK_FIXED(container), font_scale(container)};
  app_view *view = get_controller_view(controller);

  // Shiny row: the box has no caption of its own; "Shiny" stands to its left.
  set_shiny_check_box(controller, gtk_check_button_new());
  g_signal_connect(get_shiny_check_box(controller), "clicked", G_CALLBACK(click_shiny), controller);
  f.put(get_shiny_check_box(controller), input_x, 18);
  f.put_caption("Shiny", get_shiny_check_box(controller), 18);

  int row = 53;
  put_entry_row(controller, f, "National ID", row, set_nid_entry, get_nid_entry, id_max_chars);

  // The Hidden Power line, and the addition column near the default window's right edge.
  set_hidden_power_label(view, new_empty_label());
  f.put(get_hidden_power_label(view), result_x, row);
  set_hidden_power_resume_label(view, new_empty_label());
  f.put(get_hidden_power_resume_label(view), hidden_power_resume_x, row);

  row += row_step;
  put_entry_row(controller, f, "Lvl", row, set_lvl_entry, get_lvl_entry, id_max_chars);

  // The price block: the intro line, then the three networks' prices indented.
  int result_row = row;
  set_models_intro_label(view, new_empty_label());
  f.put(get_models_intro_label(view), result_x, result_row);
  result_row += 20;
  set_first_model_label(view, new_empty_label());
  f.put(get_first_model_label(view), price_x, result_row);
  result_row += 15;
  set_second_model_label(view, new_empty_label());
  f.put(get_second_model_label(view), price_x, result_row);
  result_row += 15;
  set_third_model_label(view, new_empty_label());
  f.put(get_third_model_label(view), price_x, result_row);

  row += row_step;
  put_entry_row(controller, f, "HP", row, set_hp_entry, get_hp_entry, iv_max_chars);

  row += row_step;
  put_entry_row(controller, f, "Atk", row, set_atk_entry, get_atk_entry, iv_max_chars);

  result_row = row;
  set_model_resume_label(view, new_empty_label());
  f.put(get_model_resume_label(view), result_x, result_row);

  row += row_step;
  put_entry_row(controller, f, "Def", row, set_def_entry, get_def_entry, iv_max_chars);
  row += row_step;
  put_entry_row(controller, f, "SP Atk", row, set_sp_atk_entry, get_sp_atk_entry, iv_max_chars);
  row += row_step;
  put_entry_row(controller, f, "SP Def", row, set_sp_def_entry, get_sp_def_entry, iv_max_chars);
  row += row_step;
  put_entry_row(controller, f, "SPD", row, set_spd_entry, get_spd_entry, iv_max_chars);

  // The button's top edge is level with the SPD entry's.
  row -= entry_above_caption;
  set_predict_btn_entry(controller, gtk_button_new_with_label("Predict"));
  g_signal_connect(get_predict_btn_entry(controller), "clicked", G_CALLBACK(click_predict),
                   controller);
  f.put(get_predict_btn_entry(controller), predict_x, row);
}

GtkWidget *open_main_window(app_controller *controller) {
  GtkWidget *window = create_windows(window_title, window_default_width, window_height);
  // The default size grows with the window's font, as the form's positions do.
  const double scale = font_scale(window);
  gtk_window_set_default_size(GTK_WINDOW(window), scale_pixels(scale, window_default_width),
                              scale_pixels(scale, window_height));
  set_windows(get_controller_view(controller), window);
  GtkWidget *container = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), container);
  create_gui(controller, container);
  gtk_widget_show_all(window);
  return window;
}
