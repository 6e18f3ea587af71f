// A whole training run: the same files whatever the number of threads, species files that
// describe the sales their networks learned from, the built-in names, and files put in
// place so that a run killed at any rename never leaves a species priced from a mix.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> folder(const fs::path &dir) {
  std::map<std::string, std::string> files;
  for (const auto &entry : fs::directory_iterator(dir))
    files[entry.path().filename().string()] = slurp(entry.path());
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
  // Eight held-out sales, all on trained spreads: rating 0 is measured, 1 and 2 are not.
  EXPECT_EQ(reports[0].rating_rows[0], 8u);
  ASSERT_EQ(file["expected_error"].size(), 3u);
  EXPECT_NEAR(file["expected_error"][0].get<double>(), reports[0].rating_error[0] / 100.0, 1e-4);
  EXPECT_TRUE(file["expected_error"][1].is_null());
  EXPECT_TRUE(file["expected_error"][2].is_null());
  for (int k = 1; k <= 3; ++k)
    EXPECT_EQ(file["networks"]["m" + std::to_string(k)],
              *sha256_file_hex(network_path(out, 133, k).c_str()));
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

// ***  Killed at a rename: each species whole (old or new) or refused, never a mix

namespace {

// How a reader finds a species in the folder, from the files alone: "old" or "new" when
// it would price from one set, "refused" when its species file's checksums fail or a
// network is missing, "mix" when it would price from networks of two runs.
std::string species_state(const fs::path &dir, std::uint32_t nid,
                          const std::map<std::string, std::string> &old_files,
                          const std::map<std::string, std::string> &new_files) {
  const std::string species_path = species_file_path(dir.string(), nid);
  std::array<std::string, 3> networks;
  for (int k = 1; k <= 3; ++k) {
    const fs::path path = network_path(dir.string(), nid, k);
    if (!fs::exists(path)) return "refused";
    networks[k - 1] = slurp(path);
  }
  if (fs::exists(species_path)) {
    const nlohmann::json file = nlohmann::json::parse(slurp(species_path));
    for (int k = 1; k <= 3; ++k)
      if (file["networks"]["m" + std::to_string(k)] != sha256_hex(networks[k - 1]))
        return "refused";
  }
  const auto from = [&](const std::map<std::string, std::string> &set) {
    for (int k = 1; k <= 3; ++k) {
      const std::string name = fs::path(network_path("", nid, k)).filename().string();
      const auto it = set.find(name);
      if (it == set.end() || it->second != networks[k - 1]) return false;
    }
    return true;
  };
  if (from(old_files)) return "old";
  if (from(new_files)) return "new";
  return "mix";
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

}  // namespace

TEST_F(TrainRun, KilledAtAnyRenameEachSpeciesIsWholeOrRefused) {
  species_.resize(2);
  for (const bool earlier_species_files : {true, false}) {
    SCOPED_TRACE(earlier_species_files ? "over species files" : "over bare networks");
    fs::remove_all(root_);
    plan_.options.seed = 3;
    plan_.species_files = earlier_species_files;
    run(dir("old"));
    const auto old_files = folder(root_ / "old");
    plan_.options.seed = 4;
    plan_.species_files = true;
    run(dir("new"));
    const auto new_files = folder(root_ / "new");
    // Two species, four renames each, one more for each species guarded by its new
    // species file first.
    const std::size_t renames = earlier_species_files ? 8 : 10;
    for (std::size_t stop = 1; stop <= renames + 1; ++stop) {
      SCOPED_TRACE("killed at rename " + std::to_string(stop));
      const fs::path out = root_ / ("run" + std::to_string(stop));
      fs::copy(root_ / "old", out);
      plan_.out_dir = out.string();
      plan_.before_rename = [stop](std::size_t number, const std::string &) {
        if (number == stop) ::raise(SIGKILL);
      };
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        std::vector<species_report> reports;
        std::string error;
        ::_exit(train_run(species_, plan_, {}, &reports, &error) ? 0 : 1);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      if (stop <= renames) {
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      } else {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      }
      std::set<std::string> states;
      for (const species_plan &p : species_) {
        const std::string state = species_state(out, p.nid, old_files, new_files);
        EXPECT_NE(state, "mix") << p.nid;
        states.insert(state);
        // As the pipeline reads the folder: the old answer, the new one, or refused.
        const auto got = prediction(out, p);
        EXPECT_TRUE(got == prediction(root_ / "old", p) || got == prediction(root_ / "new", p) ||
                    got.first == PREDICTION_FAILED)
            << p.nid << ": status " << got.first << ", " << got.second;
      }
      // Killed before the first rename, the earlier files are all still there.
      if (stop == 1) {
        EXPECT_EQ(states, std::set<std::string>{"old"});
      }
      if (stop == renames + 1) {
        EXPECT_EQ(states, std::set<std::string>{"new"});
        auto finished = folder(out);
        EXPECT_EQ(finished, new_files);  // no temporary file left behind
      }
    }
    plan_.before_rename = nullptr;
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
}
