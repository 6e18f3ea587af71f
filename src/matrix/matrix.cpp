#include "matrix/matrix.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "common/contract.hpp"

namespace {

// Written when the heap cannot hold a new matrix; no line end follows it.
void report_allocation_failure() {
  std::fputs("/!\\ /!\\ /!\\ malloc error /!\\ /!\\ /!\\", stdout);
}

// The line that names the operation that was handed a null matrix.
void report_null_argument(const char *message) {
  std::puts(message);
}

inline double &at(matrix *m, std::uint32_t line, std::uint32_t column) {
  return m->data[static_cast<std::size_t>(line) * m->columns + column];
}

inline double at(const matrix *m, std::uint32_t line, std::uint32_t column) {
  return m->data[static_cast<std::size_t>(line) * m->columns + column];
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Creation, release and element access

matrix *create_matrix(std::uint32_t lines, std::uint32_t columns) {
  matrix *m = new (std::nothrow) matrix;
  if (m == nullptr) {
    report_allocation_failure();
    return nullptr;
  }
  m->lines = lines;
  m->columns = columns;
  // The element count is formed in 64 bits: two 32-bit counts cannot overflow it.
  const std::size_t count = static_cast<std::size_t>(lines) * static_cast<std::size_t>(columns);
  try {
    m->data.assign(count, 0.0);
  } catch (const std::bad_alloc &) {
    delete m;
    report_allocation_failure();
    return nullptr;
  } catch (const std::length_error &) {
    delete m;
    report_allocation_failure();
    return nullptr;
  }
  return m;
}

void free_matrix(matrix *m) {
  ORV_CHECK(m != NULL);
  delete m;
}

std::uint32_t get_lines(const matrix *m) {
  ORV_CHECK(m != NULL);
  return m->lines;
}

std::uint32_t get_columns(const matrix *m) {
  ORV_CHECK(m != NULL);
  return m->columns;
}

double get_element(const matrix *m, std::uint32_t line, std::uint32_t column) {
  ORV_CHECK(m != NULL);
  return at(m, line, column);
}

void set_element(matrix *m, std::uint32_t line, std::uint32_t column, double value) {
  ORV_CHECK(m != NULL);
  at(m, line, column) = value;
}

// ---------------------------------------------------------------------------------------
// Arithmetic

void map_not(matrix *m) {
  ORV_CHECK(m != NULL);
  for (double &x : m->data) x = x == 0.0 ? 1.0 : 0.0;
}

matrix *multiply(const matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("multiply ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->columns == n->lines);
  matrix *result = create_matrix(m->lines, n->columns);
  if (result == nullptr) return nullptr;
  const std::uint32_t inner = m->columns;
  const std::uint32_t columns = n->columns;
  const double *mrow = m->data.data();
  double *out = result->data.data();
  std::uint32_t i = 0;
  if (columns == 1) {
    // A matrix times a column, as every forward pass makes it: four lines at a time, each
    // sum still formed from k = 0 upward, so the results are the same to the last bit while
    // the four chains of additions overlap.
    const double *column = n->data.data();
    for (; i + 4 <= m->lines; i += 4, mrow += 4 * inner) {
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (std::uint32_t k = 0; k < inner; ++k) {
        const double x = column[k];
        s0 = s0 + mrow[k] * x;
        s1 = s1 + mrow[inner + k] * x;
        s2 = s2 + mrow[2 * inner + k] * x;
        s3 = s3 + mrow[3 * inner + k] * x;
      }
      *out++ = s0;
      *out++ = s1;
      *out++ = s2;
      *out++ = s3;
    }
  }
  for (; i < m->lines; ++i, mrow += inner) {
    for (std::uint32_t j = 0; j < columns; ++j) {
      // Summed from k = 0 upward, starting at 0.0, so every product is reproducible.
      double sum = 0.0;
      const double *ncol = n->data.data() + j;
      for (std::uint32_t k = 0; k < inner; ++k, ncol += columns) sum = sum + mrow[k] * *ncol;
      *out++ = sum;
    }
  }
  return result;
}

void sqrt_matrix(matrix *m) {
  if (m == nullptr) report_null_argument("sqrt_matrix ERROR.");
  ORV_CHECK(m != NULL);
  for (double &x : m->data) x = x * x;
}

matrix *multiply_ebye(const matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("multiply_ebye ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->lines == n->lines);
  ORV_CHECK(m->columns == n->columns);
  matrix *result = create_matrix(m->lines, m->columns);
  if (result == nullptr) return nullptr;
  const std::size_t count = m->data.size();
  for (std::size_t i = 0; i < count; ++i) result->data[i] = m->data[i] * n->data[i];
  return result;
}

void multiply_by_scalar(matrix *m, double s) {
  if (m == nullptr) report_null_argument("multiply_by_scalar ERROR.");
  ORV_CHECK(m != NULL);
  for (double &x : m->data) x = x * s;
}

matrix *add(const matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("add ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->lines == n->lines);
  ORV_CHECK(m->columns == n->columns);
  matrix *result = create_matrix(m->lines, m->columns);
  if (result == nullptr) return nullptr;
  const std::size_t count = m->data.size();
  for (std::size_t i = 0; i < count; ++i) result->data[i] = m->data[i] + n->data[i];
  return result;
}

void add_r(matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("add_r ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->lines == n->lines);
  ORV_CHECK(m->columns == n->columns);
  const std::size_t count = m->data.size();
  for (std::size_t i = 0; i < count; ++i) m->data[i] = m->data[i] + n->data[i];
}

matrix *subtract(const matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("subtract ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->lines == n->lines);
  ORV_CHECK(m->columns == n->columns);
  matrix *result = create_matrix(m->lines, m->columns);
  if (result == nullptr) return nullptr;
  const std::size_t count = m->data.size();
  for (std::size_t i = 0; i < count; ++i) result->data[i] = m->data[i] - n->data[i];
  return result;
}

void subtract_r(matrix *m, const matrix *n) {
  if (m == nullptr || n == nullptr) report_null_argument("subtract_r ERROR.");
  ORV_CHECK(m != NULL);
  ORV_CHECK(n != NULL);
  ORV_CHECK(m->lines == n->lines);
  ORV_CHECK(m->columns == n->columns);
  const std::size_t count = m->data.size();
  for (std::size_t i = 0; i < count; ++i) m->data[i] = m->data[i] - n->data[i];
}

matrix *transpose(const matrix *m) {
  if (m == nullptr) report_null_argument("transpose ERROR.");
  ORV_CHECK(m != NULL);
  matrix *result = create_matrix(m->columns, m->lines);
  if (result == nullptr) return nullptr;
  for (std::uint32_t i = 0; i < m->lines; ++i)
    for (std::uint32_t j = 0; j < m->columns; ++j) at(result, j, i) = at(m, i, j);
  return result;
}

double average_matrix(const matrix *m) {
  if (m == nullptr) report_null_argument("average_matrix ERROR.");
  ORV_CHECK(m != NULL);
  double sum = 0.0;
  for (double x : m->data) sum = sum + x;
  // The element count as an unsigned 32-bit product: a matrix without elements gives 0 / 0.
  const std::uint32_t count = m->lines * m->columns;
  return sum / static_cast<double>(count);
}

void randomize(matrix *m) {
  if (m == nullptr) report_null_argument("randomize ERROR.");
  ORV_CHECK(m != NULL);
  // Every call re-seeds the process-wide generator from the monotonic clock.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::srand(static_cast<std::uint32_t>(now.tv_nsec));
  for (double &x : m->data) x = static_cast<double>(std::rand()) / 2147483647.0 * 2 - 1.0;
}

void copy_matrix(matrix *md, const matrix *ms, std::uint32_t first_line,
                 std::uint32_t first_column) {
  if (md == nullptr || ms == nullptr) report_null_argument("copy_matrix ERROR.");
  ORV_CHECK(md != NULL);
  ORV_CHECK(ms != NULL);
  // Widened so that the bound sums are formed in 64 bits: a huge offset cannot wrap
  // around and pass the checks.
  const std::uint64_t sl = first_line;
  const std::uint64_t sc = first_column;
  ORV_CHECK(ms->lines + sl <= md->lines);
  ORV_CHECK(ms->columns + sc <= md->columns);
  for (std::uint32_t i = 0; i < ms->lines; ++i)
    for (std::uint32_t j = 0; j < ms->columns; ++j)
      at(md, first_line + i, first_column + j) = at(ms, i, j);
}
