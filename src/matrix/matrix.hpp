// Dense matrices of doubles: the arithmetic the perceptron needs, and diagnostic printers.
//
// A column vector is a matrix with one column. Every operation that yields a matrix
// returns a new one that the caller releases with free_matrix; operations marked
// "in place" overwrite their first argument. Handing a null matrix or matrices of
// mismatched shapes to an operation is a programming error: the operation writes
// "<name> ERROR." on standard output (where it says so) and stops the program through
// a contract check that names the broken condition, whatever the build type.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct matrix {
  std::uint32_t lines = 0;
  std::uint32_t columns = 0;
  std::vector<double> data;  // row-major: element (i, j) is data[i * columns + j]
};

// A new lines x columns matrix holding 0.0 everywhere, or nullptr when memory runs out
// (after printing the allocation message on standard output).
matrix *create_matrix(std::uint32_t lines, std::uint32_t columns);
// Releases the matrix. REQUIRES: m != NULL.
void free_matrix(matrix *m);

std::uint32_t get_lines(const matrix *m);
std::uint32_t get_columns(const matrix *m);
// REQUIRES: line < lines and column < columns (not checked).
double get_element(const matrix *m, std::uint32_t line, std::uint32_t column);
void set_element(matrix *m, std::uint32_t line, std::uint32_t column, double value);

// In place: an element equal to 0.0 (or -0.0) becomes 1.0, every other one 0.0.
void map_not(matrix *m);
// New m.lines x n.columns product m * n, summed over k in increasing order.
matrix *multiply(const matrix *m, const matrix *n);
// In place: each element becomes its square (x * x, despite the name).
void sqrt_matrix(matrix *m);
// New element-by-element product, shape of m.
matrix *multiply_ebye(const matrix *m, const matrix *n);
// In place: each element times s.
void multiply_by_scalar(matrix *m, double s);
// New m + n, shape of m.
matrix *add(const matrix *m, const matrix *n);
// In place: m <- m + n; n is unchanged.
void add_r(matrix *m, const matrix *n);
// New m - n, shape of m.
matrix *subtract(const matrix *m, const matrix *n);
// In place: m <- m - n; n is unchanged.
void subtract_r(matrix *m, const matrix *n);
// New m.columns x m.lines transpose.
matrix *transpose(const matrix *m);
// Mean of all elements (NaN for a matrix without elements).
double average_matrix(const matrix *m);
// In place: every element uniform in [-1, 1]; re-seeds rand() from the monotonic clock.
void randomize(matrix *m);
// In place into md: md(sl + i, sc + j) <- ms(i, j) for every element of ms.
void copy_matrix(matrix *md, const matrix *ms, std::uint32_t sl, std::uint32_t sc);

// Diagnostic printers, on standard output, every number as "%lf" writes it in the "C"
// locale, whatever locale the process has set.
void print_matrix(const matrix *m);
void print_matrix_line(const matrix *m);
void print_matrix_line_side_side(const matrix *m, const matrix *n);
void print_matrix_line_plus(const matrix *m, std::uint32_t k);

// Ownership only: releases through free_matrix, never computes.
struct matrix_deleter {
  void operator()(matrix *m) const {
    if (m != nullptr) free_matrix(m);
  }
};
using matrix_ptr = std::unique_ptr<matrix, matrix_deleter>;
