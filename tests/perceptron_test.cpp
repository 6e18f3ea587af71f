#include "nn/multi_layer_perceptron.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

bool all_within(const matrix *m, double low, double high) {
  for (double x : m->data)
    if (!(x >= low && x <= high)) return false;
  return true;
}

bool all_equal(const matrix *m, double value) {
  for (double x : m->data)
    if (x != value) return false;
  return true;
}

void fill(matrix *m, double start, double step) {
  for (double &x : m->data) {
    x = start;
    start += step;
  }
}

}  // namespace

TEST(CreatePerceptron, ShapesFollowTheCounts) {
  perceptron_ptr p(create_perceptron(8, 4, 3, 2, 0.1));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(get_num_inputs(p.get()), 8u);
  EXPECT_EQ(get_num_hidden_layers_nodes(p.get()), 4u);
  EXPECT_EQ(get_num_outputs(p.get()), 3u);
  EXPECT_EQ(get_num_hidden_layers(p.get()), 2u);
  EXPECT_EQ(p->learning_rate, 0.1);
  matrix **w = get_hl_weights(p.get());
  matrix **b = get_hl_bias(p.get());
  EXPECT_EQ(get_lines(w[0]), 4u);
  EXPECT_EQ(get_columns(w[0]), 8u);
  EXPECT_EQ(get_lines(w[1]), 4u);
  EXPECT_EQ(get_columns(w[1]), 4u);
  EXPECT_EQ(w[2], nullptr);  // slot L stays empty until training
  EXPECT_EQ(get_lines(get_o_weights(p.get())), 3u);
  EXPECT_EQ(get_columns(get_o_weights(p.get())), 4u);
  for (int l = 0; l < 2; ++l) {
    EXPECT_EQ(get_lines(b[l]), 4u);
    EXPECT_EQ(get_columns(b[l]), 1u);
    EXPECT_TRUE(all_equal(b[l], 0.0));
    EXPECT_TRUE(all_within(w[l], -1.0, 1.0));
    EXPECT_FALSE(all_equal(w[l], 0.0));
  }
  EXPECT_EQ(get_lines(get_o_bias(p.get())), 3u);
  EXPECT_EQ(get_columns(get_o_bias(p.get())), 1u);
  EXPECT_TRUE(all_equal(get_o_bias(p.get()), 0.0));
  EXPECT_TRUE(all_within(get_o_weights(p.get()), -1.0, 1.0));
}

TEST(CreatePerceptron, RefusesZeroCountsAndNonPositiveLearningRate) {
  EXPECT_EQ(create_perceptron(0, 4, 3, 1, 0.1), nullptr);
  EXPECT_EQ(create_perceptron(8, 0, 3, 1, 0.1), nullptr);
  EXPECT_EQ(create_perceptron(8, 4, 0, 1, 0.1), nullptr);
  EXPECT_EQ(create_perceptron(8, 4, 3, 0, 0.1), nullptr);
  EXPECT_EQ(create_perceptron(8, 4, 3, 1, 0.0), nullptr);
  EXPECT_EQ(create_perceptron(8, 4, 3, 1, -0.5), nullptr);
}

TEST(CreatePerceptron, OneHiddenLayerHasTwoSlotsAndOnlyTheFirstIsOwned) {
  perceptron_ptr p(create_perceptron(2, 3, 1, 1, 0.5));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p->hl_weights[0], nullptr);
  EXPECT_EQ(p->hl_weights[1], nullptr);
}

TEST(FreePerceptron, NullIsIgnored) {
  free_perceptron(nullptr);
}

TEST(PerceptronGetters, NullNetworkReadsEmpty) {
  EXPECT_EQ(get_num_inputs(nullptr), 0u);
  EXPECT_EQ(get_num_hidden_layers_nodes(nullptr), 0u);
  EXPECT_EQ(get_num_outputs(nullptr), 0u);
  EXPECT_EQ(get_num_hidden_layers(nullptr), 0u);
  EXPECT_EQ(get_hl_weights(nullptr), nullptr);
  EXPECT_EQ(get_hl_bias(nullptr), nullptr);
  EXPECT_EQ(get_o_weights(nullptr), nullptr);
  EXPECT_EQ(get_o_bias(nullptr), nullptr);
}

TEST(Predict, AllZeroNetworkPredictsOneHalf) {
  perceptron_ptr p(create_perceptron(3, 5, 2, 3, 0.1));
  for (std::uint32_t l = 0; l < 3; ++l) multiply_by_scalar(p->hl_weights[l], 0.0);
  multiply_by_scalar(p->o_weights, 0.0);
  matrix_ptr in(create_matrix(3, 1));
  fill(in.get(), -40, 33);
  matrix_ptr out(predict(p.get(), in.get()));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(get_lines(out.get()), 2u);
  EXPECT_EQ(get_columns(out.get()), 1u);
  EXPECT_TRUE(all_equal(out.get(), 0.5));
}

TEST(Predict, OneHiddenLayerComputesSigmoidOfEachLayer) {
  perceptron_ptr p(create_perceptron(2, 2, 1, 1, 0.1));
  p->hl_weights[0]->data = {0.1, 0.3, 0.5, 0.7};
  p->hl_bias[0]->data = {-0.4, 0.5};
  p->o_weights->data = {0.6, -0.5};
  p->o_bias->data = {0.25};
  matrix_ptr in(create_matrix(2, 1));
  in->data = {1.5, -1};
  const double h0 = 1.0 / (1.0 + std::exp(-((0.0 + 0.1 * 1.5 + 0.3 * -1) + -0.4)));
  const double h1 = 1.0 / (1.0 + std::exp(-((0.0 + 0.5 * 1.5 + 0.7 * -1) + 0.5)));
  const double y = 1.0 / (1.0 + std::exp(-((0.0 + 0.6 * h0 + -0.5 * h1) + 0.25)));
  matrix_ptr out(predict(p.get(), in.get()));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(get_element(out.get(), 0, 0), y);
}

TEST(Predict, NewResultEachCallAndNetworkUnchanged) {
  perceptron_ptr p(create_perceptron(4, 6, 3, 2, 0.1));
  matrix_ptr in(create_matrix(4, 1));
  fill(in.get(), 0.1, 0.3);
  const std::vector<double> before = p->hl_weights[1]->data;
  const std::vector<double> input = in->data;
  matrix_ptr first(predict(p.get(), in.get()));
  matrix_ptr second(predict(p.get(), in.get()));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(first->data, second->data);
  EXPECT_TRUE(all_within(first.get(), 0.0, 1.0));
  EXPECT_EQ(p->hl_weights[1]->data, before);
  EXPECT_EQ(in->data, input);
}

TEST(Predict, NullNetworkOrInputYieldsNull) {
  perceptron_ptr p(create_perceptron(1, 1, 1, 1, 0.1));
  matrix_ptr in(create_matrix(1, 1));
  EXPECT_EQ(predict(nullptr, in.get()), nullptr);
  EXPECT_EQ(predict(p.get(), nullptr), nullptr);
}

TEST(PredictDeathTest, WrongInputShapeStopsAtTheMatrixChecks) {
  perceptron_ptr p(create_perceptron(3, 2, 1, 1, 0.1));
  matrix_ptr two_lines(create_matrix(2, 1));
  matrix_ptr two_columns(create_matrix(3, 2));
  EXPECT_DEATH(predict(p.get(), two_lines.get()), "Assertion `m->columns == n->lines' failed");
  EXPECT_DEATH(predict(p.get(), two_columns.get()), "Assertion `m->columns == n->columns' failed");
}

TEST(Sigmoid, KnownValues) {
  EXPECT_EQ(sigmoid(0), 0.5);
  EXPECT_EQ(sigmoid(2), 1.0 / (1.0 + std::exp(-2.0)));
  EXPECT_EQ(derivative_sigmoided(0.5), 0.25);
  EXPECT_EQ(derivative_sigmoided(1), 0.0);
  EXPECT_EQ(derivative_sigmoided(0), 0.0);
}

TEST(MapSigmoid, AppliesToEveryElementAndIgnoresNull) {
  matrix_ptr m(create_matrix(2, 2));
  fill(m.get(), -1, 1);
  map_sigmoid(m.get());
  EXPECT_EQ(m->data, (std::vector<double>{sigmoid(-1), 0.5, sigmoid(1), sigmoid(2)}));
  map_derivative_sigmoided(m.get());
  EXPECT_EQ(get_element(m.get(), 0, 1), 0.25);
  EXPECT_EQ(get_element(m.get(), 1, 1), (1.0 - sigmoid(2)) * sigmoid(2));
  map_sigmoid(nullptr);
  map_derivative_sigmoided(nullptr);
}

TEST(Max, LargerOrEither) {
  EXPECT_EQ(max(3, 7), 7u);
  EXPECT_EQ(max(7, 3), 7u);
  EXPECT_EQ(max(7, 7), 7u);
  EXPECT_EQ(max(0, UINT32_MAX), UINT32_MAX);
}

TEST(FreePseudoVector, ReleasesTheFirstCountEntries) {
  matrix *table[3] = {create_matrix(1, 1), create_matrix(2, 2), nullptr};
  free_pseudo_vector(table, 2);  // the leak checker notices a matrix left behind
  free_pseudo_vector(nullptr, 4);
  free_pseudo_vector(table + 2, 0);
}
