// One step of back-propagation on one example.
#include <memory>
#include <new>

#include "common/contract.hpp"
#include "nn/multi_layer_perceptron.hpp"

int train(perceptron *p, const matrix *inputs, const matrix *answer) {
  ORV_CHECK(p != NULL);
  ORV_CHECK(inputs != NULL);
  ORV_CHECK(answer != NULL);
  const std::uint32_t layers = p->num_hidden_layers;
  const double lr = p->learning_rate;
  matrix **w = p->hl_weights;
  matrix **b = p->hl_bias;

  // Working tables; every matrix in them is released when the step ends.
  struct table {
    std::unique_ptr<matrix_ptr[]> slots;
    explicit table(std::size_t n) : slots(new (std::nothrow) matrix_ptr[n]) {}
    matrix *operator[](std::size_t i) const { return slots[i].get(); }
  };
  table a(layers);
  if (a.slots == nullptr) return 1;
  table a_t(layers), e(std::size_t{layers} + 1), w_t(std::size_t{layers} + 1), g(layers), d(layers);
  if (a_t.slots == nullptr || e.slots == nullptr || w_t.slots == nullptr || g.slots == nullptr ||
      d.slots == nullptr)
    return 1;

  // Forward pass, keeping every hidden activation.
  a.slots[0].reset(multiply(w[0], inputs));
  if (a[0] == nullptr) return 1;
  add_r(a[0], b[0]);
  map_sigmoid(a[0]);
  for (std::uint32_t l = 1; l < layers; ++l) {
    a.slots[l].reset(multiply(w[l], a[l - 1]));
    if (a[l] == nullptr) return 1;
    add_r(a[l], b[l]);
    map_sigmoid(a[l]);
  }
  matrix_ptr y(multiply(p->o_weights, a[layers - 1]));
  if (y == nullptr) return 1;
  add_r(y.get(), p->o_bias);
  map_sigmoid(y.get());

  // Output layer.
  matrix_ptr eo(subtract(answer, y.get()));
  if (eo == nullptr) return 1;
  map_derivative_sigmoided(y.get());
  matrix_ptr go(multiply_ebye(y.get(), eo.get()));
  if (go == nullptr) return 1;
  multiply_by_scalar(go.get(), lr);
  a_t.slots[layers - 1].reset(transpose(a[layers - 1]));
  if (a_t[layers - 1] == nullptr) return 1;
  matrix_ptr dwo(multiply(go.get(), a_t[layers - 1]));
  if (dwo == nullptr) return 1;
  add_r(p->o_weights, dwo.get());
  add_r(p->o_bias, go.get());

  // The layer after the last hidden one is the output layer: its slot refers to the
  // output weights (not owned by the table), and its error is the output error.
  w[layers] = p->o_weights;
  matrix *output_error = eo.get();

  // Hidden layers, from the last back to the first; each one's error is carried back
  // through the next layer's weights as already updated in this step.
  for (std::uint32_t l = layers; l-- > 0;) {
    w_t.slots[l + 1].reset(transpose(w[l + 1]));
    if (w_t[l + 1] == nullptr) return 1;
    e.slots[l].reset(multiply(w_t[l + 1], l + 1 == layers ? output_error : e[l + 1]));
    if (e[l] == nullptr) return 1;
    map_derivative_sigmoided(a[l]);
    g.slots[l].reset(multiply_ebye(a[l], e[l]));
    if (g[l] == nullptr) return 1;
    multiply_by_scalar(g[l], lr);
    matrix_ptr input_t(transpose(l == 0 ? inputs : a[l - 1]));
    if (input_t == nullptr) return 1;
    d.slots[l].reset(multiply(g[l], input_t.get()));
    if (d[l] == nullptr) return 1;
    add_r(w[l], d[l]);
    add_r(b[l], g[l]);
  }
  return 0;
}
