// orvanta-train: trains the three networks of each species from a seller's sales records
// and writes them where the window and orvanta-cli read them.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "train/train_networks.hpp"
#include "train/train_sales.hpp"
#include "model/model_orvanta.hpp"

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "4.48.4"
#endif

namespace {

constexpr const char *program = "orvanta-train";

// The comma-separated National IDs of --species; false with a message for a bad entry.
bool parse_species_list(const std::string &text, std::vector<std::uint32_t> *out,
                        std::string *error) {
  std::set<std::uint32_t> seen;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    item.erase(0, item.find_first_not_of(" \t"));
    item.erase(item.find_last_not_of(" \t") + 1);
    std::uint32_t nid = 0;
    const char *end = item.data() + item.size();
    const auto parsed = std::from_chars(item.data(), end, nid);
    if (item.empty() || parsed.ec != std::errc{} || parsed.ptr != end || nid == 0 || nid > 999) {
      *error = "--species: \"" + item + "\" is not a National ID from 1 to 999";
      return false;
    }
    if (seen.insert(nid).second) out->push_back(nid);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// A whole decimal number that fits 64 bits: CLI11 alone would read "-1" and numbers past
// the range as the largest seed.
const CLI::Validator whole_64_bits(
    [](std::string &text) -> std::string {
      std::uint64_t value = 0;
      const char *end = text.data() + text.size();
      const auto parsed = std::from_chars(text.data(), end, value);
      if (text.empty() || parsed.ec != std::errc{} || parsed.ptr != end)
        return "\"" + text + "\" is not a whole number from 0 to 18446744073709551615";
      return {};
    },
    "", "whole 64-bit number");

// True when the species table prices this species by its networks.
bool priced_species(std::uint32_t nid) {
  const std::unique_ptr<app_model, decltype(&free_app_model)> model(create_app_model(),
                                                                    &free_app_model);
  if (model == nullptr) return false;
  const std::unique_ptr<species_pricing, decltype(&free_species_pricing)> pricing(
      availability(model.get(), nid, 10, 11, 12, 13, 14, 15), &free_species_pricing);
  return pricing != nullptr && pricing->supported == 1;
}

// One line that rewrites itself on a terminal, at most ten times a second.
class progress_line {
 public:
  explicit progress_line(bool shown) : shown_(shown) {}
  ~progress_line() { clear(); }

  void show(std::size_t position, std::size_t count, std::uint32_t nid, int network,
            std::uint32_t epoch, std::uint32_t epochs) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (epoch != epochs && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const int width =
        std::fprintf(stderr, "\rtraining species %u (%zu of %zu), network %d of 3: epoch %u of %u",
                     nid, position, count, network, epoch, epochs);
    // Blank what a longer line before left behind.
    if (width > 0 && width < width_) std::fprintf(stderr, "%*s", width_ - width, "");
    if (width > width_) width_ = width;
    std::fflush(stderr);
  }

  void clear() {
    if (width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", width_, "");
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  bool shown_;
  int width_ = 0;  // the longest line shown since the last clear, "\r" included
  std::chrono::steady_clock::time_point last_{};
};

std::string percent(double value) {
  if (std::isnan(value)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", value);
  return text;
}

void print_table(const std::vector<species_report> &reports) {
  std::printf(
      "Held-out error: median absolute percentage error of the price (the sale price less\n"
      "any Hidden Power addition, which the window adds itself). m1, m2, m3: each network\n"
      "alone; average: the three together, as the window shows them. Baselines: the\n"
      "species' median price; the price at the nearest reference spread.\n\n");
  std::printf("%7s %8s %8s %7s %7s %7s %8s %13s %18s\n", "species", "trained", "held-out", "m1",
              "m2", "m3", "average", "median price", "nearest reference");
  for (const species_report &r : reports) {
    std::printf("%7u %8zu %8zu %7s %7s %7s %8s %13s %18s\n", r.nid, r.training_rows,
                r.held_out_rows, percent(r.network_error[0]).c_str(),
                percent(r.network_error[1]).c_str(), percent(r.network_error[2]).c_str(),
                percent(r.combined_error).c_str(), percent(r.median_baseline_error).c_str(),
                percent(r.reference_baseline_error).c_str());
  }
  std::printf("\nBy coverage of the IV spread, all species:\n");
  std::printf("%-25s %8s %8s %13s %18s\n", "spread", "held-out", "average", "median price",
              "nearest reference");
  const char *const names[] = {"a reference spread", "near a reference spread", "elsewhere"};
  for (int coverage = 0; coverage < 3; ++coverage) {
    const coverage_summary c = summarize_coverage(reports, coverage);
    std::printf("%-25s %8zu %8s %13s %18s\n", names[coverage], c.rows,
                percent(c.combined_error).c_str(), percent(c.median_baseline_error).c_str(),
                percent(c.reference_baseline_error).c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  training_options options;
  std::string out_dir = "./ptp";
  std::string species_text;
  std::string sales_path;

  CLI::App app{
      "Trains the three price networks of each species from sales records (a CSV file with "
      "the columns nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price) and writes them as "
      "<NID>_m1.tp, <NID>_m2.tp and <NID>_m3.tp. The same data, options and seed give "
      "byte-identical files.",
      program};
  app.option_defaults()->always_capture_default();
  app.set_version_flag("--version", std::string(program) + " " + ORVANTA_VERSION);
  app.add_option("--out", out_dir, "Directory the network files are written to")->type_name("DIR");
  app.add_option("--species", species_text,
                 "Comma-separated National IDs to train (default: every species in the data)")
      ->type_name("LIST");
  app.add_option("--hidden", options.hidden, "Nodes per hidden layer")
      ->type_name("N")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--layers", options.layers, "Hidden layers")
      ->type_name("N")
      ->check(CLI::Range(1u, 16u));
  app.add_option("--epochs", options.epochs, "Passes over a species' training rows per network")
      ->type_name("N")
      ->check(CLI::Range(1u, 1000000u));
  app.add_option("--learning-rate", options.learning_rate,
                 "Step size of the first epoch; it falls linearly to a tenth of this by the last "
                 "(the files keep this value)")
      ->type_name("X")
      ->check(CLI::Range(smallest_learning_rate, 1000.0));
  app.add_option("--seed", options.seed,
                 "Seed of the initial weights, the held-out rows and the example order")
      ->type_name("S")
      ->check(whole_64_bits);
  app.add_option("--holdout", options.holdout,
                 "Fraction of each species' rows kept out of training to measure the error")
      ->type_name("FRACTION")
      ->check(CLI::Range(0.0, 0.95));
  app.add_option("SALES.csv", sales_path, "Sales records (- for standard input)")
      ->required()
      ->always_capture_default(false);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  std::vector<std::uint32_t> requested;
  std::string error;
  if (out_dir.empty()) {
    std::fprintf(stderr, "%s: --out: the directory name is empty\n", program);
    return 2;
  }
  if (app.count("--species") != 0 && !parse_species_list(species_text, &requested, &error)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 2;
  }

  sales_file sales;
  if (!read_sales(sales_path.c_str(), &sales, &error)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 1;
  }
  for (const std::string &line : sales.skipped)
    std::fprintf(stderr, "%s: %s: %s; skipped\n", program, sales_path.c_str(), line.c_str());
  if (sales.fixed_price_rows != 0)
    std::fprintf(stderr,
                 "%s: %s: %llu rows with all IVs 9 or less or all six equal skipped (the "
                 "window shows a fixed price for them)\n",
                 program, sales_path.c_str(),
                 static_cast<unsigned long long>(sales.fixed_price_rows));

  std::map<std::uint32_t, std::vector<sale>> by_species;
  for (const sale &s : sales.sales) by_species[s.nid].push_back(s);
  if (by_species.empty()) {
    std::fprintf(stderr, "%s: %s: no usable sales rows\n", program, sales_path.c_str());
    return 1;
  }
  if (requested.empty())
    for (const auto &entry : by_species) requested.push_back(entry.first);
  for (std::uint32_t nid : requested) {
    if (by_species.count(nid) == 0) {
      std::fprintf(stderr, "%s: %s: no usable sales of species %u\n", program, sales_path.c_str(),
                   nid);
      return 1;
    }
  }
  for (std::uint32_t nid : requested)
    if (!priced_species(nid))
      std::fprintf(stderr,
                   "%s: warning: species %u is not priced by Orvanta; its networks will not be "
                   "used\n",
                   program, nid);

  std::error_code code;
  std::filesystem::create_directories(out_dir, code);
  if (code) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", program, out_dir.c_str(),
                 code.message().c_str());
    return 1;
  }

  progress_line progress(isatty(STDERR_FILENO) == 1);
  std::vector<species_report> reports;
  for (std::size_t i = 0; i < requested.size(); ++i) {
    const std::uint32_t nid = requested[i];
    species_report report;
    const bool trained = train_species(
        nid, by_species[nid], options, out_dir,
        [&](std::uint32_t n, int network, std::uint32_t epoch, std::uint32_t epochs) {
          progress.show(i + 1, requested.size(), n, network, epoch, epochs);
        },
        &report, &error);
    if (!trained) {
      progress.clear();
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      return 1;
    }
    reports.push_back(report);
  }
  progress.clear();
  print_table(reports);
  return 0;
}
