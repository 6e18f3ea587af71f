// The result view: the main window and the seven result labels, and the updates that
// show a prediction's outcome in them.
#pragma once

#include <gtk/gtk.h>

#include "model/model_orvanta.hpp"
#include "view/view_texts.hpp"

// The window, the result labels and the model they show. The widgets belong to the
// window; the record only refers to them. One per window, never released.
struct app_view {
  GtkWidget *windows = nullptr;
  GtkWidget *hidden_power_label = nullptr;
  GtkWidget *models_intro_label = nullptr;
  GtkWidget *first_model_label = nullptr;
  GtkWidget *second_model_label = nullptr;
  GtkWidget *third_model_label = nullptr;
  GtkWidget *model_resume_label = nullptr;
  GtkWidget *hidden_power_resume_label = nullptr;
  GtkWidget *source_line_label = nullptr;  // below the form: whose price it is
  app_model *view_model = nullptr;
  // What the labels show and the width last asked of the window (before scaling).
  view_texts shown;
};

// A new view of `model` with no widgets yet, or nullptr when memory runs out.
app_view *create_app_view(app_model *model);

// Getters answer nullptr for a null view; setters ignore a null view and store any
// value, nullptr included.
GtkWidget *get_windows(const app_view *view);
void set_windows(app_view *view, GtkWidget *windows);
GtkWidget *get_hidden_power_label(const app_view *view);
void set_hidden_power_label(app_view *view, GtkWidget *label);
GtkWidget *get_models_intro_label(const app_view *view);
void set_models_intro_label(app_view *view, GtkWidget *label);
GtkWidget *get_first_model_label(const app_view *view);
void set_first_model_label(app_view *view, GtkWidget *label);
GtkWidget *get_second_model_label(const app_view *view);
void set_second_model_label(app_view *view, GtkWidget *label);
GtkWidget *get_third_model_label(const app_view *view);
void set_third_model_label(app_view *view, GtkWidget *label);
GtkWidget *get_model_resume_label(const app_view *view);
void set_model_resume_label(app_view *view, GtkWidget *label);
GtkWidget *get_hidden_power_resume_label(const app_view *view);
void set_hidden_power_resume_label(app_view *view, GtkWidget *label);
GtkWidget *get_source_line_label(const app_view *view);
void set_source_line_label(app_view *view, GtkWidget *label);

// How much larger the widget's font is than the font the window's pixel positions were
// made for (Sans 10 at 96 dots per inch), by its size and by the width of its text:
// exactly 1 at that font, about 1.2 at 12 points. Never below 1: the theme's entries and
// buttons keep their height with a smaller font.
double font_scale(GtkWidget *widget);
// A length of the design at Sans 10 scaled by `scale`, rounded to whole pixels.
int scale_pixels(double scale, int pixels);

// Each update shows the outcome of the last prediction stored in the view's model and
// does nothing for a null view. REQUIRES: the view's model is not null.
// Each rewrites all seven labels, makes them sensitive again, and asks for the window's
// width again (scaled with the font): 709 for a result with a Hidden Power addition, 416
// for anything else.
// A finished prediction: the Hidden Power line, the three prices, the summary and the
// addition, if any.
void update_view(app_view *view);
// A species that is not priced, a level above 100, an IV above 32, a fixed special
// price: the first two labels take the message, the others are emptied.
void update_view_not_available(app_view *view);
void update_view_bad_lvl(app_view *view);
void update_view_bad_ivs(app_view *view);
void update_view_special_price(app_view *view);
// The species' networks could not be loaded or run: says so instead of leaving the
// previous result on screen as if it answered the new question.
void update_view_not_loaded(app_view *view);

// Shows below the form whose price the last prediction gave (write_source_line): the
// prediction of the National ID typed as `nid_text` returned `status`, with what it used
// in *d. Does nothing for a null view. REQUIRES: d != NULL, nid_text != NULL.
void update_source_line(app_view *view, const prediction_details *d, const char *nid_text,
                        int status);

// The form changed after a result was shown: the result labels and the source line turn
// insensitive (greyed, and reported so to screen readers), their texts kept, until the
// next update shows a new answer. Does nothing for a null view.
void show_results_outdated(app_view *view);
