// A whole training run: the same files whatever the number of threads, species files that
// describe the sales their networks learned from, the built-in names, and files put in
// place so that a run killed at any rename never leaves a species priced from a mix.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "model/model_orvanta.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"
#include "model/species_file.hpp"
#include "train/species_names.hpp"
#include "train/train_files.hpp"
#include "train/train_generations.hpp"
#include "train/train_run.hpp"

namespace {

namespace fs = std::filesystem;

std::string species_file_path(const std::string &dir, std::uint32_t nid) {
  return (fs::path(dir) / species_file_name(nid)).string();
}

std::string slurp(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file of a folder by name, with its bytes (not the files of its folders).
std::map<std::string, std::string> folder(const fs::path &dir) {
  std::map<std::string, std::string> files;
  for (const auto &entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = slurp(entry.path());
  return files;
}

// Sales of one species on a few repeated spreads (so that held-out sales also rate 0),
// price rising with HP and Atk.
std::vector<sale> sales_of(std::uint32_t nid, std::size_t count, std::uint64_t seed) {
  std::vector<sale> sales;
  seeded_random random(seed);
  for (std::size_t i = 0; i < count; ++i) {
    sale s;
    s.row = i + 1;
    s.nid = nid;
    s.shiny = static_cast<std::uint32_t>(random.below(2));
    const std::uint32_t base = 10 + static_cast<std::uint32_t>(random.below(6));
    for (std::size_t k = 0; k < 6; ++k) s.ivs[k] = base + static_cast<std::uint32_t>(k);
    s.price = s.network_price =
        static_cast<std::uint32_t>(100000 + 9000 * (s.ivs[0] + s.ivs[1]) * (1 + 4 * s.shiny));
    sales.push_back(s);
  }
  return sales;
}

class TrainRun : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("orvanta_train_run_" + std::to_string(::getpid()));
    fs::create_directories(root_);
    plan_.options.hidden = 4;
    plan_.options.layers = 1;
    plan_.options.epochs = 5;
    plan_.options.seed = 3;
    for (std::uint32_t nid : {133u, 700u, 25u}) {
      species_plan p;
      p.nid = nid;
      p.sales = sales_of(nid, 40, nid);
      p.name = nid == 700 ? "Testmon" : species_name(nid);
      if (nid == 133) p.hidden_power_types = {8};
      species_.push_back(p);
    }
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string dir(const std::string &name) {
    fs::create_directories(root_ / name);
    return (root_ / name).string();
  }

  std::vector<species_report> run(const std::string &out) {
    plan_.out_dir = out;
    std::vector<species_report> reports;
    std::string error;
    EXPECT_TRUE(train_run(species_, plan_, {}, &reports, &error)) << error;
    return reports;
  }

  fs::path root_;
  run_plan plan_;
  std::vector<species_plan> species_;
};

}  // namespace

TEST(SpeciesNames, NationalOrderFromBulbasaurToGenesect) {
  EXPECT_EQ(species_name(0), nullptr);
  EXPECT_EQ(species_name(650), nullptr);
  const std::map<std::uint32_t, std::string> known = {
      {1, "Bulbasaur"},  {25, "Pikachu"},    {29, "Nidoran♀"},   {32, "Nidoran♂"},
      {58, "Growlithe"}, {59, "Arcanine"},   {83, "Farfetch'd"}, {86, "Seel"},
      {87, "Dewgong"},   {116, "Horsea"},    {117, "Seadra"},    {120, "Staryu"},
      {121, "Starmie"},  {122, "Mr. Mime"},  {123, "Scyther"},   {133, "Eevee"},
      {151, "Mew"},      {152, "Chikorita"}, {212, "Scizor"},    {230, "Kingdra"},
      {250, "Ho-Oh"},    {251, "Celebi"},    {252, "Treecko"},   {386, "Deoxys"},
      {387, "Turtwig"},  {439, "Mime Jr."},  {474, "Porygon-Z"}, {493, "Arceus"},
      {494, "Victini"},  {649, "Genesect"}};
  for (const auto &[nid, name] : known) EXPECT_EQ(species_name(nid), name) << nid;
  std::set<std::string> distinct;
  for (std::uint32_t nid = 1; nid <= highest_named_species; ++nid) {
    const std::string name = species_name(nid);
    EXPECT_TRUE(!name.empty() && name.size() <= 64) << nid;
    distinct.insert(name);
  }
  EXPECT_EQ(distinct.size(), highest_named_species);
}

TEST_F(TrainRun, TheFilesDoNotDependOnTheNumberOfThreads) {
  run(dir("one"));
  plan_.jobs = 4;
  const std::vector<species_report> reports = run(dir("four"));
  const auto one = folder(root_ / "one");
  EXPECT_EQ(one.size(), 12u);  // three networks and a species file for each species
  EXPECT_EQ(one, folder(root_ / "four"));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].nid, 133u);  // in the order asked for, whatever finished first
  EXPECT_EQ(reports[2].nid, 25u);
}

TEST_F(TrainRun, TheSpeciesFileDescribesTheSalesItsNetworksLearnedFrom) {
  plan_.margin = 0.25;
  plan_.near = 3;
  plan_.since = "2024-05-01";
  species_[0].sales[0].date = "2024-05-02";
  species_[0].sales[1].date = "2024-07-30";
  const std::vector<species_report> reports = run(dir("a"));
  const std::string out = (root_ / "a").string();
  const std::string text = slurp(species_file_path(out, 133));
  const nlohmann::json file = nlohmann::json::parse(text);
  EXPECT_EQ(file["format"], "orvanta-species-1");
  EXPECT_EQ(file["nid"], 133);
  EXPECT_EQ(file["name"], "Eevee");
  EXPECT_EQ(file["hidden_power_types"], nlohmann::json::array({"Fire"}));
  EXPECT_EQ(file["hidden_power_base_price"], 500000);
  EXPECT_EQ(file["lowest_price_margin"], 0.25);
  EXPECT_EQ(file["highest_price_margin"], 0.25);
  EXPECT_EQ(file["near_match_window"].size(), 6u);
  for (const auto &w : file["near_match_window"]) EXPECT_EQ(w, nlohmann::json::array({3, 3}));
  // The distinct spreads the networks were trained on: six spreads were drawn.
  EXPECT_EQ(file["reference_spreads"].size(), 6u);
  const std::vector<bool> held_out = choose_held_out(40, plan_.options.holdout, 3, 133);
  std::set<std::vector<int>> trained;
  for (std::size_t i = 0; i < 40; ++i)
    if (!held_out[i])
      trained.insert(
          std::vector<int>(species_[0].sales[i].ivs.begin(), species_[0].sales[i].ivs.end()));
  std::set<std::vector<int>> written;
  for (const auto &s : file["reference_spreads"]) written.insert(s.get<std::vector<int>>());
  EXPECT_EQ(written, trained);
  // Eight held-out sales: too few, so every sale is measured, on five folds of eight, each
  // by networks trained without it; all on spreads sold at least twice: rating 0 is
  // measured, 1 and 2 are not.
  EXPECT_EQ(reports[0].held_out_rows, 8u);
  EXPECT_EQ(reports[0].rating_rows[0], 40u);
  EXPECT_EQ(file["training"]["measured_rows"], 40);
  ASSERT_EQ(file["expected_error"].size(), 3u);
  EXPECT_NEAR(file["expected_error"][0].get<double>(), reports[0].rating_error[0] / 100.0, 1e-4);
  EXPECT_TRUE(file["expected_error"][1].is_null());
  EXPECT_TRUE(file["expected_error"][2].is_null());
  // --margin fixes both margins: no rating has its own, the share inside is still measured.
  EXPECT_FALSE(file.contains("range_margins"));
  EXPECT_EQ(file["range_coverage"][0], reports[0].range.coverage[0]);
  EXPECT_TRUE(file["range_coverage"][1].is_null());
  EXPECT_EQ(file["fixed_prices"], false);
  for (int k = 1; k <= 3; ++k)
    EXPECT_EQ(file["networks"]["m" + std::to_string(k)],
              *sha256_file_hex(network_path(out, 133, k).c_str(), nullptr));
  EXPECT_EQ(file["training"]["rows"], 32);
  EXPECT_EQ(file["training"]["seed"], 3);
  EXPECT_EQ(file["training"]["dates"]["first"], "2024-05-02");
  EXPECT_EQ(file["training"]["dates"]["last"], "2024-07-30");
  EXPECT_EQ(file["training"]["dates"]["since"], "2024-05-01");
  EXPECT_TRUE(
      nlohmann::json::parse(slurp(species_file_path(out, 700)))["training"]["dates"].is_null());
  EXPECT_EQ(nlohmann::json::parse(slurp(species_file_path(out, 700)))["hidden_power_types"],
            nlohmann::json::array());
}

TEST_F(TrainRun, WithoutSpeciesFilesOnlyTheNetworksAreWritten) {
  plan_.species_files = false;
  run(dir("a"));
  EXPECT_EQ(folder(root_ / "a").size(), 9u);
  EXPECT_FALSE(fs::exists(species_file_path((root_ / "a").string(), 133)));
}

// ***  Killed at any change of a name: each species whole (old or new) or refused, never a
// mix, and previous/ holding one whole generation of it or none

namespace {

using files = std::map<std::string, std::string>;

// A species' own files in a folder (its species file and three networks), by name.
files generation(const fs::path &dir, std::uint32_t nid) {
  files own;
  for (const std::string &name : generation_file_names(nid))
    if (fs::exists(dir / name)) own[name] = slurp(dir / name);
  return own;
}

// How a reader finds a species in the folder: the name of the generation it would price
// from, "refused" when its species file is damaged, its checksums fail or a network is
// missing, "mix" otherwise.
std::string species_state(const fs::path &dir, std::uint32_t nid,
                          const std::map<std::string, files> &known) {
  const files own = generation(dir, nid);
  for (const auto &[name, generation_files] : known)
    if (own == generation_files) return name;
  const species_file file = read_species_file(dir.c_str(), nid);
  if (file.state == species_file_state::damaged) return "refused";
  for (int k = 1; k <= 3; ++k) {
    const std::string network = fs::path(network_path("", nid, k)).filename();
    if (own.count(network) == 0) return "refused";
    if (file.state == species_file_state::valid && file.description.networks.has_value() &&
        (*file.description.networks)[static_cast<std::size_t>(k - 1)] !=
            sha256_hex(own.at(network)))
      return "refused";
  }
  return "mix";
}

// What previous/ holds of the species: the name of a known generation, "none", or "other".
std::string previous_state(const fs::path &dir, std::uint32_t nid,
                           const std::map<std::string, files> &known) {
  if (!has_previous_generation(dir.string(), nid)) return "none";
  const files kept = generation(previous_folder(dir.string()), nid);
  for (const auto &[name, generation_files] : known)
    if (kept == generation_files) return name;
  return "other";
}

// What the window would show for the species' first sale from that folder: the status and
// the average price (0 unless priced).
std::pair<int, std::uint32_t> prediction(const fs::path &dir, const species_plan &p) {
  const std::unique_ptr<app_model, decltype(&free_app_model)> model(create_app_model(),
                                                                    &free_app_model);
  std::array<std::string, 6> iv;
  for (std::size_t i = 0; i < 6; ++i) iv[i] = std::to_string(p.sales[0].ivs[i]);
  const int status = predict_price(model.get(), 0, std::to_string(p.nid).c_str(), "50",
                                   iv[0].c_str(), iv[1].c_str(), iv[2].c_str(), iv[3].c_str(),
                                   iv[4].c_str(), iv[5].c_str(), dir.c_str(), nullptr);
  return {status, status == PREDICTION_DONE ? get_average_prediction(model.get()) : 0};
}

using change_hook_slot = std::function<void(std::size_t, const std::string &)>;

// Runs `change` in a child process killed just before the first change (hooked through
// *hook, numbered from 1) that `stop` picks; true when it was killed, false when it
// finished first.
bool killed_when(const std::function<bool(std::size_t, const std::string &)> &stop,
                 change_hook_slot *hook, const std::function<bool()> &change) {
  *hook = [stop](std::size_t number, const std::string &path) {
    if (stop(number, path)) ::raise(SIGKILL);
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(change() ? 0 : 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  *hook = nullptr;
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return true;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return false;
}

bool killed_at(std::size_t stop, change_hook_slot *hook, const std::function<bool()> &change) {
  return killed_when([stop](std::size_t number, const std::string &) { return number == stop; },
                     hook, change);
}

// Files under a temporary name anywhere below `dir`.
std::vector<std::string> temporaries(const fs::path &dir) {
  std::vector<std::string> found;
  for (const auto &entry : fs::recursive_directory_iterator(dir))
    if (entry.path().string().ends_with(".tmp")) found.push_back(entry.path().string());
  return found;
}

}  // namespace

TEST_F(TrainRun, KilledAtAnyChangeEachSpeciesIsWholeOrRefused) {
  species_.resize(1);  // 133, a built-in species: without species files the table prices it
  struct start {
    const char *name;
    bool species_files;      // the earlier runs wrote species files
    bool unchecked;          // ... and a seller then removed their checksums
    bool new_species_files;  // the killed run writes species files
  };
  for (const start &c : {start{"over species files", true, false, true},
                         start{"over bare networks", false, false, true},
                         start{"over species files without checksums", true, true, true},
                         start{"over species files, writing none", true, false, false}}) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    // Two earlier runs: previous/ holds the first, the folder the second.
    plan_.species_files = c.species_files;
    const std::string base = dir("base");
    std::map<std::string, files> known;
    for (const std::uint64_t seed : {2u, 3u}) {
      plan_.options.seed = seed;
      run(base);
    }
    for (const species_plan &p : species_) {
      if (!c.unchecked) continue;
      species_file file = read_species_file(base.c_str(), p.nid);
      file.description.networks.reset();
      std::ofstream(species_file_path(base, p.nid)) << format_species_file(&file.description);
    }
    plan_.options.seed = 4;
    plan_.species_files = c.new_species_files;
    run(dir("new"));
    std::map<std::uint32_t, std::map<std::string, files>> generations;
    for (const species_plan &p : species_) {
      generations[p.nid]["first"] = generation(previous_folder(base), p.nid);
      generations[p.nid]["old"] = generation(base, p.nid);
      generations[p.nid]["new"] = generation(root_ / "new", p.nid);
    }
    bool finished = false;
    for (std::size_t stop = 1; !finished; ++stop) {
      SCOPED_TRACE("killed at change " + std::to_string(stop));
      const fs::path out = root_ / ("run" + std::to_string(stop));
      fs::copy(base, out, fs::copy_options::recursive);
      plan_.out_dir = out.string();
      finished = !killed_at(stop, &plan_.before_change, [&] {
        std::vector<species_report> reports;
        std::string error;
        return train_run(species_, plan_, {}, &reports, &error);
      });
      for (const species_plan &p : species_) {
        const std::string state = species_state(out, p.nid, generations[p.nid]);
        EXPECT_TRUE(state == "old" || state == "new" || state == "refused")
            << p.nid << " " << state;
        const std::string kept = previous_state(out, p.nid, generations[p.nid]);
        EXPECT_TRUE(kept == "first" || kept == "old" || kept == "none") << p.nid << " " << kept;
        // As the pipeline reads the folder: the old answer, the new one, or refused.
        const auto got = prediction(out, p);
        EXPECT_TRUE(got == prediction(base, p) || got == prediction(root_ / "new", p) ||
                    got.first == PREDICTION_FAILED)
            << p.nid << ": status " << got.first << ", " << got.second;
        if (stop == 1) {
          EXPECT_EQ(state, "old");  // nothing changed before the first change
        }
        // Whatever was stopped is completed by the next run that touches the species.
        std::string error;
        ASSERT_TRUE(complete_interrupted_change(out.string(), p.nid, nullptr, nullptr, &error))
            << error;
        const std::string after = species_state(out, p.nid, generations[p.nid]);
        EXPECT_TRUE(after == "old" || after == "new") << after;
        EXPECT_EQ(previous_state(out, p.nid, generations[p.nid]), after == "new" ? "old" : "first");
      }
      if (finished) {
        // The folder as the run wrote it, its earlier files in previous/, nothing left over.
        EXPECT_EQ(folder(out), folder(root_ / "new"));
        for (const auto &entry : fs::directory_iterator(previous_folder(out.string()))) {
          const std::string name = entry.path().filename();
          EXPECT_TRUE(name.ends_with(".tp") || name.ends_with("_species.json") ||
                      name.ends_with("_generation.json"))
              << name;
        }
      }
    }
  }
}

TEST_F(TrainRun, ARestoreKilledAtAnyChangeLosesNeitherGeneration) {
  species_.resize(1);
  const std::string base = dir("base");
  plan_.species_files = false;  // the earlier generation: bare networks
  run(base);
  std::string error;
  EXPECT_FALSE(restore_generation(base, 700, nullptr, &error));
  EXPECT_NE(error.find("holds no earlier generation of species 700"), std::string::npos) << error;
  plan_.species_files = true;
  plan_.options.seed = 5;
  run(base);
  const std::map<std::string, files> known = {{"old", generation(previous_folder(base), 133)},
                                              {"new", generation(base, 133)}};
  ASSERT_EQ(known.at("old").size(), 3u);
  ASSERT_EQ(known.at("new").size(), 4u);
  const species_plan &p = species_[0];
  fs::copy(base, root_ / "restored", fs::copy_options::recursive);
  ASSERT_TRUE(restore_generation((root_ / "restored").string(), 133, nullptr, &error)) << error;
  const auto old_answer = prediction(root_ / "restored", p), new_answer = prediction(base, p);
  ASSERT_NE(old_answer, new_answer);
  bool finished = false;
  for (std::size_t stop = 1; !finished; ++stop) {
    SCOPED_TRACE("killed at change " + std::to_string(stop));
    const fs::path out = root_ / ("restore" + std::to_string(stop));
    fs::copy(base, out, fs::copy_options::recursive);
    std::function<void(std::size_t, const std::string &)> hook;
    std::size_t changes = 0;
    finished = !killed_at(stop, &hook, [&] {
      return restore_generation(
          out.string(), 133, [&](const std::string &path) { hook(++changes, path); }, &error);
    });
    const std::string state = species_state(out, 133, known);
    EXPECT_TRUE(state == "old" || state == "new" || state == "refused") << state;
    const std::string kept = previous_state(out, 133, known);
    EXPECT_TRUE(kept == "old" || kept == "new" || kept == "none") << kept;
    const auto got = prediction(out, p);
    EXPECT_TRUE(got == old_answer || got == new_answer || got.first == PREDICTION_FAILED);
    // Completed (or never begun): one generation in place, the other kept, byte for byte.
    ASSERT_TRUE(complete_interrupted_change(out.string(), 133, nullptr, nullptr, &error)) << error;
    const std::string after = species_state(out, 133, known);
    EXPECT_TRUE(after == "old" || after == "new") << after;
    EXPECT_EQ(previous_state(out, 133, known), after == "old" ? "new" : "old");
    if (finished) {
      EXPECT_EQ(after, "old");
      // A second restore undoes the first.
      ASSERT_TRUE(restore_generation(out.string(), 133, nullptr, &error)) << error;
      EXPECT_EQ(species_state(out, 133, known), "new");
      EXPECT_EQ(previous_state(out, 133, known), "old");
    }
  }
}

TEST_F(TrainRun, AFailedRunLeavesTheEarlierFilesWhole) {
  const std::string out = dir("a");
  run(out);
  const auto before = folder(out);
  // The species file's temporary name is taken by a folder: nothing of 133 may change.
  fs::create_directories(temporary_path(species_file_path(out, 133)));
  plan_.options.seed = 9;
  species_.resize(1);
  std::vector<species_report> reports;
  std::string error;
  EXPECT_FALSE(train_run(species_, plan_, {}, &reports, &error));
  EXPECT_NE(error.find("133_species.json"), std::string::npos) << error;
  fs::remove(temporary_path(species_file_path(out, 133)));
  EXPECT_EQ(folder(out), before);
  // A network in place that is no regular file is refused as it is kept, never read on.
  fs::remove(network_path(out, 133, 1));
  fs::create_symlink("/dev/zero", network_path(out, 133, 1));
  EXPECT_FALSE(train_run(species_, plan_, {}, &reports, &error));
  EXPECT_NE(error.find("133_m1.tp is not a regular file"), std::string::npos) << error;
}

TEST_F(TrainRun, FilesOfARunKilledBeforeItsRecordNeverComeIntoPlace) {
  species_.resize(1);  // 133: without a species file the built-in table prices it
  const std::string base = dir("base");
  plan_.species_files = false;  // previous/ will hold bare networks
  run(base);
  plan_.species_files = true;
  plan_.options.seed = 5;
  run(base);
  const std::map<std::string, files> known = {{"bare", generation(previous_folder(base), 133)},
                                              {"filed", generation(base, 133)}};
  // Killed as it records its change: its files wait under temporary names in both folders.
  plan_.options.seed = 6;
  plan_.out_dir = base;
  ASSERT_TRUE(killed_when(
      [](std::size_t, const std::string &path) { return path.ends_with("_change.json"); },
      &plan_.before_change,
      [&] {
        std::vector<species_report> reports;
        std::string error;
        return train_run(species_, plan_, {}, &reports, &error);
      }));
  ASSERT_TRUE(fs::exists(temporary_path(species_file_path(base, 133))));
  const species_plan &p = species_[0];

  // A run that writes no species file: its networks, priced by the built-in table.
  const fs::path bare = root_ / "bare";
  fs::copy(base, bare, fs::copy_options::recursive);
  plan_.species_files = false;
  plan_.options.seed = 7;
  run(bare.string());
  EXPECT_FALSE(fs::exists(species_file_path(bare.string(), 133)));
  EXPECT_EQ(prediction(bare, p).first, PREDICTION_DONE);
  EXPECT_EQ(previous_state(bare, 133, known), "filed");
  EXPECT_EQ(temporaries(bare), std::vector<std::string>());

  // A restore: the bare networks back, alone.
  std::string error;
  ASSERT_TRUE(restore_generation(base, 133, nullptr, &error)) << error;
  EXPECT_EQ(species_state(base, 133, known), "bare");
  EXPECT_EQ(previous_state(base, 133, known), "filed");
  EXPECT_EQ(prediction(base, p).first, PREDICTION_DONE);
  EXPECT_EQ(temporaries(base), std::vector<std::string>());
}
