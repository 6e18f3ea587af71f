// Reading CSV files by column name, row by row, for the command-line tools.
//
// The header line names the columns; the caller names the columns it needs (any order in
// the file, other columns ignored). Each data row then comes back either with the needed
// fields or with a message saying why it cannot be used, so one bad row never costs the
// rest of the file. Parsing follows RFC 4180 (quoted fields, "" escapes, commas and line
// breaks inside quotes) and also accepts a UTF-8 byte-order mark, Windows and old Mac line
// ends (each counts as one line), blanks around unquoted fields and blank lines (skipped).
// Rows are parsed as the input delivers them, so a pipe's rows come before it is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An open CSV file whose header has been read. Opaque: use the functions below.
struct csv_file;

// One data row.
struct csv_row {
  std::uint64_t number = 0;         // 1-based among the data rows (blank lines are not rows)
  std::uint64_t line = 0;           // 1-based line of the file where the row's first field ends
  std::string error;                // why the row cannot be used; empty when `fields` holds it
  std::vector<std::string> fields;  // the needed columns' texts, in the order they were named
};

// Fields longer than this many bytes are not kept; a needed one makes its row an error.
inline constexpr std::size_t csv_max_field_bytes = 4096;
// A header with more columns than this is refused.
inline constexpr std::size_t csv_max_columns = 1024;

// Opens `path` ("-" for standard input) and reads its header line, matching the `columns`
// names without regard to ASCII case. Returns a new csv_file (release with
// close_csv_file), or nullptr with a one-line message in *error when the file cannot be
// opened or read, has no header line, or its header lacks a column or names one twice.
csv_file *open_csv_file(const char *path, const std::vector<std::string> &columns,
                        std::string *error);

// Reads the next data row into *row. Returns 1 when a row was read (its `error` says
// whether it is usable), 0 at the end of the input, -1 when reading failed (message in
// *error; the rows read before stay valid). The row's old buffers are kept for later rows,
// so passing the same row again and again reads a file without allocating per row.
int read_csv_row(csv_file *f, csv_row *row, std::string *error);

// True when read_csv_row will answer without waiting for more input (a row is parsed, or
// the input has ended or failed): a caller reading a pipe can hand on the rows it holds
// before it waits.
bool csv_row_ready(const csv_file *f);

// The field of `row` for the needed column `name` (matched as at opening), or nullptr when
// that column was not named at opening or the row holds an error.
const std::string *csv_field(const csv_file *f, const csv_row *row, const char *name);

// Closes the file (standard input stays open) and releases the record; null is ignored.
void close_csv_file(csv_file *f);

// Ownership only: releases through close_csv_file.
struct csv_file_deleter {
  void operator()(csv_file *f) const { close_csv_file(f); }
};
using csv_file_ptr = std::unique_ptr<csv_file, csv_file_deleter>;
