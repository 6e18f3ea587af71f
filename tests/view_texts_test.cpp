// The result area's texts and width, composed without a display.
#include "view/view_texts.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>

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
}

TEST(ComposeViewTexts, HugeAdditionStaysAtTheTopOfTheRange) {
  app_model m = finished_prediction();
  m.hidden_power_power = 70;
  m.hidden_power_base_price = 4000000000u;
  const view_texts texts = compose_view_texts(&m, 0, {});
  EXPECT_NE(texts.hidden_power_resume_label.find("The resulting addition is: 4294.97m"),
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

TEST(ComposeViewTextsDeathTest, NullModelStops) {
  EXPECT_DEATH(compose_view_texts(nullptr, 0, {}), "m != NULL");
}

}  // namespace
