// The price model's cost: one whole prediction (three network files read, three forward
// passes) on 8-16-4 networks, the file reading alone, the species lookup alone, and a
// prediction from a species loaded once, with and without a trained species file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/model_orvanta.hpp"
#include "model/sha256.hpp"
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

// Prices the same Starmie at every iteration, reading its files from `dir` each time.
void predict_starmie_each_iteration(benchmark::State &state, const std::string &dir) {
  std::unique_ptr<app_model, model_deleter> model(create_app_model());
  for (auto _ : state) {
    const int status = predict_price(model.get(), 1, "121", "50", "31", "30", "31", "30", "31",
                                     "30", dir.c_str(), nullptr);
    if (status != PREDICTION_DONE) state.SkipWithError("prediction failed");
    benchmark::DoNotOptimize(model->average_prediction);
  }
}

void BM_PredictPrice(benchmark::State &state) {
  const std::string dir = folder().path();
  predict_starmie_each_iteration(state, dir);
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

// A trained species file beside the networks: checksums, and `spreads` reference spreads
// (the trainer writes one per distinct spread it learned from).
void write_species_file(const std::string &dir, int spreads) {
  species_description d;
  d.nid = 121;
  d.name = "Starmie";
  d.hidden_power_types = {8, -1, -1};
  for (int i = 0; i < spreads; ++i) {
    d.reference_spreads.push_back({static_cast<std::uint8_t>(i % 32),
                                   static_cast<std::uint8_t>(i / 32 % 32),
                                   static_cast<std::uint8_t>(i / 1024 % 32), 7, 8, 9});
  }
  d.near_match_window = std::array<iv_window, 6>{{{2, 2}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {2, 2}}};
  std::array<std::string, 3> sums;
  for (int k = 0; k < 3; ++k)
    sums[static_cast<std::size_t>(k)] =
        *sha256_file_hex((dir + "/121_m" + std::to_string(k + 1) + ".tp").c_str(), nullptr);
  d.networks = sums;
  const std::string text = format_species_file(&d);
  std::FILE *file = std::fopen((dir + "/121_species.json").c_str(), "w");
  if (file == nullptr) std::abort();
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

// One batch row: a fresh model priced from a species loaded once, as a batch pricer does.
void BM_PredictFromSnapshot(benchmark::State &state) {
  const std::string dir = folder().path();
  const int spreads = static_cast<int>(state.range(0));
  if (spreads > 0) write_species_file(dir, spreads);
  const species_snapshot_ptr s(load_species_snapshot({dir}, "121"));
  prediction_details details;
  for (auto _ : state) {
    std::unique_ptr<app_model, model_deleter> model(create_app_model());
    const int status = predict_price_from_snapshot(s.get(), model.get(), 1, "121", "50", "31", "30",
                                                   "31", "30", "31", "30", nullptr, &details);
    if (status != PREDICTION_DONE) state.SkipWithError("prediction failed");
    benchmark::DoNotOptimize(model->average_prediction);
  }
  std::remove((dir + "/121_species.json").c_str());
}
BENCHMARK(BM_PredictFromSnapshot)->Arg(0)->Arg(1000)->Arg(100000);

// The same prediction reading every file again, with a species file of 1,000 spreads.
void BM_PredictPriceWithSpeciesFile(benchmark::State &state) {
  const std::string dir = folder().path();
  write_species_file(dir, 1000);
  predict_starmie_each_iteration(state, dir);
  std::remove((dir + "/121_species.json").c_str());
}
BENCHMARK(BM_PredictPriceWithSpeciesFile);

}  // namespace

BENCHMARK_MAIN();
