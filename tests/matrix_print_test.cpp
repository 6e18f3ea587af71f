#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string>

#include "decimal_comma_locale.hpp"
#include "matrix/matrix.hpp"

namespace {

matrix_ptr make(std::uint32_t lines, std::uint32_t columns, std::initializer_list<double> values) {
  matrix_ptr m(create_matrix(lines, columns));
  std::uint32_t k = 0;
  for (double v : values) {
    set_element(m.get(), k / columns, k % columns, v);
    ++k;
  }
  return m;
}

template <typename F>
std::string printed(F &&print) {
  testing::internal::CaptureStdout();
  print();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(PrintMatrix, HeaderLinesThenTwoEmptyLines) {
  matrix_ptr m = make(1, 2, {1, -2.5});
  EXPECT_EQ(printed([&] { print_matrix(m.get()); }),
            "Number of lines: 1\nNumber of columsn: 2\n\n1.000000 -2.500000 \n\n\n");
}

TEST(PrintMatrix, NoLinesPrintsHeaderAndThreeEmptyLines) {
  matrix_ptr m(create_matrix(0, 3));
  EXPECT_EQ(printed([&] { print_matrix(m.get()); }),
            "Number of lines: 0\nNumber of columsn: 3\n\n\n\n");
}

TEST(PrintMatrixLine, EveryLineAlone) {
  matrix_ptr m = make(2, 2, {0.5, 1234.0000004, -0.0000004, 7});
  EXPECT_EQ(printed([&] { print_matrix_line(m.get()); }),
            "0.500000 1234.000000 \n-0.000000 7.000000 \n");
}

TEST(PrintMatrixLine, ValuesAsPrintfWritesThemInTheCLocale) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::initializer_list<double> values = {
      -0.0,     5e-7,   -5e-7, 0.0000025, 2.0 / 3, 123456.7890125,          1e22, 1.5e300,
      -1.7e308, 5e-324, inf,   -inf,      nan,     std::copysign(nan, -1.0)};
  matrix_ptr m = make(1, static_cast<std::uint32_t>(values.size()), values);
  std::string expected;
  for (double v : values) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%lf ", v);
    expected += buffer;
  }
  EXPECT_EQ(printed([&] { print_matrix_line(m.get()); }), expected + "\n");
}

TEST(PrintMatrixLineSideSide, PairsFollowWithoutSeparator) {
  matrix_ptr m = make(1, 2, {1, 2});
  matrix_ptr n = make(1, 2, {5, 6});
  EXPECT_EQ(printed([&] { print_matrix_line_side_side(m.get(), n.get()); }),
            "1.000000 - 5.0000002.000000 - 6.000000\n");
}

TEST(PrintMatrixLinePlus, LabelsByLineNumberBelowKThenByRunningCount) {
  matrix_ptr m = make(4, 1, {0.05, 0.5, 0.1, 0.7});
  EXPECT_EQ(printed([&] { print_matrix_line_plus(m.get(), 2); }),
            "2 - 0.500000 \n1 - 0.100000 \n2 - 0.700000 \n");
}

TEST(PrintMatrixLinePlus, KZeroCountsEverythingAndLargeKNumbersLines) {
  matrix_ptr m = make(3, 2, {0.2, 0.0, std::numeric_limits<double>::quiet_NaN(), 0.3, 0.4, 0.5});
  EXPECT_EQ(printed([&] { print_matrix_line_plus(m.get(), 0); }),
            "1 - 0.200000 \n2 - 0.300000 \n3 - 0.400000 \n4 - 0.500000 \n");
  EXPECT_EQ(printed([&] { print_matrix_line_plus(m.get(), 3); }),
            "1 - 0.200000 \n2 - 0.300000 \n3 - 0.400000 \n3 - 0.500000 \n");
}

TEST(PrintMatrixDeathTest, NullPrintsTheNamedLineThenStops) {
  const matrix *z = nullptr;
  EXPECT_DEATH((dup2(STDERR_FILENO, STDOUT_FILENO), print_matrix(z)),
               "^print_matrix ERROR\\.\n[^\n]*print_matrix: Assertion `m != NULL' failed");
  EXPECT_DEATH((dup2(STDERR_FILENO, STDOUT_FILENO), print_matrix_line(z)),
               "^print_matrix_line ERROR\\.\n[^\n]*Assertion `m != NULL' failed");
  EXPECT_DEATH((dup2(STDERR_FILENO, STDOUT_FILENO), print_matrix_line_side_side(z, z)),
               "^print_matrix_line ERROR\\.\n[^\n]*Assertion `m != NULL' failed");
  EXPECT_DEATH((dup2(STDERR_FILENO, STDOUT_FILENO), print_matrix_line_plus(z, 1)),
               "^print_matrix_line_plus ERROR\\.\n[^\n]*Assertion `m != NULL' failed");
}

// The window's toolkit sets the process locale from the environment: every printer
// writes the same bytes in a decimal-comma locale.
class PrintMatrixDecimalComma : public orvanta_test::DecimalCommaLocale {};

TEST_F(PrintMatrixDecimalComma, EveryPrinterWritesPointDecimals) {
  matrix_ptr m = make(1, 2, {1, -2.5});
  matrix_ptr n = make(1, 2, {0.125, 1234.5});
  EXPECT_EQ(printed([&] { print_matrix(m.get()); }),
            "Number of lines: 1\nNumber of columsn: 2\n\n1.000000 -2.500000 \n\n\n");
  EXPECT_EQ(printed([&] { print_matrix_line(n.get()); }), "0.125000 1234.500000 \n");
  EXPECT_EQ(printed([&] { print_matrix_line_side_side(m.get(), n.get()); }),
            "1.000000 - 0.125000-2.500000 - 1234.500000\n");
  EXPECT_EQ(printed([&] { print_matrix_line_plus(n.get(), 1); }),
            "1 - 0.125000 \n1 - 1234.500000 \n");
}
