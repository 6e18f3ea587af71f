// orvanta-cli's records: the JSON written by hand must be byte for byte what nlohmann::json
// writes, since scripts compare records across versions and with single predictions.
#include "cli/cli_output.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

namespace {

using json = nlohmann::ordered_json;

std::string by_library(const std::string &text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

TEST(AppendJsonString, SameBytesAsTheLibrary) {
  const std::string texts[] = {
      "",
      "Hidden Power:  Grass",
      "line\nbreak \"quoted\" back\\slash\ttab\rcr\bbs\ffeed",
      std::string("nul\0and\x01\x1f\x7f", 10),
      "Flab\xC3\xA9\x62\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x90\x89",  // é, €, a four-byte character
      "bad \xFF byte",
      "cut \xE2\x82",
      "overlong \xC0\x80 and \xE0\x80\x80",
      "surrogate \xED\xA0\x80",
      "past the top \xF4\x90\x80\x80",
      "lone continuation \x80",
  };
  for (const std::string &text : texts) {
    std::string out;
    append_json_string(&out, text);
    EXPECT_EQ(out, by_library(text)) << text;
  }
}

// A record is what the library writes when it reads the record back.
TEST(AppendPrediction, JsonRecordsAreTheLibrarysOwnForm) {
  cli_form form;
  form.texts[0] = "58";
  for (int status : {0, 1, 2, 3, 4, 5}) {
    cli_prediction p;
    p.model.reset(create_app_model());
    p.status = status;
    p.model->first_prediction = 4294967295u;
    p.model->hidden_power = "Hidden Power:  Fire";
    if (status == 5) p.model->special_price = "The price for an all IVs the same \"x\" \nis 3m";
    p.model->hidden_power_power = status == 0 ? 70 : 0;
    p.shown = compose_view_texts(p.model.get(), status, view_texts{});
    for (bool batch : {false, true}) {
      std::string out;
      append_prediction(cli_format::json, batch, true, 123456789012345ull, &form, &p, &out);
      ASSERT_EQ(out.back(), '\n');
      out.pop_back();
      EXPECT_EQ(json::parse(out).dump(), out) << status;
      EXPECT_EQ(json::parse(out).contains("row"), batch);
    }
  }
  std::string error;
  append_row_error(cli_format::json, true, 7, "shiny must be 0 or 1, not \"\xFF\"", &error);
  error.pop_back();
  EXPECT_EQ(json::parse(error).dump(-1, ' ', false, json::error_handler_t::replace), error);
}

// A batch composes a finished prediction's texts itself; they must be the window's.
class FinishedTexts : public ::testing::Test {
 protected:
  app_model m{};
  void expect_window_texts(const char *what) {
    const view_texts window = compose_view_texts(&m, PREDICTION_DONE, view_texts{});
    view_texts ours;
    ours.hidden_power_resume_label = "left over from an earlier row";
    compose_finished_texts(&m, &ours);
    ASSERT_EQ(ours.hidden_power_label, window.hidden_power_label) << what;
    ASSERT_EQ(ours.models_intro_label, window.models_intro_label) << what;
    ASSERT_EQ(ours.first_model_label, window.first_model_label) << what << m.first_prediction;
    ASSERT_EQ(ours.second_model_label, window.second_model_label) << what;
    ASSERT_EQ(ours.third_model_label, window.third_model_label) << what;
    ASSERT_EQ(ours.model_resume_label, window.model_resume_label) << what;
    ASSERT_EQ(ours.hidden_power_resume_label, window.hidden_power_resume_label) << what;
    ASSERT_EQ(ours.window_width, window.window_width) << what;
  }
};

TEST_F(FinishedTexts, PriceTextsAtEveryRoundingStep) {
  // Each step of a hundredth of a million, on both sides of where it rounds, and the ends.
  for (std::uint32_t k = 0; k <= 429496; ++k) {
    const std::uint64_t half = 10000ull * k + 5000;
    for (std::uint64_t amount : {half - 1, half, half + 1}) {
      m.first_prediction = static_cast<std::uint32_t>(amount);
      expect_window_texts("rounding step");
    }
  }
  for (std::uint32_t amount :
       {0u, 1u, 999u, 1000u, 1001u, 999999u, 1000000u, 999994999u, 999995000u, 4294967295u}) {
    m.first_prediction = amount;
    expect_window_texts("end of a band");
  }
}

TEST_F(FinishedTexts, WholeResultsWithAndWithoutHiddenPower) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<std::uint32_t> any, power(0, 70), band(0, 3);
  const char *messages[] = {nullptr, "The results are almost perfect",
                            "The results are probably not good, \nbecause of the limited "
                            "amount of data. \nIf you believe this is true, \nconsider "
                            "informing us if you want to help \nwith data collection."};
  const auto amount = [&] {
    const std::uint32_t top[4] = {999, 999999, 1200000000, 4294967295u};
    return any(random) % (top[band(random)] + 1ull);
  };
  for (int i = 0; i < 200000; ++i) {
    m.first_prediction = amount();
    m.second_prediction = amount();
    m.third_prediction = amount();
    m.average_prediction = amount();
    m.lowest_price = amount();
    m.highest_price = amount();
    m.hidden_power_power = i % 2 == 0 ? 0 : power(random);
    m.hidden_power_base_price = i % 3 == 0 ? 500000 : amount();
    m.in_range_message.reset();
    if (const char *text = messages[i % 3]) m.in_range_message = text;
    m.hidden_power.reset();
    if (i % 5 != 0) m.hidden_power = "Hidden Power:  Grass";
    expect_window_texts("random result");
  }
}

}  // namespace
