// orvanta-cli's batch reading on arbitrary bytes: the CSV reader with the batch columns and
// every other column, the checks of each row (shiny 0 or 1, texts within the entries'
// limits), a prediction of every usable row over a folder of small networks, and its record
// in all three output formats. Each row is priced twice, on its own and from the batch's
// species loaded once, and the two records must be the same bytes. The CSV output read back
// must give the file's other columns byte for byte, and its JSON records the same columns
// under keys that never repeat. Every cell, valid UTF-8 or not,
// is written as a JSON string exactly as the JSON library writes it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_output.hpp"
#include "cli/cli_prediction.hpp"
#include "csv/csv_reader.hpp"
#include "fuzz_file.hpp"
#include "fuzz_networks.hpp"

namespace {

constexpr cli_format formats[3] = {cli_format::text, cli_format::json, cli_format::csv};

// The JSON record's `columns` must hold the row's other columns as far as it was read.
void check_json_columns(const std::string &record, const csv_row &row) {
  const nlohmann::json parsed = nlohmann::json::parse(record, nullptr, false);
  if (parsed.is_discarded() || !parsed.contains("columns") || !parsed.contains("input"))
    __builtin_trap();
  if (parsed["columns"].size() != row.others_read) __builtin_trap();
}

// Reads the CSV output back: each row's last columns are the batch file's other columns,
// byte for byte (empty past where the row could be read), under the file's own names.
void check_csv_round_trip(const std::string &output, const std::vector<csv_other_column> &names,
                          const std::vector<std::vector<std::string>> &cells) {
  static const fuzz_file file("batch-output");
  csv_columns everything;
  everything.others = true;
  std::string error;
  csv_file_ptr back(open_csv_file(
      file.write(reinterpret_cast<const std::uint8_t *>(output.data()), output.size()), everything,
      &error));
  if (!back) {
    // Only a header too wide for the reader is refused: the tool's own columns and the
    // file's may together pass the reader's limit.
    if (error.find("more than") == std::string::npos) __builtin_trap();
    return;
  }
  const std::vector<csv_other_column> &header = csv_other_columns(back.get());
  if (header.size() < names.size()) __builtin_trap();
  const std::size_t first = header.size() - names.size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (header[first + i].name != names[i].name) __builtin_trap();
  }
  csv_row row;
  std::size_t n = 0;
  while (read_csv_row(back.get(), &row, &error) == 1) {
    if (n >= cells.size()) __builtin_trap();
    const std::vector<std::string> &expected = cells[n++];
    // The tool's labels and the file's columns may together pass the reader's row limit.
    if (!row.error.empty()) {
      if (row.error.find("bytes of text") == std::string::npos) __builtin_trap();
      continue;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string none;
      if (row.others[first + i] != (i < expected.size() ? expected[i] : none)) __builtin_trap();
    }
  }
  if (n != cells.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_networks_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const fuzz_file file("batch");
  const csv_columns columns = batch_columns();
  std::string error;
  csv_file_ptr batch(open_csv_file(file.write(data, size), columns, &error));
  if (!batch) {
    if (error.empty()) __builtin_trap();  // a refused file always says why
    return 0;
  }
  const std::vector<csv_other_column> &others = csv_other_columns(batch.get());
  const extra_columns extra = name_extra_columns(others);
  const std::set<std::string> keys(extra.json_keys.begin(), extra.json_keys.end());
  if (keys.size() != others.size() || extra.csv_names.size() != others.size()) __builtin_trap();

  std::string outputs[3];
  for (int f = 0; f < 3; ++f) append_header(formats[f], true, &outputs[f], &extra);
  std::vector<std::vector<std::string>> cells;  // each row's other columns as read

  const batch_pricer_ptr pricer(create_batch_pricer({fuzz_networks_folder()}, true, false));
  cli_prediction cached;
  csv_row row;
  std::uint64_t last = 0;
  int r;
  while ((r = read_csv_row(batch.get(), &row, &error)) == 1) {
    if (row.number <= last) __builtin_trap();  // rows come in order, numbered from 1
    last = row.number;
    // The row's other texts, then only empty ones (buffers kept for later rows).
    if (row.others_read > others.size() || row.others.size() < row.others_read) __builtin_trap();
    for (std::size_t i = row.others_read; i < row.others.size(); ++i)
      if (!row.others[i].empty()) __builtin_trap();
    for (const std::string &field : row.fields) {
      std::string written;
      append_json_string(&written, field);
      if (written !=
          nlohmann::json(field).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        __builtin_trap();
    }
    if (row.error.empty()) {
      if (row.others_read != others.size()) __builtin_trap();  // a usable row has them all
      if (row.fields.size() != columns.needed.size()) __builtin_trap();
      for (std::size_t i = 0; i < columns.needed.size(); ++i) {
        const std::string *field = csv_field(batch.get(), &row, columns.needed[i].c_str());
        if (field != &row.fields[i]) __builtin_trap();
      }
    }
    cells.emplace_back(row.others.begin(),
                       row.others.begin() + static_cast<std::ptrdiff_t>(row.others_read));
    cli_form form;
    read_batch_form(&row, &form);
    std::string json_record;
    if (!row.error.empty()) {
      for (int f = 0; f < 3; ++f)
        append_row_error(formats[f], last == 1, row.number, row.error, &outputs[f], &extra, &row);
      append_row_error(cli_format::json, false, row.number, row.error, &json_record, &extra, &row);
      check_json_columns(json_record, row);
      continue;
    }
    const cli_prediction p = run_prediction(&form, {fuzz_networks_folder()}, nullptr);
    for (int f = 0; f < 3; ++f)
      append_prediction(formats[f], true, last == 1, row.number, &form, &p, &outputs[f], &extra,
                        &row);
    price_form(pricer.get(), &form, nullptr, &cached);
    std::string from_snapshot;
    append_prediction(cli_format::json, true, false, row.number, &form, &p, &json_record, &extra,
                      &row);
    append_prediction(cli_format::json, true, false, row.number, &form, &cached, &from_snapshot,
                      &extra, &row);
    if (json_record != from_snapshot) __builtin_trap();
    check_json_columns(json_record, row);
  }
  if (r < 0 && error.empty()) __builtin_trap();
  check_csv_round_trip(outputs[2], others, cells);
  return 0;
}
