#include "cli/cli_output.hpp"

#include <csv.h>

#include <iterator>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

// The labels as the window's reader meets them: the left column from top to bottom, then
// the Hidden Power addition, which stands in its own column on the right.
struct label_field {
  const char *name;
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
  const char *name;
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
  const char *name;
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

void put(cli_output *o, const std::string &s) {
  std::fwrite(s.data(), 1, s.size(), o->out);
}

std::string dump(const json &j) {
  // Texts from a batch file need not be valid UTF-8; they are replaced, never fatal.
  return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string csv_text(const std::string &s) {
  const std::size_t size = csv_write(nullptr, 0, s.data(), s.size());
  std::string quoted(size, '\0');
  csv_write(quoted.data(), size, s.data(), s.size());
  return quoted;
}

}  // namespace

void write_header(cli_output *o) {
  if (o->format != cli_format::csv) return;
  std::string line = o->batch ? "row,error," : "";
  line += "status,shiny";
  for (const char *name : cli_entry_names) line += std::string(",") + name;
  for (const figure_field &f : figures) line += std::string(",") + f.name;
  for (const text_field &t : model_texts) line += std::string(",") + t.name;
  for (const label_field &l : labels_in_reading_order) line += std::string(",") + l.name;
  put(o, line + ",window_width\n");
}

void write_prediction(cli_output *o, std::uint64_t row, const cli_form *form,
                      const cli_prediction *p, const std::string &failure) {
  const app_model *m = reported_model(p);
  std::string record;
  switch (o->format) {
    case cli_format::json: {
      json j;
      if (o->batch) j["row"] = row;
      j["status"] = p->status;
      for (const figure_field &f : figures) j[f.name] = f.get(m);
      for (const text_field &t : model_texts) {
        const char *text = t.get(m);
        j[t.name] = text ? json(text) : json(nullptr);
      }
      json labels = json::object();
      for (const label_field &l : labels_in_reading_order) labels[l.name] = p->shown.*l.text;
      j["labels"] = std::move(labels);
      j["window_width"] = p->shown.window_width;
      record = dump(j);
      break;
    }
    case cli_format::csv: {
      // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "," + s.
      const auto field = [&record](const std::string &value) {
        record += ',';
        record += value;
      };
      if (o->batch) record = std::to_string(row) + ",,";  // the error column stays empty
      record += std::to_string(p->status);
      field(std::to_string(form->is_shiny));
      for (const std::string &text : form->texts) field(csv_text(text));
      for (const figure_field &f : figures) field(std::to_string(f.get(m)));
      for (const text_field &t : model_texts) {
        const char *text = t.get(m);
        field(text ? csv_text(text) : std::string());  // empty when none stored
      }
      for (const label_field &l : labels_in_reading_order) field(csv_text(p->shown.*l.text));
      field(std::to_string(p->shown.window_width));
      record += '\n';
      break;
    }
    case cli_format::text: {
      if (o->records > 0) record = "\n";
      if (o->batch) record += "Row " + std::to_string(row) + "\n";
      bool shown = false;
      for (const label_field &l : labels_in_reading_order) {
        const std::string &text = p->shown.*l.text;
        if (text.empty()) continue;
        record += text + "\n";
        shown = true;
      }
      // When a failed prediction leaves every label empty, a single result shows nothing
      // (the reason goes to standard error) and a batch row says why.
      if (!shown && o->batch) record += "No result: " + failure + "\n";
      if (!shown && !o->batch) return;
      break;
    }
  }
  put(o, record);
  ++o->records;
}

void write_row_error(cli_output *o, std::uint64_t row, const std::string &error) {
  std::string record;
  switch (o->format) {
    case cli_format::json: {
      json j;
      j["row"] = row;
      j["error"] = error;
      record = dump(j);
      break;
    }
    case cli_format::csv: {
      // Every column after the error stays empty: status, shiny, the entries, the
      // figures, the model's texts, the labels and the width.
      constexpr std::size_t empty_columns = 2 + 8 + std::size(figures) + std::size(model_texts) +
                                            std::size(labels_in_reading_order) + 1;
      record = std::to_string(row) + "," + csv_text(error) + std::string(empty_columns, ',') + "\n";
      break;
    }
    case cli_format::text:
      if (o->records > 0) record = "\n";
      record += "Row " + std::to_string(row) + "\nCannot read this row: " + error + "\n";
      break;
  }
  put(o, record);
  ++o->records;
}
