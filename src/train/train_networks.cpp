// Training the three networks of a species and measuring them.
#include "train/train_networks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

#include "model/coverage.hpp"
#include "model/model_orvanta.hpp"
#include "model/price_tiers.hpp"
#include "model/ptp_path.hpp"
#include "model/species_file.hpp"
#include "train/train_run.hpp"
#include "train/train_targets.hpp"

namespace {

constexpr std::uint32_t network_inputs = 8;
constexpr std::uint32_t network_outputs = 4;

double median(std::vector<double> values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

double percentage_error(std::uint32_t estimate, std::uint32_t price) {
  const double p = price;
  return std::fabs(static_cast<double>(estimate) - p) / p * 100.0;
}

std::uint32_t median_price(const std::vector<std::uint32_t> &prices) {
  std::vector<double> values(prices.begin(), prices.end());
  return static_cast<std::uint32_t>(median(std::move(values)));
}

// The "price of the nearest reference spread" baseline: for each training row at one of
// the group's reference spreads (coverage rating 0) the median price per spread and
// shiny flag; a held-out row gets the price of the nearest such spread (squared IV
// distance) of the same shiny flag, or of either flag when its own has none.
class reference_baseline {
 public:
  reference_baseline(std::uint32_t nid, const std::vector<const sale *> &training) {
    const species_description *d = find_built_in_species(nid);
    if (d == nullptr) return;
    std::map<std::pair<std::uint32_t, std::array<std::uint32_t, 6>>, std::vector<std::uint32_t>>
        prices;
    for (const sale *s : training) {
      const auto &v = s->ivs;
      if (rate_spread(d, v[0], v[1], v[2], v[3], v[4], v[5]) == 0)
        prices[{s->shiny, s->ivs}].push_back(s->network_price);
    }
    for (const auto &[key, list] : prices)
      spreads_.push_back({key.first, key.second, median_price(list)});
  }

  bool empty() const { return spreads_.empty(); }

  std::uint32_t estimate(const sale &s) const {
    const bool own_flag = std::any_of(spreads_.begin(), spreads_.end(),
                                      [&](const spread &r) { return r.shiny == s.shiny; });
    std::uint64_t best_distance = std::numeric_limits<std::uint64_t>::max();
    std::uint32_t best_price = 0;
    for (const spread &r : spreads_) {
      if (own_flag && r.shiny != s.shiny) continue;
      std::uint64_t distance = 0;
      for (std::size_t i = 0; i < 6; ++i) {
        const std::int64_t d = std::int64_t{r.ivs[i]} - std::int64_t{s.ivs[i]};
        distance += static_cast<std::uint64_t>(d * d);
      }
      if (distance < best_distance) {
        best_distance = distance;
        best_price = r.price;
      }
    }
    return best_price;
  }

 private:
  struct spread {
    std::uint32_t shiny;
    std::array<std::uint32_t, 6> ivs;
    std::uint32_t price;
  };
  std::vector<spread> spreads_;
};

// The relative loss's weight for the output lines that hold a price but are not the one
// it is read from: they matter only where a network misses a tier's threshold, and at full
// weight they would spend the networks on prices a thousand times below the one read.
constexpr double other_line_weight = 0.1;
// The largest relative error (as a log) that a sale pulls with: a sale let go at half the
// market price pulls no harder than one 30 % off, so that such sales do not drag the
// networks below the market.
constexpr double largest_log_error = 0.3;
// The steepness of a perfect-IV detector: about 0.96 at 31 (and 32), 0.04 at 30.
constexpr double detector_steepness = 200.0;

// The answer that makes train() step against the relative error of the price. train()
// takes answer - output as each output's error: it moves the output layer by
// lr * y (1 - y) * (answer - y) and carries answer - y back to the hidden layers. So the
// answer is the output plus the error wanted:
// - on a line that holds a price (its target below target_ceiling): the log of target / y,
//   bounded by largest_log_error, which is the relative error of the price read from that
//   line whatever its scale; at full weight on the line the price is read from, at
//   other_line_weight on the others;
// - on a threshold that the price lifts (target at the ceiling): target - y, as the
//   absolute loss has it, which keeps it clear above 0.9.
void relative_answer(const matrix *targets, const matrix *outputs, matrix *answer) {
  std::array<double, 4> t{}, y{};
  for (std::uint32_t k = 0; k < 4; ++k) {
    t[k] = targets->data[k];
    y[k] = outputs->data[k];
  }
  const std::uint32_t read = choose_price_tier(t, t, t).line;
  for (std::uint32_t k = 0; k < 4; ++k) {
    double error = t[k] - y[k];
    // An output that has underflowed to 0 has no relative error to speak of; its own
    // gradient is 0 anyway.
    if (t[k] < target_ceiling && y[k] > 0.0) {
      const double weight = k == read ? 1.0 : other_line_weight;
      error = weight * std::clamp(std::log(t[k] / y[k]), -largest_log_error, largest_log_error);
    }
    answer->data[k] = y[k] + error;
  }
}

// Sellers pay a premium for an IV at 31, a step between two inputs 1/31 apart that a
// network grown from small random weights learns slowly and blurs. Node i of the first
// hidden layer starts as a detector of IV i at 31: weight detector_steepness on that IV's
// input (the IV / 31), nothing on the others, and a bias that puts its middle at 30.5.
// Training is free to change it.
void start_perfect_iv_detectors(perceptron *p, std::uint32_t count) {
  matrix *w = p->hl_weights[0];
  if (count == 0 || count > 6 || w->lines < 2 * count) return;
  for (std::uint32_t iv = 0; iv < count; ++iv) {
    for (std::uint32_t j = 0; j < w->columns; ++j) set_element(w, iv, j, 0.0);
    set_element(w, iv, 1 + iv, detector_steepness);
    set_element(p->hl_bias[0], iv, 0, -detector_steepness * 30.5 / 31.0);
  }
}

// Every weight (not the biases) times `factor`.
void scale_weights(perceptron *p, double factor) {
  for (std::uint32_t l = 0; l < p->num_hidden_layers; ++l)
    for (double &x : p->hl_weights[l]->data) x *= factor;
  for (double &x : p->o_weights->data) x *= factor;
}

// False when a step could not obtain its working memory.
bool train_network(perceptron *p, const std::vector<training_example> &examples,
                   const training_options &options, seeded_random *random,
                   const std::function<bool(std::uint32_t)> &epoch_done) {
  std::vector<std::uint32_t> order(examples.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  const matrix_ptr answer(create_matrix(network_outputs, 1));
  if (answer == nullptr) return false;
  // train() steps by the rate the network holds; the file keeps the run's own rate.
  const double rate = p->learning_rate;
  bool done = true;
  for (std::uint32_t epoch = 0; epoch < options.epochs && done; ++epoch) {
    p->learning_rate = epoch_learning_rate(options, epoch);
    random->shuffle(order);
    for (std::uint32_t i : order) {
      const training_example &e = examples[i];
      const matrix *taught = e.targets.get();
      if (options.loss == training_loss::relative) {
        const matrix_ptr outputs(predict(p, e.inputs.get()));
        if (outputs == nullptr) {
          done = false;
          break;
        }
        relative_answer(e.targets.get(), outputs.get(), answer.get());
        taught = answer.get();
      }
      if (train(p, e.inputs.get(), taught) != 0) {
        done = false;
        break;
      }
    }
    if (done && options.weight_decay > 0.0)
      scale_weights(p, std::max(0.0, 1.0 - options.weight_decay * p->learning_rate));
    if (done && !epoch_done(epoch + 1)) done = false;
  }
  p->learning_rate = rate;
  return done;
}

}  // namespace

double epoch_learning_rate(const training_options &options, std::uint32_t epoch) {
  if (options.epochs < 2) return options.learning_rate;
  const double done = static_cast<double>(epoch) / static_cast<double>(options.epochs - 1);
  return options.learning_rate * (1.0 - (1.0 - options.final_rate) * done);
}

matrix *sale_inputs(const sale &s) {
  return create_matrix_inputs(network_inputs, s.shiny, s.ivs[0], s.ivs[1], s.ivs[2], s.ivs[3],
                              s.ivs[4], s.ivs[5]);
}

std::vector<bool> choose_held_out(std::size_t rows, double fraction, std::uint64_t seed,
                                  std::uint32_t nid) {
  const std::vector<int> fold = choose_folds(rows, fraction, seed, nid, 1);
  std::vector<bool> held_out(rows, false);
  for (std::size_t i = 0; i < rows; ++i) held_out[i] = fold[i] == 0;
  return held_out;
}

std::vector<int> choose_folds(std::size_t rows, double fraction, std::uint64_t seed,
                              std::uint32_t nid, std::size_t folds) {
  std::vector<int> fold(rows, -1);
  if (rows == 0) return fold;
  auto count = static_cast<std::size_t>(std::llround(fraction * static_cast<double>(rows)));
  count = std::min(count, rows - 1);
  std::vector<std::uint32_t> order(rows);
  for (std::size_t i = 0; i < rows; ++i) order[i] = static_cast<std::uint32_t>(i);
  seeded_random random(stream_seed(seed, nid, 0));
  random.shuffle(order);
  for (std::size_t i = 0; i < std::min(rows, count * folds); ++i)
    fold[order[i]] = static_cast<int>(i / count);
  return fold;
}

perceptron *create_seeded_perceptron(const training_options &options, seeded_random *random) {
  perceptron *p = create_perceptron(network_inputs, options.hidden, network_outputs, options.layers,
                                    options.learning_rate);
  if (p == nullptr) return nullptr;
  // Creation drew its weights from the clock-seeded rand(); replace every one of them,
  // in the order the model file lists them.
  const auto fill = [&](matrix *m) {
    for (std::uint32_t i = 0; i < get_lines(m); ++i)
      for (std::uint32_t j = 0; j < get_columns(m); ++j) set_element(m, i, j, random->weight());
  };
  for (std::uint32_t l = 0; l < options.layers; ++l) fill(get_hl_weights(p)[l]);
  fill(get_o_weights(p));
  return p;
}

bool price_sale(const std::array<const perceptron *, 3> &networks, const sale &s,
                network_prices *out) {
  const matrix_ptr inputs(sale_inputs(s));
  if (inputs == nullptr) return false;
  std::array<std::array<double, 4>, 3> outputs{};
  for (std::size_t k = 0; k < 3; ++k) {
    const matrix_ptr column(predict(networks[k], inputs.get()));
    if (column == nullptr) return false;
    for (std::uint32_t r = 0; r < 4; ++r) outputs[k][r] = get_element(column.get(), r, 0);
    out->single[k] = price_of_outputs(outputs[k]);
  }
  // As the prediction does: one tier for all three, each price read from its line.
  const price_tier tier = choose_price_tier(outputs[0], outputs[1], outputs[2]);
  std::uint32_t sum = 0;
  for (std::size_t k = 0; k < 3; ++k)
    sum += static_cast<std::uint32_t>(tier.scale * outputs[k][tier.line]);
  out->average = sum / 3;
  return true;
}

double median_percentage_error(const std::vector<std::uint32_t> &estimates,
                               const std::vector<std::uint32_t> &prices) {
  std::vector<double> errors(prices.size());
  for (std::size_t i = 0; i < prices.size(); ++i)
    errors[i] = percentage_error(estimates[i], prices[i]);
  return median(std::move(errors));
}

coverage_summary summarize_coverage(const std::vector<species_report> &reports, int coverage) {
  std::vector<double> combined, by_median, by_reference;
  for (const species_report &r : reports) {
    for (const held_out_sale &s : r.sales) {
      if (s.coverage != coverage) continue;
      combined.push_back(s.combined);
      by_median.push_back(s.median_baseline);
      if (!std::isnan(s.reference_baseline)) by_reference.push_back(s.reference_baseline);
    }
  }
  coverage_summary summary;
  summary.rows = combined.size();
  summary.combined_error = median(std::move(combined));
  summary.median_baseline_error = median(std::move(by_median));
  summary.reference_baseline_error = median(std::move(by_reference));
  return summary;
}

std::string network_path(const std::string &dir, std::uint32_t nid, int network) {
  return network_file_path(dir, std::to_string(nid).c_str(), network);
}

bool make_examples(const std::vector<const sale *> &sales, std::vector<training_example> *out) {
  out->clear();
  out->reserve(sales.size());
  for (const sale *s : sales) {
    training_example e{matrix_ptr(sale_inputs(*s)), matrix_ptr(create_matrix(network_outputs, 1))};
    if (e.inputs == nullptr || e.targets == nullptr) return false;
    const std::array<double, 4> targets = price_targets(s->network_price);
    for (std::uint32_t r = 0; r < network_outputs; ++r)
      set_element(e.targets.get(), r, 0, targets[r]);
    out->push_back(std::move(e));
  }
  return true;
}

perceptron *train_species_network(std::uint32_t nid, int network,
                                  const std::vector<training_example> &examples,
                                  const training_options &options,
                                  const std::function<bool(std::uint32_t epoch)> &epoch_done) {
  seeded_random random(stream_seed(options.seed, nid, static_cast<std::uint32_t>(network)));
  perceptron_ptr p(create_seeded_perceptron(options, &random));
  if (p == nullptr) return nullptr;
  start_perfect_iv_detectors(p.get(), options.perfect_iv_nodes);
  if (!train_network(p.get(), examples, options, &random, epoch_done)) return nullptr;
  return p.release();
}

bool measure_species(std::uint32_t nid, const std::array<const perceptron *, 3> &networks,
                     const std::vector<const sale *> &training,
                     const std::vector<const sale *> &measuring,
                     const std::function<int(const sale &)> &rate, species_report *report) {
  std::vector<std::uint32_t> prices, combined, by_median, by_reference;
  std::array<std::vector<std::uint32_t>, 3> single;
  std::vector<std::uint32_t> training_prices;
  for (const sale *s : training) training_prices.push_back(s->network_price);
  const std::uint32_t species_median = median_price(training_prices);
  const reference_baseline reference(nid, training);
  report->sales.clear();
  for (const sale *s : measuring) {
    network_prices estimate;
    if (!price_sale(networks, *s, &estimate)) return false;
    prices.push_back(s->network_price);
    for (std::size_t k = 0; k < 3; ++k) single[k].push_back(estimate.single[k]);
    combined.push_back(estimate.average);
    by_median.push_back(species_median);
    by_reference.push_back(reference.estimate(*s));
    held_out_sale row;
    row.coverage = rate(*s);
    row.price = s->network_price;
    row.average = estimate.average;
    row.combined = percentage_error(combined.back(), s->network_price);
    row.median_baseline = percentage_error(species_median, s->network_price);
    row.reference_baseline = reference.empty()
                                 ? std::numeric_limits<double>::quiet_NaN()
                                 : percentage_error(by_reference.back(), s->network_price);
    report->sales.push_back(row);
  }

  report->nid = nid;
  report->training_rows = training.size();
  report->held_out_rows = measuring.size();
  for (std::size_t k = 0; k < 3; ++k)
    report->network_error[k] = median_percentage_error(single[k], prices);
  report->combined_error = median_percentage_error(combined, prices);
  report->median_baseline_error = median_percentage_error(by_median, prices);
  report->reference_baseline_error = reference.empty()
                                         ? std::numeric_limits<double>::quiet_NaN()
                                         : median_percentage_error(by_reference, prices);
  return true;
}

bool train_species(std::uint32_t nid, const std::vector<sale> &sales,
                   const training_options &options, const std::string &out_dir,
                   const training_progress &progress, species_report *report, std::string *error) {
  run_plan plan;
  plan.options = options;
  plan.out_dir = out_dir;
  plan.jobs = 1;
  plan.species_files = false;
  std::vector<species_plan> species(1);
  species[0].nid = nid;
  species[0].sales = sales;
  run_events events;
  if (progress) events.epoch = progress;
  std::vector<species_report> reports;
  if (!train_run(species, plan, events, &reports, error)) return false;
  *report = std::move(reports.at(0));
  return true;
}
