// One step of back-propagation on one example.
//
// The step is the sequence of matrix operations
//   a[l] = sigmoid(W[l] * a[l - 1] + b[l]),  y = sigmoid(Wo * a[L - 1] + bo)
//   eo = answer - y;  go = (y (1 - y) . eo) * lr;  Wo += go * a[L - 1]^T;  bo += go
//   for l = L - 1 down to 0, with W[L] = Wo and e[L] = eo:
//     e[l] = W[l + 1]^T * e[l + 1]   (W[l + 1] as already updated in this step)
//     g[l] = (a[l] (1 - a[l]) . e[l]) * lr;  W[l] += g[l] * input[l]^T;  b[l] += g[l]
// computed here on the networks' own arrays without building the transposes and
// intermediate matrices. Every element is formed by the same operations in the same
// order as those matrix operations form it (products summed from k = 0 upward starting
// at 0.0, a one-term product added to 0.0), so the results are identical bit for bit.
#include <cstddef>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "common/contract.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace {

// out[i] = sigmoid((sum over k of w(i, k) * in[k]) + bias[i]).
void layer_forward(const matrix *w, const double *in, const matrix *bias, double *out) {
  const std::size_t columns = w->columns;
  const double *row = w->data.data();
  for (std::uint32_t i = 0; i < w->lines; ++i, row += columns) {
    double sum = 0.0;
    for (std::size_t k = 0; k < columns; ++k) sum = sum + row[k] * in[k];
    out[i] = sigmoid(sum + bias->data[i]);
  }
}

// gradient[i] = (derivative_sigmoided(activation[i]) * error[i]) * lr, then
// w(i, j) += 0.0 + gradient[i] * in[j] and bias[i] += gradient[i].
void layer_update(matrix *w, matrix *bias, const double *activation, const double *error, double lr,
                  const double *in, double *gradient) {
  const std::size_t columns = w->columns;
  double *row = w->data.data();
  for (std::uint32_t i = 0; i < w->lines; ++i, row += columns) {
    gradient[i] = derivative_sigmoided(activation[i]) * error[i];
    gradient[i] = gradient[i] * lr;
    for (std::size_t j = 0; j < columns; ++j) row[j] = row[j] + (0.0 + gradient[i] * in[j]);
    bias->data[i] = bias->data[i] + gradient[i];
  }
}

// out[i] = sum over k of w(k, i) * error[k]: the transpose of w times the error column.
void error_backward(const matrix *w, const double *error, double *out) {
  const std::size_t columns = w->columns;
  for (std::size_t i = 0; i < columns; ++i) {
    double sum = 0.0;
    for (std::uint32_t k = 0; k < w->lines; ++k) sum = sum + w->data[k * columns + i] * error[k];
    out[i] = sum;
  }
}

}  // namespace

int train(perceptron *p, const matrix *inputs, const matrix *answer) {
  ORV_CHECK(p != NULL);
  ORV_CHECK(inputs != NULL);
  ORV_CHECK(answer != NULL);
  const std::uint32_t layers = p->num_hidden_layers;
  const std::size_t h = p->num_hidden_layers_nodes;
  const std::size_t outputs = p->num_outputs;
  matrix **w = p->hl_weights;
  matrix **b = p->hl_bias;

  // Columns of the wrong shape stop the program at the matrix unit's own checks, at the
  // operation where the plain sequence of matrix operations would stop.
  if (inputs->lines != p->num_inputs || inputs->columns != 1) {
    matrix_ptr first(multiply(w[0], inputs));
    if (first == nullptr) return 1;
    add_r(first.get(), b[0]);
  }
  if (answer->lines != outputs || answer->columns != 1) {
    matrix_ptr output(create_matrix(p->num_outputs, 1));
    if (output == nullptr) return 1;
    matrix_ptr difference(subtract(answer, output.get()));
  }

  // All working memory at once, before anything changes: the activations of every hidden
  // layer, the output, the output error and gradient, and two hidden error columns and
  // one gradient column that the layers take in turn.
  std::vector<double> work;
  try {
    work.resize(layers * h + 3 * outputs + 3 * h);
  } catch (const std::exception &) {
    return 1;
  }
  double *const activations = work.data();  // a[l] at activations + l * h
  double *const y = activations + layers * h;
  double *const output_error = y + outputs;
  double *const output_gradient = output_error + outputs;
  double *error = output_gradient + outputs;
  double *next_error = error + h;
  double *const gradient = next_error + h;

  // Forward pass, keeping every hidden activation.
  const double *in = inputs->data.data();
  for (std::uint32_t l = 0; l < layers; ++l) {
    layer_forward(w[l], in, b[l], activations + l * h);
    in = activations + l * h;
  }
  layer_forward(p->o_weights, in, p->o_bias, y);

  // Output layer: error is answer - output.
  for (std::size_t i = 0; i < outputs; ++i) output_error[i] = answer->data[i] - y[i];
  layer_update(p->o_weights, p->o_bias, y, output_error, p->learning_rate, in, output_gradient);

  // The layer after the last hidden one is the output layer: slot L refers to its
  // weights (a second reference, not owned by the table).
  w[layers] = p->o_weights;

  // Hidden layers from the last back to the first; each error is carried back through
  // the next layer's weights as already updated in this step.
  const double *later_error = output_error;
  for (std::uint32_t l = layers; l-- > 0;) {
    error_backward(w[l + 1], later_error, error);
    const double *layer_input = l == 0 ? inputs->data.data() : activations + (l - 1) * h;
    layer_update(w[l], b[l], activations + l * h, error, p->learning_rate, layer_input, gradient);
    later_error = error;
    std::swap(error, next_error);
  }
  return 0;
}
