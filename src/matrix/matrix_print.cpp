// Diagnostic printers of the matrix unit: text dumps on standard output.
//
// Values are written as "%lf" writes them in the "C" locale, through std::to_chars,
// which ignores the process's locale: the window's toolkit sets it from the
// environment, and a decimal-comma locale would otherwise print "0,500000".
#include <charconv>
#include <cstdio>

#include "common/contract.hpp"
#include "matrix/matrix.hpp"

namespace {

// Writes the value in fixed notation with six decimals, then the text that follows it.
void put_value(double value, const char *after) {
  // The widest fixed-notation double (about 1.8e308) takes 309 digits, a sign, a point
  // and six decimals; "-nan" and "-inf" are shorter.
  char buffer[330];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  std::fwrite(buffer, 1, static_cast<std::size_t>(result.ptr - buffer), stdout);
  std::fputs(after, stdout);
}

void print_lines(const matrix *m) {
  for (std::uint32_t i = 0; i < m->lines; ++i) {
    for (std::uint32_t j = 0; j < m->columns; ++j)
      put_value(m->data[static_cast<std::size_t>(i) * m->columns + j], " ");
    std::putchar('\n');
  }
}

}  // namespace

void print_matrix(const matrix *m) {
  if (m == nullptr) std::puts("print_matrix ERROR.");
  ORV_CHECK(m != NULL);
  std::printf("Number of lines: %u\n", m->lines);
  std::printf("Number of columsn: %u\n\n", m->columns);
  print_lines(m);
  std::printf("\n\n");
}

void print_matrix_line(const matrix *m) {
  if (m == nullptr) std::puts("print_matrix_line ERROR.");
  ORV_CHECK(m != NULL);
  print_lines(m);
}

// REQUIRES: n has at least as many lines and columns as m (not checked).
void print_matrix_line_side_side(const matrix *m, const matrix *n) {
  if (m == nullptr) std::puts("print_matrix_line ERROR.");
  ORV_CHECK(m != NULL);
  for (std::uint32_t i = 0; i < m->lines; ++i) {
    for (std::uint32_t j = 0; j < m->columns; ++j) {
      put_value(get_element(m, i, j), " - ");
      put_value(get_element(n, i, j), "");
    }
    std::putchar('\n');
  }
}

void print_matrix_line_plus(const matrix *m, std::uint32_t k) {
  if (m == nullptr) std::puts("print_matrix_line_plus ERROR.");
  ORV_CHECK(m != NULL);
  std::uint32_t c = 0;
  for (std::uint32_t i = 0; i < m->lines; ++i) {
    for (std::uint32_t j = 0; j < m->columns; ++j) {
      const double value = get_element(m, i, j);
      if (!(value >= 0.1)) continue;
      // Lines below k are labelled by their own number, later ones by a running count.
      if (i < k) {
        std::printf("%d - ", static_cast<int>(i + 1));
      } else {
        std::printf("%d - ", static_cast<int>(c + 1));
        ++c;
      }
      put_value(value, " \n");
    }
  }
}
