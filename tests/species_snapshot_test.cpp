// Species files in the pipeline, the search path of networks folders, and pricing from a
// species loaded once: the same answers as one predict_price per prediction.
#include "model/species_snapshot.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "model/model_orvanta.hpp"
#include "model/ptp_path.hpp"
#include "model/sha256.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace fs = std::filesystem;

namespace {

struct model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};
using model_ptr = std::unique_ptr<app_model, model_deleter>;

// A network whose four outputs are sigmoid(bias) whatever the input, except output 0,
// which rises with the shiny flag when `shiny_weight` is set.
void write_net(const fs::path &file, std::array<double, 4> bias, double shiny_weight = 0.0) {
  perceptron_ptr p(create_perceptron(8, 1, 4, 1, 0.1));
  ASSERT_NE(p, nullptr);
  matrix *hidden = get_hl_weights(p.get())[0];
  for (std::uint32_t j = 0; j < 8; ++j) set_element(hidden, 0, j, 0.0);
  set_element(hidden, 0, 0, shiny_weight);
  for (std::uint32_t r = 0; r < 4; ++r) {
    set_element(get_o_weights(p.get()), r, 0, r == 0 && shiny_weight != 0.0 ? 1.0 : 0.0);
    set_element(get_o_bias(p.get()), r, 0, bias[r]);
  }
  ASSERT_EQ(save_perceptron(p.get(), file.string().c_str()), 0);
}

void write_text(const fs::path &file, const std::string &text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::string read_text(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The three networks of a species (tier 1,200,000: prices near 0.5 of it).
void write_networks(const fs::path &dir, const std::string &nid_text) {
  write_net(dir / (nid_text + "_m1.tp"), {3.0, -3.0, -3.0, 0.1});
  write_net(dir / (nid_text + "_m2.tp"), {3.0, -3.0, -3.0, 0.2}, 2.0);
  write_net(dir / (nid_text + "_m3.tp"), {3.0, -3.0, -3.0, 0.3});
}

// A species the built-in table does not know, described as a seller would.
species_description vulpix() {
  species_description d;
  d.nid = 37;
  d.name = "Vulpix";
  d.hidden_power_types = {9, 12, -1};  // Water, Psychic
  d.hidden_power_base_price = 250000;
  d.lowest_price_margin = 0.2;
  d.highest_price_margin = 0.05;
  d.reference_spreads = {{20, 21, 22, 23, 24, 25}, {31, 31, 31, 31, 31, 30}};
  d.near_match_window = std::array<iv_window, 6>{{{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 0}}};
  d.expected_error = {0.05, 0.12, std::nullopt};
  return d;
}

void write_species_file(const fs::path &dir, const species_description &d) {
  write_text(dir / species_file_name(d.nid), format_species_file(&d));
}

// The checksums of the networks as they are now in `dir`.
std::array<std::string, 3> sums_of(const fs::path &dir, const std::string &nid_text) {
  std::array<std::string, 3> sums;
  for (int k = 0; k < 3; ++k)
    sums[static_cast<std::size_t>(k)] =
        sha256_hex(read_text(dir / network_file_name(nid_text.c_str(), k + 1)));
  return sums;
}

// Everything a prediction reports: status, model, diagnostic block and details.
struct outcome {
  int status = -1;
  app_model model;
  std::string diagnostics;
  prediction_details details;
};

bool same(const outcome &a, const outcome &b) {
  const app_model &x = a.model, &y = b.model;
  return a.status == b.status && x.hidden_power == y.hidden_power &&
         x.special_price == y.special_price && x.in_range_message == y.in_range_message &&
         x.first_prediction == y.first_prediction && x.second_prediction == y.second_prediction &&
         x.third_prediction == y.third_prediction && x.average_prediction == y.average_prediction &&
         x.lowest_price == y.lowest_price && x.highest_price == y.highest_price &&
         x.hidden_power_power == y.hidden_power_power &&
         x.hidden_power_base_price == y.hidden_power_base_price && a.diagnostics == b.diagnostics &&
         a.details.folder == b.details.folder && a.details.source == b.details.source &&
         a.details.name == b.details.name && a.details.coverage == b.details.coverage &&
         a.details.expected_error == b.details.expected_error &&
         a.details.range_coverage == b.details.range_coverage &&
         a.details.reason == b.details.reason;
}

using form = std::array<const char *, 8>;

class SpeciesFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "orvanta-species-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char *name : {"first", "second", "third"}) fs::create_directory(root_ / name);
    path_ = {(root_ / "first").string(), (root_ / "second").string(), (root_ / "third").string()};
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path dir(std::size_t i) const { return path_[i]; }

  outcome on_path(const form &f, int shiny = 0) {
    outcome o;
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    o.status = predict_price_on_path(&o.model, shiny, f[0], f[1], f[2], f[3], f[4], f[5], f[6],
                                     f[7], path_, out, &o.details);
    std::fclose(out);
    o.diagnostics.assign(buffer, size);
    std::free(buffer);
    return o;
  }
  static outcome from_snapshot(const species_snapshot *s, const form &f, int shiny = 0) {
    outcome o;
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    o.status = predict_price_from_snapshot(s, &o.model, shiny, f[0], f[1], f[2], f[3], f[4], f[5],
                                           f[6], f[7], out, &o.details);
    std::fclose(out);
    o.diagnostics.assign(buffer, size);
    std::free(buffer);
    return o;
  }

  fs::path root_;
  std::vector<std::string> path_;
};

const form plain = {"37", "50", "20", "21", "22", "23", "24", "25"};  // a reference spread

}  // namespace

// *** A species file in place of the built-in table ***

TEST_F(SpeciesFiles, FilePricesASpeciesTheTableDoesNotKnow) {
  EXPECT_EQ(on_path(plain).status, PREDICTION_NOT_PRICED);
  write_networks(dir(0), "37");
  EXPECT_EQ(on_path(plain).status, PREDICTION_NOT_PRICED);  // networks alone do not price
  write_species_file(dir(0), vulpix());
  const outcome o = on_path(plain);
  ASSERT_EQ(o.status, PREDICTION_DONE);
  EXPECT_EQ(o.details.name, "Vulpix");
  EXPECT_EQ(o.details.source, species_file_state::valid);
  EXPECT_EQ(o.details.coverage, 0);
  EXPECT_EQ(o.details.expected_error, 0.05);
  EXPECT_EQ(o.model.in_range_message, "The results are almost perfect");
  // The file's margins: 20% below, 5% above the average.
  const double avg = o.model.average_prediction;
  EXPECT_EQ(o.model.lowest_price, static_cast<std::uint32_t>(avg - avg * 0.2));
  EXPECT_EQ(o.model.highest_price, static_cast<std::uint32_t>(avg * 0.05 + avg));
}

TEST_F(SpeciesFiles, RatingComesFromTheFilesSpreadsAndWindow) {
  write_networks(dir(0), "37");
  species_description d = vulpix();
  write_species_file(dir(0), d);
  const form near = {"37", "50", "21", "20", "22", "23", "24", "25"};
  const form far = {"37", "50", "21", "20", "22", "23", "24", "26"};  // SPD must be equal
  EXPECT_EQ(on_path(near).details.coverage, 1);
  EXPECT_EQ(on_path(near).model.in_range_message, "The results are almost good");
  const outcome o = on_path(far);
  EXPECT_EQ(o.details.coverage, 2);
  EXPECT_FALSE(o.details.expected_error.has_value());  // null in the file
  EXPECT_EQ(o.model.in_range_message->rfind("The results are probably not good", 0), 0U);
  d.near_match_window.reset();  // without a window nothing rates 1
  write_species_file(dir(0), d);
  EXPECT_EQ(on_path(near).details.coverage, 2);
}

TEST_F(SpeciesFiles, ARatingsOwnMarginsReplaceTheSpeciesWideOnes) {
  write_networks(dir(0), "37");
  species_description d = vulpix();
  d.range_margins = {std::array<double, 2>{0.3, 2.5}, std::nullopt, std::nullopt};
  d.range_coverage = {0.81, std::nullopt, 0.6};
  write_species_file(dir(0), d);
  const auto expect_range = [](const outcome &o, double lowest, double highest) {
    const double avg = o.model.average_prediction;
    EXPECT_EQ(o.model.lowest_price, static_cast<std::uint32_t>(avg - avg * lowest));
    EXPECT_EQ(o.model.highest_price, static_cast<std::uint32_t>(avg * highest + avg));
  };
  const outcome perfect = on_path(plain);
  ASSERT_EQ(perfect.status, PREDICTION_DONE);
  expect_range(perfect, 0.3, 2.5);
  EXPECT_EQ(perfect.details.range_coverage, 0.81);
  // Ratings 1 and 2 have no pair of their own: the species-wide 20% and 5%.
  const outcome near = on_path({"37", "50", "21", "20", "22", "23", "24", "25"});
  expect_range(near, 0.2, 0.05);
  EXPECT_FALSE(near.details.range_coverage.has_value());
  const outcome far = on_path({"37", "50", "1", "20", "22", "23", "24", "26"});
  expect_range(far, 0.2, 0.05);
  EXPECT_EQ(far.details.range_coverage, 0.6);
  // Only a finished prediction reports a share.
  EXPECT_FALSE(on_path({"37", "101", "20", "21", "22", "23", "24", "25"})
                   .details.range_coverage.has_value());
}

TEST_F(SpeciesFiles, ARangePastTheLargestAmountStopsThere) {
  // Every network reads the top tier's line at 0.95: about 1,143m, and 11 times that
  // would wrap a 32-bit amount.
  for (int k = 1; k <= 3; ++k)
    write_net(dir(0) / ("37_m" + std::to_string(k) + ".tp"), {3.0, 3.0, 3.0, 3.0});
  species_description d = vulpix();
  d.lowest_price_margin = 1.0;
  d.highest_price_margin = 10.0;
  write_species_file(dir(0), d);
  const outcome o = on_path({"37", "50", "1", "20", "22", "23", "24", "26"});
  ASSERT_EQ(o.status, PREDICTION_DONE);
  EXPECT_GT(o.model.average_prediction, 1100000000U);
  EXPECT_EQ(o.model.lowest_price, 0U);
  EXPECT_EQ(o.model.highest_price, 4294967295U);
}

TEST_F(SpeciesFiles, WithoutFixedPricesEverySpreadGoesToTheNetworks) {
  write_networks(dir(0), "37");
  species_description d = vulpix();
  write_species_file(dir(0), d);
  const std::vector<form> fixed = {{"37", "50", "31", "31", "31", "31", "31", "31"},
                                   {"37", "50", "1", "2", "3", "4", "5", "6"},
                                   {"37", "50", "5", "5", "5", "5", "5", "5"}};
  for (const form &f : fixed) EXPECT_EQ(on_path(f).status, PREDICTION_SPECIAL_PRICE) << f[2];
  d.fixed_prices = false;
  write_species_file(dir(0), d);
  for (const form &f : fixed) {
    app_model m;
    m.special_price = "before";
    const int status = predict_price_on_path(&m, 0, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7],
                                             path_, nullptr, nullptr);
    EXPECT_EQ(status, PREDICTION_DONE) << f[2];
    EXPECT_EQ(m.special_price, "before");  // no fixed-price text composed
    EXPECT_NE(m.average_prediction, 0U);
  }
  // Their limits are checked as for any spread.
  EXPECT_EQ(on_path({"37", "50", "33", "33", "33", "33", "33", "33"}).status, PREDICTION_BAD_IVS);
  species_pricing pricing;
  int rating = -1;
  ASSERT_TRUE(look_up_species(nullptr, &d, {5, 5, 5, 5, 5, 5}, false, &pricing, &rating));
  EXPECT_EQ(pricing.epic_fail + pricing.same_ivs, 0);
}

TEST_F(SpeciesFiles, FileReplacesTheBuiltInEntry) {
  // Starmie (121) earns the addition with Fire in the table; the file says Water only.
  write_networks(dir(0), "121");
  const form fire = {"121", "50", "31", "30", "31", "30", "31", "30"};
  const form water = {"121", "50", "31", "31", "31", "30", "31", "30"};
  const form equal = {"121", "50", "30", "30", "30", "30", "30", "30"};
  EXPECT_NE(on_path(fire).model.hidden_power_power, 0U);
  EXPECT_EQ(on_path(equal).model.special_price,
            "The price for an all IVs the same Starmie \nis around 3m");
  species_description d = vulpix();
  d.nid = 121;
  d.name = "Stella";
  d.hidden_power_types = {9, -1, -1};
  write_species_file(dir(0), d);
  EXPECT_EQ(on_path(fire).model.hidden_power_power, 0U);
  const outcome w = on_path(water);
  ASSERT_EQ(w.status, PREDICTION_DONE);
  EXPECT_EQ(w.model.hidden_power, "Hidden Power:  Water");
  EXPECT_NE(w.model.hidden_power_power, 0U);
  EXPECT_EQ(w.model.hidden_power_base_price, 250000U);
  EXPECT_EQ(on_path(equal).model.special_price,
            "The price for an all IVs the same Stella \nis around 3m");
  EXPECT_EQ(on_path(equal).details.name, "Stella");
}

TEST_F(SpeciesFiles, DamagedFileFailsBeforeAnyCheckAndTouchesNothing) {
  write_networks(dir(0), "121");
  write_text(dir(0) / "121_species.json", "{\"format\": \"orvanta-species-1\"");
  app_model m;
  m.in_range_message = "before";
  m.first_prediction = 7;
  prediction_details details;
  // An unknown level and IVs would be 3 or 4: the file is refused first.
  const int status = predict_price_on_path(&m, 0, "121", "200", "40", "1", "1", "1", "1", "1",
                                           path_, nullptr, &details);
  EXPECT_EQ(status, PREDICTION_FAILED);
  EXPECT_EQ(m.in_range_message, "before");
  EXPECT_FALSE(m.special_price.has_value());
  EXPECT_EQ(m.first_prediction, 7U);
  EXPECT_EQ(details.reason.find(path_[0] + "/121_species.json: "), 0U);
  EXPECT_FALSE(details.name.has_value());
  EXPECT_FALSE(details.coverage.has_value());
  // The single-folder entry reads the same file.
  EXPECT_EQ(
      predict_price(&m, 0, "121", "50", "1", "2", "3", "4", "5", "6", path_[0].c_str(), nullptr),
      PREDICTION_FAILED);
}

TEST_F(SpeciesFiles, ReasonNamesTheNetworkThatFailed) {
  write_networks(dir(0), "121");
  write_text(dir(0) / "121_m2.tp", "not a network\n");
  const outcome o = on_path({"121", "50", "20", "21", "22", "23", "24", "25"});
  EXPECT_EQ(o.status, PREDICTION_FAILED);
  EXPECT_NE(o.details.reason.find("/121_m2.tp is damaged"), std::string::npos);
  fs::remove(dir(0) / "121_m3.tp");
  write_net(dir(0) / "121_m2.tp", {0, 0, 0, 0});
  EXPECT_NE(on_path({"121", "50", "20", "21", "22", "23", "24", "25"})
                .details.reason.find("cannot open " + path_[0] + "/121_m3.tp"),
            std::string::npos);
}

// *** Checksums: never networks of two training runs ***

TEST_F(SpeciesFiles, NetworksAreUsedOnlyWhenTheirChecksumsMatch) {
  write_networks(dir(0), "37");
  species_description d = vulpix();
  d.networks = sums_of(dir(0), "37");
  write_species_file(dir(0), d);
  EXPECT_EQ(on_path(plain).status, PREDICTION_DONE);
  // A second network from another run.
  write_net(dir(0) / "37_m2.tp", {3.0, -3.0, -3.0, 0.9});
  app_model m;
  prediction_details details;
  EXPECT_EQ(predict_price_on_path(&m, 0, plain[0], plain[1], plain[2], plain[3], plain[4], plain[5],
                                  plain[6], plain[7], path_, nullptr, &details),
            PREDICTION_FAILED);
  EXPECT_NE(details.reason.find(path_[0] + "/37_m2.tp"), std::string::npos);
  EXPECT_NE(details.reason.find("37_species.json"), std::string::npos);
  EXPECT_NE(details.reason.find("trained again"), std::string::npos);
  EXPECT_EQ(m.first_prediction, 0U);
  // A fixed-price spread never reaches the networks.
  EXPECT_EQ(on_path({"37", "50", "5", "5", "5", "5", "5", "5"}).status, PREDICTION_SPECIAL_PRICE);
}

TEST_F(SpeciesFiles, ReadsAgainOnceWhenATrainerWasHalfWay) {
  // A new run's networks are in place, its species file not yet: the first reading
  // mismatches; the hook renames the new species file over the old one, as the trainer's
  // last rename does, between the first reading and the second.
  write_networks(dir(0), "37");
  species_description old_run = vulpix();
  old_run.networks = sums_of(dir(0), "37");
  write_net(dir(0) / "37_m1.tp", {3.0, -3.0, -3.0, 0.7});
  species_description new_run = vulpix();
  new_run.name = "Ninetales";
  new_run.networks = sums_of(dir(0), "37");
  int readings_again = 0;
  bool rename = true;
  set_reading_again_hook([&](const species_snapshot &first) {
    ++readings_again;
    EXPECT_TRUE(first.networks.checksum_mismatch);
    if (rename) write_species_file(dir(0), new_run);
  });
  // Both entries: a species loaded once, and a prediction that reads as it goes.
  write_species_file(dir(0), old_run);
  const species_snapshot_ptr s(load_species_snapshot(path_, "37"));
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->networks.usable) << s->networks.reason;
  EXPECT_EQ(from_snapshot(s.get(), plain).details.name, "Ninetales");
  write_species_file(dir(0), old_run);
  const outcome o = on_path(plain);
  EXPECT_EQ(o.status, PREDICTION_DONE) << o.details.reason;
  EXPECT_EQ(o.details.name, "Ninetales");
  EXPECT_EQ(readings_again, 2);
  // A mismatch that lasts is read again once only, then refused.
  rename = false;
  write_species_file(dir(0), old_run);
  EXPECT_EQ(on_path(plain).status, PREDICTION_FAILED);
  EXPECT_EQ(readings_again, 3);
  set_reading_again_hook(nullptr);
}

TEST_F(SpeciesFiles, NetworksWithoutChecksumsReplacedWhileReadAreReadAgain) {
  // Nothing names the checksums: a trainer renaming a new run's networks between the
  // reading of m1 and of m2 had m1 of one run priced with m2 and m3 of the other. The hook
  // plays the trainer: a guard species file, the renames, and the guard removed.
  const form starmie = {"121", "50", "20", "21", "22", "23", "24", "25"};
  const fs::path species = dir(0) / "121_species.json";
  double run = 0.0;
  const auto guard = [&] {
    write_text(dir(0) / "guard", "{\"format\": \"being replaced\"}\n");
    fs::rename(dir(0) / "guard", species);
    run += 0.1;
  };
  const auto rename_new = [&](int k) {
    write_net(dir(0) / "new.tp", {3.0, -3.0, -3.0, run + 0.1 * k});
    fs::rename(dir(0) / "new.tp", dir(0) / network_file_name("121", k));
  };
  const auto priced_while_retrained = [&](bool every_reading) {
    int readings = 0;
    set_between_network_reads_hook([&](const species_snapshot &, int networks_read) {
      if (networks_read > 1 || (readings++ > 0 && !every_reading)) return;
      guard();
      for (int k = 1; k <= 3; ++k) rename_new(k);
      fs::remove(species);
    });
    const outcome o = on_path(starmie);
    set_between_network_reads_hook(nullptr);
    return o;
  };
  write_networks(dir(0), "121");
  outcome o = priced_while_retrained(false);
  EXPECT_EQ(o.status, PREDICTION_DONE) << o.details.reason;
  EXPECT_TRUE(same(o, on_path(starmie)));  // all three of the new run
  o = priced_while_retrained(true);
  EXPECT_EQ(o.status, PREDICTION_FAILED);
  EXPECT_NE(o.details.reason.find("were replaced while they were read"), std::string::npos);
  // A species file without checksums read, then m1 renamed before the reading and m2
  // during it: each network is still the one read, but the guard stands.
  species_description unchecked = vulpix();
  unchecked.nid = 121;
  write_species_file(dir(0), unchecked);
  const auto read = std::make_shared<const species_file>(read_species_file(path_[0].c_str(), 121));
  guard();
  rename_new(1);
  set_between_network_reads_hook([&](const species_snapshot &, int networks_read) {
    if (networks_read == 1) rename_new(2);
  });
  const species_snapshot_ptr s(load_species_snapshot_with(path_[0], "121", read));
  set_between_network_reads_hook(nullptr);
  EXPECT_EQ(s->file->state, species_file_state::damaged);
  EXPECT_FALSE(s->networks.usable);
}

// A network of 3 hidden layers of 64 nodes (about 90 kB) whose outputs are sigmoid(bias)
// whatever the input: every weight is 0.
void write_wide_net(const fs::path &file, std::array<double, 4> bias) {
  perceptron_ptr p(create_perceptron(8, 64, 4, 3, 0.1));
  ASSERT_NE(p, nullptr);
  const auto zero = [](matrix *m) {
    for (std::uint32_t i = 0; i < get_lines(m); ++i)
      for (std::uint32_t j = 0; j < get_columns(m); ++j) set_element(m, i, j, 0.0);
  };
  for (std::uint32_t l = 0; l < 3; ++l) zero(get_hl_weights(p.get())[l]);
  zero(get_o_weights(p.get()));
  for (std::uint32_t r = 0; r < 4; ++r) set_element(get_o_bias(p.get()), r, 0, bias[r]);
  ASSERT_EQ(save_perceptron(p.get(), file.string().c_str()), 0);
}

TEST_F(SpeciesFiles, TheCheckedBytesAreTheParsedBytes) {
  // A network rewritten in place again and again, in turn the one its species file names
  // and another of the same size: whenever a reading is priced, it is from the named one.
  // (Hashing one reading and parsing another priced the other network in some readings.)
  write_networks(dir(0), "37");
  write_wide_net(dir(0) / "37_m1.tp", {3.0, -3.0, -3.0, 0.1});
  const std::string named = read_text(dir(0) / "37_m1.tp");
  species_description d = vulpix();
  d.networks = sums_of(dir(0), "37");
  write_species_file(dir(0), d);
  write_wide_net(dir(0) / "37_m1.tp", {3.0, -2.0, -3.0, 0.1});  // another price
  const std::string other = read_text(dir(0) / "37_m1.tp");
  ASSERT_EQ(named.size(), other.size());
  write_text(dir(0) / "37_m1.tp", named);
  const std::uint32_t named_price = on_path(plain).model.first_prediction;
  std::atomic<bool> stop{false};
  std::thread rewriter([&] {
    const std::string path = (dir(0) / "37_m1.tp").string();
    for (int i = 0; !stop; ++i) {
      std::FILE *f = std::fopen(path.c_str(), "r+");
      if (f == nullptr) continue;
      const std::string &bytes = i % 2 == 0 ? other : named;
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  });
  int priced = 0;
  for (int i = 0; i < 300; ++i) {
    const outcome o = on_path(plain);
    if (o.status != PREDICTION_DONE) continue;
    ++priced;
    EXPECT_EQ(o.model.first_prediction, named_price);
  }
  stop = true;
  rewriter.join();
  EXPECT_GT(priced, 0);  // otherwise nothing was compared
  RecordProperty("priced_readings", priced);
}

TEST_F(SpeciesFiles, NetworkThatIsNoRegularFileIsRefusedAtOnce) {
  // With checksums (read whole to be hashed) and without (read as a stream): a FIFO with no
  // writer, a link to an endless device and a folder all fail at once, naming the file.
  write_networks(dir(0), "37");
  species_description d = vulpix();
  d.networks = sums_of(dir(0), "37");
  write_networks(dir(1), "121");
  const fs::path m2_37 = dir(0) / "37_m2.tp", m2_121 = dir(1) / "121_m2.tp";
  write_species_file(dir(0), d);
  const auto refused = [&](const fs::path &m2, const form &f) {
    const outcome o = on_path(f);
    EXPECT_EQ(o.status, PREDICTION_FAILED);
    EXPECT_EQ(o.details.reason,
              m2.string() + " is not a regular file (a folder, a device or a pipe)");
    fs::remove_all(m2);
  };
  const form starmie = {"121", "50", "20", "21", "22", "23", "24", "25"};
  for (const auto &[m2, f] : {std::pair{m2_37, plain}, std::pair{m2_121, starmie}}) {
    fs::remove(m2);
    ASSERT_EQ(mkfifo(m2.c_str(), 0600), 0);
    refused(m2, f);
    fs::create_symlink("/dev/zero", m2);
    refused(m2, f);
    fs::create_directory(m2);
    refused(m2, f);
  }
}

TEST_F(SpeciesFiles, NationalIdTextNamesFilesInsideTheNetworksFolderOnly) {
  // Networks one folder up and in a subfolder, which texts with '/' would reach.
  write_networks(root_, "_");
  write_networks(root_, "1");
  fs::create_directory(dir(0) / "5");
  write_networks(dir(0) / "5", "x");
  write_networks(dir(0), "121");  // claims Starmie for the first folder
  for (const char *text : {"../", "5/x", "/", ".", ".."}) {
    const form f = {text, "50", "20", "21", "22", "23", "24", "25"};
    const outcome o = on_path(f);
    // "../" and "5/x" are 0 and 5, species the table does not price: no network is sought.
    EXPECT_EQ(o.status, PREDICTION_NOT_PRICED) << text;
  }
  // A species file for 0 prices the number 0 that "../", "/", "." and ".." stand for.
  species_description d = vulpix();
  d.nid = 0;
  write_species_file(dir(0), d);
  write_networks(dir(0), "0");
  for (const char *text : {"../", "/", ".", ".."}) {
    const form f = {text, "50", "20", "21", "22", "23", "24", "25"};
    const outcome o = on_path(f);
    EXPECT_EQ(o.status, PREDICTION_FAILED) << text;
    EXPECT_EQ(o.details.folder, path_[0]);
    EXPECT_EQ(o.details.reason,
              "the National ID text \"" + std::string(text) +
                  "\" names no network file: the files lie directly in the networks "
                  "folder " +
                  path_[0] +
                  ", and a text with '/', or \".\" or "
                  "\"..\", would name one elsewhere")
        << text;
    // A fixed price needs no network: it ends the prediction first.
    EXPECT_EQ(on_path({text, "50", "5", "5", "5", "5", "5", "5"}).status, PREDICTION_SPECIAL_PRICE);
  }
  EXPECT_EQ(on_path({"0", "50", "20", "21", "22", "23", "24", "25"}).status, PREDICTION_DONE);
}

// *** The search path ***

TEST_F(SpeciesFiles, FirstFolderHoldingTheSpeciesPricesIt) {
  write_networks(dir(2), "37");
  write_species_file(dir(2), vulpix());
  EXPECT_EQ(on_path(plain).details.folder, path_[2]);
  EXPECT_EQ(on_path(plain).status, PREDICTION_DONE);
  // A first network file alone claims the species for its folder.
  write_networks(dir(1), "37");
  EXPECT_EQ(on_path(plain).details.folder, path_[1]);
  EXPECT_EQ(on_path(plain).status, PREDICTION_NOT_PRICED);  // no species file there
  // A species file alone too: its networks are missing there, so no price.
  write_species_file(dir(0), vulpix());
  const outcome o = on_path(plain);
  EXPECT_EQ(o.details.folder, path_[0]);
  EXPECT_EQ(o.status, PREDICTION_FAILED);
  EXPECT_NE(o.details.reason.find("cannot open " + path_[0] + "/37_m1.tp"), std::string::npos);
  // Nowhere: the first folder answers.
  EXPECT_EQ(species_folder(path_, "38"), path_[0]);
  EXPECT_EQ(species_folder({}, "38"), "./ptp");
}

TEST_F(SpeciesFiles, DamagedInTheFirstFolderIsRefusedNeverFallenBackFrom) {
  write_networks(dir(1), "37");
  write_species_file(dir(1), vulpix());
  ASSERT_EQ(on_path(plain).status, PREDICTION_DONE);
  write_text(dir(0) / "37_species.json", "[]");
  const outcome o = on_path(plain);
  EXPECT_EQ(o.status, PREDICTION_FAILED);
  EXPECT_EQ(o.details.folder, path_[0]);
  EXPECT_EQ(o.details.reason,
            path_[0] + "/37_species.json: the file must hold one JSON object, not []");
}

// *** A species loaded once ***

TEST_F(SpeciesFiles, SnapshotGivesWhatPredictPriceGivesOnEveryStatus) {
  write_networks(dir(0), "37");
  species_description d = vulpix();
  d.networks = sums_of(dir(0), "37");
  write_species_file(dir(0), d);
  write_networks(dir(1), "121");  // built-in species, no species file
  write_networks(dir(1), "058");
  write_text(dir(1) / "058_m3.tp", "8 1 4 1\n");  // damaged third network
  write_networks(dir(2), "120");
  write_text(dir(2) / "120_species.json", "{\"nid\": 1.5}");
  write_networks(dir(2), "133");
  write_net(dir(2) / "133_m3.tp", {3.0, 3.0, 3.0, 0.4});  // mismatch the species file
  species_description eevee = vulpix();
  eevee.nid = 133;
  eevee.name = "Eevee";
  eevee.networks = sums_of(dir(0), "37");
  write_species_file(dir(2), eevee);

  const std::vector<form> forms = {
      plain,                                              // 0, species file
      {"37", "50", "21", "20", "22", "23", "24", "25"},   // 0, rating 1
      {"37", "101", "1", "2", "3", "4", "5", "6"},        // 3
      {"37", "50", "33", "2", "3", "4", "5", "6"},        // 4
      {"37", "50", "9", "2", "3", "4", "5", "6"},         // 5
      {"121", "50", "31", "30", "31", "30", "31", "30"},  // 0 with the Fire addition
      {"121", "50", "31", "31", "31", "31", "31", "31"},  // 5
      {"86", "50", "20", "21", "22", "23", "24", "25"},   // 2, known but not priced
      {"700", "50", "20", "21", "22", "23", "24", "25"},  // 2, unknown
      {"058", "50", "20", "21", "22", "23", "24", "25"},  // 1, damaged network
      {"058", "50", "7", "7", "7", "7", "7", "7"},        // 5 despite the damaged network
      {"120", "50", "20", "21", "22", "23", "24", "25"},  // 1, damaged species file
      {"133", "50", "20", "21", "22", "23", "24", "25"},  // 1, checksum mismatch
      {"133", "50", "20", "20", "20", "20", "20", "20"},  // 5 despite the mismatch
  };
  std::vector<int> statuses;
  for (int shiny : {0, 1}) {
    for (const form &f : forms) {
      const outcome expected = on_path(f, shiny);
      const species_snapshot_ptr s(load_species_snapshot(path_, f[0]));
      ASSERT_NE(s, nullptr);
      const outcome got = from_snapshot(s.get(), f, shiny);
      EXPECT_TRUE(same(expected, got))
          << f[0] << " " << f[2] << " shiny " << shiny << ": " << expected.status << " "
          << got.status << " " << expected.details.reason << " | " << got.details.reason;
      statuses.push_back(expected.status);
    }
  }
  for (int status = PREDICTION_DONE; status <= PREDICTION_SPECIAL_PRICE; ++status)
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), status), statuses.end()) << status;
}

TEST_F(SpeciesFiles, ThreadsShareOneSnapshot) {
  write_networks(dir(0), "37");
  write_species_file(dir(0), vulpix());
  const species_snapshot_ptr s(load_species_snapshot(path_, "37"));
  ASSERT_NE(s, nullptr);
  const std::vector<form> forms = {plain,
                                   {"37", "50", "21", "20", "22", "23", "24", "25"},
                                   {"37", "50", "3", "30", "12", "23", "24", "25"},
                                   {"37", "50", "9", "2", "3", "4", "5", "6"}};
  std::vector<outcome> expected;
  for (const form &f : forms) expected.push_back(from_snapshot(s.get(), f, 1));
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const std::size_t k = static_cast<std::size_t>(i + t) % forms.size();
        if (!same(from_snapshot(s.get(), forms[k], 1), expected[k])) ++mismatches[t];
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
