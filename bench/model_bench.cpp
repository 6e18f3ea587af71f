// The price model's cost: one whole prediction (three network files read, three forward
// passes) on 8-16-4 networks, the file reading alone, and the species lookup alone.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "model/model_orvanta.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace fs = std::filesystem;

namespace {

struct model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};

// Three random 8-16-4 networks for national number 121 in a fresh temporary folder,
// removed when the program ends.
class network_folder {
 public:
  network_folder() {
    std::string pattern = (fs::temp_directory_path() / "orvanta-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    for (int k = 1; k <= 3; ++k) {
      perceptron_ptr p(create_perceptron(8, 16, 4, 1, 0.1));
      const fs::path file = path_ / ("121_m" + std::to_string(k) + ".tp");
      if (p == nullptr || save_perceptron(p.get(), file.string().c_str()) != 0) std::abort();
    }
  }
  ~network_folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

const network_folder &folder() {
  static const network_folder f;
  return f;
}

void BM_PredictPrice(benchmark::State &state) {
  const std::string dir = folder().path();
  std::unique_ptr<app_model, model_deleter> model(create_app_model());
  for (auto _ : state) {
    const int status = predict_price(model.get(), 1, "121", "50", "31", "30", "31", "30", "31",
                                     "30", dir.c_str(), nullptr);
    if (status != PREDICTION_DONE) state.SkipWithError("prediction failed");
    benchmark::DoNotOptimize(model->average_prediction);
  }
}
BENCHMARK(BM_PredictPrice);

void BM_LoadThreeNetworks(benchmark::State &state) {
  const std::string dir = folder().path();
  for (auto _ : state) {
    for (int k = 1; k <= 3; ++k) {
      const std::string file = dir + "/121_m" + std::to_string(k) + ".tp";
      perceptron_ptr p(load_perceptron(file.c_str()));
      benchmark::DoNotOptimize(p.get());
    }
  }
}
BENCHMARK(BM_LoadThreeNetworks);

void BM_Availability(benchmark::State &state) {
  std::unique_ptr<app_model, model_deleter> model(create_app_model());
  for (auto _ : state) {
    species_pricing *r = availability(model.get(), 121, 31, 30, 31, 30, 31, 30);
    benchmark::DoNotOptimize(r);
    free_species_pricing(r);
  }
}
BENCHMARK(BM_Availability);

}  // namespace

BENCHMARK_MAIN();
