// Reading CSV files by column name, row by row, for both command-line programs.
//
// The header line names the columns; the caller names the columns it needs, those it can
// do without, and whether it wants every other column too (any order in the file). Each
// data row then comes back either with its fields or with a message saying why it cannot
// be used, so one bad row never costs the rest of the file. Parsing follows RFC 4180
// (quoted fields, "" escapes, commas and line breaks inside quotes) and also accepts a
// UTF-8 byte-order mark, Windows and old Mac line ends (each counts as one line), blanks
// around unquoted fields and blank lines (skipped). The input is read once, as a stream,
// so a pipe works as well as a file, and its rows come before it is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An open CSV file whose header has been read. Opaque: use the functions below.
struct csv_file;

// The columns a caller asks for, matched to the header's names without regard to ASCII case.
struct csv_columns {
  std::vector<std::string> needed;    // the header must name each of these, once
  std::vector<std::string> optional;  // the header may name each of these, at most once
  bool others = false;                // keep the text of every other column too
};

// A column of the header that is neither needed nor optional.
struct csv_other_column {
  std::string name;       // as read
  std::size_t place = 0;  // 1-based place in the header
};

// One data row.
struct csv_row {
  std::uint64_t number = 0;  // 1-based among the data rows (blank lines are not rows)
  std::uint64_t line = 0;    // 1-based line of the file where the row's first field ends
  std::string error;         // why the row cannot be used; empty when `fields` holds it
  // The needed columns' texts, then the optional ones', in the order they were named; an
  // optional column that the header lacks has an empty text.
  std::vector<std::string> fields;
  // With csv_columns::others: the other columns' texts, in the header's order; past
  // `others_read` only empty texts, buffers kept for later rows.
  std::vector<std::string> others;
  // How many of `others`, from the first, the row holds: every other column, unless its
  // error says that it ends early or that one of them could not be kept.
  std::size_t others_read = 0;
  std::size_t bytes = 0;  // the text the row keeps in `fields` and `others`
};

// Fields longer than this many bytes are not kept; a needed one, or one of the other
// columns when they are kept, makes its row an error.
inline constexpr std::size_t csv_max_field_bytes = 4096;
// A row that would keep more text than this is an error.
inline constexpr std::size_t csv_max_row_bytes = 65536;
// A header with more columns than this is refused.
inline constexpr std::size_t csv_max_columns = 1024;

// Opens `path` ("-" for standard input; a file, or a pipe such as /dev/stdin or <(cmd)) and
// reads its header line. Returns a new csv_file (release with close_csv_file), or nullptr
// with a one-line message in *error when the input cannot be opened or read, is a folder
// or a device (a terminal included), has no header line, or its header lacks a needed
// column or names a needed or optional one twice.
csv_file *open_csv_file(const char *path, const csv_columns &columns, std::string *error);

// Reads the next data row into *row. Returns 1 when a row was read (its `error` says
// whether it is usable), 0 at the end of the input, -1 when reading failed (message in
// *error; the rows read before stay valid). The row's old buffers are kept for later rows,
// so passing the same row again and again reads a file without allocating per row.
int read_csv_row(csv_file *f, csv_row *row, std::string *error);

// True when read_csv_row will answer without waiting for more input (a row is parsed, or
// the input has ended or failed): a caller reading a pipe can hand on the rows it holds
// before it waits.
bool csv_row_ready(const csv_file *f);

// True when the header names the needed or optional column `name`.
bool csv_has_column(const csv_file *f, const char *name);

// The header's other columns, in its order (empty unless csv_columns::others was set):
// csv_row::others[i] is the text of column i of this list.
const std::vector<csv_other_column> &csv_other_columns(const csv_file *f);

// The field of `row` for the needed or optional column `name` (matched as at opening), or
// nullptr when that column was not named at opening or is not in the header, or the row
// holds an error.
const std::string *csv_field(const csv_file *f, const csv_row *row, const char *name);

// Closes the file (standard input stays open) and releases the record; null is ignored.
void close_csv_file(csv_file *f);

// Ownership only: releases through close_csv_file.
struct csv_file_deleter {
  void operator()(csv_file *f) const { close_csv_file(f); }
};
using csv_file_ptr = std::unique_ptr<csv_file, csv_file_deleter>;
