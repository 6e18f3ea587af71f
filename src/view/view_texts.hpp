// Every text the window shows and the width it takes, composed without a display, so
// that the window and the command-line tool show exactly the same thing.
#pragma once

#include <cstdint>
#include <string>

#include "model/model_orvanta.hpp"

// What the seven result labels and the source line show and how wide the window is.
struct view_texts {
  std::string hidden_power_label;
  std::string models_intro_label;
  std::string first_model_label;
  std::string second_model_label;
  std::string third_model_label;
  std::string model_resume_label;
  std::string hidden_power_resume_label;
  // Below the form, across the window: whose price it is (write_source_line).
  std::string source_line;
  int window_width = 416;
};

inline constexpr int window_default_width = 416;
inline constexpr int window_wide_width = 709;
// The form ends 351 pixels down; below it, the source line's two lines of text (34 pixels
// at Sans 10) stand between margins of 10.
inline constexpr int source_line_y = 361;
inline constexpr int window_height = 371 + 34;

// What a seller lists at after a finished prediction, in whole Pd: the average and the
// sales range, each raised by the Hidden Power addition where one applies, and that
// addition (0 when none applies). The range and the addition are the figures of the
// window's addition text ("The resulting addition is: ... and the new recommended sales
// range is ... - ..."), formed as it forms them.
struct listing_prices {
  std::uint32_t average = 0;
  std::uint32_t lowest = 0;
  std::uint32_t highest = 0;
  std::uint32_t addition = 0;
};

// The listing prices of the prediction the model holds (status 0).
// REQUIRES: m != NULL.
listing_prices compute_listing_prices(const app_model *m);

// Writes the price text of amount ("999 Pd", "1k", "1.23m") into text, with a decimal
// point in every locale.
// REQUIRES: text has room for 16 characters.
void set_currency(char *text, std::uint32_t amount);

// What the window shows after predict_price returned `status` on model `m`, written over
// *texts: every status rewrites all seven labels and the width (the source line is
// write_source_line's, which needs what the prediction used), so nothing of what was
// there before stays beside the new answer; a message empties the Hidden Power addition
// and asks for the default width. The strings keep their capacity, so a caller composing
// for many predictions in a row allocates nothing once they have grown.
// REQUIRES: m != NULL, texts != NULL.
void write_view_texts(const app_model *m, int status, view_texts *texts);

// The source line after a prediction of the National ID typed as `nid_text` that returned
// `status`, with what the prediction used in *d (predict_price_on_path's details), written
// over *line. For a species it priced or refused (statuses 0, 3, 4, 5, and 1): its name
// and number, then where its networks come from ("Gengar (94) · trained on 371 of your
// sales, 2025-01-01 to 2025-12-31", "... · example networks trained on made-up sales",
// "... · networks in ./ptp", the home folder written "~"); a second line gives, for status 0
// from a species file, what the file measured for the spread's rating, and for status 1
// why. For status 2, how to price a species typed as a valid number; otherwise empty.
// REQUIRES: d != NULL, nid_text != NULL, line != NULL.
void write_source_line(const prediction_details *d, const char *nid_text, int status,
                       std::string *line);

// write_view_texts over the texts the window showed before (`shown`), returned.
// REQUIRES: m != NULL.
view_texts compose_view_texts(const app_model *m, int status, view_texts shown);
