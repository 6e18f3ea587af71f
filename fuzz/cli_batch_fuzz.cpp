// orvanta-cli's batch reading on arbitrary bytes: the CSV reader with the batch columns,
// the checks of each row (shiny 0 or 1, texts within the entries' limits), a prediction
// of every usable row over a folder of small networks, and its record in all three
// output formats. Each row is priced twice, on its own and from the batch's species loaded
// once, and the two records must be the same bytes. Every cell, valid UTF-8 or not, is
// written as a JSON string exactly as the JSON library writes it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_output.hpp"
#include "cli/cli_prediction.hpp"
#include "cli/csv_reader.hpp"
#include "fuzz_file.hpp"
#include "fuzz_networks.hpp"

namespace {

std::FILE *sink = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_networks_folder();
  sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const fuzz_file file("batch");
  const std::vector<std::string> columns = batch_columns();
  std::string error;
  csv_file_ptr batch(open_csv_file(file.write(data, size), columns, &error));
  if (!batch) {
    if (error.empty()) __builtin_trap();  // a refused file always says why
    return 0;
  }

  cli_output outputs[3];
  outputs[0].format = cli_format::text;
  outputs[1].format = cli_format::json;
  outputs[2].format = cli_format::csv;
  for (cli_output &out : outputs) {
    out.batch = true;
    out.out = sink;
    write_header(&out);
  }

  const batch_pricer_ptr pricer(create_batch_pricer({fuzz_networks_folder()}, true, false));
  cli_prediction cached;
  csv_row row;
  std::uint64_t last = 0;
  int r;
  while ((r = read_csv_row(batch.get(), &row, &error)) == 1) {
    if (row.number <= last) __builtin_trap();  // rows come in order, numbered from 1
    last = row.number;
    for (const std::string &field : row.fields) {
      std::string written;
      append_json_string(&written, field);
      if (written !=
          nlohmann::json(field).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        __builtin_trap();
    }
    cli_form form;
    if (row.error.empty()) {
      if (row.fields.size() != columns.size()) __builtin_trap();
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string *field = csv_field(batch.get(), &row, columns[i].c_str());
        if (field != &row.fields[i]) __builtin_trap();
      }
    }
    read_batch_form(&row, &form);
    if (!row.error.empty()) {
      for (cli_output &out : outputs) write_row_error(&out, row.number, row.error);
      continue;
    }
    const cli_prediction p = run_prediction(&form, {fuzz_networks_folder()}, nullptr);
    for (cli_output &out : outputs) write_prediction(&out, row.number, &form, &p);
    price_form(pricer.get(), &form, nullptr, &cached);
    std::string alone, from_snapshot;
    append_prediction(cli_format::json, true, false, row.number, &form, &p, &alone);
    append_prediction(cli_format::json, true, false, row.number, &form, &cached, &from_snapshot);
    if (alone != from_snapshot) __builtin_trap();
  }
  if (r < 0 && error.empty()) __builtin_trap();
  return 0;
}
