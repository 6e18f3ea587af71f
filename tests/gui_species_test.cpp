// The real window pricing species that only a species file describes: from ./ptp and from
// the seller's own folder, with the file's name in the fixed-price texts, or without fixed
// prices and with a rating's own range.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gui_networks.hpp"
#include "model/species_file.hpp"
#include "window_harness.hpp"

namespace {

namespace fs = std::filesystem;

// The test networks (60k, 32k and 87k) under another number, with its species file, which
// gives `training` when it is not empty; a seller's own prices for every spread when
// `fixed_prices` is false, then with a range of its own for the spreads rated 0.
bool write_species(const fs::path &dir, std::uint32_t nid, const char *name,
                   const std::string &training = "", bool fixed_prices = true) {
  fs::create_directories(dir);
  if (!write_test_networks(dir.string())) return false;
  const std::string number = std::to_string(nid);
  for (const char *m : {"_m1.tp", "_m2.tp", "_m3.tp"}) {
    std::error_code ec;
    fs::rename(dir / (std::string(test_species) + m), dir / (number + m), ec);
    if (ec) return false;
  }
  species_description d;
  d.nid = nid;
  d.name = name;
  d.hidden_power_types = {8, -1, -1};  // Fire
  d.reference_spreads = {{16, 9, 5, 29, 29, 24}};
  if (!training.empty()) {
    d.training = training;
    d.expected_error = {0.08, std::nullopt, 0.3};
    d.range_coverage = {0.8, std::nullopt, std::nullopt};
  }
  d.fixed_prices = fixed_prices;
  if (!fixed_prices) d.range_margins[0] = {0.5, 2.0};
  const std::string text = format_species_file(&d);
  std::FILE *file = std::fopen((dir / species_file_name(nid)).c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// Vulpix (37) in ./ptp; Ninetales (38), trained on dated sales, only in the seller's own
// folder, which the test main points at a folder of its own below its home.
bool write_networks(const std::string &ptp) {
  const char *data_home = std::getenv("XDG_DATA_HOME");
  if (data_home == nullptr) return false;
  return write_species(ptp, 37, "Vulpix") && write_test_networks(ptp) &&
         write_species(fs::path(data_home) / "orvanta" / "ptp", 38, "Ninetales",
                       R"({"rows": 371, "dates": {"first": "2025-01-01", "last": "2025-12-31"}})",
                       false);
}

class SpeciesWindow : public main_window_test {
 protected:
  SpeciesWindow() : main_window_test(write_networks) {}

  void predict(const std::vector<std::string> &texts) {
    for (int k = 0; k < 8; ++k) gtk_entry_set_text(GTK_ENTRY(entries()[k]), texts[k].c_str());
    gtk_button_clicked(GTK_BUTTON(get_predict_btn_entry(controller_)));
    pump();
  }
};

const std::string intro = "Here is 3 different models prediction:";

TEST_F(SpeciesWindow, SpeciesFileInPtpPricesWithItsNameAndSpreads) {
  predict({"37", "50", "16", "9", "5", "29", "29", "24"});
  EXPECT_EQ(labels(), (std::vector<std::string>{
                          "Hidden Power:  Psychic", intro, "60k", "32k", "87k",
                          "Then the average price is: 59k\nRecommended sales range: 53k - 65k\n\n"
                          "The results are almost perfect.",
                          ""}));
  predict({"37", "50", "31", "31", "31", "31", "31", "31"});
  const std::vector<std::string> special = labels();
  bool named = false;
  for (const std::string &text : special)
    named = named || text.find("The price for an all IVs the same Vulpix") != std::string::npos;
  EXPECT_TRUE(named) << special[1] << "|" << special[5];
}

TEST_F(SpeciesWindow, SellersOwnFolderPricesWhatPtpDoesNotHold) {
  predict({"38", "50", "16", "9", "5", "29", "29", "24"});
  EXPECT_EQ(labels()[2], "60k");
  EXPECT_EQ(labels()[5].find("The results are almost perfect."), labels()[5].size() - 31);
  predict({"40", "50", "16", "9", "5", "29", "29", "24"});
  const std::vector<std::string> shown = labels();
  EXPECT_NE(std::find(shown.begin(), shown.end(), "This pokemon is not available yet."),
            shown.end());
}

TEST_F(SpeciesWindow, WithoutFixedPricesEverySpreadShowsTheNetworksAndItsRatingsRange) {
  // Ninetales' file says fixed_prices false: six 31s are priced like any spread, rated 2,
  // with the species-wide 10% either side.
  predict({"38", "50", "31", "31", "31", "31", "31", "31"});
  std::vector<std::string> shown = labels();
  EXPECT_EQ(shown[0], "Hidden Power:  Dark");
  EXPECT_EQ(shown[1], intro);
  EXPECT_EQ(shown[2], "60k");
  EXPECT_EQ(shown[5].rfind("Then the average price is: 59k\nRecommended sales range: 53k - 65k\n\n"
                           "The results are probably not good",
                           0),
            0U)
      << shown[5];
  // Its reference spread has margins of its own: 50% below, 200% above the 59,999 Pd.
  predict({"38", "50", "16", "9", "5", "29", "29", "24"});
  shown = labels();
  EXPECT_EQ(shown[5],
            "Then the average price is: 59k\nRecommended sales range: 29k - 179k\n\n"
            "The results are almost perfect.");
  // Vulpix's file keeps the fixed prices.
  predict({"37", "50", "31", "31", "31", "31", "31", "31"});
  EXPECT_NE(labels()[1], intro);
}

TEST_F(SpeciesWindow, SourceLineSaysWhoseNetworksPriced) {
  predict({"38", "50", "16", "9", "5", "29", "29", "24"});  // a reference spread: rating 0
  EXPECT_EQ(source_line(),
            "Ninetales (38) · trained on 371 of your sales, 2025-01-01 to 2025-12-31\n"
            "Typical error 8% · 80% of past sales like it sold inside the range");
  predict({"38", "50", "31", "30", "31", "30", "31", "30"});  // rating 2: no share measured
  EXPECT_EQ(source_line(),
            "Ninetales (38) · trained on 371 of your sales, 2025-01-01 to 2025-12-31\n"
            "Typical error 30%");
  // Without a training record: the folder as the search path names it.
  predict({"37", "50", "16", "9", "5", "29", "29", "24"});
  EXPECT_EQ(source_line(), "Vulpix (37) · networks in ./ptp");
}

TEST_F(SpeciesWindow, ShinyFixedPriceSpreadIsPricedByTheNetworks) {
  gtk_button_clicked(GTK_BUTTON(get_shiny_check_box(controller_)));
  predict({"133", "50", "31", "31", "31", "31", "31", "31"});
  EXPECT_EQ(labels()[1], intro);
  EXPECT_EQ(labels()[2], "86k");  // the first network reads the shiny flag
}

}  // namespace

int main(int argc, char **argv) {
  return run_window_tests(argc, argv);
}
