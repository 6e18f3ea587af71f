#include "cli/cli_output.hpp"

#include <csv.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_set>

#include "common/utf8_text.hpp"

namespace {

using json = nlohmann::ordered_json;

// The labels as the window's reader meets them: the left column from top to bottom, then
// the Hidden Power addition, which stands in its own column on the right.
struct label_field {
  std::string_view name;
  std::string view_texts::*text;
};
constexpr label_field labels_in_reading_order[7] = {
    {"hidden_power_label", &view_texts::hidden_power_label},
    {"models_intro_label", &view_texts::models_intro_label},
    {"first_model_label", &view_texts::first_model_label},
    {"second_model_label", &view_texts::second_model_label},
    {"third_model_label", &view_texts::third_model_label},
    {"model_resume_label", &view_texts::model_resume_label},
    {"hidden_power_resume_label", &view_texts::hidden_power_resume_label},
};

// The model's figures in the order of the JSON keys and CSV columns.
struct figure_field {
  std::string_view name;
  std::uint32_t (*get)(const app_model *);
};
constexpr figure_field figures[8] = {
    {"first_prediction", get_first_prediction},
    {"second_prediction", get_second_prediction},
    {"third_prediction", get_third_prediction},
    {"average_prediction", get_average_prediction},
    {"lowest_price", get_lowest_price},
    {"highest_price", get_highest_price},
    {"hidden_power_power", get_hidden_power_power},
    {"hidden_power_base_price", get_hidden_power_base_price},
};

struct text_field {
  std::string_view name;
  const char *(*get)(const app_model *);
};
constexpr text_field model_texts[3] = {
    {"hidden_power", get_hidden_power},
    {"special_price", get_special_price},
    {"in_range_message", get_in_range_message},
};

// The model to report: a prediction whose model could not even be made reports a new one.
const app_model *reported_model(const cli_prediction *p) {
  static const app_model initial{};
  return p->model ? p->model.get() : &initial;
}

void append_number(std::string *out, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out->append(digits, end);
}

void append_signed(std::string *out, int value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out->append(digits, end);
}

// True when one of the eight bytes at `p` is a control character, a quote, a backslash or
// part of a multi-byte character.
bool needs_care(const char *p) {
  std::uint64_t x;
  std::memcpy(&x, p, sizeof x);
  constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
  const auto has_zero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
  // A byte below 0x20: subtracting 0x20 borrows into its top bit while its top bit is 0.
  const std::uint64_t control = (x - 0x20 * ones) & ~x & highs;
  return (control | (x & highs) | has_zero(x ^ ('"' * ones)) | has_zero(x ^ ('\\' * ones))) != 0;
}

// A CSV field: always quoted, quotes doubled, as libcsv writes it.
void append_csv_text(std::string *out, std::string_view text) {
  const std::size_t at = out->size();
  out->resize(at + 2 * text.size() + 2);
  const std::size_t size = csv_write(out->data() + at, out->size() - at, text.data(), text.size());
  out->resize(at + size);
}

// A species file's figure for a finished prediction (its expected error or its range's
// measured share) as the JSON library writes the number (the shortest text that reads back
// to it), or `none` where there is none.
void append_rating_figure(std::string *out, const cli_prediction *p,
                          std::optional<double> prediction_details::*figure, const char *none) {
  const std::optional<double> &value = p->details.*figure;
  if (p->status != PREDICTION_DONE || !value.has_value()) {
    out->append(none);
    return;
  }
  out->append(json(*value).dump());
}

// *** The source line: whose price it is, as the window's line below the form says it.

void append_source_line_json(std::string *out, const cli_prediction *p) {
  out->append(",\"source_line\":");
  if (p->shown.source_line.empty()) {
    out->append("null");
  } else {
    append_json_string(out, p->shown.source_line);
  }
}

void append_source_line_csv(std::string *out, const cli_prediction *p) {
  out->push_back(',');
  if (!p->shown.source_line.empty()) append_csv_text(out, p->shown.source_line);
}

// After the block of labels, as the window shows it below them.
void append_source_line_text(std::string *out, const cli_prediction *p) {
  if (!p->shown.source_line.empty()) out->append(p->shown.source_line).push_back('\n');
}

void append_key(std::string *out, std::string_view key) {
  out->push_back('"');
  out->append(key);
  out->append("\":", 2);
}

void append_json_text_or_null(std::string *out, const char *text) {
  if (text == nullptr) {
    out->append("null");
  } else {
    append_json_string(out, text);
  }
}

// *** What the records add for scripts: the input as given, the batch file's own columns
// carried through, and the prices a seller lists at.

// The input of a finished prediction, as given: the shiny flag and the eight texts.
void append_json_input(std::string *out, const cli_form *form) {
  out->append("\"input\":{\"shiny\":");
  append_signed(out, form->is_shiny);
  for (std::size_t i = 0; i < std::size(cli_entry_names); ++i) {
    out->push_back(',');
    append_key(out, cli_entry_names[i]);
    append_json_string(out, form->texts[i]);
  }
  out->push_back('}');
}

// The batch file's other columns of the row, as far as it could be read.
void append_json_columns(std::string *out, const extra_columns *extra, const csv_row *cells) {
  out->append("\"columns\":{");
  if (extra != nullptr && cells != nullptr) {
    const std::size_t count = std::min(cells->others_read, extra->json_keys.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) out->push_back(',');
      out->append(extra->json_keys[i]).push_back(':');
      append_json_string(out, cells->others[i]);
    }
  }
  out->push_back('}');
}

// The prices a seller lists at: for status 0 the window's own figures with the Hidden
// Power addition, for status 5 the fixed price its message states; none otherwise.
std::optional<listing_prices> listing_of(const cli_prediction *p) {
  if (p->status == PREDICTION_DONE) return compute_listing_prices(reported_model(p));
  const fixed_price *fixed = p->details.fixed;
  if (p->status != PREDICTION_SPECIAL_PRICE || fixed == nullptr) return std::nullopt;
  listing_prices listed;
  listed.lowest = fixed->lowest;
  listed.highest = fixed->highest;
  listed.average =
      static_cast<std::uint32_t>((static_cast<std::uint64_t>(fixed->lowest) + fixed->highest) / 2);
  return listed;
}

void append_json_listing(std::string *out, const cli_prediction *p) {
  out->append("\"listing\":");
  const std::optional<listing_prices> listed = listing_of(p);
  if (!listed.has_value()) {
    out->append("null");
    return;
  }
  out->append("{\"average\":");
  append_number(out, listed->average);
  out->append(",\"lowest\":");
  append_number(out, listed->lowest);
  out->append(",\"highest\":");
  append_number(out, listed->highest);
  out->append(",\"addition\":");
  append_number(out, listed->addition);
  out->push_back('}');
}

// The four listing columns, each after a separator; empty where there is no listing.
void append_csv_listing(std::string *out, const cli_prediction *p) {
  const std::optional<listing_prices> listed = listing_of(p);
  for (std::uint32_t listing_prices::*figure :
       {&listing_prices::average, &listing_prices::lowest, &listing_prices::highest,
        &listing_prices::addition}) {
    out->push_back(',');
    if (listed.has_value()) append_number(out, (*listed).*figure);
  }
}

// A batch file's cell or header name as read, quoted only where CSV needs it: a separator,
// a quote or a line break inside, or blanks at either end (which a reader drops from an
// unquoted cell).
void append_csv_cell(std::string *out, std::string_view text) {
  const bool plain = text.find_first_of(",\"\r\n") == std::string_view::npos &&
                     (text.empty() || (text.front() != ' ' && text.front() != '\t' &&
                                       text.back() != ' ' && text.back() != '\t'));
  if (plain) {
    out->append(text);
  } else {
    append_csv_text(out, text);
  }
}

// The batch file's other columns of the row, each after a separator; empty past where the
// row could be read.
void append_csv_columns(std::string *out, const extra_columns *extra, const csv_row *cells) {
  if (extra == nullptr) return;
  const std::size_t read = cells != nullptr ? cells->others_read : 0;
  for (std::size_t i = 0; i < extra->csv_names.size(); ++i) {
    out->push_back(',');
    if (i < read) append_csv_cell(out, cells->others[i]);
  }
}

}  // namespace

extra_columns name_extra_columns(const std::vector<csv_other_column> &others) {
  extra_columns named;
  std::unordered_set<std::string> taken;  // keys as written, so texts that are not UTF-8
                                          // and end up alike count as taken too
  for (const csv_other_column &column : others) {
    std::string base;
    append_json_string(
        &base, column.name.empty() ? "column_" + std::to_string(column.place) : column.name);
    std::string key = base;
    for (unsigned n = 2; taken.count(key) != 0; ++n) {
      key.assign(base, 0, base.size() - 1).append("_" + std::to_string(n)).push_back('"');
    }
    taken.insert(key);
    named.json_keys.push_back(std::move(key));
    std::string name;
    append_csv_cell(&name, column.name);
    named.csv_names.push_back(std::move(name));
  }
  return named;
}

void append_json_string(std::string *out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  const std::size_t start = out->size();
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  out->push_back('"');
  std::size_t plain = 0;  // start of the text not yet copied
  bool checked = false;   // the text from the first byte past ASCII on is valid UTF-8
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Eight bytes at a time past plain ASCII: the labels are long texts with a handful of
    // line breaks.
    while (text.size() - i >= 8 && !needs_care(text.data() + i)) i += 8;
    if (i == text.size()) break;
    const unsigned char c = bytes[i];
    if (c >= 0x80) {
      // Checked once, at the first byte past ASCII: the rest of the text is kept as it is.
      if (!checked && !valid_utf8(text.substr(i))) {
        // Texts from a batch file need not be valid UTF-8: the library replaces what is
        // not, never fatally.
        out->resize(start);
        out->append(json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace));
        return;
      }
      checked = true;
      continue;
    }
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out->append(text.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\b':
        out->append("\\b");
        break;
      case '\f':
        out->append("\\f");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default: {
        const char escaped[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
        out->append(escaped, sizeof escaped);
      }
    }
  }
  out->append(text.data() + plain, text.size() - plain);
  out->push_back('"');
}

void append_header(cli_format format, bool batch, std::string *out, const extra_columns *extra) {
  if (format != cli_format::csv) return;
  out->append(batch ? "row,error," : "");
  out->append("status,shiny");
  for (const char *name : cli_entry_names) out->append(",").append(name);
  for (const figure_field &f : figures) out->append(",").append(f.name);
  for (const text_field &t : model_texts) out->append(",").append(t.name);
  for (const label_field &l : labels_in_reading_order) out->append(",").append(l.name);
  out->append(",window_width,name,coverage,expected_error,range_coverage,source_line");
  out->append(",listing_average,listing_lowest,listing_highest,listing_addition");
  if (extra != nullptr) {
    for (const std::string &name : extra->csv_names) out->append(",").append(name);
  }
  out->push_back('\n');
}

void append_prediction(cli_format format, bool batch, bool first, std::uint64_t row,
                       const cli_form *form, const cli_prediction *p, std::string *out,
                       const extra_columns *extra, const csv_row *cells) {
  const app_model *m = reported_model(p);
  switch (format) {
    case cli_format::json: {
      out->push_back('{');
      if (batch) {
        append_key(out, "row");
        append_number(out, row);
        out->push_back(',');
      }
      append_json_input(out, form);
      out->push_back(',');
      if (batch) {
        append_json_columns(out, extra, cells);
        out->push_back(',');
      }
      append_key(out, "status");
      append_signed(out, p->status);
      for (const figure_field &f : figures) {
        out->push_back(',');
        append_key(out, f.name);
        append_number(out, f.get(m));
      }
      for (const text_field &t : model_texts) {
        out->push_back(',');
        append_key(out, t.name);
        append_json_text_or_null(out, t.get(m));
      }
      out->append(",\"labels\":{");
      for (const label_field &l : labels_in_reading_order) {
        if (&l != labels_in_reading_order) out->push_back(',');
        append_key(out, l.name);
        append_json_string(out, p->shown.*l.text);
      }
      out->append("},\"window_width\":");
      append_signed(out, p->shown.window_width);
      const prediction_details &d = p->details;
      out->append(",\"name\":");
      if (d.name.has_value()) {
        append_json_string(out, *d.name);
      } else {
        out->append("null");
      }
      out->append(",\"coverage\":");
      if (d.coverage.has_value()) {
        append_signed(out, *d.coverage);
      } else {
        out->append("null");
      }
      out->append(",\"expected_error\":");
      append_rating_figure(out, p, &prediction_details::expected_error, "null");
      out->append(",\"range_coverage\":");
      append_rating_figure(out, p, &prediction_details::range_coverage, "null");
      append_source_line_json(out, p);
      out->push_back(',');
      append_json_listing(out, p);
      out->append("}\n");
      break;
    }
    case cli_format::csv: {
      if (batch) {
        append_number(out, row);
        out->append(",,");  // the error column stays empty
      }
      append_signed(out, p->status);
      out->push_back(',');
      append_signed(out, form->is_shiny);
      for (const std::string &text : form->texts) {
        out->push_back(',');
        append_csv_text(out, text);
      }
      for (const figure_field &f : figures) {
        out->push_back(',');
        append_number(out, f.get(m));
      }
      for (const text_field &t : model_texts) {
        out->push_back(',');
        const char *text = t.get(m);
        if (text != nullptr) append_csv_text(out, text);  // empty when none stored
      }
      for (const label_field &l : labels_in_reading_order) {
        out->push_back(',');
        append_csv_text(out, p->shown.*l.text);
      }
      out->push_back(',');
      append_signed(out, p->shown.window_width);
      const prediction_details &d = p->details;
      out->push_back(',');
      if (d.name.has_value()) append_csv_text(out, *d.name);
      out->push_back(',');
      if (d.coverage.has_value()) append_signed(out, *d.coverage);
      out->push_back(',');
      append_rating_figure(out, p, &prediction_details::expected_error, "");
      out->push_back(',');
      append_rating_figure(out, p, &prediction_details::range_coverage, "");
      append_source_line_csv(out, p);
      append_csv_listing(out, p);
      append_csv_columns(out, extra, cells);
      out->push_back('\n');
      break;
    }
    case cli_format::text: {
      if (!first) out->push_back('\n');
      if (batch) {
        out->append("Row ");
        append_number(out, row);
        out->push_back('\n');
      }
      for (const label_field &l : labels_in_reading_order) {
        const std::string &text = p->shown.*l.text;
        if (text.empty()) continue;
        out->append(text).push_back('\n');
      }
      append_source_line_text(out, p);
      break;
    }
  }
}

void append_row_error(cli_format format, bool first, std::uint64_t row, std::string_view error,
                      std::string *out, const extra_columns *extra, const csv_row *cells) {
  switch (format) {
    case cli_format::json:
      out->append("{\"row\":");
      append_number(out, row);
      out->append(",\"error\":");
      append_json_string(out, error);
      out->append(",\"input\":null,");  // no input was read that could be priced
      append_json_columns(out, extra, cells);
      out->append("}\n");
      break;
    case cli_format::csv: {
      // Every column of the prediction stays empty: status, shiny, the entries, the
      // figures, the model's texts, the labels, the width, name, coverage, expected error,
      // range coverage, source line and the four listing figures.
      constexpr std::size_t empty_columns = 2 + 8 + std::size(figures) + std::size(model_texts) +
                                            std::size(labels_in_reading_order) + 1 + 4 + 1 + 4;
      append_number(out, row);
      out->push_back(',');
      append_csv_text(out, error);
      out->append(empty_columns, ',');
      append_csv_columns(out, extra, cells);
      out->push_back('\n');
      break;
    }
    case cli_format::text:
      if (!first) out->push_back('\n');
      out->append("Row ");
      append_number(out, row);
      out->append("\nCannot read this row: ").append(error).push_back('\n');
      break;
  }
}

namespace {

void put(cli_output *o, const std::string &s) {
  std::fwrite(s.data(), 1, s.size(), o->out);
}

}  // namespace

void write_header(cli_output *o) {
  std::string line;
  append_header(o->format, false, &line);
  put(o, line);
}

void write_prediction(cli_output *o, const cli_form *form, const cli_prediction *p) {
  std::string record;
  append_prediction(o->format, false, o->records == 0, 0, form, p, &record);
  put(o, record);
  ++o->records;
}
