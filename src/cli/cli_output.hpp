// orvanta-cli's three result formats: text for people, JSON Lines for scripts, CSV for
// spreadsheets. Every record reports what the model holds and what the window would show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_prediction.hpp"
#include "csv/csv_reader.hpp"

enum class cli_format { text, json, csv };

// Where and how results are written; one per run.
struct cli_output {
  cli_format format = cli_format::text;
  std::FILE *out = stdout;
  std::uint64_t records = 0;  // records written so far
};

// A batch file's columns beyond the nine inputs, as the records carry them through.
struct extra_columns {
  // The keys of the JSON `columns` object, each written as a JSON string: an empty header
  // name becomes column_N (N its place in the header), and a key that an earlier column
  // already has gets _2, _3, ... appended, so no key repeats.
  std::vector<std::string> json_keys;
  // The CSV output's header names: the file's own, quoted only where CSV needs it.
  std::vector<std::string> csv_names;
};

// The records' names for a batch file's other columns (csv_other_columns).
extra_columns name_extra_columns(const std::vector<csv_other_column> &others);

// *** Records appended to a buffer: what a batch's workers compose, row by row.
//
// In batch mode, `extra` names the batch file's other columns and `cells` is the row
// read (its `others`): JSON records carry them in `columns`, CSV lines after their own
// columns. Both may be nullptr where there are none.

// The CSV header line; nothing for the other formats.
void append_header(cli_format format, bool batch, std::string *out,
                   const extra_columns *extra = nullptr);

// One prediction's record. `row` is its data row in batch mode (0 otherwise); the text
// format puts a blank line before every record but the first.
void append_prediction(cli_format format, bool batch, bool first, std::uint64_t row,
                       const cli_form *form, const cli_prediction *p, std::string *out,
                       const extra_columns *extra = nullptr, const csv_row *cells = nullptr);

// The record of a batch row that could not be priced: its row number, why, and its other
// columns as far as the row could be read.
void append_row_error(cli_format format, bool first, std::uint64_t row, std::string_view error,
                      std::string *out, const extra_columns *extra = nullptr,
                      const csv_row *cells = nullptr);

// `text` as a JSON string, quotes included, exactly as nlohmann::json writes it (UTF-8
// kept, control characters escaped, invalid UTF-8 replaced by U+FFFD).
void append_json_string(std::string *out, std::string_view text);

// *** A single prediction written straight to a stream.

// The CSV header line; nothing for the other formats. Call once, before any record.
void write_header(cli_output *o);

// One prediction's record.
void write_prediction(cli_output *o, const cli_form *form, const cli_prediction *p);
