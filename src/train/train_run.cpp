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

#include "model/coverage.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"
#include "model/species_file.hpp"
#include "train/train_files.hpp"

namespace {

// A species being trained: its rows split once, its examples shared by its three networks.
struct species_state {
  const species_plan *plan = nullptr;
  std::vector<const sale *> training, measuring;
  std::vector<training_example> examples;
  std::array<perceptron_ptr, 3> networks;
  std::atomic<int> networks_left{3};
  species_report report;
};

// The expected error of a rating: the median as a fraction, to four decimals; nothing
// for fewer than five held-out sales.
std::optional<double> expected_error(double percent, std::size_t rows) {
  if (rows < 5 || std::isnan(percent)) return std::nullopt;
  return std::round(percent * 100.0) / 10000.0;
}

std::string training_record(const species_state &s, const run_plan &plan) {
  nlohmann::ordered_json t;
  t["rows"] = s.training.size();
  t["held_out_rows"] = s.measuring.size();
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
      if (!prepare(&s)) {
        *error = error_;
        return false;
      }
      for (int k = 1; k <= 3; ++k) tasks_.emplace_back(&s, k);
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
    const std::vector<bool> held_out =
        choose_held_out(p.sales.size(), plan_.options.holdout, plan_.options.seed, p.nid);
    for (std::size_t i = 0; i < p.sales.size(); ++i)
      (held_out[i] ? s->measuring : s->training).push_back(&p.sales[i]);
    if (s->training.empty()) {
      error_ = "species " + std::to_string(p.nid) + ": no sales to train on";
      return false;
    }
    if (!make_examples(s->training, &s->examples)) {
      error_ = "out of memory";
      return false;
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
      species_state *s = tasks_[t].first;
      const int k = tasks_[t].second;
      const std::uint32_t nid = s->plan->nid;
      perceptron *p =
          train_species_network(nid, k, s->examples, plan_.options, [&](std::uint32_t epoch) {
            if (failed_) return false;
            if (events_.epoch) {
              const std::lock_guard<std::mutex> lock(events_lock_);
              events_.epoch(nid, k, epoch, plan_.options.epochs);
            }
            return true;
          });
      if (p == nullptr) {
        if (!failed_) fail("species " + std::to_string(nid) + ": out of memory while training");
        return;
      }
      s->networks[static_cast<std::size_t>(k - 1)].reset(p);
      if (events_.network_done) {
        const std::lock_guard<std::mutex> lock(events_lock_);
        events_.network_done(nid, k);
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

  // Renames one temporary file into place, after the test hook.
  bool place(const std::string &path, std::string *error) {
    if (plan_.before_rename) plan_.before_rename(++renames_, path);
    return rename_into_place(path, error);
  }

  bool finish(species_state *s, std::string *error) {
    const std::uint32_t nid = s->plan->nid;
    std::array<std::string, 3> paths;
    for (int k = 1; k <= 3; ++k) paths[k - 1] = network_path(plan_.out_dir, nid, k);
    const std::string species_path =
        (std::filesystem::path(plan_.out_dir) / species_file_name(nid)).string();
    const auto clean = [&] {
      for (const std::string &p : paths) remove_temporary(p);
      remove_temporary(species_path);
    };

    // The networks, written whole and flushed under their temporary names.
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string temporary = temporary_path(paths[k]);
      if (save_perceptron(s->networks[k].get(), temporary.c_str()) != 0) {
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
    species_description d;
    d.nid = nid;
    d.name = s->plan->name;
    for (std::size_t i = 0; i < 3 && i < s->plan->hidden_power_types.size(); ++i)
      d.hidden_power_types[i] = s->plan->hidden_power_types[i];
    d.hidden_power_base_price = trained_hidden_power_base_price;
    d.lowest_price_margin = d.highest_price_margin = plan_.margin;
    d.reference_spreads = distinct_spreads(s->training);
    if (d.reference_spreads.size() > 100000) d.reference_spreads.resize(100000);
    std::array<iv_window, 6> window;
    for (iv_window &w : window)
      w.below = w.above = static_cast<std::uint8_t>(std::min<std::uint32_t>(plan_.near, 31));
    d.near_match_window = window;
    // Each held-out sale is rated as the window will rate it: by the species file, or,
    // without one, by the built-in table where it knows the species.
    const species_description *built_in = find_built_in_species(nid);
    const species_description *rating = plan_.species_files || built_in == nullptr ? &d : built_in;
    const auto rate = [rating](const sale &x) {
      return rate_spread(rating, x.ivs[0], x.ivs[1], x.ivs[2], x.ivs[3], x.ivs[4], x.ivs[5]);
    };
    const std::string name = s->report.name;
    const std::size_t sales_count = s->report.usable_sales;
    const std::string first = s->report.first_date, last = s->report.last_date;
    if (!measure_species(nid, {loaded[0].get(), loaded[1].get(), loaded[2].get()}, s->training,
                         s->measuring, rate, &s->report)) {
      clean();
      *error = "out of memory";
      return false;
    }
    s->report.name = name;
    s->report.usable_sales = sales_count;
    s->report.first_date = first;
    s->report.last_date = last;

    std::string species_text;
    if (plan_.species_files) {
      for (std::size_t r = 0; r < 3; ++r)
        d.expected_error[r] = expected_error(s->report.rating_error[r], s->report.rating_rows[r]);
      std::array<std::string, 3> sums;
      for (std::size_t k = 0; k < 3; ++k) {
        const std::optional<std::string> sum = sha256_file_hex(temporary_path(paths[k]).c_str());
        if (!sum.has_value()) {
          clean();
          *error = "cannot read back " + temporary_path(paths[k]);
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

    // Into place: the three networks, then the species file that names them, so that a
    // reader sees either the old set or the new one (a mix fails its checksums). Old
    // networks without a species file have nothing to guard them: the new species file
    // goes first then, so that until the last network is in place the species is refused
    // rather than priced from a mix, and is put in place again after them.
    const std::lock_guard<std::mutex> lock(rename_lock_);
    bool ok = true;
    if (plan_.species_files && !std::filesystem::exists(species_path) &&
        std::any_of(paths.begin(), paths.end(),
                    [](const std::string &p) { return std::filesystem::exists(p); })) {
      ok = place(species_path, error) && write_temporary(species_path, species_text, error);
    }
    for (std::size_t k = 0; k < 3 && ok; ++k) ok = place(paths[k], error);
    if (ok && plan_.species_files) ok = place(species_path, error);
    if (!ok) {
      clean();
      return false;
    }
    return flush_folder(plan_.out_dir, error);
  }

  const run_plan &plan_;
  const run_events &events_;
  std::vector<species_state> states_;
  std::vector<std::pair<species_state *, int>> tasks_;
  std::atomic<std::size_t> next_task_{0};
  std::atomic<bool> failed_{false};
  std::mutex events_lock_;  // one event at a time; guards error_
  std::string error_;
  std::mutex rename_lock_;  // one species' renames at a time
  std::size_t renames_ = 0;
};

}  // namespace

std::vector<std::array<std::uint8_t, 6>> distinct_spreads(const std::vector<const sale *> &sales) {
  std::vector<std::array<std::uint8_t, 6>> spreads;
  spreads.reserve(sales.size());
  for (const sale *s : sales) {
    std::array<std::uint8_t, 6> spread{};
    for (std::size_t i = 0; i < 6; ++i) spread[i] = static_cast<std::uint8_t>(s->ivs[i]);
    spreads.push_back(spread);
  }
  std::sort(spreads.begin(), spreads.end());
  spreads.erase(std::unique(spreads.begin(), spreads.end()), spreads.end());
  return spreads;
}

bool train_run(const std::vector<species_plan> &species, const run_plan &plan,
               const run_events &events, std::vector<species_report> *reports, std::string *error) {
  training_run run(species, plan, events);
  return run.run(reports, error);
}
