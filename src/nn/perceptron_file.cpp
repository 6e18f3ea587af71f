// The text model file: a five-line header with the shape and learning rate, then every
// weight and bias in fixed notation with six decimals.
//
// Numbers are formatted and parsed with std::to_chars / std::from_chars, which follow
// the "C" locale's rules whatever locale the process has set (the window's toolkit
// takes it from the environment), so a file has the same bytes everywhere.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

std::vector<std::string_view> split_tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && blank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !blank(text[i])) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

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

bool read_file(const char *path, std::string &text) {
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return !failed;
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
  std::string text;
  if (!read_file(path, text)) return nullptr;
  const std::vector<std::string_view> tokens = split_tokens(text);

  // The header: four key and count pairs, then a key and the learning rate. The keys
  // are skipped unread, so the values count by position.
  if (tokens.size() < 10) return nullptr;
  std::uint32_t counts[4];
  for (int i = 0; i < 4; ++i)
    if (!parse_count(tokens[2 * i + 1], counts[i])) return nullptr;
  double learning_rate;
  if (!parse_value(tokens[9], learning_rate)) return nullptr;
  const std::uint64_t inputs = counts[0], h = counts[1], outputs = counts[2], layers = counts[3];

  // Every number must be in the file before a network of that shape is created, so a
  // short file can never make the reader obtain memory it cannot fill. The product of
  // two 32-bit counts fits 64 bits; the sums are bounded by the token count first.
  const std::uint64_t available = tokens.size() - 10;
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

  std::size_t next = 10;
  const auto fill = [&](matrix *m) {
    const std::uint32_t lines = get_lines(m);
    const std::uint32_t columns = get_columns(m);
    for (std::uint32_t i = 0; i < lines; ++i) {
      for (std::uint32_t j = 0; j < columns; ++j) {
        double value;
        if (!parse_value(tokens[next++], value)) return false;
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
