// The text model file: a five-line header with the shape and learning rate, then every
// weight and bias in fixed notation with six decimals.
//
// The reader takes the file as a stream of tokens and stops at the last number the
// header asks for, so whatever follows costs neither memory nor time.
//
// Numbers are formatted and parsed with std::to_chars / std::from_chars, which follow
// the "C" locale's rules whatever locale the process has set (the window's toolkit
// takes it from the environment), so a file has the same bytes everywhere.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/files.hpp"
#include "nn/multi_layer_perceptron.hpp"
#include "nn/perceptron_unfilled.hpp"

namespace {

// ---------------------------------------------------------------------------------------
// Writing

// Appends the value as "%lf " would write it in the "C" locale ("-0.000000" included).
void append_value(std::string &out, double value) {
  // The widest fixed-notation double (about 1.8e308) takes 309 digits, a sign, a point
  // and six decimals.
  char buffer[330];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
  out.push_back(' ');
}

void append_count(std::string &out, const char *key, std::uint32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(key);
  out.append(buffer, result.ptr);
  out.push_back('\n');
}

void append_matrix(std::string &out, const matrix *m) {
  out.push_back('\n');
  const std::uint32_t lines = get_lines(m);
  const std::uint32_t columns = get_columns(m);
  for (std::uint32_t i = 0; i < lines; ++i) {
    for (std::uint32_t j = 0; j < columns; ++j) append_value(out, get_element(m, i, j));
    out.push_back('\n');
  }
}

// ---------------------------------------------------------------------------------------
// Reading

// The white-space-separated tokens of a model file, from an open file through one buffer
// of bounded size (a file then costs no more memory than the buffer however long it is,
// and text after the last token asked for is never read), or from bytes in memory.
class token_reader {
 public:
  // The longest token the reader takes: far beyond the 317 characters of the widest
  // value the writer produces.
  static constexpr std::size_t max_token = 65536;

  // REQUIRES: fd is open for reading; size_hint is the file's size, which sizes the buffer.
  token_reader(int fd, std::uint64_t size_hint)
      : fd_(fd),
        buffer_(static_cast<std::size_t>(std::min<std::uint64_t>(size_hint + 1, max_token))),
        data_(buffer_.data()) {}

  // The bytes must outlive the reader.
  explicit token_reader(std::string_view bytes)
      : data_(bytes.data()), end_(bytes.size()), read_(bytes.size()), at_end_(true) {}

  // The next token, valid until the next call; false at the end of the file, on a read
  // error, and for a token of max_token characters or more.
  bool next(std::string_view &token) {
    for (;;) {  // skip blanks
      while (begin_ < end_ && blank(data_[begin_])) ++begin_;
      if (begin_ < end_) break;
      begin_ = end_ = 0;
      if (!fill()) return false;
    }
    std::size_t i = begin_;
    for (;;) {
      while (i < end_ && !blank(data_[i])) ++i;
      if (i < end_ || at_end_) break;
      // The token may go on past the buffer: move it to the front and read more.
      if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        i -= begin_;
        end_ -= begin_;
        begin_ = 0;
      }
      if (end_ == buffer_.size()) {
        if (buffer_.size() == max_token) return false;
        buffer_.resize(std::min(buffer_.size() * 2, max_token));
        data_ = buffer_.data();
      }
      if (!fill() && failed_) return false;
    }
    // The same limit as a file's buffer sets, so bytes and file read alike.
    if (i - begin_ >= max_token) return false;
    token = std::string_view(data_ + begin_, i - begin_);
    begin_ = i;
    return true;
  }

  // Bytes of the file up to the end of the last token returned.
  std::uint64_t offset() const { return read_ - (end_ - begin_); }

 private:
  static bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  // Appends what the file has next to the buffer; false at its end or on an error.
  bool fill() {
    if (at_end_) return false;
    for (;;) {
      const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
      if (got > 0) {
        end_ += static_cast<std::size_t>(got);
        read_ += static_cast<std::uint64_t>(got);
        return true;
      }
      if (got < 0 && errno == EINTR) continue;
      at_end_ = true;
      failed_ = got < 0;
      return false;
    }
  }

  int fd_ = -1;                      // -1: the bytes in memory are the whole file
  std::vector<char> buffer_;         // a file's bytes read so far
  const char *data_;                 // buffer_, or the bytes in memory
  std::size_t begin_ = 0, end_ = 0;  // the part of data_ not yet handed out
  std::uint64_t read_ = 0;           // bytes read from the file so far
  bool at_end_ = false, failed_ = false;
};

// A whole token as a count; false for anything else (a sign, a fraction, trailing text).
bool parse_count(std::string_view token, std::uint32_t &value) {
  const char *end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value);
  return result.ec == std::errc{} && result.ptr == end;
}

// A whole token as a finite double; false for anything else, nan and inf included.
bool parse_value(std::string_view token, double &value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const char *end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value);
  return result.ec == std::errc{} && result.ptr == end && std::isfinite(value);
}

// Closes a file descriptor when it goes out of scope.
struct fd_closer {
  int fd;
  ~fd_closer() { ::close(fd); }
};

// The network in a model file of `size` bytes, from its tokens; nullptr when the file is
// not a whole network.
perceptron *read_network(token_reader &tokens, std::uint64_t size) {
  // The header: four key and count pairs, then a key and the learning rate. The keys
  // are skipped unread, so the values count by position.
  std::string_view token;
  std::uint32_t counts[4];
  for (std::uint32_t &count : counts)
    if (!tokens.next(token) || !tokens.next(token) || !parse_count(token, count)) return nullptr;
  double learning_rate;
  if (!tokens.next(token) || !tokens.next(token) || !parse_value(token, learning_rate))
    return nullptr;
  const std::uint64_t inputs = counts[0], h = counts[1], outputs = counts[2], layers = counts[3];

  // Every number must fit in the rest of the file before a network of that shape is
  // created, so a short file can never make the reader obtain memory it cannot fill:
  // after the learning rate, each number takes at least a blank and one character. The
  // product of two 32-bit counts fits 64 bits; the sums are bounded by the room first.
  const std::uint64_t rest = size > tokens.offset() ? size - tokens.offset() : 0;
  const std::uint64_t available = rest / 2;
  std::uint64_t needed = 0;
  const auto need = [&](std::uint64_t lines, std::uint64_t columns, std::uint64_t times) {
    const std::uint64_t each = lines * columns;
    if (each != 0 && times > (available - needed) / each) return false;
    needed += each * times;
    return true;
  };
  if (layers == 0 || !need(h, inputs, 1) || !need(h, h, layers - 1) || !need(h, 1, layers) ||
      !need(outputs, h, 1) || !need(outputs, 1, 1))
    return nullptr;

  // Every weight and bias is read from the file, so the random fill that a new network
  // gets would only be overwritten, at a cost that shows in every prediction.
  perceptron *p =
      create_unfilled_perceptron(counts[0], counts[1], counts[2], counts[3], learning_rate);
  if (p == nullptr) return nullptr;

  // The numbers in the order the writer writes them; reading stops at the last one.
  const auto fill = [&](matrix *m) {
    const std::uint32_t lines = get_lines(m);
    const std::uint32_t columns = get_columns(m);
    for (std::uint32_t i = 0; i < lines; ++i) {
      for (std::uint32_t j = 0; j < columns; ++j) {
        double value;
        if (!tokens.next(token) || !parse_value(token, value)) return false;
        set_element(m, i, j, value);
      }
    }
    return true;
  };
  bool ok = true;
  for (std::uint32_t l = 0; ok && l < p->num_hidden_layers; ++l) ok = fill(p->hl_weights[l]);
  for (std::uint32_t l = 0; ok && l < p->num_hidden_layers; ++l) ok = fill(p->hl_bias[l]);
  ok = ok && fill(p->o_weights) && fill(p->o_bias);
  if (!ok) {
    free_perceptron(p);
    return nullptr;
  }
  return p;
}

}  // namespace

int save_perceptron(const perceptron *p, const char *path) {
  if (p == nullptr || path == nullptr) return 1;

  std::string text;
  append_count(text, "number_of_inputs ", p->num_inputs);
  append_count(text, "number_of_hidden_layers_nodes ", p->num_hidden_layers_nodes);
  append_count(text, "number_of_outputs ", p->num_outputs);
  append_count(text, "number_of_hidden_layers ", p->num_hidden_layers);
  text.append("learning_rate  ");
  append_value(text, p->learning_rate);
  text.back() = '\n';  // the header's value has no trailing blank
  for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l) append_matrix(text, p->hl_weights[l]);
  for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l) append_matrix(text, p->hl_bias[l]);
  append_matrix(text, p->o_weights);
  append_matrix(text, p->o_bias);

  std::FILE *file = std::fopen(path, "w");
  if (file == nullptr) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  // A full disk may only show when the buffer is flushed on closing.
  const bool closed = std::fclose(file) == 0;
  return written && closed ? 0 : 1;
}

perceptron *load_perceptron(const char *path) {
  if (path == nullptr) return nullptr;
  // Only a regular file of known size can be measured against its header before anything
  // is created; a folder, a pipe or a device is no network file.
  file_problem problem;
  int error;
  std::uint64_t size;
  const int fd = open_regular_file(path, perceptron_file_max_bytes, &problem, &error, &size);
  if (fd < 0) return nullptr;
  const fd_closer closer{fd};
  token_reader tokens(fd, size);
  return read_network(tokens, size);
}

perceptron *parse_perceptron(std::string_view bytes) {
  if (bytes.size() > perceptron_file_max_bytes) return nullptr;
  token_reader tokens(bytes);
  return read_network(tokens, bytes.size());
}
