// Training speed: one back-propagation step of the bundled shape (steps per second), and
// the whole default run of orvanta-train on data/sales.csv (seven species, three networks
// each, species files included) on one thread and on every core, each measured once since
// it takes seconds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <thread>

#include "train/train_networks.hpp"
#include "train/train_run.hpp"
#include "train/train_targets.hpp"

namespace {

const std::string sales_csv = std::string(ORVANTA_SOURCE_DIR) + "/data/sales.csv";

std::map<std::uint32_t, std::vector<sale>> sales_by_species() {
  sales_file sales;
  std::string error;
  if (!read_sales(sales_csv.c_str(), &sales, &error)) std::abort();
  std::map<std::uint32_t, std::vector<sale>> by_species;
  for (const sale &s : sales.sales) by_species[s.nid].push_back(s);
  return by_species;
}

// One train() call of the bundled shape on a real sale, cycling through a species' rows.
void BM_TrainStep(benchmark::State &state) {
  const training_options defaults;
  const std::vector<sale> sales = sales_by_species().at(212);
  std::vector<matrix_ptr> inputs, targets;
  for (const sale &s : sales) {
    inputs.emplace_back(sale_inputs(s));
    targets.emplace_back(create_matrix(4, 1));
    const std::array<double, 4> t = price_targets(s.network_price);
    for (std::uint32_t r = 0; r < 4; ++r) set_element(targets.back().get(), r, 0, t[r]);
  }
  seeded_random random(defaults.seed);
  const perceptron_ptr p(create_seeded_perceptron(defaults, &random));
  std::size_t i = 0;
  for (auto _ : state) {
    train(p.get(), inputs[i].get(), targets[i].get());
    i = i + 1 == inputs.size() ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(defaults.hidden) + " nodes x " + std::to_string(defaults.layers) +
                 " hidden layers");
}
BENCHMARK(BM_TrainStep);

// Trains every species as `orvanta-train data/sales.csv` does with its defaults, on
// state.range(0) threads (0: one per core, the tool's default), with species files when
// state.range(1) is 1 (each species then also trains the networks of a second fold, which
// only measure) and without, as the bundled set is made, when it is 0; files go to a
// temporary directory. Items are training steps; the CPU column is the whole process's, so
// the runs on one and on every core show the same work and the real time what the threads
// save.
void BM_DefaultTrainingRun(benchmark::State &state) {
  const auto by_species = sales_by_species();
  std::vector<species_plan> species;
  for (const auto &[nid, sales] : by_species) {
    species_plan p;
    p.nid = nid;
    p.sales = sales;
    p.name = "species " + std::to_string(nid);
    species.push_back(std::move(p));
  }
  run_plan plan;
  const auto jobs = static_cast<unsigned>(state.range(0));
  plan.jobs = jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
  plan.species_files = state.range(1) != 0;
  const std::filesystem::path out = std::filesystem::temp_directory_path() /
                                    ("orvanta_bench_train_" + std::to_string(::getpid()));
  std::filesystem::create_directories(out);
  plan.out_dir = out.string();
  std::int64_t steps = 0;
  for (auto _ : state) {
    std::vector<species_report> reports;
    std::string error;
    if (!train_run(species, plan, {}, &reports, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    for (const species_report &r : reports) {
      const auto splits = static_cast<std::int64_t>(measuring_splits(r.usable_sales, plan));
      steps += splits * static_cast<std::int64_t>(r.training_rows) * plan.options.epochs * 3;
    }
  }
  std::filesystem::remove_all(out);
  state.SetItemsProcessed(steps);
  state.SetLabel(std::to_string(plan.jobs) + (plan.jobs == 1 ? " thread" : " threads") +
                 (plan.species_files ? ", species files" : ", networks alone"));
}
BENCHMARK(BM_DefaultTrainingRun)
    ->ArgNames({"jobs", "species_files"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
