// The result area's texts and width, composed without a display.
#include "view/view_texts.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string currency(std::uint32_t amount) {
  char text[16];
  set_currency(text, amount);
  return text;
}

const std::string models_not_loaded = "The price models for this pokemon \ncould not be loaded.";
const std::string not_available = "This pokemon is not available yet.";
const std::string bad_lvl =
    "The level exceeds the limit, \nplease insert a level less or equal to 100.";
const std::string bad_ivs =
    "One or more ivs exceed the limit, \nplease insert ivs less or equal to 32.";

// A model as a finished prediction leaves it: average 1.23m, range 1.10m - 1.40m.
app_model finished_prediction() {
  app_model m;
  m.hidden_power = "Hidden Power:  Fire";
  m.in_range_message = "The results are almost perfect";
  m.first_prediction = 1200000;
  m.second_prediction = 999;
  m.third_prediction = 1999;
  m.average_prediction = 1234567;
  m.lowest_price = 1100000;
  m.highest_price = 1400000;
  return m;
}

// What the window shows after a prediction with a Hidden Power addition.
view_texts shown_with_addition() {
  view_texts shown;
  shown.hidden_power_label = "Hidden Power:  Fire";
  shown.models_intro_label = "Here is 3 different models prediction:";
  shown.first_model_label = "1.20m";
  shown.second_model_label = "999 Pd";
  shown.third_model_label = "1k";
  shown.model_resume_label = "summary";
  shown.hidden_power_resume_label = "addition";
  shown.window_width = 709;
  return shown;
}

void expect_message(const view_texts &texts, const std::string &first_line,
                    const std::string &intro) {
  EXPECT_EQ(texts.hidden_power_label, first_line);
  EXPECT_EQ(texts.models_intro_label, intro);
  EXPECT_EQ(texts.first_model_label, "");
  EXPECT_EQ(texts.second_model_label, "");
  EXPECT_EQ(texts.third_model_label, "");
  EXPECT_EQ(texts.model_resume_label, "");
  // The addition belongs to the result it was computed for: a message empties it and
  // asks for the default width again.
  EXPECT_EQ(texts.hidden_power_resume_label, "");
  EXPECT_EQ(texts.window_width, 416);
}

TEST(SetCurrency, EveryBandAndItsEdges) {
  EXPECT_EQ(currency(0), "0 Pd");
  EXPECT_EQ(currency(999), "999 Pd");
  EXPECT_EQ(currency(1000), "1k");
  EXPECT_EQ(currency(1999), "1k");
  EXPECT_EQ(currency(999999), "999k");
  EXPECT_EQ(currency(1000000), "1.00m");
  EXPECT_EQ(currency(1234567), "1.23m");
  EXPECT_EQ(currency(1140000000), "1140.00m");
  EXPECT_EQ(currency(4294967295u), "4294.97m");
}

TEST(SetCurrency, MillionsRoundThroughSinglePrecision) {
  // 100.5 hundredths rounds half away from zero; 99999.4999 becomes 99999.5f in single
  // precision and so rounds up, where double precision would give "999.99m".
  EXPECT_EQ(currency(1005000), "1.01m");
  EXPECT_EQ(currency(999994999), "1000.00m");
  EXPECT_EQ(currency(999999999), "1000.00m");
  EXPECT_EQ(currency(1004999), "1.00m");
}

TEST(SetCurrency, MillionsKeepTheirPointInADecimalCommaLocale) {
  // GTK sets the process locale from the environment; prices must not follow it.
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
      << "de_DE.UTF-8 is missing: scripts/setup generates it";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(currency(1760000), "1.76m");
  EXPECT_EQ(currency(4294967295u), "4294.97m");
  EXPECT_EQ(currency(999), "999 Pd");
  app_model m = finished_prediction();
  m.hidden_power_power = 70;
  m.hidden_power_base_price = 100000;
  const view_texts texts = compose_view_texts(&m, 0, {});
  EXPECT_EQ(texts.model_resume_label.find(','), std::string::npos) << texts.model_resume_label;
  EXPECT_NE(texts.hidden_power_resume_label.find("1.30m - 1.60m"), std::string::npos);
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(ComposeViewTexts, FinishedPredictionFillsEveryLabel) {
  const app_model m = finished_prediction();
  const view_texts texts = compose_view_texts(&m, 0, shown_with_addition());
  EXPECT_EQ(texts.hidden_power_label, "Hidden Power:  Fire");
  EXPECT_EQ(texts.models_intro_label, "Here is 3 different models prediction:");
  EXPECT_EQ(texts.first_model_label, "1.20m");
  EXPECT_EQ(texts.second_model_label, "999 Pd");
  EXPECT_EQ(texts.third_model_label, "1k");
  EXPECT_EQ(texts.model_resume_label,
            "Then the average price is: 1.23m\nRecommended sales range: 1.10m - 1.40m\n\n"
            "The results are almost perfect.");
  // Without an addition the column empties and the window narrows, even right after one.
  EXPECT_EQ(texts.hidden_power_resume_label, "");
  EXPECT_EQ(texts.window_width, 416);
}

TEST(ComposeViewTexts, UnknownStatusShowsTheStoredPrediction) {
  const app_model m = finished_prediction();
  const view_texts done = compose_view_texts(&m, 0, {});
  for (int status : {-1, 6, 42}) {
    const view_texts texts = compose_view_texts(&m, status, shown_with_addition());
    EXPECT_EQ(texts.model_resume_label, done.model_resume_label) << status;
    EXPECT_EQ(texts.window_width, 416) << status;
  }
}

TEST(ComposeViewTexts, HiddenPowerAdditionDoublesTheBasePriceAtPower70) {
  app_model m = finished_prediction();
  m.hidden_power_power = 70;
  m.hidden_power_base_price = 100000;
  const view_texts texts = compose_view_texts(&m, 0, {});
  EXPECT_EQ(texts.hidden_power_resume_label,
            "This pokemon is eligible for a hidden power addition \nbased on the following "
            "description: \n\nPower : 70 \nBase price: 100k \n\nThe resulting addition is: "
            "200k \nand the new recommended sales range is 1.30m - 1.60m");
  EXPECT_EQ(texts.window_width, 709);
}

TEST(ComposeViewTexts, HiddenPowerAdditionIsTruncatedToWholePd) {
  app_model m = finished_prediction();
  m.hidden_power_power = 30;
  m.hidden_power_base_price = 100000;
  m.lowest_price = 999;
  m.highest_price = 14285;
  const view_texts texts = compose_view_texts(&m, 0, {});
  // 60 / 70 * 100000 = 85714.28..., plus 999 is 86713, plus 14285 is 99999.
  EXPECT_NE(texts.hidden_power_resume_label.find("Power : 30 \nBase price: 100k \n\n"
                                                 "The resulting addition is: 85k \n"
                                                 "and the new recommended sales range is "
                                                 "86k - 99k"),
            std::string::npos)
      << texts.hidden_power_resume_label;
  // The listing prices are the text's figures to the Pd; the average is raised alike.
  const listing_prices listed = compute_listing_prices(&m);
  EXPECT_EQ(listed.addition, 85714u);
  EXPECT_EQ(listed.lowest, 86713u);
  EXPECT_EQ(listed.highest, 99999u);
  EXPECT_EQ(listed.average, 1320281u);  // 85714.28... + 1234567
  m.hidden_power_power = 0;             // no addition: the model's own figures
  const listing_prices plain = compute_listing_prices(&m);
  EXPECT_EQ(
      std::vector<std::uint32_t>({plain.average, plain.lowest, plain.highest, plain.addition}),
      std::vector<std::uint32_t>({1234567, 999, 14285, 0}));
}

TEST(ComposeViewTexts, HugeAdditionStaysAtTheTopOfTheRange) {
  app_model m = finished_prediction();
  m.hidden_power_power = 70;
  m.hidden_power_base_price = 4000000000u;
  m.highest_price = 4294967295u;  // a species file's widest range
  const view_texts texts = compose_view_texts(&m, 0, {});
  EXPECT_NE(texts.hidden_power_resume_label.find("The resulting addition is: 4294.97m \nand the "
                                                 "new recommended sales range is 4294.97m - "
                                                 "4294.97m"),
            std::string::npos)
      << texts.hidden_power_resume_label;
}

TEST(ComposeViewTexts, NothingStoredShowsEmptyTexts) {
  const app_model m;
  const view_texts texts = compose_view_texts(&m, 0, {});
  EXPECT_EQ(texts.hidden_power_label, "");
  EXPECT_EQ(texts.first_model_label, "0 Pd");
  EXPECT_EQ(texts.model_resume_label,
            "Then the average price is: 0 Pd\nRecommended sales range: 0 Pd - 0 Pd\n\n.");
  const view_texts special = compose_view_texts(&m, 5, {});
  EXPECT_EQ(special.hidden_power_label, "");
  EXPECT_EQ(special.models_intro_label, "");
}

TEST(ComposeViewTexts, MessagesAfterAnAdditionEmptyItAndNarrow) {
  const app_model m = finished_prediction();
  expect_message(compose_view_texts(&m, 1, shown_with_addition()), models_not_loaded, "");
  expect_message(compose_view_texts(&m, 2, shown_with_addition()), not_available, "");
  expect_message(compose_view_texts(&m, 3, shown_with_addition()), bad_lvl, "");
  expect_message(compose_view_texts(&m, 4, shown_with_addition()), bad_ivs, "");
}

TEST(ComposeViewTexts, SpecialPriceShowsHiddenPowerAboveTheMessage) {
  app_model m = finished_prediction();
  m.hidden_power = "Hidden Power:  Dark";
  m.special_price = "The price for an all IVs the same Eevee \nis around 3m";
  expect_message(compose_view_texts(&m, 5, shown_with_addition()), "Hidden Power:  Dark",
                 "The price for an all IVs the same Eevee \nis around 3m");
}

TEST(ComposeViewTexts, MessageOnTheFirstPredictionKeepsTheDefaultWidth) {
  const app_model m;
  const view_texts texts = compose_view_texts(&m, 2, {});
  EXPECT_EQ(texts.hidden_power_label, not_available);
  EXPECT_EQ(texts.hidden_power_resume_label, "");
  EXPECT_EQ(texts.window_width, 416);
}

// *** The same texts as formatted printing into the window's fixed buffers composes them
// (in the "C" locale the tests run in): each price format of the table of bands, the
// summary and the Hidden Power description with their formats, and texts that would not
// fit their 256-byte buffers cut where the buffer ends.

std::string printed_price(std::uint32_t amount) {
  char text[16];
  if (amount < 1000u) {
    std::snprintf(text, sizeof text, "%u Pd", amount);
  } else if (amount < 1000000u) {
    std::snprintf(text, sizeof text, "%uk", amount / 1000u);
  } else {
    const double hundredths = static_cast<double>(amount) / 1000000.0 * 100.0;
    const float millions = std::roundf(static_cast<float>(hundredths)) / 100.0f;
    std::snprintf(text, sizeof text, "%.2lfm", static_cast<double>(millions));
  }
  return text;
}

std::uint32_t whole_pd(double amount) {
  constexpr double top = std::numeric_limits<std::uint32_t>::max();
  return amount >= top ? std::numeric_limits<std::uint32_t>::max()
                       : static_cast<std::uint32_t>(amount);
}

std::string text_or_empty(const char *text) {
  return text != nullptr ? text : "";
}

view_texts printed_texts(const app_model &m, int status) {
  view_texts t;
  switch (status) {
    case 1:
      t.hidden_power_label = models_not_loaded;
      return t;
    case 2:
      t.hidden_power_label = not_available;
      return t;
    case 3:
      t.hidden_power_label = bad_lvl;
      return t;
    case 4:
      t.hidden_power_label = bad_ivs;
      return t;
    case 5:
      t.hidden_power_label = text_or_empty(get_hidden_power(&m));
      t.models_intro_label = text_or_empty(get_special_price(&m));
      return t;
  }
  t.hidden_power_label = text_or_empty(get_hidden_power(&m));
  t.models_intro_label = "Here is 3 different models prediction:";
  t.first_model_label = printed_price(get_first_prediction(&m));
  t.second_model_label = printed_price(get_second_prediction(&m));
  t.third_model_label = printed_price(get_third_prediction(&m));
  char summary[256];
  std::snprintf(summary, sizeof summary,
                "Then the average price is: %s\nRecommended sales range: %s - %s\n\n%s.",
                printed_price(get_average_prediction(&m)).c_str(),
                printed_price(get_lowest_price(&m)).c_str(),
                printed_price(get_highest_price(&m)).c_str(),
                text_or_empty(get_in_range_message(&m)).c_str());
  t.model_resume_label = summary;
  const std::uint32_t power = get_hidden_power_power(&m);
  if (power != 0) {
    const std::uint32_t base = get_hidden_power_base_price(&m);
    const double addition = 2.0 * power / 70.0 * base;
    char description[256];
    std::snprintf(description, sizeof description,
                  "This pokemon is eligible for a hidden power addition \nbased on the "
                  "following description: \n\nPower : %u \nBase price: %s \n\nThe resulting "
                  "addition is: %s \nand the new recommended sales range is %s - %s",
                  power, printed_price(base).c_str(), printed_price(whole_pd(addition)).c_str(),
                  printed_price(whole_pd(addition + get_lowest_price(&m))).c_str(),
                  printed_price(whole_pd(addition + get_highest_price(&m))).c_str());
    t.hidden_power_resume_label = description;
    t.window_width = 709;
  }
  return t;
}

void expect_same_texts(const view_texts &ours, const view_texts &printed, int status) {
  ASSERT_EQ(ours.hidden_power_label, printed.hidden_power_label) << status;
  ASSERT_EQ(ours.models_intro_label, printed.models_intro_label) << status;
  ASSERT_EQ(ours.first_model_label, printed.first_model_label) << status;
  ASSERT_EQ(ours.second_model_label, printed.second_model_label) << status;
  ASSERT_EQ(ours.third_model_label, printed.third_model_label) << status;
  ASSERT_EQ(ours.model_resume_label, printed.model_resume_label) << status;
  ASSERT_EQ(ours.hidden_power_resume_label, printed.hidden_power_resume_label) << status;
  ASSERT_EQ(ours.window_width, printed.window_width) << status;
}

TEST(SetCurrency, SameAsFormattedPrintingAtEveryRoundingStep) {
  // Each step of a hundredth of a million, on both sides of where it rounds, and the ends
  // of the bands.
  for (std::uint32_t k = 0; k <= 429496; ++k) {
    const std::uint64_t half = 10000ull * k + 5000;
    for (std::uint64_t amount : {half - 1, half, half + 1}) {
      const auto a = static_cast<std::uint32_t>(amount);
      ASSERT_EQ(currency(a), printed_price(a)) << a;
    }
  }
  for (std::uint32_t a :
       {0u, 1u, 999u, 1000u, 1001u, 999999u, 1000000u, 999994999u, 999995000u, 4294967295u})
    ASSERT_EQ(currency(a), printed_price(a)) << a;
}

TEST(WriteViewTexts, SameAsFormattedPrintingOverWhateverWasShownBefore) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<std::uint32_t> any, power(0, 70), band(0, 3), status(0, 5);
  const std::string long_message(240, 'x');  // the summary would not fit its buffer
  const char *messages[] = {nullptr, "The results are almost perfect",
                            "The results are probably not good, \nbecause of the limited "
                            "amount of data. \nIf you believe this is true, \nconsider "
                            "informing us if you want to help \nwith data collection.",
                            long_message.c_str()};
  const auto amount = [&] {
    const std::uint32_t top[4] = {999, 999999, 1200000000, 4294967295u};
    return static_cast<std::uint32_t>(any(random) % (top[band(random)] + 1ull));
  };
  // One set of texts written over and over, as a batch does: what a result or a message
  // left behind must never show through the next one.
  view_texts texts;
  for (int i = 0; i < 200000; ++i) {
    app_model m;
    m.first_prediction = amount();
    m.second_prediction = amount();
    m.third_prediction = amount();
    m.average_prediction = amount();
    m.lowest_price = amount();
    m.highest_price = amount();
    m.hidden_power_power = i % 2 == 0 ? 0 : power(random);
    m.hidden_power_base_price = i % 3 == 0 ? 500000 : amount();
    if (const char *text = messages[i % 4]) m.in_range_message = text;
    if (i % 5 != 0) m.hidden_power = "Hidden Power:  Grass";
    if (i % 7 == 0) m.special_price = "The price for an all IVs the same Eevee \nis around 3m";
    const int s = i % 3 == 0 ? static_cast<int>(status(random)) : 0;
    write_view_texts(&m, s, &texts);
    expect_same_texts(texts, printed_texts(m, s), s);
  }
}

// ---- The source line ----

// What a prediction of Gengar (94) from a species file in the seller's own folder used.
prediction_details from_species_file() {
  prediction_details d;
  d.folder = "/home/seller/.local/share/orvanta/ptp";
  d.source = species_file_state::valid;
  d.name = "Gengar";
  d.coverage = 0;
  d.trained.rows = 371;
  d.trained.first_date = "2025-01-01";
  d.trained.last_date = "2025-12-31";
  d.expected_error = 0.08;
  d.range_coverage = 0.8;
  return d;
}

std::string source_line(const prediction_details &d, const char *nid, int status) {
  std::string line = "what was there before";
  write_source_line(&d, nid, status, &line);
  return line;
}

TEST(WriteSourceLine, SpeciesFileSaysItsSalesAndWhatItMeasured) {
  prediction_details d = from_species_file();
  EXPECT_EQ(source_line(d, "94", PREDICTION_DONE),
            "Gengar (94) · trained on 371 of your sales, 2025-01-01 to 2025-12-31\n"
            "Typical error 8% · 80% of past sales like it sold inside the range");
  // Each half only where the file states it; percentages rounded to whole numbers.
  d.expected_error.reset();
  d.range_coverage = 0.795;
  EXPECT_EQ(source_line(d, "94", PREDICTION_DONE).substr(69),
            "\n80% of past sales like it sold inside the range");
  d.expected_error = 0.125;
  d.range_coverage.reset();
  d.trained.first_date.clear();
  d.trained.last_date.clear();
  EXPECT_EQ(source_line(d, "094", PREDICTION_DONE),
            "Gengar (94) · trained on 371 of your sales\nTypical error 13%");
  d.expected_error.reset();
  EXPECT_EQ(source_line(d, "94", PREDICTION_DONE), "Gengar (94) · trained on 371 of your sales");
  // Other answers about the species name it and its source, without the measures.
  d.expected_error = 0.08;
  for (int status : {PREDICTION_BAD_LEVEL, PREDICTION_BAD_IVS, PREDICTION_SPECIAL_PRICE})
    EXPECT_EQ(source_line(d, "94", status), "Gengar (94) · trained on 371 of your sales") << status;
}

TEST(WriteSourceLine, FolderWithoutTrainingRecordIsNamedWithTheHomeAsTilde) {
  prediction_details d = from_species_file();
  d.trained.rows.reset();
  ASSERT_EQ(setenv("HOME", "/home/seller/", 1), 0);
  EXPECT_EQ(source_line(d, "94", PREDICTION_DONE),
            "Gengar (94) · networks in ~/.local/share/orvanta/ptp\n"
            "Typical error 8% · 80% of past sales like it sold inside the range");
  d = prediction_details{};  // the built-in table's species in ./ptp, --ptp-dir's folder
  d.name = "Starmie";
  for (const char *folder : {"./ptp", "/home/sellers/ptp", "/home/seller", "/srv/home/seller"}) {
    d.folder = folder;
    const std::string shown = std::string(folder) == "/home/seller" ? "~" : folder;
    EXPECT_EQ(source_line(d, "121", PREDICTION_DONE), "Starmie (121) · networks in " + shown);
  }
  d.bundled = true;
  EXPECT_EQ(source_line(d, "121", PREDICTION_SPECIAL_PRICE),
            "Starmie (121) · example networks trained on made-up sales");
}

TEST(WriteSourceLine, RefusalSaysWhyOnASecondLine) {
  prediction_details d;
  d.folder = "./ptp";
  d.name = "Eevee";
  d.reason = "cannot open ./ptp/133_m2.tp: No such file or directory";
  EXPECT_EQ(source_line(d, "133", PREDICTION_FAILED),
            "Eevee (133) · networks in ./ptp\n"
            "cannot open ./ptp/133_m2.tp: No such file or directory");
  // A damaged species file names no species: the number stands for it.
  d.name.reset();
  d.source = species_file_state::damaged;
  d.reason = "./ptp/37_species.json: format is 2, not \"orvanta-species-1\"";
  EXPECT_EQ(source_line(d, "37", PREDICTION_FAILED),
            "National ID 37 · networks in ./ptp\n" + d.reason);
}

TEST(WriteSourceLine, UnpricedSpeciesHintsAtTrainingOnlyForAValidNumber) {
  const prediction_details d;
  EXPECT_EQ(source_line(d, "37", PREDICTION_NOT_PRICED),
            "No networks for National ID 37 yet: train them from your sales "
            "(see orvanta-train --help)");
  for (const char *nid : {"", "abc", "0", "037", "-37", " 37", "37x", "+37"})
    EXPECT_EQ(source_line(d, nid, PREDICTION_NOT_PRICED), "") << nid;
}

TEST(WriteViewTextsDeathTest, NullTextsStop) {
  const app_model m;
  EXPECT_DEATH(write_view_texts(&m, 0, nullptr), "texts != NULL");
}

TEST(ComposeViewTextsDeathTest, NullModelStops) {
  EXPECT_DEATH(compose_view_texts(nullptr, 0, {}), "m != NULL");
}

}  // namespace
