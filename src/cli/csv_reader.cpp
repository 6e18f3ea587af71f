// CSV reading on top of libcsv (Debian's libcsv-dev): libcsv does the RFC 4180 tokenising
// (quotes, "" escapes, separators and line breaks inside quotes, CR/LF/CRLF line ends,
// blanks around unquoted fields); this unit adds the header mapping, row records, the
// byte-order mark, line numbers and the bounds that keep a hostile file from taking
// unbounded memory.
#include "cli/csv_reader.hpp"

#include <csv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>

namespace {

constexpr std::size_t read_block_bytes = 64 * 1024;

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "\"" + s + "\"".
std::string quoted(std::string_view name) {
  std::string text;
  text.reserve(name.size() + 2);
  text.append(1, '"').append(name).append(1, '"');
  return text;
}

}  // namespace

struct csv_file {
  std::FILE *stream = nullptr;
  bool owns_stream = false;
  std::string name;  // how messages call the input
  csv_parser parser{};
  bool parser_ready = false;
  std::vector<std::string> columns;  // the needed columns, as the caller named them

  // *** The header line
  bool header_done = false;
  bool header_too_wide = false;
  std::vector<std::string> header;  // names in file order
  std::vector<int> slot_of_field;   // file position -> index into columns, or -1
  std::string header_error;

  // *** The row being assembled
  std::size_t field_count = 0;
  bool row_has_text = false;    // some field is quoted or not empty
  bool extra_text = false;      // a field past the header's columns holds text
  bool field_too_long = false;  // the field being parsed has outgrown the limit
  std::uint64_t row_line = 0;
  std::string row_error;
  std::vector<std::string> row_fields;

  // *** Input position
  std::uint64_t line = 1;
  std::uint64_t rows = 0;
  bool at_start = true;
  bool at_end = false;
  bool failed = false;
  std::string failure;
  std::vector<char> block;
  std::deque<csv_row> ready;  // rows parsed and not yet handed out
};

namespace {

void finish_header(csv_file *f) {
  f->header_done = true;
  if (f->header_too_wide) {
    f->header_error =
        f->name + ": the header line has more than " + std::to_string(csv_max_columns) + " columns";
    return;
  }
  f->slot_of_field.assign(f->header.size(), -1);
  std::vector<std::string> missing;
  for (std::size_t slot = 0; slot < f->columns.size(); ++slot) {
    bool found = false;
    for (std::size_t i = 0; i < f->header.size(); ++i) {
      if (!same_name(f->header[i], f->columns[slot])) continue;
      if (found) {
        f->header_error =
            f->name + ": the header line names the column " + quoted(f->columns[slot]) + " twice";
        return;
      }
      found = true;
      f->slot_of_field[i] = static_cast<int>(slot);
    }
    if (!found) missing.push_back(quoted(f->columns[slot]));
  }
  if (missing.empty()) return;
  std::string list, needed;
  for (const std::string &m : missing) list += (list.empty() ? "" : ", ") + m;
  for (const std::string &c : f->columns) needed += (needed.empty() ? "" : ",") + c;
  f->header_error = f->name + ": the header line has no column " + list +
                    " (the columns needed are " + needed + ")";
}

void start_row(csv_file *f) {
  f->field_count = 0;
  f->row_has_text = false;
  f->extra_text = false;
  f->row_error.clear();
  f->row_fields.assign(f->columns.size(), std::string());
}

// libcsv calls this at the end of each field; s is null for an empty unquoted field.
void on_field(void *s, std::size_t len, void *data) {
  auto *f = static_cast<csv_file *>(data);
  const std::size_t index = f->field_count++;
  const bool too_long = f->field_too_long || len > csv_max_field_bytes;
  f->field_too_long = false;
  if (index == 0) f->row_line = f->line;
  if (s != nullptr) f->row_has_text = true;
  std::string_view text = s ? std::string_view(static_cast<const char *>(s), len) : "";

  if (!f->header_done) {
    if (f->header.size() >= csv_max_columns) {
      f->header_too_wide = true;
    } else {
      f->header.emplace_back(too_long ? std::string_view() : text);
    }
    return;
  }
  if (index >= f->slot_of_field.size()) {
    if (s != nullptr) f->extra_text = true;
    return;
  }
  const int slot = f->slot_of_field[index];
  if (slot < 0 || !f->row_error.empty()) return;
  const std::string &column = f->columns[static_cast<std::size_t>(slot)];
  if (too_long) {
    f->row_error = "the " + quoted(column) + " field is longer than " +
                   std::to_string(csv_max_field_bytes) + " bytes";
  } else if (text.find('\0') != std::string_view::npos) {
    f->row_error = "the " + quoted(column) + " field holds a NUL byte";
  } else {
    f->row_fields[static_cast<std::size_t>(slot)].assign(text);
  }
}

// libcsv calls this at the end of each row with at least one field.
void on_row(int, void *data) {
  auto *f = static_cast<csv_file *>(data);
  if (!f->row_has_text) {  // a blank line, or one holding only separators
    start_row(f);
    return;
  }
  if (!f->header_done) {
    finish_header(f);
    start_row(f);
    return;
  }
  csv_row row;
  row.number = ++f->rows;
  row.line = f->row_line;
  const std::size_t expected = f->slot_of_field.size();
  if (!f->row_error.empty()) {
    row.error = f->row_error;
  } else if (f->field_count < expected || f->extra_text) {
    row.error = "the row has " + std::to_string(f->field_count) + " fields, the header " +
                std::to_string(expected);
  } else {
    row.fields = std::move(f->row_fields);
  }
  if (f->header_error.empty()) f->ready.push_back(std::move(row));
  start_row(f);
}

// Keeps libcsv's buffer for the field being parsed within the limit plus one block: the
// text of an over-long field is not needed, only the fact. The tail that libcsv may still
// strip (the trailing blanks and the closing quote it has buffered) is kept.
void bound_field(csv_file *f) {
  csv_parser &p = f->parser;
  if (p.entry_pos <= csv_max_field_bytes) return;
  f->field_too_long = true;
  const std::size_t keep = std::min(p.entry_pos, p.spaces + 1);
  std::memmove(p.entry_buf, p.entry_buf + (p.entry_pos - keep), keep);
  p.entry_pos = keep;
}

// End of input: ends the last row, or makes it an error row when it ends inside quotes.
void finish_input(csv_file *f) {
  f->at_end = true;
  // Strict end-checking only reports a quoted field still open; nothing else is parsed.
  csv_set_opts(&f->parser, CSV_EMPTY_IS_NULL | CSV_STRICT | CSV_STRICT_FINI);
  if (csv_fini(&f->parser, on_field, on_row, f) == 0) return;
  // The open field has not been handed over: count it and report the row.
  ++f->field_count;
  f->row_has_text = true;
  if (f->field_count == 1) f->row_line = f->line;
  if (!f->header_done) {
    f->header_done = true;
    f->header_error = f->name + ": the header line ends inside a quoted field";
    return;
  }
  f->row_error = "a quoted field has no closing quote before the end of the file";
  on_row(-1, f);
}

// Reads one block and parses it. Returns false (message in f->failure) on a read error.
bool read_block(csv_file *f) {
  std::size_t n = std::fread(f->block.data(), 1, f->block.size(), f->stream);
  if (n < f->block.size() && std::ferror(f->stream)) {
    f->failed = true;
    f->failure = "cannot read " + f->name + ": " + std::strerror(errno);
    return false;
  }
  const char *p = f->block.data();
  if (f->at_start) {
    f->at_start = false;
    if (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
      p += 3;
      n -= 3;
    }
  }
  // One line at a time, so that every row knows its line.
  while (n > 0) {
    const void *nl = std::memchr(p, '\n', n);
    const std::size_t len =
        nl ? static_cast<std::size_t>(static_cast<const char *>(nl) - p) + 1 : n;
    if (csv_parse(&f->parser, p, len, on_field, on_row, f) != len) {
      f->failed = true;
      f->failure = "cannot read " + f->name + ": " + csv_strerror(csv_error(&f->parser));
      return false;
    }
    bound_field(f);
    if (nl) ++f->line;
    p += len;
    n -= len;
  }
  if (std::feof(f->stream)) finish_input(f);
  return true;
}

}  // namespace

csv_file *open_csv_file(const char *path, const std::vector<std::string> &columns,
                        std::string *error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (path == nullptr) {
    *error = "no file named";
    return nullptr;
  }
  csv_file_ptr f(new csv_file);
  if (std::strcmp(path, "-") == 0) {
    f->stream = stdin;
    f->name = "standard input";
  } else {
    f->stream = std::fopen(path, "rb");
    if (f->stream == nullptr) {
      *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
      return nullptr;
    }
    f->owns_stream = true;
    f->name = path;
  }
  if (csv_init(&f->parser, CSV_EMPTY_IS_NULL) != 0) {
    *error = "cannot set up the CSV parser";
    return nullptr;
  }
  f->parser_ready = true;
  csv_set_blk_size(&f->parser, 1024);
  f->columns = columns;
  f->block.resize(read_block_bytes);
  start_row(f.get());
  while (!f->header_done) {
    if (f->at_end) {
      *error = f->name + ": no header line (the file is empty)";
      return nullptr;
    }
    if (!read_block(f.get())) {
      *error = f->failure;
      return nullptr;
    }
  }
  if (!f->header_error.empty()) {
    *error = f->header_error;
    return nullptr;
  }
  return f.release();
}

int read_csv_row(csv_file *f, csv_row *row, std::string *error) {
  if (f == nullptr || row == nullptr) return -1;
  while (f->ready.empty()) {
    if (f->failed) {
      if (error) *error = f->failure;
      return -1;
    }
    if (f->at_end) return 0;
    read_block(f);
  }
  *row = std::move(f->ready.front());
  f->ready.pop_front();
  return 1;
}

const std::string *csv_field(const csv_file *f, const csv_row *row, const char *name) {
  if (f == nullptr || row == nullptr || name == nullptr) return nullptr;
  if (!row->error.empty() || row->fields.size() != f->columns.size()) return nullptr;
  for (std::size_t i = 0; i < f->columns.size(); ++i) {
    if (same_name(f->columns[i], name)) return &row->fields[i];
  }
  return nullptr;
}

void close_csv_file(csv_file *f) {
  if (f == nullptr) return;
  if (f->parser_ready) csv_free(&f->parser);
  if (f->owns_stream) std::fclose(f->stream);
  delete f;
}
