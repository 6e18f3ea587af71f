// Every text the result area shows and the window's width, composed from the model. The
// texts are appended piece by piece rather than printed with formats: the command-line
// tool composes them for every row of a batch, and this is most of its work per row.
#include "view/view_texts.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "common/contract.hpp"
#include "model/ptp_path.hpp"

namespace {

constexpr std::size_t price_text_size = 16;
// The window composes its summary and its Hidden Power description in buffers of this
// many bytes, terminator included; a longer text ends where the buffer does.
constexpr std::size_t long_text_size = 256;

const char *const models_intro_text = "Here is 3 different models prediction:";
const char *const not_available_text = "This pokemon is not available yet.";
const char *const bad_lvl_text =
    "The level exceeds the limit, \nplease insert a level less or equal to 100.";
const char *const bad_ivs_text =
    "One or more ivs exceed the limit, \nplease insert ivs less or equal to 32.";
const char *const models_not_loaded_text =
    "The price models for this pokemon \ncould not be loaded.";

// The model lends nullptr for a text it has never stored; a label shows that as empty.
const char *or_empty(const char *text) {
  return text != nullptr ? text : "";
}

// Writes the price text of `amount` at `text` (room for price_text_size - 2 characters
// is enough; no terminator) and returns its end.
char *write_price(char *text, std::uint32_t amount) {
  char *const limit = text + 10;  // the most digits an amount has; the unit's four fit after
  if (amount < 1000u) {
    char *end = std::to_chars(text, limit, amount).ptr;
    end[0] = ' ';
    end[1] = 'P';
    end[2] = 'd';
    return end + 3;
  }
  if (amount < 1000000u) {
    char *end = std::to_chars(text, limit, amount / 1000u).ptr;
    *end = 'k';
    return end + 1;
  }
  // Rounded through single precision: the float steps decide cases such as
  // 999,994,999 -> "1000.00m" and are kept on purpose.
  const double hundredths = static_cast<double>(amount) / 1000000.0 * 100.0;
  const float rounded = std::round(static_cast<float>(hundredths));
  // The text is the float rounded / 100 widened to double and printed with two decimals.
  // That float lies within half a unit in the last place (under 0.0005) of rounded / 100,
  // a number of whole hundredths (at most 429,497, exact in a float), so its two decimals
  // are those of the whole number: printed as digits, with a point whatever the process
  // locale (GTK sets it from the environment, and a decimal-comma locale would print
  // "1,76m"), and without rounding a binary fraction to decimals for every price.
  const auto whole = static_cast<std::uint32_t>(rounded);
  char *end = std::to_chars(text, limit, whole / 100u).ptr;
  end[0] = '.';
  end[1] = static_cast<char>('0' + whole % 100u / 10u);
  end[2] = static_cast<char>('0' + whole % 10u);
  end[3] = 'm';
  return end + 4;
}

void append_price(std::string *out, std::uint32_t amount) {
  char text[price_text_size];
  out->append(text, write_price(text, amount));
}

void set_price(std::string *out, std::uint32_t amount) {
  char text[price_text_size];
  out->assign(text, write_price(text, amount));
}

void fit_long_text(std::string *text) {
  if (text->size() >= long_text_size) text->resize(long_text_size - 1);
}

// The result of a finished prediction: the three prices, the summary and, when the
// Hidden Power type earns the species' addition, its description and the wide window.
void write_price_texts(const app_model *m, view_texts *texts) {
  texts->hidden_power_label.assign(or_empty(get_hidden_power(m)));
  texts->models_intro_label.assign(models_intro_text);
  set_price(&texts->first_model_label, get_first_prediction(m));
  set_price(&texts->second_model_label, get_second_prediction(m));
  set_price(&texts->third_model_label, get_third_prediction(m));

  const std::uint32_t lowest = get_lowest_price(m);
  const std::uint32_t highest = get_highest_price(m);
  std::string &summary = texts->model_resume_label;
  summary.assign("Then the average price is: ");
  append_price(&summary, get_average_prediction(m));
  summary.append("\nRecommended sales range: ");
  append_price(&summary, lowest);
  summary.append(" - ");
  append_price(&summary, highest);
  summary.append("\n\n");
  summary.append(or_empty(get_in_range_message(m)));
  summary.push_back('.');
  fit_long_text(&summary);

  std::string &description = texts->hidden_power_resume_label;
  description.clear();
  texts->window_width = window_default_width;
  const std::uint32_t power = get_hidden_power_power(m);
  if (power == 0) return;
  const listing_prices listed = compute_listing_prices(m);
  char digits[16];
  description.assign(
      "This pokemon is eligible for a hidden power addition \nbased on the following "
      "description: \n\nPower : ");
  description.append(digits, std::to_chars(digits, digits + sizeof digits, power).ptr);
  description.append(" \nBase price: ");
  append_price(&description, get_hidden_power_base_price(m));
  description.append(" \n\nThe resulting addition is: ");
  append_price(&description, listed.addition);
  description.append(" \nand the new recommended sales range is ");
  append_price(&description, listed.lowest);
  description.append(" - ");
  append_price(&description, listed.highest);
  fit_long_text(&description);
  texts->window_width = window_wide_width;
}

// A message in place of a result: the first two labels take the texts given, and
// everything else is emptied, the Hidden Power addition included, with the window back
// at its default width: an addition belongs to the result it was computed for, never
// beside a message about another Pokémon.
void write_message(const char *first_line, const char *intro, view_texts *texts) {
  texts->hidden_power_label.assign(first_line);
  texts->models_intro_label.assign(intro);
  texts->first_model_label.clear();
  texts->second_model_label.clear();
  texts->third_model_label.clear();
  texts->model_resume_label.clear();
  texts->hidden_power_resume_label.clear();
  texts->window_width = window_default_width;
}

// *** The source line ***

// U+00B7 MIDDLE DOT between single spaces: between the parts of a line.
constexpr std::string_view source_separator = " \u00b7 ";

// A folder as a person reads it: the home folder written "~".
void append_folder(std::string *out, const std::string &folder) {
  const char *home_variable = std::getenv("HOME");
  std::string_view home = home_variable != nullptr ? home_variable : "";
  while (home.size() > 1 && home.back() == '/') home.remove_suffix(1);
  const bool under_home = home.size() > 1 && folder.compare(0, home.size(), home) == 0 &&
                          (folder.size() == home.size() || folder[home.size()] == '/');
  if (!under_home) {
    out->append(folder);
    return;
  }
  out->push_back('~');
  out->append(folder, home.size());
}

// A share as a whole percentage (0.08 -> "8%"), halves rounded away from zero.
void append_percent(std::string *out, double share) {
  const double percent = std::round(share * 100.0);
  char text[400];  // the longest a double printed without decimals can be
  // Below 10^15 it is a whole number that 64 bits hold: digits, without printf's cost.
  if (percent < 1e15) {
    out->append(text,
                std::to_chars(text, text + sizeof text, static_cast<std::uint64_t>(percent)).ptr);
  } else {
    const int n = std::snprintf(text, sizeof text, "%.0f", percent);
    if (n > 0) out->append(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
  }
  out->push_back('%');
}

void append_whole(std::string *out, std::uint64_t n) {
  char digits[24];
  out->append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// The number a text names as a person would type it (digits only, no leading zero), or
// nothing: a text of anything else names no species one could train.
std::optional<std::uint32_t> typed_number(const char *text) {
  const std::uint32_t n = national_number(text);
  if (n == 0 || std::to_string(n) != text) return std::nullopt;
  return n;
}

// "<name> (<N>) · <where its networks come from>".
void append_species_source(const prediction_details *d, std::uint32_t nid, std::string *line) {
  if (d->name.has_value()) {
    line->append(*d->name).append(" (");
    append_whole(line, nid);
    line->push_back(')');
  } else {
    line->append("National ID ");  // a damaged species file names no species
    append_whole(line, nid);
  }
  const training_summary &trained = d->trained;
  if (d->source == species_file_state::valid && trained.rows.has_value()) {
    line->append(source_separator).append("trained on ");
    append_whole(line, *trained.rows);
    line->append(" of your sales");
    if (!trained.first_date.empty())
      line->append(", ").append(trained.first_date).append(" to ").append(trained.last_date);
  } else if (d->bundled) {
    line->append(source_separator).append("example networks trained on made-up sales");
  } else if (!d->folder.empty()) {
    line->append(source_separator).append("networks in ");
    append_folder(line, d->folder);
  }
}

// For status 0 from a species file: what it measured for the spread's rating, each half
// only where it states it.
void append_measured(const prediction_details *d, std::string *line) {
  if (d->source != species_file_state::valid) return;
  if (!d->expected_error.has_value() && !d->range_coverage.has_value()) return;
  line->push_back('\n');
  if (d->expected_error.has_value()) {
    line->append("Typical error ");
    append_percent(line, *d->expected_error);
  }
  if (d->range_coverage.has_value()) {
    if (d->expected_error.has_value()) line->append(source_separator);
    append_percent(line, *d->range_coverage);
    line->append(" of past sales like it sold inside the range");
  }
}

}  // namespace

void write_source_line(const prediction_details *d, const char *nid_text, int status,
                       std::string *line) {
  ORV_CHECK(d != NULL);
  ORV_CHECK(nid_text != NULL);
  ORV_CHECK(line != NULL);
  line->clear();
  if (status == PREDICTION_NOT_PRICED) {
    if (const std::optional<std::uint32_t> nid = typed_number(nid_text); nid.has_value()) {
      line->append("No networks for National ID ");
      append_whole(line, *nid);
      line->append(" yet: train them from your sales (see orvanta-train --help)");
    }
    return;
  }
  // A species file that cannot be read names no species, but a refusal still says where.
  if (!d->name.has_value() && status != PREDICTION_FAILED) return;
  append_species_source(d, national_number(nid_text), line);
  if (status == PREDICTION_FAILED) {
    if (!d->reason.empty()) line->append("\n").append(d->reason);
  } else if (status == PREDICTION_DONE) {
    append_measured(d, line);
  }
}

listing_prices compute_listing_prices(const app_model *m) {
  ORV_CHECK(m != NULL);
  listing_prices listed;
  listed.average = get_average_prediction(m);
  listed.lowest = get_lowest_price(m);
  listed.highest = get_highest_price(m);
  const std::uint32_t power = get_hidden_power_power(m);
  if (power == 0) return listed;
  // The factor in exactly this order: the power doubled, then divided by 70; each sum is
  // formed in double precision and truncated once.
  const double factor = 2.0 * static_cast<double>(power) / 70.0;
  const double addition = factor * static_cast<double>(get_hidden_power_base_price(m));
  listed.addition = truncate_amount(addition);
  listed.average = truncate_amount(addition + static_cast<double>(listed.average));
  listed.lowest = truncate_amount(addition + static_cast<double>(listed.lowest));
  listed.highest = truncate_amount(addition + static_cast<double>(listed.highest));
  return listed;
}

void set_currency(char *text, std::uint32_t amount) {
  *write_price(text, amount) = '\0';
}

void write_view_texts(const app_model *m, int status, view_texts *texts) {
  ORV_CHECK(m != NULL);
  ORV_CHECK(texts != NULL);
  switch (status) {
    case PREDICTION_FAILED:
      write_message(models_not_loaded_text, "", texts);
      break;
    case PREDICTION_NOT_PRICED:
      write_message(not_available_text, "", texts);
      break;
    case PREDICTION_BAD_LEVEL:
      write_message(bad_lvl_text, "", texts);
      break;
    case PREDICTION_BAD_IVS:
      write_message(bad_ivs_text, "", texts);
      break;
    case PREDICTION_SPECIAL_PRICE:
      // Both texts are the model's own: no label is read back while they are written.
      write_message(or_empty(get_hidden_power(m)), or_empty(get_special_price(m)), texts);
      break;
    default:
      write_price_texts(m, texts);
      break;
  }
}

view_texts compose_view_texts(const app_model *m, int status, view_texts shown) {
  write_view_texts(m, status, &shown);
  return shown;
}
