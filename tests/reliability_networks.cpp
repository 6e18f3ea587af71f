#include "reliability_networks.hpp"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "nn/multi_layer_perceptron.hpp"

namespace {

struct network_shape {
  std::uint32_t inputs, hidden_nodes, outputs, hidden_layers;
};

// Large weights spread the sigmoid outputs over (0, 1), so that the random IV spreads of
// the tests reach every price tier, not only the lowest.
void fill(matrix *m, std::mt19937 &random, double spread) {
  std::uniform_real_distribution<double> value(-spread, spread);
  for (std::uint32_t i = 0; i < get_lines(m); ++i) {
    for (std::uint32_t j = 0; j < get_columns(m); ++j) set_element(m, i, j, value(random));
  }
}

bool write_network(const std::string &path, network_shape shape, std::uint32_t seed) {
  perceptron_ptr p(
      create_perceptron(shape.inputs, shape.hidden_nodes, shape.outputs, shape.hidden_layers, 0.1));
  if (p == nullptr) return false;
  std::mt19937 random(seed);
  for (std::uint32_t l = 0; l < shape.hidden_layers; ++l) {
    fill(get_hl_weights(p.get())[l], random, 4.0);
    fill(get_hl_bias(p.get())[l], random, 1.0);
  }
  fill(get_o_weights(p.get()), random, 6.0);
  fill(get_o_bias(p.get()), random, 2.0);
  return save_perceptron(p.get(), path.c_str()) == 0;
}

// Keeps the first half of the file: the header and some weights, not all of them.
bool cut_in_half(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::size_t half = text.size() / 2;
  const bool written = std::fwrite(text.data(), 1, half, file) == half;
  return std::fclose(file) == 0 && written;
}

}  // namespace

bool write_reliability_networks(const std::string &dir) {
  const network_shape small = {8, 5, 4, 1};
  const network_shape deep = {8, 4, 4, 2};
  const network_shape wide = {10, 3, 6, 1};  // extra inputs get zeros, extra outputs unread
  struct file_plan {
    const char *nid;
    network_shape shapes[3];
  };
  const file_plan plans[] = {
      {"58", {small, small, small}},  {"058", {deep, small, deep}},
      {"59", {small, small, small}},  {"120", {wide, wide, wide}},
      {"121", {small, small, small}}, {"123", {deep, deep, deep}},
      {"133", {small, deep, small}},  {"212", {{8, 5, 3, 1}, small, small}},
  };
  std::uint32_t seed = 20240;
  for (const file_plan &plan : plans) {
    for (int k = 0; k < 3; ++k) {
      const std::string path = dir + "/" + plan.nid + "_m" + std::to_string(k + 1) + ".tp";
      if (!write_network(path, plan.shapes[k], ++seed)) return false;
    }
  }
  if (std::remove((dir + "/" + missing_network_text + "_m3.tp").c_str()) != 0) return false;
  return cut_in_half(dir + "/" + damaged_network_text + "_m2.tp");
}

bool has_usable_networks(const std::string &nid) {
  for (const char *text : usable_network_texts) {
    if (nid == text) return true;
  }
  return false;
}
