#include "matrix/matrix.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>

namespace {

// A matrix filled line by line from the values given.
matrix_ptr make(std::uint32_t lines, std::uint32_t columns, std::initializer_list<double> values) {
  matrix_ptr m(create_matrix(lines, columns));
  std::uint32_t k = 0;
  for (double v : values) {
    set_element(m.get(), k / columns, k % columns, v);
    ++k;
  }
  return m;
}

void expect_elements(const matrix *m, std::uint32_t lines, std::uint32_t columns,
                     std::initializer_list<double> values) {
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(get_lines(m), lines);
  ASSERT_EQ(get_columns(m), columns);
  std::uint32_t k = 0;
  for (double v : values) {
    EXPECT_EQ(get_element(m, k / columns, k % columns), v) << "element " << k;
    ++k;
  }
}

// Death-test statements send standard output to standard error, where the death test
// looks, so the "<name> ERROR." line can be matched together with the check's report.
#define STDOUT_TO_STDERR() dup2(STDERR_FILENO, STDOUT_FILENO)

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(CreateMatrix, NewMatrixReadsZeroEverywhere) {
  matrix_ptr m(create_matrix(3, 4));
  expect_elements(m.get(), 3, 4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

TEST(CreateMatrix, ZeroLinesOrColumnsHaveNoElements) {
  for (auto [lines, columns] : {std::pair{0u, 0u}, {0u, 5u}, {5u, 0u}}) {
    matrix *m = create_matrix(lines, columns);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(get_lines(m), lines);
    EXPECT_EQ(get_columns(m), columns);
    EXPECT_TRUE(m->data.empty());
    free_matrix(m);
  }
}

TEST(CreateMatrix, ImpossibleSizePrintsAllocationMessageAndYieldsNull) {
  testing::internal::CaptureStdout();
  matrix *m = create_matrix(UINT32_MAX, UINT32_MAX);
  std::fflush(stdout);
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "/!\\ /!\\ /!\\ malloc error /!\\ /!\\ /!\\");
}

TEST(Multiply, ThreeByTwoTimesTwoByFour) {
  matrix_ptr m = make(3, 2, {1, 2, 3, 4, 5, 6});
  matrix_ptr n = make(2, 4, {7, 8, 9, 10, 11, 12, 13, 14});
  matrix_ptr r(multiply(m.get(), n.get()));
  expect_elements(r.get(), 3, 4, {29, 32, 35, 38, 65, 72, 79, 86, 101, 112, 123, 134});
}

TEST(Multiply, SumsInIncreasingOrderOfK) {
  // (1e16 + 1) - 1e16 loses the 1 when summed from k = 0 upward, but not in reverse.
  matrix_ptr m = make(1, 3, {1e16, 1, -1e16});
  matrix_ptr n = make(3, 1, {1, 1, 1});
  matrix_ptr r(multiply(m.get(), n.get()));
  EXPECT_EQ(get_element(r.get(), 0, 0), 0.0);
}

TEST(Multiply, UnobtainableResultIsNullAndLeavesOperands) {
  // Two empty operands whose product would hold UINT32_MAX * UINT32_MAX elements.
  matrix_ptr m(create_matrix(UINT32_MAX, 0));
  matrix_ptr n(create_matrix(0, UINT32_MAX));
  testing::internal::CaptureStdout();
  matrix *r = multiply(m.get(), n.get());
  std::fflush(stdout);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "/!\\ /!\\ /!\\ malloc error /!\\ /!\\ /!\\");
  EXPECT_EQ(get_lines(m.get()), UINT32_MAX);
}

TEST(Add, IsElementwiseAndCommutative) {
  matrix_ptr m = make(2, 2, {1, -2, 3.5, 0});
  matrix_ptr n = make(2, 2, {10, 20, 30, 40});
  matrix_ptr mn(add(m.get(), n.get()));
  matrix_ptr nm(add(n.get(), m.get()));
  expect_elements(mn.get(), 2, 2, {11, 18, 33.5, 40});
  expect_elements(nm.get(), 2, 2, {11, 18, 33.5, 40});
}

TEST(AddR, ChangesFirstOperandOnly) {
  matrix_ptr m = make(1, 3, {1, 2, 3});
  matrix_ptr n = make(1, 3, {0.5, 0.25, -3});
  add_r(m.get(), n.get());
  expect_elements(m.get(), 1, 3, {1.5, 2.25, 0});
  expect_elements(n.get(), 1, 3, {0.5, 0.25, -3});
}

TEST(Subtract, YieldsFirstMinusSecond) {
  matrix_ptr m = make(1, 2, {5, 1});
  matrix_ptr n = make(1, 2, {2, 4});
  matrix_ptr r(subtract(m.get(), n.get()));
  expect_elements(r.get(), 1, 2, {3, -3});
}

TEST(SubtractR, WritesFirstMinusSecondIntoFirst) {
  matrix_ptr m = make(2, 1, {5, 1});
  matrix_ptr n = make(2, 1, {2, 4});
  subtract_r(m.get(), n.get());
  expect_elements(m.get(), 2, 1, {3, -3});
  expect_elements(n.get(), 2, 1, {2, 4});
}

TEST(MultiplyEbye, MultipliesMatchingElements) {
  matrix_ptr m = make(2, 2, {1, 2, 3, 4});
  matrix_ptr n = make(2, 2, {-1, 0.5, 2, 0});
  matrix_ptr r(multiply_ebye(m.get(), n.get()));
  expect_elements(r.get(), 2, 2, {-1, 1, 6, 0});
}

TEST(MultiplyByScalar, ScalesEveryElement) {
  matrix_ptr m = make(1, 3, {1, -2, 0.5});
  multiply_by_scalar(m.get(), -2);
  expect_elements(m.get(), 1, 3, {-2, 4, -1});
}

TEST(Transpose, TwoByThreeBecomesThreeByTwo) {
  matrix_ptr m = make(2, 3, {1, 2, 3, 4, 5, 6});
  matrix_ptr r(transpose(m.get()));
  expect_elements(r.get(), 3, 2, {1, 4, 2, 5, 3, 6});
}

TEST(SqrtMatrix, SquaresDespiteItsName) {
  matrix_ptr m = make(1, 3, {3, -2, 0.5});
  sqrt_matrix(m.get());
  expect_elements(m.get(), 1, 3, {9, 4, 0.25});
}

TEST(MapNot, OnlyZerosBecomeOne) {
  matrix_ptr m = make(1, 5, {0.0, -0.0, 5.0, -1.0, std::numeric_limits<double>::quiet_NaN()});
  map_not(m.get());
  expect_elements(m.get(), 1, 5, {1, 1, 0, 0, 0});
}

TEST(AverageMatrix, MeanOfAllElements) {
  matrix_ptr m = make(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(average_matrix(m.get()), 2.5);
}

TEST(AverageMatrix, NoElementsGiveNaN) {
  matrix_ptr m(create_matrix(0, 3));
  EXPECT_TRUE(std::isnan(average_matrix(m.get())));
}

TEST(Randomize, StaysWithinMinusOneToOneAndIgnoresPriorSeed) {
  matrix_ptr first(create_matrix(20, 20));
  matrix_ptr second(create_matrix(20, 20));
  std::srand(1);
  randomize(first.get());
  std::srand(1);
  randomize(second.get());
  bool all_within = true;
  bool differs = false;
  for (std::size_t i = 0; i < first->data.size(); ++i) {
    all_within = all_within && first->data[i] >= -1.0 && first->data[i] <= 1.0;
    differs = differs || first->data[i] != second->data[i];
  }
  EXPECT_TRUE(all_within);
  // Both calls re-seed from the clock, so the same prior seed does not repeat the values.
  EXPECT_TRUE(differs);
  // Spread over the whole range, not stuck near a point.
  EXPECT_LT(*std::min_element(first->data.begin(), first->data.end()), -0.5);
  EXPECT_GT(*std::max_element(first->data.begin(), first->data.end()), 0.5);
}

TEST(CopyMatrix, FillsTheBlockAndNothingElse) {
  matrix_ptr md(create_matrix(3, 4));
  for (double &x : md->data) x = -7;
  matrix_ptr ms = make(2, 2, {1, 2, 3, 4});
  copy_matrix(md.get(), ms.get(), 1, 2);
  expect_elements(md.get(), 3, 4, {-7, -7, -7, -7, -7, -7, 1, 2, -7, -7, 3, 4});
}

TEST(CopyMatrix, BlockReachingTheLastLineAndColumnFits) {
  matrix_ptr md(create_matrix(2, 2));
  matrix_ptr ms = make(1, 1, {9});
  copy_matrix(md.get(), ms.get(), 1, 1);
  expect_elements(md.get(), 2, 2, {0, 0, 0, 9});
}

// ---------------------------------------------------------------------------------------
// Contract checks: the "<name> ERROR." line (once) on standard output, then the report.

TEST(MatrixDeathTest, AddWithBothNullPrintsMessageOnceThenStopsAtFirstCheck) {
  EXPECT_DEATH(
      {
        STDOUT_TO_STDERR();
        add(nullptr, nullptr);
      },
      "^add ERROR\\.\n[^\n]*matrix\\.cpp:[0-9]+: add: Assertion `m != NULL' failed\\.");
}

TEST(MatrixDeathTest, AddWithSecondNullStopsAtSecondCheck) {
  matrix_ptr m(create_matrix(1, 1));
  EXPECT_DEATH(
      {
        STDOUT_TO_STDERR();
        add(m.get(), nullptr);
      },
      "^add ERROR\\.\n[^\n]*Assertion `n != NULL' failed");
}

TEST(MatrixDeathTest, EveryOperationNamesItselfOnANullArgument) {
  matrix_ptr m(create_matrix(1, 1));
  matrix *z = nullptr;
  EXPECT_DEATH((STDOUT_TO_STDERR(), multiply(z, m.get())), "^multiply ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), multiply_ebye(m.get(), z)),
               "^multiply_ebye ERROR\\.\n.*n != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), add_r(z, m.get())), "^add_r ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), subtract(m.get(), z)), "^subtract ERROR\\.\n.*n != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), subtract_r(z, z)), "^subtract_r ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), transpose(z)), "^transpose ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), sqrt_matrix(z)), "^sqrt_matrix ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), multiply_by_scalar(z, 2)),
               "^multiply_by_scalar ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), average_matrix(z)), "^average_matrix ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), randomize(z)), "^randomize ERROR\\.\n.*m != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), copy_matrix(z, m.get(), 0, 0)),
               "^copy_matrix ERROR\\.\n.*md != NULL");
  EXPECT_DEATH((STDOUT_TO_STDERR(), copy_matrix(m.get(), z, 0, 0)),
               "^copy_matrix ERROR\\.\n.*ms != NULL");
}

TEST(MatrixDeathTest, AccessorsStopWithoutAMessage) {
  matrix *z = nullptr;
  EXPECT_DEATH((STDOUT_TO_STDERR(), free_matrix(z)), "^[^\n]*free_matrix: Assertion `m != NULL'");
  EXPECT_DEATH((STDOUT_TO_STDERR(), get_lines(z)), "^[^\n]*get_lines: Assertion `m != NULL'");
  EXPECT_DEATH((STDOUT_TO_STDERR(), get_columns(z)), "^[^\n]*get_columns: Assertion `m != NULL'");
  EXPECT_DEATH((STDOUT_TO_STDERR(), get_element(z, 0, 0)),
               "^[^\n]*get_element: Assertion `m != NULL'");
  EXPECT_DEATH((STDOUT_TO_STDERR(), set_element(z, 0, 0, 1)),
               "^[^\n]*set_element: Assertion `m != NULL'");
  EXPECT_DEATH((STDOUT_TO_STDERR(), map_not(z)), "^[^\n]*map_not: Assertion `m != NULL'");
}

TEST(MatrixDeathTest, ShapeMismatchesStopAtTheirChecks) {
  matrix_ptr a(create_matrix(3, 2));
  matrix_ptr b(create_matrix(3, 2));
  matrix_ptr c(create_matrix(2, 2));
  matrix_ptr d(create_matrix(3, 1));
  EXPECT_DEATH(multiply(a.get(), b.get()), "multiply: Assertion `m->columns == n->lines' failed");
  EXPECT_DEATH(add(a.get(), c.get()), "add: Assertion `m->lines == n->lines' failed");
  EXPECT_DEATH(add_r(a.get(), d.get()), "add_r: Assertion `m->columns == n->columns' failed");
  EXPECT_DEATH(subtract(a.get(), c.get()), "Assertion `m->lines == n->lines' failed");
  EXPECT_DEATH(subtract_r(a.get(), d.get()), "Assertion `m->columns == n->columns' failed");
  EXPECT_DEATH(multiply_ebye(a.get(), d.get()), "Assertion `m->columns == n->columns' failed");
}

TEST(MatrixDeathTest, CopyMatrixOutOfBoundsStops) {
  matrix_ptr md(create_matrix(3, 4));
  matrix_ptr ms(create_matrix(2, 2));
  EXPECT_DEATH(copy_matrix(md.get(), ms.get(), 2, 0),
               "copy_matrix: Assertion `ms->lines \\+ sl <= md->lines' failed");
  EXPECT_DEATH(copy_matrix(md.get(), ms.get(), 0, 3),
               "copy_matrix: Assertion `ms->columns \\+ sc <= md->columns' failed");
}

TEST(MatrixDeathTest, CopyMatrixHugeOffsetDoesNotWrapAround) {
  // In 32 bits 2 + (UINT32_MAX - 1) wraps to 0 and would pass; the write would then land
  // far outside md.
  matrix_ptr md(create_matrix(3, 4));
  matrix_ptr ms(create_matrix(2, 2));
  EXPECT_DEATH(copy_matrix(md.get(), ms.get(), UINT32_MAX - 1, 0),
               "Assertion `ms->lines \\+ sl <= md->lines' failed");
  EXPECT_DEATH(copy_matrix(md.get(), ms.get(), 0, UINT32_MAX),
               "Assertion `ms->columns \\+ sc <= md->columns' failed");
}
