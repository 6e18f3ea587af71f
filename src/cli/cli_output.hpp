// orvanta-cli's three result formats: text for people, JSON Lines for scripts, CSV for
// spreadsheets. Every record reports what the model holds and what the window would show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/cli_prediction.hpp"

enum class cli_format { text, json, csv };

// Where and how results are written; one per run.
struct cli_output {
  cli_format format = cli_format::text;
  bool batch = false;  // batch records carry their row number
  std::FILE *out = stdout;
  std::uint64_t records = 0;  // records written so far
};

// The CSV header line; nothing for the other formats. Call once, before any record.
void write_header(cli_output *o);

// One prediction's record. `row` is its data row in batch mode; `failure` says why a
// status 1 prediction failed and is shown in the text format only.
void write_prediction(cli_output *o, std::uint64_t row, const cli_form *form,
                      const cli_prediction *p, const std::string &failure);

// The record of a batch row that could not be priced: its row number and why.
void write_row_error(cli_output *o, std::uint64_t row, const std::string &error);
