// orvanta-cli's records: the JSON written by hand must be byte for byte what nlohmann::json
// writes, since scripts compare records across versions and with single predictions.
#include "cli/cli_output.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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

// Keys a script can use: no key repeats, whatever the header holds.
TEST(NameExtraColumns, EmptyNamesByPlaceRepeatedNamesNumbered) {
  const std::vector<csv_other_column> others = {{"note", 1},   {"", 3},        {"note", 4},
                                                {"note_2", 5}, {"note", 6},    {"\xff", 7},
                                                {"\xfe", 8},   {"a, \"b\"", 9}};
  const extra_columns named = name_extra_columns(others);
  EXPECT_EQ(named.json_keys,
            (std::vector<std::string>{"\"note\"", "\"column_3\"", "\"note_2\"", "\"note_2_2\"",
                                      "\"note_3\"", "\"\xEF\xBF\xBD\"", "\"\xEF\xBF\xBD_2\"",
                                      "\"a, \\\"b\\\"\""}));
  // The CSV header keeps the file's names, quoted only where CSV needs it.
  EXPECT_EQ(named.csv_names, (std::vector<std::string>{"note", "", "note", "note_2", "note", "\xff",
                                                       "\xfe", "\"a, \"\"b\"\"\""}));
}

// A record is what the library writes when it reads the record back.
TEST(AppendPrediction, JsonRecordsAreTheLibrarysOwnForm) {
  cli_form form;
  form.texts[0] = "58";
  const extra_columns extra = name_extra_columns({{"id", 1}, {"", 11}});
  csv_row cells;
  cells.others = {"L-\"1\"\n", "x"};
  cells.others_read = 2;
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
      append_prediction(cli_format::json, batch, true, 123456789012345ull, &form, &p, &out, &extra,
                        &cells);
      ASSERT_EQ(out.back(), '\n');
      out.pop_back();
      EXPECT_EQ(json::parse(out).dump(), out) << status;
      EXPECT_EQ(json::parse(out).contains("row"), batch);
      EXPECT_EQ(json::parse(out).contains("columns"), batch);
    }
  }
  std::string error;
  cells.others_read = 1;  // the row could be read up to its first other column
  append_row_error(cli_format::json, true, 7, "shiny must be 0 or 1, not \"\xFF\"", &error, &extra,
                   &cells);
  error.pop_back();
  EXPECT_EQ(json::parse(error).dump(-1, ' ', false, json::error_handler_t::replace), error);
  EXPECT_EQ(json::parse(error)["columns"], json::parse("{\"id\": \"L-\\\"1\\\"\\n\"}"));
}

}  // namespace
