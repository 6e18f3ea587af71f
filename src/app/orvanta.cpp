// The application shell: the main window and the form inside it.
#include "app/orvanta.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

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
// Room kept between a text and the window's right edge, and below the source line: the
// window grows with its texts, and no text ends on its edge.
constexpr int text_margin = 8;
constexpr int source_line_margin_below = 10;

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

  // A caption level with `input`, whose top edge stands at `input_y`, ending a few pixels
  // before the input column, named as the label of `input`: a screen reader announces the
  // input by it. Level: their middles meet (half a pixel lower where they fall between
  // two), so at Sans 10 an entry's caption stands 9 pixels below the entry's top edge and
  // the Shiny caption level with its box, whatever a larger font does to their heights.
  void put_caption(const char *text, GtkWidget *input, int input_y) const {
    GtkWidget *caption = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(caption), 1.0f);
    const int left = scale_pixels(scale, caption_left);
    gtk_widget_set_size_request(caption, scale_pixels(scale, input_x - caption_gap) - left, -1);
    // A hidden widget asks for no room at all: measured as shown, as both will be.
    gtk_widget_show(input);
    gtk_widget_show(caption);
    int input_height = 0;
    int caption_height = 0;
    gtk_widget_get_preferred_height(input, nullptr, &input_height);
    gtk_widget_get_preferred_height(caption, nullptr, &caption_height);
    const int below = static_cast<int>(std::ceil((input_height - caption_height) / 2.0));
    gtk_fixed_put(fixed, caption, left, scale_pixels(scale, input_y) + below);
    gtk_label_set_mnemonic_widget(GTK_LABEL(caption), input);
    atk_object_set_name(gtk_widget_get_accessible(input), text);
  }

  // An empty result label, kept a margin away from the window's right edge.
  GtkWidget *new_result_label() const {
    GtkWidget *label = gtk_label_new("");
    gtk_widget_set_margin_end(label, scale_pixels(scale, text_margin));
    return label;
  }
};

// Room in `entry` for `chars` of the widest digit as its font draws them. GTK sizes an
// entry from the font's average digit width, which a larger or differently hinted font
// can exceed by a pixel or two; the entry then scrolls its first character out of sight.
void fit_entry_text(GtkWidget *entry, int chars) {
  std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout(
      gtk_widget_create_pango_layout(entry, nullptr), g_object_unref);
  int widest = 0;
  for (char digit = '0'; digit <= '9'; ++digit) {
    const std::string text(static_cast<std::size_t>(chars), digit);
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    int width = 0;
    pango_layout_get_pixel_size(layout.get(), &width, nullptr);
    widest = std::max(widest, width);
  }
  GtkStyleContext *style = gtk_widget_get_style_context(entry);
  GtkBorder padding{};
  GtkBorder border{};
  gtk_style_context_get_padding(style, gtk_style_context_get_state(style), &padding);
  gtk_style_context_get_border(style, gtk_style_context_get_state(style), &border);
  const int needed = widest + padding.left + padding.right + border.left + border.right;
  int natural = 0;
  gtk_widget_show(entry);  // a hidden widget asks for no room at all
  gtk_widget_get_preferred_width(entry, nullptr, &natural);
  if (needed > natural) gtk_widget_set_size_request(entry, needed, -1);
}

using entry_setter = void (*)(app_controller *, GtkWidget *);
using entry_getter = GtkWidget *(*)(const app_controller *);

// One entry row: the entry (stored in the controller) 9 pixels above the row in the input
// column, and its caption level with it. Enter in the entry presses Predict; a change of
// its text greys the result it no longer answers.
void put_entry_row(app_controller *controller, const form &f, const char *caption_text, int row,
                   entry_setter set_entry, entry_getter get_entry, int max_chars) {
  set_entry(controller, gtk_entry_new());
  GtkWidget *entry = get_entry(controller);
  gtk_entry_set_max_length(GTK_ENTRY(entry), max_chars);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), entry_width_chars);
  fit_entry_text(entry, entry_width_chars);
  f.put_caption(caption_text, entry, row - entry_above_caption);
  f.put(entry, input_x, row - entry_above_caption);
  g_signal_connect(entry, "activate", G_CALLBACK(activate_entry), controller);
  g_signal_connect(entry, "changed", G_CALLBACK(edit_form), controller);
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
  g_signal_connect(get_shiny_check_box(controller), "clicked", G_CALLBACK(edit_form), controller);
  f.put(get_shiny_check_box(controller), input_x, 18);
  f.put_caption("Shiny", get_shiny_check_box(controller), 18);

  int row = 53;
  put_entry_row(controller, f, "National ID", row, set_nid_entry, get_nid_entry, id_max_chars);

  // The Hidden Power line, and the addition column near the default window's right edge.
  set_hidden_power_label(view, f.new_result_label());
  f.put(get_hidden_power_label(view), result_x, row);
  set_hidden_power_resume_label(view, f.new_result_label());
  f.put(get_hidden_power_resume_label(view), hidden_power_resume_x, row);

  row += row_step;
  put_entry_row(controller, f, "Lvl", row, set_lvl_entry, get_lvl_entry, id_max_chars);

  // The price block: the intro line, then the three networks' prices indented.
  int result_row = row;
  set_models_intro_label(view, f.new_result_label());
  f.put(get_models_intro_label(view), result_x, result_row);
  result_row += 20;
  set_first_model_label(view, f.new_result_label());
  f.put(get_first_model_label(view), price_x, result_row);
  result_row += 15;
  set_second_model_label(view, f.new_result_label());
  f.put(get_second_model_label(view), price_x, result_row);
  result_row += 15;
  set_third_model_label(view, f.new_result_label());
  f.put(get_third_model_label(view), price_x, result_row);

  row += row_step;
  put_entry_row(controller, f, "HP", row, set_hp_entry, get_hp_entry, iv_max_chars);

  row += row_step;
  put_entry_row(controller, f, "Atk", row, set_atk_entry, get_atk_entry, iv_max_chars);

  result_row = row;
  set_model_resume_label(view, f.new_result_label());
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

  // Below the form, across the window: whose price the result is.
  set_source_line_label(view, f.new_result_label());
  GtkWidget *source_line = get_source_line_label(view);
  gtk_label_set_xalign(GTK_LABEL(source_line), 0.0f);
  gtk_widget_set_margin_bottom(source_line, scale_pixels(f.scale, source_line_margin_below));
  f.put(source_line, caption_left, source_line_y);
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
