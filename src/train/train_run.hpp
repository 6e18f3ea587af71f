// A training run: every species' three networks trained on all the cores asked for, each
// species' files written as soon as its networks are done, and the events that show the
// run's progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "train/train_networks.hpp"
#include "train/train_sales.hpp"

// One species of a run.
struct species_plan {
  std::uint32_t nid = 0;
  std::vector<sale> sales;  // in file order, network prices already less their addition
  std::string name;         // the species file's name (needed when species files are written)
  std::vector<int> hidden_power_types;  // the types the sales' additions were taken off for
};

// What a run writes and how.
struct run_plan {
  training_options options;
  std::string out_dir;
  unsigned jobs = 1;          // networks trained at once
  bool species_files = true;  // write <N>_species.json after each species' networks
  // Both margins of the sales range for every rating; nothing: set from the held-out sales
  // so that the range holds range_coverage of them.
  std::optional<double> margin;
  double range_coverage = 0.8;
  std::uint32_t near = 2;             // the near-match window: every IV this far below and above
  std::uint32_t reference_sales = 2;  // sales a spread needs to become a reference spread
  bool fixed_prices = false;          // the species file's fixed_prices
  std::string since;                  // the --since day, for the species file's record; empty: none
  // Called just before each change of a name in the folders (a rename, a link, a removal),
  // with its 1-based number and the path it changes: lets a test stop the run at a chosen
  // point. Unset for users.
  std::function<void(std::size_t number, const std::string &path)> before_change;
};

// The margins of the sales range when nothing measures them: the built-in table's.
inline constexpr double default_margin = 0.1;

// A species whose held-out fold holds fewer sales than this is also measured on further
// folds, each by three networks trained without it (up to five folds in all), so that its
// ranges and ratings rest on about this many sales. Only the first fold's networks are
// written; the others are trained only to measure.
inline constexpr std::size_t measured_sales_wanted = 200;
inline constexpr std::size_t most_measuring_splits = 5;

// How many splits (folds, each with three networks) measure a species of `rows` usable
// sales: 1 without species files (nothing the others measure is written) or when nothing
// is held out.
std::size_t measuring_splits(std::size_t rows, const run_plan &plan);

// What a run reports while it works. Each event is called from a training thread, one
// at a time (never two at once).
struct run_events {
  // After every epoch of every network: species, network 1 to 3, epochs done, of.
  training_progress epoch;
  // After each network: species, network 1 to 3.
  std::function<void(std::uint32_t nid, int network)> network_done;
  // After a species' files are in place.
  std::function<void(const species_report &report)> species_done;
};

// The distinct IV spreads that at least `fewest` of the sales have, in ascending order: a
// species file's reference spreads.
std::vector<std::array<std::uint8_t, 6>> distinct_spreads(const std::vector<const sale *> &sales,
                                                          std::uint32_t fewest = 1);

// Trains every species of `species` as `plan` says and puts its files in place (the
// three networks, then its species file, each written to a temporary file and flushed,
// the files in place first kept as the earlier generation in previous/; see
// replace_generation). A change of a species that an earlier run left half-way is
// completed first. The files depend only on the data, the plan and the seed, never on the
// number of jobs. Fills *reports in the order of `species`. Returns false with a message
// in *error when something cannot be trained or written; the species already done keep
// their new files, the others their old ones.
bool train_run(const std::vector<species_plan> &species, const run_plan &plan,
               const run_events &events, std::vector<species_report> *reports, std::string *error);
