// Networks for the window's tests, with outputs known in advance.
#include "gui_networks.hpp"

#include <cstdint>
#include <filesystem>

#include "matrix/matrix.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace {

constexpr std::uint32_t inputs = 8;
constexpr std::uint32_t hidden_nodes = 4;
constexpr std::uint32_t outputs = 4;

// A network whose weights and biases are all zero but the few that are set below.
perceptron_ptr zero_network() {
  perceptron_ptr p(create_perceptron(inputs, hidden_nodes, outputs, 1, 0.1));
  if (!p) return p;
  multiply_by_scalar(get_hl_weights(p.get())[0], 0.0);
  multiply_by_scalar(get_hl_bias(p.get())[0], 0.0);
  multiply_by_scalar(get_o_weights(p.get()), 0.0);
  multiply_by_scalar(get_o_bias(p.get()), 0.0);
  return p;
}

}  // namespace

bool write_test_networks(const std::string &dir) {
  perceptron_ptr first = zero_network();
  perceptron_ptr second = zero_network();
  perceptron_ptr third = zero_network();
  if (!first || !second || !third) return false;
  // First network: hidden node 0 = sigmoid(4 * shiny), output 0 = sigmoid(2 * node 0 - 1),
  // so 0.5 exactly for a Pokémon that is not shiny.
  set_element(get_hl_weights(first.get())[0], 0, 0, 4.0);
  set_element(get_o_weights(first.get()), 0, 0, 2.0);
  set_element(get_o_bias(first.get()), 0, 0, -1.0);
  set_element(get_o_bias(second.get()), 0, 0, -1.0);
  set_element(get_o_bias(third.get()), 0, 0, 1.0);
  const std::string stem = dir + "/" + test_species;
  const perceptron *networks[] = {first.get(), second.get(), third.get()};
  for (int k = 0; k < 3; ++k) {
    const std::string path = stem + "_m" + std::to_string(k + 1) + ".tp";
    // The writer answers 0 also when it cannot open the file: look for the file itself.
    if (save_perceptron(networks[k], path.c_str()) != 0 || !std::filesystem::exists(path)) {
      return false;
    }
  }
  return true;
}
