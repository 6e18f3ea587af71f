#include "nn/multi_layer_perceptron.hpp"

#include <cmath>
#include <cstddef>
#include <new>

#include "nn/perceptron_unfilled.hpp"

// ---------------------------------------------------------------------------------------
// Creation and release

namespace {

// Releases whatever a partly built network holds: null slots are skipped, so the same
// routine serves a failed creation and a complete network.
void release_network(perceptron *p) {
  if (p->hl_weights != nullptr) {
    for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l)
      if (p->hl_weights[l] != nullptr) free_matrix(p->hl_weights[l]);
  }
  if (p->hl_bias != nullptr) {
    for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l)
      if (p->hl_bias[l] != nullptr) free_matrix(p->hl_bias[l]);
  }
  // Slot L of hl_weights only refers to o_weights: it is never released on its own.
  delete[] p->hl_weights;
  delete[] p->hl_bias;
  if (p->o_weights != nullptr) free_matrix(p->o_weights);
  if (p->o_bias != nullptr) free_matrix(p->o_bias);
  delete p;
}

}  // namespace

perceptron *create_unfilled_perceptron(std::uint32_t num_inputs,
                                       std::uint32_t num_hidden_layers_nodes,
                                       std::uint32_t num_outputs, std::uint32_t num_hidden_layers,
                                       double learning_rate) {
  if (num_inputs == 0 || num_hidden_layers_nodes == 0 || num_outputs == 0 ||
      num_hidden_layers == 0 || learning_rate <= 0)
    return nullptr;
  perceptron *p = new (std::nothrow) perceptron;
  if (p == nullptr) return nullptr;
  p->learning_rate = learning_rate;
  p->num_inputs = num_inputs;
  p->num_hidden_layers_nodes = num_hidden_layers_nodes;
  p->num_outputs = num_outputs;
  p->num_hidden_layers = num_hidden_layers;

  const std::uint32_t h = num_hidden_layers_nodes;
  p->o_weights = create_matrix(num_outputs, h);
  if (p->o_weights == nullptr) return release_network(p), nullptr;
  p->o_bias = create_matrix(num_outputs, 1);
  if (p->o_bias == nullptr) return release_network(p), nullptr;
  // L + 1 slots, counted in 64 bits so that the largest L cannot wrap to an empty table.
  p->hl_weights = new (std::nothrow) matrix *[std::size_t{num_hidden_layers} + 1]();
  if (p->hl_weights == nullptr) return release_network(p), nullptr;
  for (std::uint32_t l = 0; l < num_hidden_layers; ++l) {
    p->hl_weights[l] = create_matrix(h, l == 0 ? num_inputs : h);
    if (p->hl_weights[l] == nullptr) return release_network(p), nullptr;
  }
  p->hl_bias = new (std::nothrow) matrix *[num_hidden_layers]();
  if (p->hl_bias == nullptr) return release_network(p), nullptr;
  for (std::uint32_t l = 0; l < num_hidden_layers; ++l) {
    p->hl_bias[l] = create_matrix(h, 1);
    if (p->hl_bias[l] == nullptr) return release_network(p), nullptr;
  }

  return p;
}

perceptron *create_perceptron(std::uint32_t num_inputs, std::uint32_t num_hidden_layers_nodes,
                              std::uint32_t num_outputs, std::uint32_t num_hidden_layers,
                              double learning_rate) {
  perceptron *p = create_unfilled_perceptron(num_inputs, num_hidden_layers_nodes, num_outputs,
                                             num_hidden_layers, learning_rate);
  if (p == nullptr) return nullptr;
  for (std::uint32_t l = 0; l < num_hidden_layers; ++l) randomize(p->hl_weights[l]);
  randomize(p->o_weights);
  return p;
}

void free_perceptron(perceptron *p) {
  if (p == nullptr) return;
  release_network(p);
}

void free_pseudo_vector(matrix **table, std::uint32_t count) {
  if (table == nullptr || count == 0) return;
  for (std::uint32_t i = 0; i < count; ++i) free_matrix(table[i]);
}

// ---------------------------------------------------------------------------------------
// Accessors: a null network reads as empty.

std::uint32_t get_num_inputs(const perceptron *p) {
  return p != nullptr ? p->num_inputs : 0;
}

std::uint32_t get_num_hidden_layers_nodes(const perceptron *p) {
  return p != nullptr ? p->num_hidden_layers_nodes : 0;
}

std::uint32_t get_num_outputs(const perceptron *p) {
  return p != nullptr ? p->num_outputs : 0;
}

std::uint32_t get_num_hidden_layers(const perceptron *p) {
  return p != nullptr ? p->num_hidden_layers : 0;
}

matrix **get_hl_weights(const perceptron *p) {
  return p != nullptr ? p->hl_weights : nullptr;
}

matrix **get_hl_bias(const perceptron *p) {
  return p != nullptr ? p->hl_bias : nullptr;
}

matrix *get_o_weights(const perceptron *p) {
  return p != nullptr ? p->o_weights : nullptr;
}

matrix *get_o_bias(const perceptron *p) {
  return p != nullptr ? p->o_bias : nullptr;
}

// ---------------------------------------------------------------------------------------
// Forward pass

matrix *predict(const perceptron *p, const matrix *inputs) {
  if (p == nullptr || inputs == nullptr) return nullptr;
  // Only the previous layer's activation is needed to compute the next one.
  matrix_ptr activation(multiply(p->hl_weights[0], inputs));
  if (activation == nullptr) return nullptr;
  add_r(activation.get(), p->hl_bias[0]);
  map_sigmoid(activation.get());
  for (std::uint32_t l = 1; l < p->num_hidden_layers; ++l) {
    matrix_ptr next(multiply(p->hl_weights[l], activation.get()));
    if (next == nullptr) return nullptr;
    add_r(next.get(), p->hl_bias[l]);
    map_sigmoid(next.get());
    activation = std::move(next);
  }
  matrix *out = multiply(p->o_weights, activation.get());
  if (out == nullptr) return nullptr;
  add_r(out, p->o_bias);
  map_sigmoid(out);
  return out;
}

// ---------------------------------------------------------------------------------------
// Activation

double sigmoid(double x) {
  return 1.0 / (1.0 + std::exp(-x));
}

double derivative_sigmoided(double s) {
  return (1.0 - s) * s;
}

void map_sigmoid(matrix *m) {
  if (m == nullptr) return;
  for (double &x : m->data) x = sigmoid(x);
}

void map_derivative_sigmoided(matrix *m) {
  if (m == nullptr) return;
  for (double &x : m->data) x = derivative_sigmoided(x);
}

std::uint32_t max(std::uint32_t a, std::uint32_t b) {
  return a > b ? a : b;
}
