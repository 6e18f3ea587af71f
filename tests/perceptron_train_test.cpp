#include "nn/multi_layer_perceptron.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

perceptron_ptr zero_network(std::uint32_t inputs, std::uint32_t nodes, std::uint32_t outputs,
                            std::uint32_t layers, double lr) {
  perceptron_ptr p(create_perceptron(inputs, nodes, outputs, layers, lr));
  for (std::uint32_t l = 0; l < layers; ++l) multiply_by_scalar(p->hl_weights[l], 0.0);
  multiply_by_scalar(p->o_weights, 0.0);
  return p;
}

matrix_ptr column(std::vector<double> values) {
  matrix_ptr m(create_matrix(static_cast<std::uint32_t>(values.size()), 1));
  m->data = std::move(values);
  return m;
}

// The step written out as the plain sequence of matrix operations, one new matrix per
// intermediate result: the reference the step's results must equal bit for bit.
void reference_step(perceptron *p, const matrix *inputs, const matrix *answer) {
  const std::uint32_t layers = p->num_hidden_layers;
  std::vector<matrix_ptr> a(layers);
  a[0].reset(multiply(p->hl_weights[0], inputs));
  add_r(a[0].get(), p->hl_bias[0]);
  map_sigmoid(a[0].get());
  for (std::uint32_t l = 1; l < layers; ++l) {
    a[l].reset(multiply(p->hl_weights[l], a[l - 1].get()));
    add_r(a[l].get(), p->hl_bias[l]);
    map_sigmoid(a[l].get());
  }
  matrix_ptr y(multiply(p->o_weights, a[layers - 1].get()));
  add_r(y.get(), p->o_bias);
  map_sigmoid(y.get());
  matrix_ptr error(subtract(answer, y.get()));
  map_derivative_sigmoided(y.get());
  matrix_ptr gradient(multiply_ebye(y.get(), error.get()));
  multiply_by_scalar(gradient.get(), p->learning_rate);
  matrix_ptr at(transpose(a[layers - 1].get()));
  matrix_ptr delta(multiply(gradient.get(), at.get()));
  add_r(p->o_weights, delta.get());
  add_r(p->o_bias, gradient.get());
  const matrix *next_weights = p->o_weights;
  for (std::uint32_t l = layers; l-- > 0;) {
    matrix_ptr wt(transpose(next_weights));
    matrix_ptr e(multiply(wt.get(), error.get()));
    map_derivative_sigmoided(a[l].get());
    matrix_ptr g(multiply_ebye(a[l].get(), e.get()));
    multiply_by_scalar(g.get(), p->learning_rate);
    matrix_ptr it(transpose(l == 0 ? inputs : a[l - 1].get()));
    matrix_ptr d(multiply(g.get(), it.get()));
    add_r(p->hl_weights[l], d.get());
    add_r(p->hl_bias[l], g.get());
    next_weights = p->hl_weights[l];
    error = std::move(e);
  }
}

// Bit patterns, so that 0.0 and -0.0 count as different.
std::vector<std::uint64_t> bits(const matrix *m) {
  std::vector<std::uint64_t> out;
  for (double x : m->data) out.push_back(std::bit_cast<std::uint64_t>(x));
  return out;
}

void expect_same_network(const perceptron *p, const perceptron *q) {
  for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l) {
    EXPECT_EQ(bits(p->hl_weights[l]), bits(q->hl_weights[l])) << "hidden weights " << l;
    EXPECT_EQ(bits(p->hl_bias[l]), bits(q->hl_bias[l])) << "hidden bias " << l;
  }
  EXPECT_EQ(bits(p->o_weights), bits(q->o_weights));
  EXPECT_EQ(bits(p->o_bias), bits(q->o_bias));
}

perceptron_ptr copy_network(const perceptron *p) {
  perceptron_ptr q(create_perceptron(p->num_inputs, p->num_hidden_layers_nodes, p->num_outputs,
                                     p->num_hidden_layers, p->learning_rate));
  for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l) {
    q->hl_weights[l]->data = p->hl_weights[l]->data;
    q->hl_bias[l]->data = p->hl_bias[l]->data;
  }
  q->o_weights->data = p->o_weights->data;
  q->o_bias->data = p->o_bias->data;
  return q;
}

}  // namespace

TEST(Train, OneNodeWorkedExample) {
  perceptron_ptr p = zero_network(1, 1, 1, 1, 0.5);
  matrix_ptr in = column({1.0});
  matrix_ptr answer = column({1.0});
  ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  EXPECT_EQ(get_element(p->o_weights, 0, 0), 0.03125);
  EXPECT_EQ(get_element(p->o_bias, 0, 0), 0.0625);
  // The hidden error goes through the output weight as updated (0.03125), not the old 0.0.
  EXPECT_EQ(get_element(p->hl_weights[0], 0, 0), 0.001953125);
  EXPECT_EQ(get_element(p->hl_bias[0], 0, 0), 0.001953125);
  EXPECT_EQ(in->data, std::vector<double>{1.0});
  EXPECT_EQ(answer->data, std::vector<double>{1.0});
}

TEST(Train, AnswerEqualToOutputChangesNothing) {
  perceptron_ptr p = zero_network(3, 4, 2, 2, 0.7);
  matrix_ptr in = column({0.3, -2, 5});
  matrix_ptr answer = column({0.5, 0.5});
  ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  for (std::uint32_t l = 0; l < 2; ++l) {
    EXPECT_EQ(p->hl_weights[l]->data, std::vector<double>(l == 0 ? 12 : 16, 0.0));
    EXPECT_EQ(p->hl_bias[l]->data, std::vector<double>(4, 0.0));
  }
  EXPECT_EQ(p->o_weights->data, std::vector<double>(8, 0.0));
  EXPECT_EQ(p->o_bias->data, std::vector<double>(2, 0.0));
}

TEST(Train, LastSlotRefersToOutputWeightsAndIsReleasedOnce) {
  perceptron_ptr p(create_perceptron(2, 3, 1, 2, 0.1));
  EXPECT_EQ(p->hl_weights[2], nullptr);
  matrix_ptr in = column({0.5, 0.25});
  matrix_ptr answer = column({1.0});
  ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  EXPECT_EQ(p->hl_weights[2], p->o_weights);
  // Releasing the network now must free o_weights once: the sanitizer build checks it.
}

TEST(Train, TwoHiddenLayersMatchIndependentlyComputedValues) {
  // Constants printed by tests/data/two_hidden_layer_step.py with %.17g.
  perceptron_ptr p(create_perceptron(3, 2, 2, 2, 0.3));
  p->hl_weights[0]->data = {0.1, -0.2, 0.3, 0.4, 0.5, -0.6};
  p->hl_bias[0]->data = {0.05, -0.05};
  p->hl_weights[1]->data = {0.7, -0.8, 0.9, 0.15};
  p->hl_bias[1]->data = {0.02, 0.03};
  p->o_weights->data = {-0.35, 0.45, 0.55, -0.65};
  p->o_bias->data = {0.01, -0.01};
  matrix_ptr in = column({0.25, -0.5, 1.0});
  matrix_ptr answer = column({0.9, 0.1});
  ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  EXPECT_EQ(p->hl_weights[0]->data,
            (std::vector<double>{0.10292518357878197, -0.20585036715756394, 0.31170073431512785,
                                 0.40522705723053126, 0.48954588553893752, -0.57909177107787502}));
  EXPECT_EQ(p->hl_weights[1]->data,
            (std::vector<double>{0.68530894836921363, -0.80738703914535814, 0.91758825808207622,
                                 0.15884382917004303}));
  EXPECT_EQ(p->o_weights->data, (std::vector<double>{-0.33467084783700135, 0.46817083315606095,
                                                     0.53489894242896008, -0.66790045494269279}));
  EXPECT_EQ(p->hl_bias[0]->data,
            (std::vector<double>{0.061700734315127868, -0.029091771077875077}));
  EXPECT_EQ(p->hl_bias[1]->data,
            (std::vector<double>{-0.003827197103728433, 0.058526132952569421}));
  EXPECT_EQ(p->o_bias->data, (std::vector<double>{0.037834798478331925, -0.037420622473445533}));
}

TEST(Train, EqualsThePlainSequenceOfMatrixOperationsBitForBit) {
  std::srand(20240611);
  for (std::uint32_t layers : {1u, 2u, 3u}) {
    perceptron_ptr p(create_perceptron(8, 16, 4, layers, 0.25));
    perceptron_ptr q = copy_network(p.get());
    for (int step = 0; step < 50; ++step) {
      matrix_ptr in(create_matrix(8, 1));
      matrix_ptr answer(create_matrix(4, 1));
      for (double &x : in->data) x = std::rand() / static_cast<double>(RAND_MAX);
      for (double &x : answer->data) x = std::rand() / static_cast<double>(RAND_MAX);
      ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
      reference_step(q.get(), in.get(), answer.get());
    }
    expect_same_network(p.get(), q.get());
  }
}

TEST(Train, NegativeZeroWeightsFollowTheMatrixOperations) {
  // A weight of -0.0 (a file's "-0.000000") whose input is 0.0 gets a change of -0.0 or
  // 0.0; the matrix product forms the change as 0.0 + g * x, which turns -0.0 into 0.0,
  // and the saved file shows the difference.
  perceptron_ptr p(create_perceptron(2, 3, 2, 2, 0.5));
  for (std::uint32_t l = 0; l < 2; ++l)
    for (double &x : p->hl_weights[l]->data) x = -0.0;
  for (double &x : p->o_weights->data) x = -0.0;
  perceptron_ptr q = copy_network(p.get());
  matrix_ptr in = column({0.0, -0.0});
  matrix_ptr answer = column({0.0, 1.0});
  ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  reference_step(q.get(), in.get(), answer.get());
  expect_same_network(p.get(), q.get());
  EXPECT_FALSE(std::signbit(get_element(p->hl_weights[0], 0, 0)));
}

TEST(Train, RepeatedStepsReduceTheError) {
  perceptron_ptr p(create_perceptron(2, 4, 1, 1, 0.5));
  matrix_ptr in = column({0.2, 0.9});
  matrix_ptr answer = column({0.8});
  matrix_ptr before(predict(p.get(), in.get()));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(train(p.get(), in.get(), answer.get()), 0);
  matrix_ptr after(predict(p.get(), in.get()));
  const double error_before = std::abs(get_element(before.get(), 0, 0) - 0.8);
  const double error_after = std::abs(get_element(after.get(), 0, 0) - 0.8);
  EXPECT_LT(error_after, error_before / 2 + 1e-3);
  EXPECT_LT(error_after, 0.05);
}

TEST(TrainDeathTest, NullArgumentsStopInOrder) {
  perceptron_ptr p(create_perceptron(1, 1, 1, 1, 0.5));
  matrix_ptr in = column({1.0});
  matrix_ptr answer = column({1.0});
  EXPECT_DEATH(train(nullptr, in.get(), answer.get()),
               "multi_layer_perceptron|perceptron_train[^\n]*train: Assertion `p != NULL' failed");
  EXPECT_DEATH(train(p.get(), in.get(), nullptr), "train: Assertion `answer != NULL' failed");
  EXPECT_DEATH(train(p.get(), nullptr, nullptr), "train: Assertion `inputs != NULL' failed");
}

TEST(TrainDeathTest, WrongShapesStopAtTheMatrixChecks) {
  perceptron_ptr p(create_perceptron(3, 2, 2, 1, 0.5));
  matrix_ptr in = column({1, 2, 3});
  matrix_ptr short_in = column({1, 2});
  matrix_ptr answer = column({1, 0});
  matrix_ptr long_answer = column({1, 0, 1});
  EXPECT_DEATH(train(p.get(), short_in.get(), answer.get()),
               "Assertion `m->columns == n->lines' failed");
  EXPECT_DEATH(train(p.get(), in.get(), long_answer.get()),
               "Assertion `m->lines == n->lines' failed");
}
