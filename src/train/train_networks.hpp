// Training the three networks of a species, writing them as model files and measuring
// them on held-out sales.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nn/multi_layer_perceptron.hpp"
#include "train/train_random.hpp"
#include "train/train_ranges.hpp"
#include "train/train_sales.hpp"

// What a network is taught to get right (see data/README.md, "What the trainer teaches").
enum class training_loss {
  // The relative error of the price, as the log of its ratio: a 10 % miss weighs the same
  // for a 100k Pokémon as for a 100m one, whichever output line the price is read from.
  relative,
  // The squared difference of the outputs and their targets (the earlier trainer's): small
  // prices read from a high tier's line count for little.
  absolute,
};

// The shape and schedule of a run.
struct training_options {
  std::uint32_t hidden = 16;    // nodes per hidden layer
  std::uint32_t layers = 2;     // hidden layers
  std::uint32_t epochs = 1000;  // passes over a species' training rows, per network
  double learning_rate = 0.15;  // the step size of the first epoch (stored in each file)
  double final_rate = 0.1;      // the step falls linearly to this fraction of it by the end
  training_loss loss = training_loss::relative;
  // After every epoch each weight (not the biases) shrinks by this times the epoch's step:
  // of the functions that fit the sales, the networks settle on smoother ones.
  double weight_decay = 0.001;
  // The first hidden layer's first N nodes (at most 6) start as detectors of IV 1 to N at
  // 31 (see train_species_network); none when the layer has fewer than 2N nodes.
  std::uint32_t perfect_iv_nodes = 6;
  std::uint64_t seed = 4484;  // drives weights, hold-out rows and example order
  double holdout = 0.2;       // fraction of each species' rows kept for measuring
};

// The smallest learning rate that a model file keeps: it stores six decimals, and a file
// whose rate reads as 0 does not load.
inline constexpr double smallest_learning_rate = 0.000001;

// The step size of epoch `epoch` (0 for the first): learning_rate, falling linearly to
// final_rate * learning_rate in the last epoch (learning_rate throughout a one-epoch run). Noisy
// sale prices pull a network back and forth at a fixed step; the shrinking step lets it settle
// between them.
double epoch_learning_rate(const training_options &options, std::uint32_t epoch);

// The network inputs for a sale: the prediction's own input column (8 x 1).
matrix *sale_inputs(const sale &s);

// Which of a species' rows are held out: exactly round(fraction * rows) of them, at most
// rows - 1 so that one is left to train on, chosen by the seeded generator.
std::vector<bool> choose_held_out(std::size_t rows, double fraction, std::uint64_t seed,
                                  std::uint32_t nid);

// Disjoint folds of that size: the fold of each row, 0 to folds - 1, or -1 for a row in
// none. Fold 0 is the rows choose_held_out holds out; the folds that do not fit are empty.
std::vector<int> choose_folds(std::size_t rows, double fraction, std::uint64_t seed,
                              std::uint32_t nid, std::size_t folds);

// A network of the run's shape (8 inputs, 4 outputs) whose weights the generator has
// written over the ones creation drew, in [-1, 1); biases 0. Release with
// free_perceptron; nullptr when it cannot be created.
perceptron *create_seeded_perceptron(const training_options &options, seeded_random *random);

// Called after every epoch of every network: species, network 1 to 3, epochs done, of.
using training_progress =
    std::function<void(std::uint32_t nid, int network, std::uint32_t epoch, std::uint32_t epochs)>;

// One held-out sale: the coverage rating of its spread and the absolute percentage error
// of each estimate of its price.
struct held_out_sale {
  int coverage = 2;           // 0, 1 or 2, as the window rates the spread (see measure_species)
  std::uint32_t price = 0;    // the sale price less any Hidden Power addition
  std::uint32_t average = 0;  // the average of the three networks' prices, as the window forms it
  double combined = 0.0;
  double median_baseline = 0.0;
  double reference_baseline = 0.0;  // NaN when the species has no reference spread rows
};

// The networks a run replaced beside the new ones, compared only where the earlier ones
// are measured on sales they did not learn from (errors in percent).
struct earlier_comparison {
  // True: both priced the same measured sales, dated outside the days the earlier
  // networks' species file says they were trained on (first_date to last_date). False:
  // the error the earlier species file states for each rating beside the new networks'
  // error on their own measured sales of that rating, both weighted by the new sales of
  // each rating; the earlier ones' own held-out sales against the new ones'.
  bool same_sales = false;
  double error = 0.0;                 // the new networks'
  double earlier_error = 0.0;         // the earlier networks'
  std::size_t sales = 0;              // the measured sales it rests on
  std::string first_date, last_date;  // the earlier networks' training days (same_sales)
};

// The held-out error of one species' networks, each a median absolute percentage error
// of the price (NaN when no row is held out).
struct species_report {
  std::uint32_t nid = 0;
  std::string name;              // the species' name; empty when none is known
  std::size_t usable_sales = 0;  // usable sales of the species: trained on plus held out
  std::size_t training_rows = 0;
  std::size_t held_out_rows = 0;
  std::array<double, 3> network_error{};  // each network on its own
  double combined_error = 0.0;            // the average of the three, as the window shows it
  double median_baseline_error = 0.0;     // always the species' median training price
  double reference_baseline_error = 0.0;  // the price at the nearest reference spread
  // The average's error on the measured sales of each coverage rating, all folds together
  // (NaN for none), and how many there were: what the species file states. Filled by the
  // run, not by measure_species.
  std::array<double, 3> rating_error{};
  std::array<std::size_t, 3> rating_rows{};
  double measured_error = 0.0;        // the same on every measured sale (sales.size() of them)
  std::string first_date, last_date;  // of the sales used; empty for undated sales
  std::vector<held_out_sale> sales;   // in file order
  // The recommended range: its margins and the share of held-out sales inside it.
  range_figures range;
  // The networks this run replaced beside the new ones; nothing when there were none that
  // the window prices, or nothing tells which sales they did not learn from.
  std::optional<earlier_comparison> earlier;
  // Written without a species file for a species the built-in table does not price:
  // nothing prices these networks.
  bool unpriced = false;
};

// The held-out errors of every species together, for the sales of one coverage rating.
struct coverage_summary {
  std::size_t rows = 0;
  double combined_error = 0.0;
  double median_baseline_error = 0.0;
  double reference_baseline_error = 0.0;
};
coverage_summary summarize_coverage(const std::vector<species_report> &reports, int coverage);

// The price the window's three networks give for a sale (their truncated average), and
// each network's own price, from the networks' outputs.
struct network_prices {
  std::array<std::uint32_t, 3> single{};
  std::uint32_t average = 0;
};
// Returns false when a forward pass fails.
bool price_sale(const std::array<const perceptron *, 3> &networks, const sale &s,
                network_prices *out);

// The median of |estimate - price| / price, in percent; NaN for no rows.
double median_percentage_error(const std::vector<std::uint32_t> &estimates,
                               const std::vector<std::uint32_t> &prices);

// "<dir>/<nid>_m<k>.tp".
std::string network_path(const std::string &dir, std::uint32_t nid, int network);

// One training example: the input column and the four target outputs.
struct training_example {
  matrix_ptr inputs;
  matrix_ptr targets;
};

// The examples of the given sales, in their order; false when memory runs out.
bool make_examples(const std::vector<const sale *> &sales, std::vector<training_example> *out);

// Trains network `network` (1 to 3) of species `nid` on the examples: its own seeded
// stream draws the weights and the example order, so the result does not depend on what
// else runs. With options.perfect_iv_nodes, those first-layer nodes start as detectors of
// an IV at 31 before training. `epoch_done` is called after every epoch and stops the training when
// it returns false. Returns the network (nullptr when memory runs out or it was stopped).
perceptron *train_species_network(std::uint32_t nid, int network,
                                  const std::vector<training_example> &examples,
                                  const training_options &options,
                                  const std::function<bool(std::uint32_t epoch)> &epoch_done);

// Measures a species' three networks on its held-out sales against the baselines, each
// sale rated by `rate` (0, 1 or 2), and fills *report (nid, rows, errors, sales; not the
// errors by rating, which the run forms from every fold's sales).
// Returns false when a forward pass fails.
bool measure_species(std::uint32_t nid, const std::array<const perceptron *, 3> &networks,
                     const std::vector<const sale *> &training,
                     const std::vector<const sale *> &measuring,
                     const std::function<int(const sale &)> &rate, species_report *report);

// Trains the three networks of species `nid` from its sales (in file order), writes them
// alone (no species file) into `out_dir`, each put in place crash-safely, and measures
// the networks as written on the held-out rows. Returns false with a message in *error
// when a network cannot be made or written.
bool train_species(std::uint32_t nid, const std::vector<sale> &sales,
                   const training_options &options, const std::string &out_dir,
                   const training_progress &progress, species_report *report, std::string *error);
