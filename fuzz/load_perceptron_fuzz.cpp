// load_perceptron on arbitrary bytes: a network file a user copied, damaged or not. A
// file that loads must also run forward and save again without fault, and the same bytes
// in memory (parse_perceptron, the checksum path's reader) give the same network.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_file.hpp"
#include "matrix/matrix.hpp"
#include "nn/multi_layer_perceptron.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const fuzz_file file("network");
  static const fuzz_file saved("saved");
  perceptron_ptr p(load_perceptron(file.write(data, size)));
  const perceptron_ptr from_bytes(
      parse_perceptron(std::string_view(reinterpret_cast<const char *>(data), size)));
  if ((p == nullptr) != (from_bytes == nullptr)) __builtin_trap();
  if (p == nullptr) return 0;
  if (save_perceptron(from_bytes.get(), saved.path()) != 0) __builtin_trap();
  const std::string parsed = saved.read();

  // Every count is at least 1 and the tables hold what the counts say.
  if (get_num_inputs(p.get()) == 0 || get_num_outputs(p.get()) == 0 ||
      get_num_hidden_layers(p.get()) == 0 || get_num_hidden_layers_nodes(p.get()) == 0)
    __builtin_trap();
  const matrix_ptr inputs(create_matrix(get_num_inputs(p.get()), 1));
  if (inputs == nullptr) return 0;
  const matrix_ptr outputs(predict(p.get(), inputs.get()));
  if (outputs != nullptr &&
      (get_lines(outputs.get()) != get_num_outputs(p.get()) || get_columns(outputs.get()) != 1))
    __builtin_trap();

  // What loads saves, and what it saves loads to the same bytes, unless the learning
  // rate is below the file's six decimals: it is then saved as 0, which no file may hold.
  if (save_perceptron(p.get(), saved.path()) != 0) __builtin_trap();
  const std::string first = saved.read();
  if (first != parsed) __builtin_trap();
  if (first.find("\nlearning_rate  0.000000\n") != std::string::npos) return 0;
  perceptron_ptr again(load_perceptron(saved.path()));
  if (again == nullptr) __builtin_trap();
  if (save_perceptron(again.get(), saved.path()) != 0) __builtin_trap();
  if (saved.read() != first) __builtin_trap();
  return 0;
}
