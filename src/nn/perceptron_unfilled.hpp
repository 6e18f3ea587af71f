// Inside the network unit only: creation without the random fill of the weights, for the
// model file reader, which overwrites every weight and bias anyway.
#pragma once

#include <cstdint>

#include "nn/multi_layer_perceptron.hpp"

// As create_perceptron, but every weight and bias is 0.0 and the random generator is not
// touched.
perceptron *create_unfilled_perceptron(std::uint32_t num_inputs,
                                       std::uint32_t num_hidden_layers_nodes,
                                       std::uint32_t num_outputs, std::uint32_t num_hidden_layers,
                                       double learning_rate);
