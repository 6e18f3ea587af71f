// orvanta-cli's batch: every row of a CSV file priced on all cores, the records written in
// the file's order as soon as they are ready, in memory that does not grow with the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_output.hpp"
#include "csv/csv_reader.hpp"

struct batch_settings {
  cli_format format = cli_format::text;
  std::vector<std::string> path;  // the networks folders searched, in order
  bool path_given = false;        // the path is --ptp-dir's folder
  bool verbose = false;           // row numbers, diagnostic blocks and reasons on standard error
  unsigned threads = 0;           // pricing threads; 0: one per core
  unsigned chunk_rows = 256;      // rows a thread prices at a time (a pipe's rows go sooner)
  // A chunk goes on sooner once its rows hold this much text, so that rows with long
  // columns of their own do not multiply the memory a batch holds.
  std::size_t chunk_bytes = 256 * 1024;
};

// What a batch did.
struct batch_result {
  std::uint64_t priced = 0;      // rows priced, whatever their status
  std::uint64_t failed = 0;      // of those, rows whose prediction failed (status 1)
  std::uint64_t unreadable = 0;  // rows that got an error record
  std::string read_error;        // why reading stopped early; empty when it did not
  std::string write_error;       // why the records could not be written; empty when they were
  unsigned threads = 0;          // pricing threads that ran: 0 when none could be started
  std::string thread_error;      // why fewer threads than asked were started; else empty
};

// Prices every row of `file` (its header read with batch_columns()) and writes the records
// to the file descriptor `out_fd` in row order, the CSV header first, each carrying the
// file's other columns. Every row is priced as one prediction on a fresh model; each
// species' networks are read once per batch. When no pricing thread can be started nothing
// is read or written (threads is 0).
batch_result price_batch_rows(csv_file *file, const batch_settings *settings, int out_fd);
