// The result view: applies the composed texts to the labels and sizes the window.
#include "view/view_orvanta.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

// Shows `text` in `label`, sensitive: the answer to the form as it stands.
void set_label(GtkWidget *label, const std::string &text) {
  if (label == nullptr) return;
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
  gtk_widget_set_sensitive(label, TRUE);
}

// Sets the window's width first, then all seven labels in field order. Every update
// asks for the width again: a message or a result without a Hidden Power addition takes
// the window back to its default width.
void apply(app_view *view, const view_texts &texts) {
  if (view->windows != nullptr) {
    const double scale = font_scale(view->windows);
    gtk_window_resize(GTK_WINDOW(view->windows), scale_pixels(scale, texts.window_width),
                      scale_pixels(scale, window_height));
  }
  set_label(view->hidden_power_label, texts.hidden_power_label);
  set_label(view->models_intro_label, texts.models_intro_label);
  set_label(view->first_model_label, texts.first_model_label);
  set_label(view->second_model_label, texts.second_model_label);
  set_label(view->third_model_label, texts.third_model_label);
  set_label(view->model_resume_label, texts.model_resume_label);
  set_label(view->hidden_power_resume_label, texts.hidden_power_resume_label);
  view->shown = texts;
}

void update_for_status(app_view *view, int status) {
  if (view == nullptr) return;
  apply(view, compose_view_texts(view->view_model, status, view->shown));
}

}  // namespace

double font_scale(GtkWidget *widget) {
  constexpr double design_points = 10.0;
  constexpr double design_dpi = 96.0;
  PangoContext *context = gtk_widget_get_pango_context(widget);
  const PangoFontDescription *font = pango_context_get_font_description(context);
  if (font == nullptr) return 1.0;

  // By the font's size in pixels. The same expression on both sides, so that Sans 10 at
  // 96 dpi gives exactly 1.
  const double size = static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE;
  double dpi = gdk_screen_get_resolution(gtk_widget_get_screen(widget));
  if (dpi <= 0.0) dpi = design_dpi;  // no resolution set: GTK itself then uses 96
  const double pixels =
      pango_font_description_get_size_is_absolute(font) ? size : size * dpi / 72.0;
  double scale = pixels / (design_points * design_dpi / 72.0);

  // By the width of the longest text that must end before the Hidden Power addition
  // column, in this font beside Sans 10: hinted glyphs grow faster than the size
  // (DejaVu Sans lays it out 1.215 times as wide at 12 points as at 10), and the columns
  // must grow as much.
  const char *widest = "Here is 3 different models prediction:";
  std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout(pango_layout_new(context),
                                                                 g_object_unref);
  pango_layout_set_text(layout.get(), widest, -1);
  int own = 0;
  pango_layout_get_pixel_size(layout.get(), &own, nullptr);
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> design(
      pango_font_description_from_string("Sans 10"), pango_font_description_free);
  pango_layout_set_font_description(layout.get(), design.get());
  int designed = 0;
  pango_layout_get_pixel_size(layout.get(), &designed, nullptr);
  if (designed > 0) scale = std::max(scale, static_cast<double>(own) / designed);

  return std::isfinite(scale) ? std::max(1.0, scale) : 1.0;
}

int scale_pixels(double scale, int pixels) {
  return static_cast<int>(std::lround(scale * pixels));
}

app_view *create_app_view(app_model *model) {
  auto *view = new (std::nothrow) app_view;
  if (view != nullptr) view->view_model = model;
  return view;
}

GtkWidget *get_windows(const app_view *view) {
  return view ? view->windows : nullptr;
}
void set_windows(app_view *view, GtkWidget *windows) {
  if (view) view->windows = windows;
}
GtkWidget *get_hidden_power_label(const app_view *view) {
  return view ? view->hidden_power_label : nullptr;
}
void set_hidden_power_label(app_view *view, GtkWidget *label) {
  if (view) view->hidden_power_label = label;
}
GtkWidget *get_models_intro_label(const app_view *view) {
  return view ? view->models_intro_label : nullptr;
}
void set_models_intro_label(app_view *view, GtkWidget *label) {
  if (view) view->models_intro_label = label;
}
GtkWidget *get_first_model_label(const app_view *view) {
  return view ? view->first_model_label : nullptr;
}
void set_first_model_label(app_view *view, GtkWidget *label) {
  if (view) view->first_model_label = label;
}
GtkWidget *get_second_model_label(const app_view *view) {
  return view ? view->second_model_label : nullptr;
}
void set_second_model_label(app_view *view, GtkWidget *label) {
  if (view) view->second_model_label = label;
}
GtkWidget *get_third_model_label(const app_view *view) {
  return view ? view->third_model_label : nullptr;
}
void set_third_model_label(app_view *view, GtkWidget *label) {
  if (view) view->third_model_label = label;
}
GtkWidget *get_model_resume_label(const app_view *view) {
  return view ? view->model_resume_label : nullptr;
}
void set_model_resume_label(app_view *view, GtkWidget *label) {
  if (view) view->model_resume_label = label;
}
GtkWidget *get_hidden_power_resume_label(const app_view *view) {
  return view ? view->hidden_power_resume_label : nullptr;
}
void set_hidden_power_resume_label(app_view *view, GtkWidget *label) {
  if (view) view->hidden_power_resume_label = label;
}

GtkWidget *get_source_line_label(const app_view *view) {
  return view ? view->source_line_label : nullptr;
}
void set_source_line_label(app_view *view, GtkWidget *label) {
  if (view) view->source_line_label = label;
}

void update_view(app_view *view) {
  update_for_status(view, PREDICTION_DONE);
}
void update_view_not_available(app_view *view) {
  update_for_status(view, PREDICTION_NOT_PRICED);
}
void update_view_bad_lvl(app_view *view) {
  update_for_status(view, PREDICTION_BAD_LEVEL);
}
void update_view_bad_ivs(app_view *view) {
  update_for_status(view, PREDICTION_BAD_IVS);
}
void update_view_special_price(app_view *view) {
  update_for_status(view, PREDICTION_SPECIAL_PRICE);
}
void update_view_not_loaded(app_view *view) {
  update_for_status(view, PREDICTION_FAILED);
}

void update_source_line(app_view *view, const prediction_details *d, const char *nid_text,
                        int status) {
  if (view == nullptr) return;
  write_source_line(d, nid_text, status, &view->shown.source_line);
  set_label(view->source_line_label, view->shown.source_line);
}

void show_results_outdated(app_view *view) {
  if (view == nullptr) return;
  for (GtkWidget *label :
       {view->hidden_power_label, view->models_intro_label, view->first_model_label,
        view->second_model_label, view->third_model_label, view->model_resume_label,
        view->hidden_power_resume_label, view->source_line_label}) {
    if (label != nullptr) gtk_widget_set_sensitive(label, FALSE);
  }
}
