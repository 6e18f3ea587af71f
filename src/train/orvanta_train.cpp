// orvanta-train: trains the three networks of each species from a seller's sales records
// and writes them, with a species file describing each, where the window and orvanta-cli
// read them.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/files.hpp"
#include "common/utf8_text.hpp"
#include "model/ptp_path.hpp"
#include "model/species_file.hpp"
#include "train/species_names.hpp"
#include "train/train_generations.hpp"
#include "train/train_networks.hpp"
#include "train/train_run.hpp"
#include "train/train_sales.hpp"

#ifndef ORVANTA_VERSION
#define ORVANTA_VERSION "4.48.4"
#endif

namespace {

constexpr const char *program = "orvanta-train";

// Sales below these counts are too few to trust what the networks learn or what the
// held-out rows measure.
constexpr std::size_t fewest_trusted_sales = 30;
constexpr std::size_t fewest_trusted_held_out = 10;
// A held-out error (in percent) above this makes prices rough guesses; the networks must
// beat the species' median price by at least this fraction of its error.
constexpr double largest_trusted_error = 20.0;
constexpr double least_gain_over_median = 0.25;

// A National ID from 1 to 999 as text; false for anything else.
bool parse_nid(std::string item, std::uint32_t *nid) {
  item.erase(0, item.find_first_not_of(" \t"));
  item.erase(item.find_last_not_of(" \t") + 1);
  const char *end = item.data() + item.size();
  const auto parsed = std::from_chars(item.data(), end, *nid);
  return !item.empty() && parsed.ec == std::errc{} && parsed.ptr == end && *nid != 0 && *nid <= 999;
}

// The comma-separated National IDs of `option` (--species, --restore); false with a
// message for a bad entry.
bool parse_species_list(const char *option, const std::string &text,
                        std::vector<std::uint32_t> *out, std::string *error) {
  std::set<std::uint32_t> seen;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::uint32_t nid = 0;
    if (!parse_nid(item, &nid)) {
      item.erase(0, item.find_first_not_of(" \t"));
      item.erase(item.find_last_not_of(" \t") + 1);
      *error = std::string(option) + ": \"" + item + "\" is not a National ID from 1 to 999";
      return false;
    }
    if (seen.insert(nid).second) out->push_back(nid);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// "N=NAME" of --name into *names; false with a message.
bool parse_name(const std::string &text, std::map<std::uint32_t, std::string> *names,
                std::string *error) {
  const std::size_t equals = text.find('=');
  std::uint32_t nid = 0;
  if (equals == std::string::npos || !parse_nid(text.substr(0, equals), &nid)) {
    *error = "--name: \"" + text + "\" is not N=NAME with a National ID N from 1 to 999";
    return false;
  }
  const std::string name = text.substr(equals + 1);
  if (name.empty() || name.size() > 64 || !printable_utf8(name)) {
    *error = "--name: \"" + text +
             "\": a name is 1 to 64 bytes of UTF-8 text without control characters";
    return false;
  }
  (*names)[nid] = name;
  return true;
}

// "N=TYPE[,TYPE...]" or "N=" of --hidden-power into *types; false with a message.
bool parse_hidden_power(const std::string &text, std::map<std::uint32_t, std::vector<int>> *types,
                        std::string *error) {
  const std::size_t equals = text.find('=');
  std::uint32_t nid = 0;
  if (equals == std::string::npos || !parse_nid(text.substr(0, equals), &nid)) {
    *error = "--hidden-power: \"" + text +
             "\" is not N=TYPE[,TYPE...] (or N= for none) with a National ID N from 1 to 999";
    return false;
  }
  std::vector<int> list;
  const std::string rest = text.substr(equals + 1);
  for (std::size_t start = 0; !rest.empty();) {
    const std::size_t comma = rest.find(',', start);
    std::string name =
        rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    const int type = hidden_power_type_number(name);
    if (type < 0) {
      *error = "--hidden-power: \"" + name +
               "\" is not a Hidden Power type (Fighting, Flying, "
               "Poison, Ground, Rock, Bug, Ghost, Steel, Fire, Water, Grass, Electric, "
               "Psychic, Ice, Dragon or Dark)";
      return false;
    }
    if (std::find(list.begin(), list.end(), type) != list.end()) {
      *error = "--hidden-power: \"" + text + "\" names " + name + " twice";
      return false;
    }
    list.push_back(type);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (list.size() > 3) {
    *error = "--hidden-power: \"" + text + "\" names more than three types";
    return false;
  }
  (*types)[nid] = list;
  return true;
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

const CLI::Validator calendar_day(
    [](std::string &text) -> std::string {
      if (!valid_date(text)) return "\"" + text + "\" is not a day written YYYY-MM-DD";
      return {};
    },
    "", "YYYY-MM-DD");

std::string species_label(std::uint32_t nid, const std::string &name) {
  return "species " + std::to_string(nid) + (name.empty() ? "" : " (" + name + ")");
}

// "1 sale", "2 sales".
std::string count_of(std::size_t n, const char *thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string percent(double value) {
  if (std::isnan(value)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", value);
  return text;
}

// What the run shows on standard error: on a terminal one line that rewrites itself (at
// most ten times a second) with every network in flight; otherwise a line per network and
// per species, so that a log shows the run advancing without a flood of epochs.
class progress_display {
 public:
  // `networks`: how many networks each species trains.
  progress_display(bool terminal, std::map<std::uint32_t, std::size_t> networks)
      : terminal_(terminal), per_species_(std::move(networks)) {
    for (const auto &entry : per_species_) networks_ += entry.second;
  }
  ~progress_display() { clear(); }

  void epoch(std::uint32_t nid, int network, std::uint32_t epoch, std::uint32_t epochs) {
    if (!terminal_) return;
    in_flight_[{nid, network}] = {epoch, epochs};
    const auto now = std::chrono::steady_clock::now();
    if (epoch != epochs && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::string line = "training: " + std::to_string(done_) + " of " + std::to_string(networks_) +
                       " networks done";
    const char *separator = "; ";
    for (const auto &[key, at] : in_flight_) {
      // Networks 4 and on only measure: "fold 2 m1" for the first of the second fold.
      const int fold = (key.second - 1) / 3, k = (key.second - 1) % 3 + 1;
      line += separator + std::to_string(key.first) +
              (fold == 0 ? "" : " fold " + std::to_string(fold + 1)) + " m" + std::to_string(k) +
              " epoch " + std::to_string(at.first) + " of " + std::to_string(at.second);
      separator = ", ";
    }
    show(line);
  }

  void network_done(std::uint32_t nid, int network) {
    ++done_;
    in_flight_.erase({nid, network});
    if (terminal_) return;
    std::fprintf(stderr, "%s: species %u network %d of %zu trained (%zu of %zu)\n", program, nid,
                 network, per_species_[nid], done_, networks_);
  }

  void species_done(const species_report &r) {
    clear();
    std::fprintf(stderr, "%s: %s done: %s, held-out error %s\n", program,
                 species_label(r.nid, r.name).c_str(), count_of(r.usable_sales, "sale").c_str(),
                 percent(r.combined_error).c_str());
    std::fflush(stderr);
  }

  void clear() {
    if (width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", width_, "");
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  void show(const std::string &line) {
    const int width = std::fprintf(stderr, "\r%s", line.c_str());
    // Blank what a longer line before left behind.
    if (width > 0 && width < width_) std::fprintf(stderr, "%*s", width_ - width, "");
    if (width > width_) width_ = width;
    std::fflush(stderr);
  }

  bool terminal_;
  std::map<std::uint32_t, std::size_t> per_species_;
  std::size_t networks_ = 0;
  std::size_t done_ = 0;
  std::map<std::pair<std::uint32_t, int>, std::pair<std::uint32_t, std::uint32_t>> in_flight_;
  int width_ = 0;  // the longest line shown since the last clear, "\r" included
  std::chrono::steady_clock::time_point last_{};
};

// The warnings a seller needs before trusting a species' networks, written to `out_dir`;
// empty when none. `out_option` ends the command that puts the earlier networks back
// (" --out DIR", or empty for the default folder).
std::vector<std::string> warnings_of(const species_report &r, const std::string &out_dir,
                                     const std::string &out_option) {
  std::vector<std::string> lines;
  const std::string who = std::to_string(r.nid) + (r.name.empty() ? "" : " " + r.name);
  const std::string restore = "orvanta-train --restore " + std::to_string(r.nid) + out_option;
  if (r.unpriced) {
    // --no-species-files moved a species file in place to previous/, with its networks.
    const bool kept = has_previous_generation(out_dir, r.nid) &&
                      path_exists(previous_folder(out_dir) + "/" + species_file_name(r.nid));
    lines.push_back("warning: " + who +
                    ": nothing prices these networks without a species file (the built-in "
                    "table does not price species " +
                    std::to_string(r.nid) + "); " +
                    (kept ? restore + " brings back the earlier ones with their species file"
                          : "train it without --no-species-files to price it"));
  }
  if (r.usable_sales < fewest_trusted_sales)
    lines.push_back("warning: " + who + ": only " + count_of(r.usable_sales, "usable sale") +
                    " (fewer than " + std::to_string(fewest_trusted_sales) +
                    "): too few to trust its prices");
  // Judged on every measured sale, as the species file states its figures: a small species
  // is measured on several folds, each by networks trained without it.
  if (r.sales.size() < fewest_trusted_held_out)
    lines.push_back("warning: " + who + ": only " + count_of(r.sales.size(), "held-out sale") +
                    " (fewer than " + std::to_string(fewest_trusted_held_out) +
                    "): too few to measure its error");
  if (std::isnan(r.combined_error)) return lines;
  if (r.earlier.has_value() && r.earlier->earlier_error < r.earlier->error) {
    const earlier_comparison &c = *r.earlier;
    const std::string on =
        c.same_sales ? " on the same held-out sales (" + std::to_string(c.sales) +
                           ", dated outside the earlier ones' training days, " + c.first_date +
                           " to " + c.last_date + ")"
                     : ", each on its own held-out sales (the earlier figure as their species "
                       "file states it, by rating, weighted as these " +
                           count_of(c.sales, "sale") + ")";
    lines.push_back("warning: " + who + ": these networks " + percent(c.error) +
                    ", the earlier ones " + percent(c.earlier_error) + on + "; " + restore +
                    " puts the earlier ones back");
  }
  if (r.measured_error > largest_trusted_error)
    lines.push_back("warning: " + who + ": the networks miss the held-out sales by " +
                    percent(r.measured_error) + " (more than " + percent(largest_trusted_error) +
                    "): treat its prices as rough guesses");
  if (!(r.combined_error <= (1.0 - least_gain_over_median) * r.median_baseline_error))
    lines.push_back("warning: " + who + ": the networks miss the held-out sales by " +
                    percent(r.combined_error) + ", not a quarter better than its median price (" +
                    percent(r.median_baseline_error) + "): do not trust its prices");
  const auto [best, worst] = std::minmax_element(r.network_error.begin(), r.network_error.end());
  if (*worst > 2.0 * *best)
    lines.push_back("warning: " + who + ": its networks disagree: m" +
                    std::to_string(worst - r.network_error.begin() + 1) +
                    " misses the held-out sales by " + percent(*worst) + ", more than twice m" +
                    std::to_string(best - r.network_error.begin() + 1) + "'s " + percent(*best) +
                    ": train it on more sales or with another --seed");
  return lines;
}

// "-8.1/+9.3%": how far below and above the average a range runs.
std::string margins_text(const range_margins &m) {
  char text[48];
  std::snprintf(text, sizeof text, "-%.1f/+%.1f%%", m[0] * 100.0, m[1] * 100.0);
  return text;
}

std::string share_text(const std::optional<double> &share) {
  return share.has_value() ? percent(*share * 100.0) : "-";
}

void print_ranges(const std::vector<species_report> &reports) {
  std::printf(
      "\nRecommended sales range by rating: how far below and above the average it runs, and\n"
      "the share of held-out sales inside it, each sale judged by a range set without it\n"
      "(\"-\" where fewer than %zu sales measure it):\n\n",
      fewest_measured_sales);
  std::printf("%7s %23s %23s %23s %7s\n", "species", "rated 0", "rated 1", "rated 2", "all");
  for (const species_report &r : reports) {
    std::string cells[3];
    for (std::size_t k = 0; k < 3; ++k) {
      const range_margins &m = r.range.by_rating[k].value_or(r.range.species);
      cells[k] = margins_text(m) + " " + share_text(r.range.coverage[k]);
    }
    std::printf("%7u %23s %23s %23s %7s\n", r.nid, cells[0].c_str(), cells[1].c_str(),
                cells[2].c_str(), share_text(r.range.overall).c_str());
  }
}

// Prints the report on standard output; returns the number of warnings. `out_option` as
// for warnings_of.
std::size_t print_report(const std::vector<species_report> &reports, const sales_file &sales,
                         const std::string &since, const std::string &out_dir,
                         const std::string &out_option) {
  if (sales.dated) {
    std::string first, last;
    for (const species_report &r : reports) {
      if (!r.first_date.empty() && (first.empty() || r.first_date < first)) first = r.first_date;
      if (r.last_date > last) last = r.last_date;
    }
    std::printf("Sales used: dated %s to %s", first.c_str(), last.c_str());
    if (!since.empty())
      std::printf(" (--since %s: %llu earlier sales left out)", since.c_str(),
                  static_cast<unsigned long long>(sales.before_since));
    std::printf(".\n\n");
  }
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
  std::printf(
      "\nError of the average by rating, each sale's spread rated as the window rates it\n"
      "(against the species file's reference spreads and window, or the built-in table's\n"
      "without species files): 0 \"almost perfect\", 1 \"almost good\", 2 the limited-data\n"
      "note; measured sales in brackets. A species with fewer than %zu held-out sales is\n"
      "measured on up to %zu folds of its sales, each by networks trained without it; these\n"
      "are the errors its species file states:\n\n",
      measured_sales_wanted, most_measuring_splits);
  std::printf("%7s %-20s %14s %14s %14s\n", "species", "name", "rated 0", "rated 1", "rated 2");
  for (const species_report &r : reports) {
    std::string cells[3];
    for (std::size_t k = 0; k < 3; ++k)
      cells[k] = percent(r.rating_error[k]) + " (" + std::to_string(r.rating_rows[k]) + ")";
    std::printf("%7u %-20s %14s %14s %14s\n", r.nid, r.name.empty() ? "-" : r.name.c_str(),
                cells[0].c_str(), cells[1].c_str(), cells[2].c_str());
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
  print_ranges(reports);
  std::size_t warnings = 0;
  std::printf("\n");
  for (const species_report &r : reports) {
    for (const std::string &line : warnings_of(r, out_dir, out_option)) {
      std::printf("%s\n", line.c_str());
      ++warnings;
    }
  }
  if (warnings != 0) std::printf("\n");
  std::printf("%zu species (%zu networks) written to %s; %zu warning%s\n", reports.size(),
              3 * reports.size(), out_dir.c_str(), warnings, warnings == 1 ? "" : "s");
  return warnings;
}

// A folder as a shell reads it back: as it is when it has nothing a shell would take
// apart, else in single quotes.
std::string shell_word(const std::string &text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("/._-+,:@%=~", c);
  });
  if (plain && text[0] != '~') return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// --restore: swaps each species' generation in `out_dir` with the one in previous/.
int restore_species(const std::vector<std::uint32_t> &list, const std::string &out_dir) {
  int status = 0;
  for (std::uint32_t nid : list) {
    const char *name = species_name(nid);
    const std::string who = std::to_string(nid) + (name != nullptr ? std::string(" ") + name : "");
    std::string kind, error;
    if (!complete_interrupted_change(out_dir, nid, {}, &kind, &error)) {
      std::fprintf(stderr, "%s: %s: %s\n", program, who.c_str(), error.c_str());
      status = std::max(status, 1);
      continue;
    }
    if (kind == "restore") {  // this very restore, stopped half-way and now complete
      std::printf("%s: the interrupted restore is complete: the earlier generation is back in %s\n",
                  who.c_str(), out_dir.c_str());
      continue;
    }
    std::string why;
    if (!has_previous_generation(out_dir, nid, &why)) {
      std::fprintf(stderr, "%s: --restore: %s has no earlier generation in %s%s\n", program,
                   who.c_str(), previous_folder(out_dir).c_str(),
                   why.empty() ? "" : (": " + why).c_str());
      status = 2;
      continue;
    }
    if (!restore_generation(out_dir, nid, {}, &error)) {
      std::fprintf(stderr, "%s: %s: %s\n", program, who.c_str(), error.c_str());
      status = std::max(status, 1);
      continue;
    }
    std::printf(
        "%s: the earlier generation is back in %s; the one it replaced is in %s (the "
        "same command swaps them again)\n",
        who.c_str(), out_dir.c_str(), previous_folder(out_dir).c_str());
  }
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  run_plan plan;
  sales_options reading;
  std::string out_dir;
  std::string species_text;
  std::string sales_path;
  std::string since;
  std::vector<std::string> name_texts, hidden_power_texts;
  std::string loss_text = "relative";
  bool no_species_files = false, fixed_prices = false;
  double margin = default_margin;
  std::string restore_text;
  plan.jobs = std::max(1u, std::thread::hardware_concurrency());

  CLI::App app{
      "Trains the three price networks of each species from sales records (a CSV file with "
      "the columns nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price and optionally date) and "
      "writes them as <NID>_m1.tp, <NID>_m2.tp and <NID>_m3.tp, with <NID>_species.json "
      "describing the sales they learned from. The same data, options and seed give "
      "byte-identical files.",
      program};
  app.footer(
      "Before a species' files are replaced, the files in place move to <out>/previous/, one "
      "earlier generation; orvanta-train --restore LIST [--out DIR] swaps them back (and a "
      "second --restore swaps again). The report warns where the earlier networks did better "
      "on held-out sales they did not learn from (dated outside the days their species file "
      "names), or else by the error their species file states.");
  app.option_defaults()->always_capture_default();
  app.set_version_flag("--version", std::string(program) + " " + ORVANTA_VERSION);
  app.add_option("--out", out_dir,
                 "Directory the files are written to (created when missing; default: "
                 "${XDG_DATA_HOME:-~/.local/share}/orvanta/ptp)")
      ->type_name("DIR")
      ->default_str("");
  app.add_option("--species", species_text,
                 "Comma-separated National IDs to train (default: every species in the data)")
      ->type_name("LIST");
  app.add_option("--hidden", plan.options.hidden, "Nodes per hidden layer")
      ->type_name("N")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--layers", plan.options.layers, "Hidden layers")
      ->type_name("N")
      ->check(CLI::Range(1u, 16u));
  app.add_option("--epochs", plan.options.epochs,
                 "Passes over a species' training rows per network")
      ->type_name("N")
      ->check(CLI::Range(1u, 1000000u));
  app.add_option("--learning-rate", plan.options.learning_rate,
                 "Step size of the first epoch; it falls linearly to a tenth of this by the last "
                 "(the files keep this value)")
      ->type_name("X")
      ->check(CLI::Range(smallest_learning_rate, 1000.0));
  app.add_option("--loss", loss_text,
                 "What the networks learn: relative, the price's error in proportion to the "
                 "price (a 10% miss weighs the same at every price); absolute, the outputs' "
                 "squared error (the earlier trainer's)")
      ->type_name("relative|absolute")
      ->check(CLI::IsMember({"relative", "absolute"}).description(""));
  app.add_option("--weight-decay", plan.options.weight_decay,
                 "After every epoch each weight shrinks by this times the epoch's step size, so "
                 "the networks settle on smoother prices (0 for none)")
      ->type_name("X")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--perfect-iv-nodes", plan.options.perfect_iv_nodes,
                 "The first N nodes of the first hidden layer start as detectors of IVs 1 to N "
                 "at 31, the step a perfect IV adds to the price (0 for none; none when the "
                 "layer has fewer than 2N nodes)")
      ->type_name("N")
      ->check(CLI::Range(0u, 6u));
  app.add_option("--seed", plan.options.seed,
                 "Seed of the initial weights, the held-out rows and the example order")
      ->type_name("S")
      ->check(whole_64_bits);
  app.add_option("--holdout", plan.options.holdout,
                 "Fraction of each species' rows kept out of training to measure the error (a "
                 "species with few sales is measured on up to 5 such folds, each by networks "
                 "trained without it)")
      ->type_name("FRACTION")
      ->check(CLI::Range(0.0, 0.95));
  app.add_option("--jobs", plan.jobs,
                 "Networks trained at once (default: the number of cores); the files do not "
                 "depend on it")
      ->type_name("N")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--name", name_texts,
                 "The name a species file gives species N (repeatable; built in for 1 to 649)")
      ->type_name("N=NAME")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->default_str("");
  app.add_option("--hidden-power", hidden_power_texts,
                 "The Hidden Power types that earn species N the addition, N= for none "
                 "(repeatable; default: the built-in table's for the species it prices, else "
                 "none)")
      ->type_name("N=TYPE[,TYPE...]")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->default_str("");
  CLI::Option *margin_option =
      app.add_option("--margin", margin,
                     "Both margins of the recommended sales range for every rating, a fraction "
                     "of the average (default: set from the held-out sales, see "
                     "--range-coverage)")
          ->type_name("X")
          ->check(CLI::Range(0.0, 1.0))
          ->default_str("");
  app.add_option("--range-coverage", plan.range_coverage,
                 "The share of the held-out sales the recommended range is set to hold, by "
                 "rating where a rating has enough of them")
      ->type_name("P")
      ->check(CLI::Range(0.5, 0.99))
      ->excludes(margin_option);
  app.add_option("--reference-sales", plan.reference_sales,
                 "Sales a spread needs among those the networks learn from to be a reference "
                 "spread (\"almost perfect\")")
      ->type_name("N")
      ->check(CLI::Range(1u, 1000000u));
  app.add_flag("--fixed-prices", fixed_prices,
               "Keep the fixed prices of spreads with all IVs 9 or less or all six equal (the "
               "species file says fixed_prices true) and skip their sales; by default they are "
               "trained on and priced by the networks");
  app.add_option("--near", plan.near,
                 "The near-match window: a spread within N of a reference spread in every IV "
                 "rates \"almost good\"")
      ->type_name("N")
      ->check(CLI::Range(0u, 31u));
  app.add_flag("--no-species-files", no_species_files,
               "Write the networks alone, without <NID>_species.json (one in place moves to "
               "<out>/previous/ with its networks), and skip the fixed-price sales: only the "
               "built-in table's species are then priced, by the table");
  app.add_option("--since", since, "Train on the sales of this day and later (needs a date column)")
      ->type_name("DATE")
      ->check(calendar_day)
      ->default_str("");
  CLI::Option *sales_option =
      app.add_option("SALES.csv", sales_path, "Sales records (- for standard input)")
          ->always_capture_default(false);
  app.add_option("--restore", restore_text,
                 "Put back the earlier generation of these species (comma-separated National "
                 "IDs) from <out>/previous/, keeping the one it replaces there; nothing is "
                 "trained")
      ->type_name("LIST")
      ->excludes(sales_option);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  std::vector<std::uint32_t> requested;
  std::map<std::uint32_t, std::string> names;
  std::string error;
  const bool restoring = app.count("--restore") != 0;
  if (!restoring && app.count("SALES.csv") == 0) {
    std::fprintf(stderr,
                 "%s: SALES.csv is required (or --restore LIST)\nRun with --help for more "
                 "information.\n",
                 program);
    return 2;
  }
  if (app.count("--out") != 0 && out_dir.empty()) {
    std::fprintf(stderr, "%s: --out: the directory name is empty\n", program);
    return 2;
  }
  if (app.count("--out") == 0) {
    out_dir = seller_ptp_dir();
    if (out_dir.empty()) {
      std::fprintf(stderr,
                   "%s: neither XDG_DATA_HOME nor HOME names a folder to write to; use --out\n",
                   program);
      return 2;
    }
  }
  if (restoring) {
    if (!parse_species_list("--restore", restore_text, &requested, &error)) {
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      return 2;
    }
    return restore_species(requested, out_dir);
  }
  if (app.count("--species") != 0 &&
      !parse_species_list("--species", species_text, &requested, &error)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 2;
  }
  for (const std::string &text : name_texts) {
    if (!parse_name(text, &names, &error)) {
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      return 2;
    }
  }
  for (const std::string &text : hidden_power_texts) {
    if (!parse_hidden_power(text, &reading.hidden_power_types, &error)) {
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      return 2;
    }
  }
  plan.options.loss = loss_text == "absolute" ? training_loss::absolute : training_loss::relative;
  if (!since.empty()) reading.since = since;
  plan.since = since;
  plan.species_files = !no_species_files;
  if (margin_option->count() != 0) plan.margin = margin;
  plan.fixed_prices = fixed_prices;
  // Without a species file the built-in table keeps its fixed prices: such sales would
  // teach the networks prices the window never asks them for.
  reading.skip_fixed_prices = fixed_prices || no_species_files;

  sales_file sales;
  if (!read_sales(sales_path.c_str(), &sales, &error, reading)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 2;
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
    std::fprintf(stderr, "%s: %s: no usable sales rows%s\n", program, sales_path.c_str(),
                 sales.before_since != 0 ? " on or after the --since day" : "");
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

  std::vector<species_plan> species;
  for (std::uint32_t nid : requested) {
    species_plan p;
    p.nid = nid;
    p.sales = std::move(by_species[nid]);
    p.hidden_power_types = hidden_power_types_of(nid, reading);
    const auto given = names.find(nid);
    const char *built_in = species_name(nid);
    p.name = given != names.end() ? given->second : built_in != nullptr ? built_in : "";
    if (p.name.empty() && plan.species_files) {
      std::fprintf(stderr,
                   "%s: species %u has no built-in name: give it one with --name %u=NAME (or "
                   "write the networks alone with --no-species-files)\n",
                   program, nid, nid);
      return 2;
    }
    species.push_back(std::move(p));
  }

  std::error_code code;
  std::filesystem::create_directories(out_dir, code);
  if (code) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", program, out_dir.c_str(),
                 code.message().c_str());
    return 1;
  }

  std::map<std::uint32_t, std::size_t> networks;
  for (const species_plan &p : species)
    networks[p.nid] = 3 * measuring_splits(p.sales.size(), plan);
  progress_display progress(isatty(STDERR_FILENO) == 1, networks);
  run_events events;
  events.epoch = [&](std::uint32_t nid, int network, std::uint32_t epoch, std::uint32_t epochs) {
    progress.epoch(nid, network, epoch, epochs);
  };
  events.network_done = [&](std::uint32_t nid, int network) {
    progress.network_done(nid, network);
  };
  events.species_done = [&](const species_report &r) { progress.species_done(r); };
  plan.out_dir = out_dir;
  std::vector<species_report> reports;
  const bool trained = train_run(species, plan, events, &reports, &error);
  progress.clear();
  if (!trained) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 1;
  }
  print_report(reports, sales, since, out_dir,
               app.count("--out") != 0 ? " --out " + shell_word(out_dir) : "");
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write the report: %s\n", program, std::strerror(errno));
    return 1;
  }
  return 0;
}
