// A training run on several threads. Every network draws from its own seeded stream and
// each species' files are composed from that species' networks alone, so the files are
// the same whatever the number of threads and whichever finishes first.
#include "train/train_run.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "common/contract.hpp"
#include "model/coverage.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"
#include "model/species_file.hpp"
#include "model/species_snapshot.hpp"
#include "train/train_files.hpp"
#include "train/train_generations.hpp"

namespace {

// One split of a species' rows: three networks trained on the rows outside one fold and
// measured on the fold. The first split's networks are the ones written; the others only
// measure, so that a small species' ranges and ratings rest on more sales than one fold.
struct split_state {
  std::vector<const sale *> training, measuring;
  std::vector<training_example> examples;  // shared by the split's three networks
  std::array<perceptron_ptr, 3> networks;
};

struct species_state {
  const species_plan *plan = nullptr;
  std::vector<split_state> splits;
  std::atomic<std::size_t> networks_left{0};
  species_report report;
};

// The expected error of a rating: the median as a fraction, to four decimals; nothing
// for too few held-out sales to measure it.
std::optional<double> expected_error(double percent, std::size_t rows) {
  if (rows < fewest_measured_sales || std::isnan(percent)) return std::nullopt;
  return std::round(percent * 100.0) / 10000.0;
}

// The species in place in `dir` as the window loads it (its species file and the networks
// it names), when the window prices it from a species file; else nothing.
species_snapshot_ptr species_in_place(const std::string &dir, std::uint32_t nid) {
  auto file = std::make_shared<species_file>(read_species_file(dir.c_str(), nid));
  if (file->state != species_file_state::valid) return nullptr;
  species_snapshot_ptr s(load_species_snapshot_with(dir, std::to_string(nid).c_str(), file));
  if (s == nullptr || !s->networks.usable) return nullptr;
  return s;
}

// The networks in place, which a run is about to replace, beside the new ones: on the
// measured sales dated outside the earlier ones' training days when there are enough of
// them, else by what each measured on its own held-out sales, rating by rating. Nothing
// when the species in place has no species file the window prices it from. `measured`:
// the sales of report.sales, in its order.
std::optional<earlier_comparison> compare_with_earlier(const std::string &dir, std::uint32_t nid,
                                                       const std::vector<const sale *> &measured,
                                                       const species_report &report) {
  const species_snapshot_ptr earlier = species_in_place(dir, nid);
  if (earlier == nullptr) return std::nullopt;
  const species_description &d = earlier->file->description;
  earlier_comparison c;
  c.first_date = d.trained.first_date;
  c.last_date = d.trained.last_date;
  std::vector<const sale *> unseen;
  std::vector<std::uint32_t> averages, prices, earlier_averages;
  if (!c.first_date.empty() && !c.last_date.empty()) {
    for (std::size_t i = 0; i < measured.size(); ++i) {
      const std::string &date = measured[i]->date;
      if (date.empty() || (c.first_date <= date && date <= c.last_date)) continue;
      unseen.push_back(measured[i]);
      averages.push_back(report.sales[i].average);
      prices.push_back(report.sales[i].price);
    }
  }
  if (unseen.size() >= fewest_measured_sales) {
    const std::array<const perceptron *, 3> networks = {earlier->networks.networks[0].get(),
                                                        earlier->networks.networks[1].get(),
                                                        earlier->networks.networks[2].get()};
    for (const sale *x : unseen) {
      network_prices estimate;
      if (!price_sale(networks, *x, &estimate)) return std::nullopt;
      earlier_averages.push_back(estimate.average);
    }
    c.same_sales = true;
    c.error = median_percentage_error(averages, prices);
    c.earlier_error = median_percentage_error(earlier_averages, prices);
    c.sales = unseen.size();
    return c;
  }
  // The ratings both measured, weighted by the new measured sales of each.
  for (std::size_t r = 0; r < 3; ++r) {
    const std::size_t n = report.rating_rows[r];
    if (!d.expected_error[r].has_value() || n < fewest_measured_sales) continue;
    c.error += report.rating_error[r] * static_cast<double>(n);
    c.earlier_error += *d.expected_error[r] * 100.0 * static_cast<double>(n);
    c.sales += n;
  }
  if (c.sales == 0) return std::nullopt;
  c.error /= static_cast<double>(c.sales);
  c.earlier_error /= static_cast<double>(c.sales);
  return c;
}

std::string training_record(const species_state &s, const run_plan &plan) {
  nlohmann::ordered_json t;
  t["rows"] = s.splits[0].training.size();
  t["held_out_rows"] = s.splits[0].measuring.size();
  t["measured_rows"] = s.report.sales.size();
  t["reference_sales"] = plan.reference_sales;
  t["seed"] = plan.options.seed;
  t["hidden"] = plan.options.hidden;
  t["layers"] = plan.options.layers;
  t["epochs"] = plan.options.epochs;
  t["learning_rate"] = plan.options.learning_rate;
  t["holdout"] = plan.options.holdout;
  if (s.report.first_date.empty()) {
    t["dates"] = nullptr;
  } else {
    nlohmann::ordered_json dates;
    dates["first"] = s.report.first_date;
    dates["last"] = s.report.last_date;
    dates["since"] =
        plan.since.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(plan.since);
    t["dates"] = dates;
  }
  return t.dump();
}

class training_run {
 public:
  training_run(const std::vector<species_plan> &species, const run_plan &plan,
               const run_events &events)
      : plan_(plan), events_(events), states_(species.size()) {
    for (std::size_t i = 0; i < species.size(); ++i) states_[i].plan = &species[i];
  }

  bool run(std::vector<species_report> *reports, std::string *error) {
    for (species_state &s : states_) {
      if (!complete_interrupted_change(plan_.out_dir, s.plan->nid, hook_, nullptr, error))
        return false;
      if (!prepare(&s)) {
        *error = error_;
        return false;
      }
      for (std::size_t split = 0; split < s.splits.size(); ++split)
        for (int k = 1; k <= 3; ++k) tasks_.push_back({&s, split, k});
    }
    const unsigned threads =
        std::max(1u, std::min<unsigned>(plan_.jobs, static_cast<unsigned>(tasks_.size())));
    if (threads == 1) {
      work();
    } else {
      // Where the system grants fewer threads than asked (a memory limit, a limit on
      // processes), the run goes on with those it got, or on this thread alone: the files
      // do not depend on the number of threads.
      std::vector<std::thread> pool;
      try {
        pool.reserve(threads);
        while (pool.size() < threads) pool.emplace_back([this] { work(); });
      } catch (const std::system_error &) {
      } catch (const std::bad_alloc &) {
      }
      if (pool.empty()) work();
      for (std::thread &t : pool) t.join();
    }
    if (failed_) {
      *error = error_;
      return false;
    }
    reports->clear();
    for (species_state &s : states_) reports->push_back(std::move(s.report));
    return true;
  }

 private:
  void fail(const std::string &message) {
    const std::lock_guard<std::mutex> lock(events_lock_);
    if (!failed_) error_ = message;
    failed_ = true;
  }

  bool prepare(species_state *s) {
    const species_plan &p = *s->plan;
    const std::size_t splits = measuring_splits(p.sales.size(), plan_);
    const std::vector<int> fold =
        choose_folds(p.sales.size(), plan_.options.holdout, plan_.options.seed, p.nid, splits);
    s->splits.resize(splits);
    s->networks_left = 3 * splits;
    for (std::size_t k = 0; k < splits; ++k) {
      split_state &split = s->splits[k];
      for (std::size_t i = 0; i < p.sales.size(); ++i)
        (fold[i] == static_cast<int>(k) ? split.measuring : split.training).push_back(&p.sales[i]);
      if (split.training.empty()) {
        error_ = "species " + std::to_string(p.nid) + ": no sales to train on";
        return false;
      }
      if (!make_examples(split.training, &split.examples)) {
        error_ = "out of memory";
        return false;
      }
    }
    s->report.nid = p.nid;
    s->report.name = p.name;
    s->report.usable_sales = p.sales.size();
    for (const sale &x : p.sales) {
      if (x.date.empty()) continue;
      if (s->report.first_date.empty() || x.date < s->report.first_date)
        s->report.first_date = x.date;
      if (x.date > s->report.last_date) s->report.last_date = x.date;
    }
    return true;
  }

  // Trains tasks until none is left; memory running out ends the run with a message
  // rather than the process.
  void work() {
    try {
      take_tasks();
    } catch (const std::bad_alloc &) {
      fail("out of memory");
    }
  }

  void take_tasks() {
    for (;;) {
      if (failed_) return;
      const std::size_t t = next_task_++;
      if (t >= tasks_.size()) return;
      species_state *s = tasks_[t].species;
      split_state &split = s->splits[tasks_[t].split];
      const int k = tasks_[t].network;
      // Networks are numbered across the splits: 1 to 3 the ones written, then the others.
      const int number = static_cast<int>(3 * tasks_[t].split) + k;
      const std::uint32_t nid = s->plan->nid;
      perceptron *p =
          train_species_network(nid, k, split.examples, plan_.options, [&](std::uint32_t epoch) {
            if (failed_) return false;
            if (events_.epoch) {
              const std::lock_guard<std::mutex> lock(events_lock_);
              events_.epoch(nid, number, epoch, plan_.options.epochs);
            }
            return true;
          });
      if (p == nullptr) {
        if (!failed_) fail("species " + std::to_string(nid) + ": out of memory while training");
        return;
      }
      split.networks[static_cast<std::size_t>(k - 1)].reset(p);
      if (events_.network_done) {
        const std::lock_guard<std::mutex> lock(events_lock_);
        events_.network_done(nid, number);
      }
      // The thread that trains a species' last network writes its files.
      if (--s->networks_left == 0) {
        std::string message;
        if (!finish(s, &message)) {
          fail(message);
          return;
        }
        if (events_.species_done) {
          const std::lock_guard<std::mutex> lock(events_lock_);
          events_.species_done(s->report);
        }
      }
    }
  }

  // The species file's description of what the rows taught: name, Hidden Power types, the
  // spreads sold often enough to be reference spreads, and the near-match window.
  species_description describe(const species_plan &p,
                               const std::vector<const sale *> &training) const {
    species_description d;
    d.nid = p.nid;
    d.name = p.name;
    for (std::size_t i = 0; i < 3 && i < p.hidden_power_types.size(); ++i)
      d.hidden_power_types[i] = p.hidden_power_types[i];
    d.hidden_power_base_price = trained_hidden_power_base_price;
    d.reference_spreads = distinct_spreads(training, plan_.reference_sales);
    if (d.reference_spreads.size() > species_file_max_spreads)
      d.reference_spreads.resize(species_file_max_spreads);
    std::array<iv_window, 6> window;
    for (iv_window &w : window)
      w.below = w.above = static_cast<std::uint8_t>(std::min<std::uint32_t>(plan_.near, 31));
    d.near_match_window = window;
    return d;
  }

  bool finish(species_state *s, std::string *error) {
    const std::uint32_t nid = s->plan->nid;
    split_state &written = s->splits[0];
    std::array<std::string, 3> paths;
    for (int k = 1; k <= 3; ++k) paths[k - 1] = network_path(plan_.out_dir, nid, k);
    const std::string species_path =
        (std::filesystem::path(plan_.out_dir) / species_file_name(nid)).string();
    const auto clean = [&] {
      for (const std::string &p : paths) remove_temporary(p);
      remove_temporary(species_path);
    };

    // The networks, written whole and flushed under their temporary names (a new file each:
    // an old temporary name may be a second name of a file kept elsewhere).
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string temporary = temporary_path(paths[k]);
      if (!remove_file(temporary, error)) {
        clean();
        return false;
      }
      if (save_perceptron(written.networks[k].get(), temporary.c_str()) != 0) {
        clean();
        *error = "cannot write " + temporary;
        return false;
      }
      if (!flush_temporary(paths[k], error)) {
        clean();
        return false;
      }
    }

    // Measured as the window will read them: the files keep six decimals of each weight.
    std::array<perceptron_ptr, 3> loaded;
    for (std::size_t k = 0; k < 3; ++k) {
      loaded[k].reset(load_perceptron(temporary_path(paths[k]).c_str()));
      if (loaded[k] == nullptr) {
        clean();
        *error = "cannot read back " + temporary_path(paths[k]);
        return false;
      }
    }
    // Each held-out sale is rated as the window will rate it: by a species file describing
    // the rows its networks learned from, or, without species files, by the built-in table
    // where it knows the species.
    const species_description *built_in = find_built_in_species(nid);
    const bool by_table = !plan_.species_files && built_in != nullptr;
    s->report.unpriced = !plan_.species_files && (built_in == nullptr || !built_in->priced);
    const auto measure = [&](const std::array<const perceptron *, 3> &networks,
                             const split_state &split, const species_description &own,
                             species_report *report) {
      const species_description *rating = by_table ? built_in : &own;
      return measure_species(
          nid, networks, split.training, split.measuring,
          [rating](const sale &x) {
            return rate_spread(rating, x.ivs[0], x.ivs[1], x.ivs[2], x.ivs[3], x.ivs[4], x.ivs[5]);
          },
          report);
    };
    species_description d = describe(*s->plan, written.training);
    species_report &report = s->report;
    bool measured =
        measure({loaded[0].get(), loaded[1].get(), loaded[2].get()}, written, d, &report);
    // The other splits' folds join the written networks' own held-out sales.
    for (std::size_t k = 1; k < s->splits.size() && measured; ++k) {
      const split_state &split = s->splits[k];
      species_report other;
      measured =
          measure({split.networks[0].get(), split.networks[1].get(), split.networks[2].get()},
                  split, describe(*s->plan, split.training), &other);
      report.sales.insert(report.sales.end(), other.sales.begin(), other.sales.end());
    }
    if (!measured) {
      clean();
      *error = "out of memory";
      return false;
    }
    std::array<std::vector<std::uint32_t>, 3> averages, prices;
    std::vector<std::uint32_t> all_averages, all_prices;
    std::vector<measured_sale> pooled;
    for (const held_out_sale &h : report.sales) {
      pooled.push_back({h.price, h.average, h.coverage});
      averages[static_cast<std::size_t>(h.coverage)].push_back(h.average);
      prices[static_cast<std::size_t>(h.coverage)].push_back(h.price);
      all_averages.push_back(h.average);
      all_prices.push_back(h.price);
    }
    report.measured_error = median_percentage_error(all_averages, all_prices);
    for (std::size_t r = 0; r < 3; ++r) {
      report.rating_rows[r] = prices[r].size();
      report.rating_error[r] = median_percentage_error(averages[r], prices[r]);
    }

    // The range the window will show: without species files the built-in table's, with
    // them margins fixed by --margin or set from the measured sales.
    if (by_table) {
      report.range =
          measure_ranges(pooled, {built_in->lowest_price_margin, built_in->highest_price_margin});
    } else if (plan_.margin.has_value()) {
      report.range = measure_ranges(pooled, {*plan_.margin, *plan_.margin});
    } else {
      report.range =
          calibrate_ranges(pooled, plan_.range_coverage, {default_margin, default_margin});
    }
    std::vector<const sale *> measured_sales;  // in the order of report.sales
    for (const split_state &split : s->splits)
      measured_sales.insert(measured_sales.end(), split.measuring.begin(), split.measuring.end());
    ORV_CHECK(measured_sales.size() == report.sales.size());
    report.earlier = compare_with_earlier(plan_.out_dir, nid, measured_sales, report);

    std::string species_text;
    if (plan_.species_files) {
      d.lowest_price_margin = report.range.species[0];
      d.highest_price_margin = report.range.species[1];
      for (std::size_t r = 0; r < 3; ++r) {
        d.expected_error[r] = expected_error(report.rating_error[r], report.rating_rows[r]);
        d.range_coverage[r] = report.range.coverage[r];
        d.range_margins[r] = report.range.by_rating[r];
      }
      d.fixed_prices = plan_.fixed_prices;
      std::array<std::string, 3> sums;
      for (std::size_t k = 0; k < 3; ++k) {
        std::string problem;
        const std::optional<std::string> sum =
            sha256_file_hex(temporary_path(paths[k]).c_str(), &problem);
        if (!sum.has_value()) {
          clean();
          *error = temporary_path(paths[k]) + " " + problem;
          return false;
        }
        sums[k] = *sum;
      }
      d.networks = sums;
      d.training = training_record(*s, plan_);
      species_text = format_species_file(&d);
      if (!write_temporary(species_path, species_text, error)) {
        clean();
        return false;
      }
    }

    // Into place, the files there kept as the earlier generation: the three networks, then
    // the species file that names them (see replace_generation).
    std::vector<std::string> incoming;
    for (const std::string &path : paths)
      incoming.push_back(std::filesystem::path(path).filename());
    if (plan_.species_files) incoming.push_back(species_file_name(nid));
    const std::lock_guard<std::mutex> lock(rename_lock_);
    return replace_generation(plan_.out_dir, nid, incoming, hook_, error);
  }

  const run_plan &plan_;
  const run_events &events_;
  std::vector<species_state> states_;
  struct task {
    species_state *species;
    std::size_t split;
    int network;  // 1 to 3
  };
  std::vector<task> tasks_;
  std::atomic<std::size_t> next_task_{0};
  std::atomic<bool> failed_{false};
  std::mutex events_lock_;  // one event at a time; guards error_
  std::string error_;
  std::mutex rename_lock_;  // one species' changes of names at a time
  std::size_t changes_ = 0;
  const change_hook hook_ = [this](const std::string &path) {
    if (plan_.before_change) plan_.before_change(++changes_, path);
  };
};

}  // namespace

std::vector<std::array<std::uint8_t, 6>> distinct_spreads(const std::vector<const sale *> &sales,
                                                          std::uint32_t fewest) {
  std::vector<std::array<std::uint8_t, 6>> spreads;
  spreads.reserve(sales.size());
  for (const sale *s : sales) {
    std::array<std::uint8_t, 6> spread{};
    for (std::size_t i = 0; i < 6; ++i) spread[i] = static_cast<std::uint8_t>(s->ivs[i]);
    spreads.push_back(spread);
  }
  std::sort(spreads.begin(), spreads.end());
  std::vector<std::array<std::uint8_t, 6>> kept;
  for (std::size_t i = 0; i < spreads.size();) {
    std::size_t j = i;
    while (j < spreads.size() && spreads[j] == spreads[i]) ++j;
    if (j - i >= fewest) kept.push_back(spreads[i]);
    i = j;
  }
  return kept;
}

std::size_t measuring_splits(std::size_t rows, const run_plan &plan) {
  if (!plan.species_files || rows < 2) return 1;
  const auto fold = std::min<std::size_t>(
      static_cast<std::size_t>(std::llround(plan.options.holdout * static_cast<double>(rows))),
      rows - 1);
  if (fold == 0) return 1;
  const std::size_t wanted = (measured_sales_wanted + fold - 1) / fold;
  return std::max<std::size_t>(1, std::min({wanted, most_measuring_splits, rows / fold}));
}

bool train_run(const std::vector<species_plan> &species, const run_plan &plan,
               const run_events &events, std::vector<species_report> *reports, std::string *error) {
  training_run run(species, plan, events);
  return run.run(reports, error);
}
