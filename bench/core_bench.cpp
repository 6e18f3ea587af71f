// The numeric core on the network shape the price model uses: 8 inputs, one hidden layer
// of 16 nodes, 4 outputs. bench/reference_numpy.py times the same forward pass and
// training step in NumPy.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "nn/multi_layer_perceptron.hpp"

namespace {

constexpr std::uint32_t kInputs = 8;
constexpr std::uint32_t kNodes = 16;
constexpr std::uint32_t kOutputs = 4;

matrix_ptr filled(std::uint32_t lines, std::uint32_t columns, double start) {
  matrix_ptr m(create_matrix(lines, columns));
  for (double &x : m->data) {
    x = start;
    start = start * 0.7 + 0.05;
  }
  return m;
}

perceptron_ptr network() {
  return perceptron_ptr(create_perceptron(kInputs, kNodes, kOutputs, 1, 0.1));
}

void BM_MultiplyHiddenLayer(benchmark::State &state) {
  matrix_ptr w = filled(kNodes, kInputs, 0.3);
  matrix_ptr x = filled(kInputs, 1, 0.9);
  for (auto _ : state) {
    matrix_ptr r(multiply(w.get(), x.get()));
    benchmark::DoNotOptimize(r.get());
  }
}
BENCHMARK(BM_MultiplyHiddenLayer);

void BM_MultiplySquare(benchmark::State &state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  matrix_ptr a = filled(n, n, 0.3);
  matrix_ptr b = filled(n, n, -0.2);
  for (auto _ : state) {
    matrix_ptr r(multiply(a.get(), b.get()));
    benchmark::DoNotOptimize(r.get());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{n} * n * n);
}
BENCHMARK(BM_MultiplySquare)->Arg(16)->Arg(64);

void BM_Predict(benchmark::State &state) {
  perceptron_ptr p = network();
  matrix_ptr x = filled(kInputs, 1, 0.9);
  for (auto _ : state) {
    matrix_ptr y(predict(p.get(), x.get()));
    benchmark::DoNotOptimize(y.get());
  }
}
BENCHMARK(BM_Predict);

void BM_Train(benchmark::State &state) {
  perceptron_ptr p = network();
  matrix_ptr x = filled(kInputs, 1, 0.9);
  matrix_ptr answer = filled(kOutputs, 1, 0.2);
  for (auto _ : state) benchmark::DoNotOptimize(train(p.get(), x.get(), answer.get()));
}
BENCHMARK(BM_Train);

std::string temp_file() {
  const char *dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/orvanta_bench_" + std::to_string(getpid()) +
         ".tp";
}

void BM_SavePerceptron(benchmark::State &state) {
  perceptron_ptr p = network();
  const std::string path = temp_file();
  for (auto _ : state)
    if (save_perceptron(p.get(), path.c_str()) != 0) state.SkipWithError("save failed");
  std::remove(path.c_str());
}
BENCHMARK(BM_SavePerceptron);

void BM_LoadPerceptron(benchmark::State &state) {
  perceptron_ptr p = network();
  const std::string path = temp_file();
  if (save_perceptron(p.get(), path.c_str()) != 0) state.SkipWithError("save failed");
  for (auto _ : state) {
    perceptron_ptr q(load_perceptron(path.c_str()));
    if (q == nullptr) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(q.get());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadPerceptron);

// The same network followed by 50 MB of numbers that its header does not ask for: a
// reader that stops at the last expected number costs what the network alone costs.
void BM_LoadPerceptronTrailingNumbers(benchmark::State &state) {
  perceptron_ptr p = network();
  const std::string path = temp_file();
  if (save_perceptron(p.get(), path.c_str()) != 0) state.SkipWithError("save failed");
  {
    std::FILE *file = std::fopen(path.c_str(), "ab");
    std::string block;
    for (int i = 0; i < 1024 * 128; ++i) block += "0.500000 ";  // about 1.1 MiB
    for (int i = 0; i < 45; ++i) std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
  }
  for (auto _ : state) {
    perceptron_ptr q(load_perceptron(path.c_str()));
    if (q == nullptr) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(q.get());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadPerceptronTrailingNumbers)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
