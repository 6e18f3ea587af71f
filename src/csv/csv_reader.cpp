// CSV reading on top of libcsv (Debian's libcsv-dev): libcsv does the RFC 4180 tokenising
// (quotes, "" escapes, separators and line breaks inside quotes, CR/LF/CRLF line ends,
// blanks around unquoted fields); this unit adds the header mapping, row records, the
// byte-order mark, line numbers and the bounds that keep a hostile file from taking
// unbounded memory.
//
// Rows are handed out by swapping buffers with the caller, so a long file is read without
// an allocation per row once the buffers have grown to the file's widest fields.
#include "csv/csv_reader.hpp"

#include <csv.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t read_block_bytes = 64 * 1024;

// A row's buffers are kept for a later row while they hold at most this many bytes, so a
// few wide rows do not keep their memory for the rest of the file.
constexpr std::size_t kept_row_capacity = 16 * 1024;
// The ring of parsed rows keeps the buffers of rows handed out while it has at most this
// many slots: rows of 1 kB and more, of which a block holds no more.
constexpr std::size_t kept_spare_rows = 64;

// libcsv grows its buffer for the field being parsed through this hook, which refuses to
// go past a bound: a longer field stops the parser (CSV_ENOMEM) and the reader skips the
// rest of it. Fields between the limit and the bound are caught by their length.
constexpr std::size_t parser_buffer_bound = 2 * csv_max_field_bytes;
void *bounded_realloc(void *buffer, std::size_t size) {
  return size > parser_buffer_bound ? nullptr : std::realloc(buffer, size);
}

// libcsv's state after a quote inside a quoted field: an escaped quote, or its end.
constexpr int libcsv_field_might_have_ended = 3;

// Where the reader stands in an over-long field it is skipping.
enum class skipping { none, unquoted, in_quotes, after_quote };

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
  int fd = -1;
  bool owns_fd = false;
  std::string name;  // how messages call the input
  csv_parser parser{};
  bool parser_ready = false;
  std::vector<std::string> columns;  // the needed, then the optional columns, as named
  std::size_t needed = 0;            // how many of `columns` are needed
  bool keep_others = false;

  // *** The header line
  bool header_done = false;
  bool header_too_wide = false;
  std::vector<std::string> header;  // names in file order
  std::vector<int> slot_of_field;   // file position -> index into columns, or -1
  std::vector<int> other_of_field;  // file position -> index into others, or -1
  std::vector<bool> present;        // per column of `columns`: the header names it
  std::vector<csv_other_column> others;
  std::string header_error;

  // *** The row being assembled
  std::size_t field_count = 0;
  bool row_has_text = false;    // some field is quoted or not empty
  bool extra_text = false;      // a field past the header's columns holds text
  bool field_too_long = false;  // the field being parsed has outgrown the limit
  skipping skip = skipping::none;
  csv_row current;  // its number, line, error and fields as they are parsed

  // *** Input position
  std::uint64_t line = 1;
  bool after_cr = false;  // the last byte read was a CR, so an LF now ends no new line
  std::uint64_t rows = 0;
  bool at_start = true;
  bool at_end = false;
  bool failed = false;
  std::string failure;
  std::vector<char> block;
  // Rows parsed and not yet handed out: `ready_count` of them from `ready_first`, in a
  // ring whose other slots keep the buffers of rows handed out earlier.
  std::vector<csv_row> ready;
  std::size_t ready_first = 0;
  std::size_t ready_count = 0;
};

namespace {

void finish_header(csv_file *f) {
  f->header_done = true;
  if (f->header_too_wide) {
    f->header_error =
        f->name + ": the header line has more than " + std::to_string(csv_max_columns) + " columns";
    return;
  }
  // Both maps cover the whole header before anything can refuse it: the rows after a
  // refused header are still parsed to the end of the block, and dropped.
  f->slot_of_field.assign(f->header.size(), -1);
  f->other_of_field.assign(f->header.size(), -1);
  f->present.assign(f->columns.size(), false);
  std::vector<std::string> missing;
  for (std::size_t slot = 0; slot < f->columns.size(); ++slot) {
    for (std::size_t i = 0; i < f->header.size(); ++i) {
      if (!same_name(f->header[i], f->columns[slot])) continue;
      if (f->present[slot]) {
        f->header_error =
            f->name + ": the header line names the column " + quoted(f->columns[slot]) + " twice";
        return;
      }
      f->present[slot] = true;
      f->slot_of_field[i] = static_cast<int>(slot);
    }
    if (!f->present[slot] && slot < f->needed) missing.push_back(quoted(f->columns[slot]));
  }
  for (std::size_t i = 0; i < f->header.size() && f->keep_others; ++i) {
    if (f->slot_of_field[i] >= 0) continue;
    f->other_of_field[i] = static_cast<int>(f->others.size());
    f->others.push_back({f->header[i], i + 1});
  }
  if (missing.empty()) return;
  std::string list, needed;
  for (const std::string &m : missing) list += (list.empty() ? "" : ", ") + m;
  for (std::size_t slot = 0; slot < f->needed; ++slot)
    needed += (needed.empty() ? "" : ",") + f->columns[slot];
  f->header_error = f->name + ": the header line has no column " + list +
                    " (the columns needed are " + needed + ")";
}

// Empties each text for the next row. Cleared, not replaced: each keeps the buffer it grew,
// unless the row's buffers together have grown past kept_row_capacity.
void clear_texts(std::vector<std::string> *texts, std::size_t count) {
  texts->resize(count);
  std::size_t capacity = 0;
  for (std::string &text : *texts) {
    capacity += text.capacity();
    text.clear();
  }
  if (capacity > kept_row_capacity) std::vector<std::string>(count).swap(*texts);
}

void start_row(csv_file *f) {
  f->field_count = 0;
  f->row_has_text = false;
  f->extra_text = false;
  f->current.error.clear();
  f->current.others_read = 0;
  f->current.bytes = 0;
  clear_texts(&f->current.fields, f->columns.size());
  // The other columns' texts grow as the row's fields come (on_field): a short row under a
  // wide header holds no text for the columns it lacks. Those of an earlier row stay as
  // spare buffers.
  clear_texts(&f->current.others, f->current.others.size());
}

bool set_up_parser(csv_file *f) {
  if (csv_init(&f->parser, CSV_EMPTY_IS_NULL) != 0) return false;
  csv_set_blk_size(&f->parser, 1024);
  csv_set_realloc_func(&f->parser, bounded_realloc);
  return true;
}

// Moves the finished row into the ring of ready rows, taking back a slot's old buffers.
void push_ready(csv_file *f) {
  if (f->ready_count == f->ready.size()) {
    std::rotate(f->ready.begin(), f->ready.begin() + static_cast<long>(f->ready_first),
                f->ready.end());
    f->ready_first = 0;
    f->ready.emplace_back();
  }
  const std::size_t slot = (f->ready_first + f->ready_count) % f->ready.size();
  std::swap(f->ready[slot], f->current);
  ++f->ready_count;
}

// libcsv calls this at the end of each field; s is null for an empty unquoted field.
void on_field(void *s, std::size_t len, void *data) {
  auto *f = static_cast<csv_file *>(data);
  const std::size_t index = f->field_count++;
  const bool too_long = f->field_too_long || len > csv_max_field_bytes;
  f->field_too_long = false;
  if (index == 0) f->current.line = f->line;
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
  csv_row &row = f->current;
  const int slot = f->slot_of_field[index];
  const int other = f->other_of_field[index];
  if (slot < 0 && other < 0) return;
  // The other columns are kept as far as the row can be read: up to the first that cannot.
  const bool other_in_turn = other >= 0 && static_cast<std::size_t>(other) == row.others_read;
  if (slot >= 0 && !row.error.empty()) return;
  if (other >= 0 && !other_in_turn) return;
  const std::string &column =
      slot >= 0 ? f->columns[static_cast<std::size_t>(slot)] : f->header[index];
  std::string problem;
  if (too_long) {
    problem = "the " + quoted(column) + " field is longer than " +
              std::to_string(csv_max_field_bytes) + " bytes";
  } else if (row.bytes + text.size() > csv_max_row_bytes) {
    problem = "the row holds more than " + std::to_string(csv_max_row_bytes) + " bytes of text";
  } else if (slot >= 0 && text.find('\0') != std::string_view::npos) {
    // Needed texts become C strings; the other columns are carried as bytes.
    problem = "the " + quoted(column) + " field holds a NUL byte";
  }
  if (!problem.empty()) {
    if (row.error.empty()) row.error = std::move(problem);
    return;
  }
  row.bytes += text.size();
  if (slot >= 0) {
    row.fields[static_cast<std::size_t>(slot)].assign(text);
  } else {
    if (row.others.size() == row.others_read) row.others.emplace_back();
    row.others[row.others_read++].assign(text);
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
  f->current.number = ++f->rows;
  const std::size_t expected = f->slot_of_field.size();
  if (f->current.error.empty() && (f->field_count < expected || f->extra_text)) {
    f->current.error = "the row has " + std::to_string(f->field_count) + " fields, the header " +
                       std::to_string(expected);
  }
  if (f->header_error.empty()) push_ready(f);
  start_row(f);
}

// Skips what is left of an over-long field, from the first byte libcsv did not take.
// Returns how many bytes belong to the field: the byte after them (a separator or line
// end) ends it.
std::size_t skip_field(csv_file *f, const char *p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const char c = p[i];
    const bool ends = c == ',' || c == '\r' || c == '\n';
    switch (f->skip) {
      case skipping::unquoted:
        if (ends) return i;
        break;
      case skipping::in_quotes:
        if (c == '"') f->skip = skipping::after_quote;
        break;
      case skipping::after_quote:
        if (ends) return i;
        // A doubled quote, or text after a closing quote (which libcsv keeps as text).
        if (c != ' ' && c != '\t') f->skip = skipping::in_quotes;
        break;
      case skipping::none:
        return i;
    }
  }
  return n;
}

// Ends the skipped field: a separator goes to a new parser, which reports an empty field in
// its place (flagged too long); a line end ends the row here, since a new parser would
// take it for a blank line.
bool end_skipped_field(csv_file *f, char terminator) {
  f->skip = skipping::none;
  f->field_too_long = true;
  csv_free(&f->parser);
  f->parser_ready = set_up_parser(f);
  if (!f->parser_ready) return false;
  if (terminator != ',') {
    on_field(nullptr, 0, f);
    on_row(terminator, f);
  }
  return true;
}

// Parses bytes that lie within one line of the file.
bool parse_bytes(csv_file *f, const char *p, std::size_t n) {
  while (n > 0) {
    if (f->skip != skipping::none) {
      const std::size_t skipped = skip_field(f, p, n);
      p += skipped;
      n -= skipped;
      if (n == 0) return true;
      if (!end_skipped_field(f, *p)) return false;
      if (*p != ',') {
        ++p;
        --n;
      }
      continue;
    }
    const std::size_t taken = csv_parse(&f->parser, p, n, on_field, on_row, f);
    if (taken == n) return true;
    if (csv_error(&f->parser) != CSV_ENOMEM) return false;
    // The field outgrew the bound: skip the rest of it, from where libcsv stopped.
    const csv_parser &state = f->parser;
    f->skip = state.quoted == 0                               ? skipping::unquoted
              : state.pstate == libcsv_field_might_have_ended ? skipping::after_quote
                                                              : skipping::in_quotes;
    p += taken;
    n -= taken;
  }
  return true;
}

// End of input: ends the last row, or makes it an error row when it ends inside quotes.
void finish_input(csv_file *f) {
  f->at_end = true;
  if (f->skip == skipping::unquoted || f->skip == skipping::after_quote) {
    end_skipped_field(f, '\n');
    return;
  }
  int unclosed = f->skip == skipping::in_quotes;
  if (!unclosed) {
    // Strict end-checking only reports a quoted field still open; nothing else is parsed.
    csv_set_opts(&f->parser, CSV_EMPTY_IS_NULL | CSV_STRICT | CSV_STRICT_FINI);
    unclosed = csv_fini(&f->parser, on_field, on_row, f) != 0;
  }
  if (!unclosed) return;
  // The open field has not been handed over: count it and report the row.
  ++f->field_count;
  f->row_has_text = true;
  if (f->field_count == 1) f->current.line = f->line;
  if (!f->header_done) {
    f->header_done = true;
    f->header_error = f->name + ": the header line ends inside a quoted field";
    return;
  }
  f->current.error = "a quoted field has no closing quote before the end of the file";
  on_row(-1, f);
}

// Reads what the input has ready (up to one block) and parses it: a pipe's rows are
// parsed as they arrive. Returns false (message in f->failure) on a read error.
bool read_block(csv_file *f) {
  static constexpr char byte_order_mark[] = "\xEF\xBB\xBF";
  std::size_t n = 0;
  ssize_t got;
  do {
    do {
      got = ::read(f->fd, f->block.data() + n, f->block.size() - n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      f->failed = true;
      f->failure = "cannot read " + f->name + ": " + std::strerror(errno);
      return false;
    }
    n += static_cast<std::size_t>(got);
    // The first bytes of a pipe may come one read at a time: they are held until they
    // tell a byte-order mark from text.
  } while (f->at_start && got > 0 && n < 3 &&
           std::memcmp(f->block.data(), byte_order_mark, n) == 0);
  if (n == 0) {
    finish_input(f);
    return true;
  }
  const char *p = f->block.data();
  if (f->at_start) {
    f->at_start = false;
    if (n >= 3 && std::memcmp(p, byte_order_mark, 3) == 0) {
      p += 3;
      n -= 3;
    }
  }
  // One line at a time, so that every row knows its line. CR, LF and CR LF each end one.
  while (n > 0) {
    std::size_t len = 0;
    while (len < n && p[len] != '\n' && p[len] != '\r') ++len;
    const bool line_end = len < n;
    if (line_end) ++len;
    if (!parse_bytes(f, p, len)) {
      f->failed = true;
      f->failure = "cannot read " + f->name + ": " + csv_strerror(csv_error(&f->parser));
      return false;
    }
    if (line_end) {
      // An LF ends no new line only when it comes right after a CR (CR LF).
      const char end = p[len - 1];
      if (end == '\r' || !(f->after_cr && len == 1)) ++f->line;
      f->after_cr = end == '\r';
    } else {
      f->after_cr = false;
    }
    p += len;
    n -= len;
  }
  return true;
}

// Why the input open on `fd` is not read: empty for a file, a pipe or a socket, which are
// read as streams; a folder or a device (a terminal, /dev/zero, a disk) is refused, since
// reading it would fail, wait for a person or never end.
std::string refused_kind(int fd, const std::string &name) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return "cannot read " + name + ": " + std::strerror(errno);
  if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return {};
  if (S_ISDIR(st.st_mode)) return "cannot read " + name + ": it is a folder, not a CSV file";
  if (::isatty(fd))
    return "cannot read " + name + ": it is a terminal; give a CSV file, or pipe one into it";
  return "cannot read " + name + ": it is a device, not a CSV file or a pipe";
}

// Opens `path` for reading without waiting, unless it is a pipe, which is read as a
// stream (its writer may come later, as for cat). A device is refused before it is
// opened: opening some devices does something. Returns the descriptor, or -1 with a
// message in *error.
int open_input(const char *path, std::string *error) {
  struct stat st {};
  if (::stat(path, &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) {
    *error = std::string("cannot read ") + path + ": it is a device, not a CSV file or a pipe";
    return -1;
  }
  const bool pipe = S_ISFIFO(st.st_mode);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | (pipe ? 0 : O_NONBLOCK));
  if (fd < 0) {
    *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return -1;
  }
  *error = refused_kind(fd, path);
  if (error->empty() && !pipe) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
      *error = std::string("cannot read ") + path + ": " + std::strerror(errno);
  }
  if (error->empty()) return fd;
  ::close(fd);
  return -1;
}

}  // namespace

csv_file *open_csv_file(const char *path, const csv_columns &columns, std::string *error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (path == nullptr) {
    *error = "no file named";
    return nullptr;
  }
  csv_file_ptr f(new csv_file);
  if (std::strcmp(path, "-") == 0) {
    f->name = "standard input";
    f->fd = fileno(stdin);
    *error = refused_kind(f->fd, f->name);
    if (!error->empty()) return nullptr;
  } else {
    f->name = path;
    f->fd = open_input(path, error);
    if (f->fd < 0) return nullptr;
    f->owns_fd = true;
  }
  if (!set_up_parser(f.get())) {
    *error = "cannot set up the CSV parser";
    return nullptr;
  }
  f->parser_ready = true;
  f->columns = columns.needed;
  f->columns.insert(f->columns.end(), columns.optional.begin(), columns.optional.end());
  f->needed = columns.needed.size();
  f->keep_others = columns.others;
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
  while (f->ready_count == 0) {
    if (f->failed) {
      if (error) *error = f->failure;
      return -1;
    }
    if (f->at_end) return 0;
    read_block(f);
  }
  // The caller's row takes the slot's place, so its buffers serve a later row; but a ring
  // grown long by many short rows keeps none, or the rows of wider lines after them would
  // leave their buffers in every slot.
  std::swap(*row, f->ready[f->ready_first]);
  if (f->ready.size() > kept_spare_rows) f->ready[f->ready_first] = csv_row();
  f->ready_first = (f->ready_first + 1) % f->ready.size();
  --f->ready_count;
  return 1;
}

bool csv_row_ready(const csv_file *f) {
  return f == nullptr || f->ready_count > 0 || f->failed || f->at_end;
}

bool csv_has_column(const csv_file *f, const char *name) {
  if (f == nullptr || name == nullptr) return false;
  for (std::size_t i = 0; i < f->columns.size(); ++i) {
    if (same_name(f->columns[i], name)) return f->present[i];
  }
  return false;
}

const std::vector<csv_other_column> &csv_other_columns(const csv_file *f) {
  static const std::vector<csv_other_column> none;
  return f != nullptr ? f->others : none;
}

const std::string *csv_field(const csv_file *f, const csv_row *row, const char *name) {
  if (f == nullptr || row == nullptr || name == nullptr) return nullptr;
  if (!row->error.empty() || row->fields.size() != f->columns.size()) return nullptr;
  for (std::size_t i = 0; i < f->columns.size(); ++i) {
    if (same_name(f->columns[i], name)) return f->present[i] ? &row->fields[i] : nullptr;
  }
  return nullptr;
}

void close_csv_file(csv_file *f) {
  if (f == nullptr) return;
  if (f->parser_ready) csv_free(&f->parser);
  if (f->owns_fd) ::close(f->fd);
  delete f;
}
