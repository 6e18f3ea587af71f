// A fully connected feed-forward network of sigmoid layers: record, forward pass, model
// file and one-step back-propagation training.
//
// L = num_hidden_layers hidden layers of H = num_hidden_layers_nodes nodes each, then an
// output layer; every layer, the output layer included, computes sigmoid(W * x + b).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "matrix/matrix.hpp"

struct perceptron {
  double learning_rate = 0.0;
  std::uint32_t num_inputs = 0;
  std::uint32_t num_hidden_layers_nodes = 0;
  std::uint32_t num_outputs = 0;
  std::uint32_t num_hidden_layers = 0;
  // L + 1 slots: slot 0 is H x num_inputs, slots 1 to L - 1 are H x H. Slot L is empty
  // until train() stores a second, non-owning reference to o_weights there.
  matrix **hl_weights = nullptr;
  matrix *o_weights = nullptr;  // num_outputs x H
  matrix **hl_bias = nullptr;   // L slots, each H x 1
  matrix *o_bias = nullptr;     // num_outputs x 1
};

// A new network with every weight uniform in [-1, 1] and every bias 0.0, or nullptr when
// a count is 0, the learning rate is <= 0 or memory runs out. Release with free_perceptron.
perceptron *create_perceptron(std::uint32_t num_inputs, std::uint32_t num_hidden_layers_nodes,
                              std::uint32_t num_outputs, std::uint32_t num_hidden_layers,
                              double learning_rate);
// Releases everything the network owns; a null network is ignored.
void free_perceptron(perceptron *p);
// Releases the first count matrices of the table (not the table itself).
void free_pseudo_vector(matrix **table, std::uint32_t count);

// The field, or 0 for a null network.
std::uint32_t get_num_inputs(const perceptron *p);
std::uint32_t get_num_hidden_layers_nodes(const perceptron *p);
std::uint32_t get_num_outputs(const perceptron *p);
std::uint32_t get_num_hidden_layers(const perceptron *p);
// The network's own tables and matrices (not copies), or nullptr for a null network.
matrix **get_hl_weights(const perceptron *p);
matrix **get_hl_bias(const perceptron *p);
matrix *get_o_weights(const perceptron *p);
matrix *get_o_bias(const perceptron *p);

// Forward pass: a new num_outputs x 1 column that the caller releases with free_matrix,
// or nullptr for a null network or input, or when memory runs out.
// REQUIRES: inputs is num_inputs x 1.
matrix *predict(const perceptron *p, const matrix *inputs);

double sigmoid(double x);
// (1 - s) * s, for s that is already a sigmoid output.
double derivative_sigmoided(double s);
// In place; a null matrix is ignored.
void map_sigmoid(matrix *m);
void map_derivative_sigmoided(matrix *m);
std::uint32_t max(std::uint32_t a, std::uint32_t b);

// Writes the network as a text model file. Returns 1 for a null network or path and
// non-zero when the file cannot be opened or written; 0 once the whole file is written.
// The bytes written do not depend on the process locale.
int save_perceptron(const perceptron *p, const char *path);
// The largest model file read: far beyond what the trainer's largest shape writes (1,024
// nodes in 16 hidden layers take about 160 MB), so that a link to an endless device or a
// runaway file is refused before it is read.
inline constexpr std::uint64_t perceptron_file_max_bytes = 256ULL * 1024 * 1024;
// That limit in messages, after "has N bytes, more than the".
inline constexpr const char *perceptron_file_limit_text = "256 MiB a network file may have";

// Reads a model file into a new network (release with free_perceptron), or nullptr when
// the file is missing, not a regular file (it is never waited for), larger than
// perceptron_file_max_bytes, truncated, malformed, holds a non-finite number or declares a
// shape it cannot hold. Independent of the process locale.
perceptron *load_perceptron(const char *path);
// The same reading from a model file's bytes in memory: a caller that has checked the
// bytes (against a checksum) gets the network from exactly those bytes.
perceptron *parse_perceptron(std::string_view bytes);

// One step of back-propagation on one example, in place. Returns 0 when the step was
// made, 1 when working memory could not be obtained before anything changed.
// REQUIRES: p, inputs and answer non-null, inputs num_inputs x 1, answer num_outputs x 1.
int train(perceptron *p, const matrix *inputs, const matrix *answer);

// Ownership only: releases through free_perceptron.
struct perceptron_deleter {
  void operator()(perceptron *p) const { free_perceptron(p); }
};
using perceptron_ptr = std::unique_ptr<perceptron, perceptron_deleter>;
