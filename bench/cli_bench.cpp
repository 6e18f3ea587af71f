// orvanta-cli's batch throughput through the real binary: a 10,000-row file of random
// 8-16-16-4 networks priced in each output format, on every core and on one. A batch of
// unknown species (no network read) shows what the rest of a row costs, and one with the
// seller's own columns what carrying them through costs. A batch of 1,000 distinct National
// ID texts of one number ("1aa", "1ab", ...) against a 2 MB species file shows that a
// batch's memory does not grow with hostile rows (peak_rss_mb).
// bench/cli_batch_numpy.py sets the tool beside a vectorized NumPy pipeline.
//
// ORVANTA_BENCH_CLI=<path> times another build of orvanta-cli (an earlier one, say) on
// the same files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "nn/multi_layer_perceptron.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int batch_rows = 10000;
constexpr int hostile_rows = 1000;
constexpr int priced_species[7] = {58, 59, 120, 121, 123, 133, 212};

// Random 8-16-16-4 networks for every priced species and three 10,000-row batch files
// (priced species; unknown species; priced species with three columns of the seller's own)
// in a fresh temporary folder, removed when the program ends.
class bench_folder {
 public:
  bench_folder() {
    std::string pattern = (fs::temp_directory_path() / "orvanta-cli-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    fs::create_directory(path_ / "ptp");
    for (int nid : priced_species) {
      for (int k = 1; k <= 3; ++k) {
        perceptron_ptr p(create_perceptron(8, 16, 4, 2, 0.1));
        const fs::path file =
            path_ / "ptp" / (std::to_string(nid) + "_m" + std::to_string(k) + ".tp");
        if (p == nullptr || save_perceptron(p.get(), file.string().c_str()) != 0) std::abort();
      }
    }
    write_batch("priced.csv", true);
    write_batch("unknown.csv", false);
    write_batch("own_columns.csv", true, true);
    write_hostile();
  }
  ~bench_folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string path(const char *name) const { return (path_ / name).string(); }

 private:
  void write_batch(const char *name, bool priced, bool own_columns = false) {
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> iv(10, 31), level(1, 100), coin(0, 1), species(0, 6);
    std::ofstream out(path_ / name);
    out << (own_columns ? "listing id,nickname," : "") << "shiny,nid,lvl,hp,atk,def,sp_atk,"
        << "sp_def,spd" << (own_columns ? ",box\n" : "\n");
    for (int row = 0; row < batch_rows; ++row) {
      const int nid = priced ? priced_species[species(random)] : 300 + species(random);
      if (own_columns) out << "L-" << row << ",\"Sparky, the " << row << "th\",";
      out << coin(random) << ',' << nid << ',' << level(random);
      for (int i = 0; i < 6; ++i) out << ',' << iv(random);
      out << (own_columns ? ",Box " + std::to_string(row % 30) + "\n" : "\n");
    }
  }
  // hostile/1_species.json: 80,000 distinct reference spreads (about 2 MB), and
  // hostile.csv: 1,000 rows, each with its own National ID text of the number 1.
  void write_hostile() {
    fs::create_directory(path_ / "hostile");
    std::ofstream file(path_ / "hostile" / "1_species.json");
    file << "{\"format\": \"orvanta-species-1\", \"nid\": 1, \"name\": \"Bulbasaur\", "
            "\"hidden_power_types\": [], \"hidden_power_base_price\": 500000, "
            "\"lowest_price_margin\": 0.1, \"highest_price_margin\": 0.1, "
            "\"near_match_window\": null, \"reference_spreads\": [";
    for (int k = 0; k < 80000; ++k) {
      file << (k == 0 ? "[" : ", [");
      for (int i = 0; i < 5; ++i) file << (i == 0 ? "" : ", ") << (k >> (5 * (i % 4))) % 32;
      file << ", " << (k * 7) % 32 << "]";
    }
    file << "]}\n";
    std::ofstream out(path_ / "hostile.csv");
    out << "shiny,nid,lvl,hp,atk,def,sp_atk,sp_def,spd\n";
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int row = 0; row < hostile_rows; ++row)
      out << "0,1" << letters[row / 52] << letters[row % 52] << ",50,20,21,22,23,24,25\n";
  }
  fs::path path_;
};

const bench_folder &folder() {
  static const bench_folder f;
  return f;
}

// The orvanta-cli to run: this build's, or the one ORVANTA_BENCH_CLI names.
const char *cli_path() {
  const char *other = std::getenv("ORVANTA_BENCH_CLI");
  return other != nullptr && other[0] != '\0' ? other : ORVANTA_CLI_PATH;
}

// Runs orvanta-cli on a batch file with its output thrown away; false unless it exits 0,
// or 1 where `some_fail` (rows that could not be priced). *peak_kib receives the run's
// peak resident memory.
bool run_batch(const std::string &batch, const char *format, const char *jobs,
               const std::string &ptp, bool some_fail, long *peak_kib) {
  std::vector<std::string> args = {cli_path(), "--batch",   batch, "--format",
                                   format,     "--ptp-dir", ptp,   "--jobs"};
  args.push_back(jobs != nullptr ? jobs : std::to_string(std::thread::hardware_concurrency()));
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  *peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || (some_fail && WEXITSTATUS(status) == 1));
}

// CPU seconds (user and system) used so far by the children that have been waited for.
double children_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// rows_per_second is wall-clock throughput; rows_per_cpu_second divides by the CPU time
// orvanta-cli itself used, which other work on a shared machine does not inflate;
// peak_rss_mb is the largest peak resident memory of a run.
void batch_benchmark(benchmark::State &state, const char *file, const char *format,
                     const char *jobs = nullptr, const char *ptp = "ptp",
                     int rows_per_file = batch_rows, bool some_fail = false) {
  const std::string batch = folder().path(file);
  const double cpu_before = children_cpu_seconds();
  long peak_kib = 0;
  for (auto _ : state) {
    long run_peak = 0;
    if (!run_batch(batch, format, jobs, folder().path(ptp), some_fail, &run_peak))
      state.SkipWithError("orvanta-cli failed");
    peak_kib = std::max(peak_kib, run_peak);
  }
  const double rows = static_cast<double>(rows_per_file) * static_cast<double>(state.iterations());
  const double cpu = children_cpu_seconds() - cpu_before;
  state.counters["rows_per_second"] = benchmark::Counter(rows, benchmark::Counter::kIsRate);
  state.counters["rows_per_cpu_second"] = cpu > 0 ? rows / cpu : 0.0;
  state.counters["peak_rss_mb"] = static_cast<double>(peak_kib) / 1024.0;
}

void BM_BatchText(benchmark::State &state) {
  batch_benchmark(state, "priced.csv", "text");
}
void BM_BatchJson(benchmark::State &state) {
  batch_benchmark(state, "priced.csv", "json");
}
void BM_BatchCsv(benchmark::State &state) {
  batch_benchmark(state, "priced.csv", "csv");
}
void BM_BatchJsonOneThread(benchmark::State &state) {
  batch_benchmark(state, "priced.csv", "json", "1");
}
// Unknown species: status 2 for every row, no network file opened.
void BM_BatchJsonNoNetworks(benchmark::State &state) {
  batch_benchmark(state, "unknown.csv", "json");
}

// The same rows with the seller's own listing id, nickname and box carried through.
void BM_BatchJsonOwnColumns(benchmark::State &state) {
  batch_benchmark(state, "own_columns.csv", "json");
}
void BM_BatchCsvOwnColumns(benchmark::State &state) {
  batch_benchmark(state, "own_columns.csv", "csv");
}

// 1,000 distinct texts of one number against its 2 MB species file: each row's networks
// are missing (status 1), the species file is the same for all.
void BM_BatchJsonDistinctTextsOfOneSpecies(benchmark::State &state) {
  batch_benchmark(state, "hostile.csv", "json", nullptr, "hostile", hostile_rows, true);
}

BENCHMARK(BM_BatchText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchJson)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchJsonOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchJsonNoNetworks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchJsonOwnColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchCsvOwnColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchJsonDistinctTextsOfOneSpecies)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
