#include "model/species_file.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/coverage.hpp"

namespace {

species_description with_spreads(std::vector<iv_spread> spreads) {
  species_description d;
  d.nid = 1;
  d.name = "Bulbasaur";
  d.reference_spreads = std::move(spreads);
  return d;
}

}  // namespace

TEST(RateSpread, ExactMatchNearMatchAndNeither) {
  species_description d = with_spreads({{31, 30, 31, 30, 31, 30}, {0, 0, 0, 0, 0, 1}});
  d.near_match_window = std::array<iv_window, 6>{{{2, 2}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {0, 1}}};
  EXPECT_EQ(rate_spread(&d, 31, 30, 31, 30, 31, 30), 0);
  EXPECT_EQ(rate_spread(&d, 29, 32, 31, 30, 31, 31), 1);  // every IV at its window's edge
  EXPECT_EQ(rate_spread(&d, 31, 30, 31, 30, 31, 29), 2);  // SPD one below a zero-wide below
  EXPECT_EQ(rate_spread(&d, 28, 30, 31, 30, 31, 30), 2);
  // Near 0, the window's lower edge lies below zero and must not wrap.
  EXPECT_EQ(rate_spread(&d, 1, 2, 0, 0, 0, 2), 1);
}

TEST(RateSpread, NoWindowNeverRatesOne) {
  const species_description d = with_spreads({{31, 30, 31, 30, 31, 30}});
  EXPECT_EQ(rate_spread(&d, 31, 30, 31, 30, 31, 30), 0);
  EXPECT_EQ(rate_spread(&d, 31, 30, 31, 30, 31, 31), 2);
}

TEST(RateSpread, NegativeIvAsTypedMatchesNothing) {
  species_description d = with_spreads({{31, 31, 31, 31, 31, 0}});
  d.near_match_window =
      std::array<iv_window, 6>{{{31, 31}, {31, 31}, {31, 31}, {31, 31}, {31, 31}, {31, 31}}};
  EXPECT_EQ(rate_spread(&d, 31, 31, 31, 31, 31, 4294967295U), 2);
  const species_description empty = with_spreads({});
  EXPECT_EQ(rate_spread(&empty, 0, 0, 0, 0, 0, 0), 2);
}

// *** Reading ***

namespace {

// A valid file for national number 121, with `replace` put in place of one key's text.
std::string file_with(const std::string &key, const std::string &value) {
  std::map<std::string, std::string> keys = {
      {"format", "\"orvanta-species-1\""},
      {"nid", "121"},
      {"name", "\"Starmie\""},
      {"hidden_power_types", "[\"Fire\"]"},
      {"hidden_power_base_price", "500000"},
      {"lowest_price_margin", "0.1"},
      {"highest_price_margin", "0.1"},
      {"reference_spreads", "[[31, 30, 31, 30, 31, 30]]"},
      {"near_match_window", "[[2, 2], [2, 2], [2, 2], [0, 0], [2, 2], [1, 1]]"},
  };
  if (value.empty()) {
    keys.erase(key);
  } else {
    keys[key] = value;
  }
  std::string text = "{";
  for (const auto &[k, v] : keys) text += (text.size() > 1 ? ", \"" : "\"") + k + "\": " + v;
  return text + "}";
}

species_file parse(const std::string &bytes) {
  return parse_species_file(bytes, 121, "121_species.json");
}

}  // namespace

TEST(ParseSpeciesFile, ValidFileGivesItsDescription) {
  const species_file f = parse(file_with("expected_error", "[0.08, null, 2]"));
  ASSERT_EQ(f.state, species_file_state::valid) << f.reason;
  const species_description &d = f.description;
  EXPECT_EQ(d.nid, 121U);
  EXPECT_EQ(d.name, "Starmie");
  EXPECT_EQ(d.hidden_power_types, (std::array<int, 3>{8, -1, -1}));
  ASSERT_EQ(d.reference_spreads.size(), 1U);
  EXPECT_EQ(d.reference_spreads[0], (iv_spread{31, 30, 31, 30, 31, 30}));
  ASSERT_TRUE(d.near_match_window.has_value());
  EXPECT_EQ((*d.near_match_window)[5].above, 1);
  EXPECT_EQ(d.expected_error[0], 0.08);
  EXPECT_FALSE(d.expected_error[1].has_value());
  EXPECT_EQ(d.expected_error[2], 2.0);
  EXPECT_FALSE(d.networks.has_value());
  // Unknown keys are ignored; optional ones may be null or absent.
  EXPECT_EQ(parse(file_with("comment", "[1, {\"a\": 2}]")).state, species_file_state::valid);
  EXPECT_EQ(parse(file_with("expected_error", "null")).state, species_file_state::valid);
  EXPECT_EQ(parse(file_with("near_match_window", "null")).state, species_file_state::valid);
}

TEST(ParseSpeciesFile, TrustedFigureKeysAreOptionalAndReadByRating) {
  // Files written before these keys price as they did: no margins by rating, no measured
  // shares, fixed prices kept.
  const species_file old = parse(file_with("comment", "1"));
  ASSERT_EQ(old.state, species_file_state::valid) << old.reason;
  EXPECT_TRUE(old.description.fixed_prices);
  EXPECT_FALSE(old.description.range_margins[0].has_value());
  EXPECT_FALSE(old.description.range_coverage[2].has_value());

  std::string text = file_with("range_margins", "[[0.05, 0.07], null, [1, 10]]");
  text.insert(text.size() - 1, ", \"range_coverage\": [0.8, null, 0.75], \"fixed_prices\": false");
  text.replace(text.find("\"highest_price_margin\": 0.1"), 27, "\"highest_price_margin\": 9.5");
  const species_file f = parse(text);
  ASSERT_EQ(f.state, species_file_state::valid) << f.reason;
  const species_description &d = f.description;
  EXPECT_EQ(d.highest_price_margin, 9.5);
  EXPECT_EQ(d.range_margins[0], (std::array<double, 2>{0.05, 0.07}));
  EXPECT_FALSE(d.range_margins[1].has_value());
  EXPECT_EQ(d.range_margins[2], (std::array<double, 2>{1.0, 10.0}));
  EXPECT_EQ(d.range_coverage[0], 0.8);
  EXPECT_FALSE(d.range_coverage[1].has_value());
  EXPECT_FALSE(d.fixed_prices);
  EXPECT_EQ(parse(file_with("range_margins", "null")).state, species_file_state::valid);
  EXPECT_EQ(parse(file_with("range_coverage", "null")).state, species_file_state::valid);
}

TEST(ParseSpeciesFile, TrainingSummaryReadsRowsAndBothDatesIgnoringOtherForms) {
  struct training_case {
    std::string training;
    std::optional<std::uint64_t> rows;
    std::string first, last;
  };
  const std::vector<training_case> cases = {
      {R"({"rows": 371, "dates": {"first": "2025-01-01", "last": "2025-12-31", "since": null}})",
       371, "2025-01-01", "2025-12-31"},
      {R"({"rows": 371, "dates": null})", 371, "", ""},
      // Free form: anything else is left out, never refused.
      {R"({"rows": -3, "dates": {"first": "2025-01-01"}})", std::nullopt, "", ""},
      {R"({"rows": 3.5, "dates": {"first": "2025-1-1", "last": "2025-12-31"}})", std::nullopt, "",
       ""},
      {R"({"rows": "371", "dates": {"first": 20250101, "last": "2025-12-31"}})", std::nullopt, "",
       ""},
  };
  for (const training_case &c : cases) {
    const species_file f = parse(file_with("training", c.training));
    ASSERT_EQ(f.state, species_file_state::valid) << c.training << ": " << f.reason;
    EXPECT_EQ(f.description.trained.rows, c.rows) << c.training;
    EXPECT_EQ(f.description.trained.first_date, c.first) << c.training;
    EXPECT_EQ(f.description.trained.last_date, c.last) << c.training;
  }
}

TEST(ParseSpeciesFile, EveryBrokenRuleIsDamagedWithItsReason) {
  const std::string sum(64, 'a');
  const struct {
    std::string key, value, reason;
  } cases[] = {
      {"format", "\"orvanta-species-2\"", "format is \"orvanta-species-2\""},
      {"format", "", "the key \"format\" is missing"},
      {"nid", "120", "nid is 120 in the file of 121"},
      {"nid", "121.0", "nid is 121.0: a whole number is written without"},
      {"nid", "1.21e2", "nid is 121.0: a whole number"},
      {"nid", "-121", "nid is -121, below 0"},
      {"name", "\"\"", "name has 0 bytes"},
      {"name", "\"" + std::string(65, 'x') + "\"", "name has 65 bytes"},
      {"name", "\"Star\\nmie\"", "name holds a control character"},
      {"name", "\"Star\\u0085mie\"", "name holds a control character"},
      {"name", "7", "name must be a string"},
      {"hidden_power_types", "[\"fire\"]", "hidden_power_types[0] is \"fire\", not a type"},
      {"hidden_power_types", "[\"Fire\", \"Ice\", \"Fire\"]", "hidden_power_types[2] repeats"},
      {"hidden_power_types", "[\"Fire\", \"Ice\", \"Dark\", \"Bug\"]", "has 4 entries"},
      {"hidden_power_base_price", "4294967296", "is 4294967296, above 4294967295"},
      {"lowest_price_margin", "1.5", "lowest_price_margin is 1.5, above 1"},
      {"highest_price_margin", "-0.1", "highest_price_margin is -0.1, below 0"},
      {"highest_price_margin", "10.5", "highest_price_margin is 10.5, above 10"},
      {"range_margins", "[[0.1, 0.2], null]", "range_margins has 2 entries"},
      {"range_margins", "[[1.5, 0.2], null, null]", "range_margins[0][0] is 1.5, above 1"},
      {"range_margins", "[null, [0.1, 11], null]", "range_margins[1][1] is 11, above 10"},
      {"range_margins", "[null, null, [0.1]]", "range_margins[2] has 1 entries"},
      {"range_coverage", "[0.8, 1.2, null]", "range_coverage[1] is 1.2, above 1"},
      {"range_coverage", "{}", "range_coverage must be an array"},
      {"fixed_prices", "0", "fixed_prices must be true or false, not 0"},
      {"highest_price_margin", "\"0.1\"", "highest_price_margin must be a number"},
      {"reference_spreads", "[[31, 30, 31, 30, 31]]", "reference_spreads[0] has 5 entries"},
      {"reference_spreads", "[[31, 30, 31, 30, 31, 32]]",
       "reference_spreads[0][5] is 32, above 31"},
      {"reference_spreads", "{}", "reference_spreads must be an array"},
      {"near_match_window", "[[2, 2], [2, 2], [2, 40], [0, 0], [2, 2], [1, 1]]",
       "near_match_window[2][1] is 40, above 31"},
      {"near_match_window", "[[2, 2]]", "near_match_window has 1 entries"},
      {"near_match_window", "", "the key \"near_match_window\" is missing"},
      {"expected_error", "[0.1, -0.2, null]", "expected_error[1] is -0.2, below 0"},
      {"expected_error", "[0.1]", "expected_error has 1 entries"},
      {"networks", "{\"m1\": \"" + sum + "\", \"m2\": \"" + sum + "\"}", "\"m3\" is missing"},
      {"networks",
       "{\"m1\": \"" + sum + "\", \"m2\": \"" + sum + "\", \"m3\": \"" + std::string(64, 'A') +
           "\"}",
       "networks.m3 is"},
      {"training", "[]", "training must be an object"},
  };
  for (const auto &c : cases) {
    const species_file f = parse(file_with(c.key, c.value));
    EXPECT_EQ(f.state, species_file_state::damaged) << c.key << " " << c.value;
    EXPECT_EQ(f.reason.rfind("121_species.json: ", 0), 0U) << f.reason;
    EXPECT_NE(f.reason.find(c.reason), std::string::npos) << f.reason;
  }
}

TEST(ParseSpeciesFile, SizeNestingAndUtf8Limits) {
  const auto nested = [](int depth) {
    return file_with("training",
                     "{\"x\": " + std::string(depth - 2, '[') + std::string(depth - 2, ']') + "}");
  };
  EXPECT_EQ(parse(nested(8)).state, species_file_state::valid) << parse(nested(8)).reason;
  EXPECT_NE(parse(nested(9)).reason.find("nested deeper than 8"), std::string::npos);
  EXPECT_NE(parse(nested(100000)).reason.find("nested deeper than 8"), std::string::npos);
  EXPECT_NE(parse(file_with("name", "\"St\xC3\x28rmie\"")).reason.find("not valid UTF-8 JSON"),
            std::string::npos);
  EXPECT_NE(parse("{\"nid\": 121,}").reason.find("not valid UTF-8 JSON"), std::string::npos);
  EXPECT_EQ(parse("").state, species_file_state::damaged);
  // Just at the size limit passes the size check; a byte more is refused outright.
  std::string padded = file_with("name", "\"Starmie\"");
  padded.append(species_file_max_bytes - padded.size(), ' ');
  EXPECT_EQ(parse(padded).state, species_file_state::valid);
  padded.push_back(' ');
  EXPECT_NE(parse(padded).reason.find("more than the 16 MiB"), std::string::npos);
}

TEST(ParseSpeciesFile, AtMostOneHundredThousandSpreads) {
  std::string spreads = "[";
  for (std::size_t i = 0; i < species_file_max_spreads; ++i)
    spreads += i == 0 ? "[1,2,3,4,5,6]" : ",[1,2,3,4,5,6]";
  const species_file most = parse(file_with("reference_spreads", spreads + "]"));
  EXPECT_EQ(most.state, species_file_state::valid);
  EXPECT_EQ(most.description.reference_spreads.size(), species_file_max_spreads);
  EXPECT_NE(parse(file_with("reference_spreads", spreads + ",[1,2,3,4,5,6]]"))
                .reason.find("has 100001 entries"),
            std::string::npos);
}

TEST(ReadSpeciesFile, AbsentValidOrRefusedWithoutReading) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "orvanta-sf-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path file = dir / "121_species.json";
  EXPECT_EQ(read_species_file(pattern.c_str(), 121).state, species_file_state::absent);
  std::ofstream(file) << file_with("name", "\"Starmie\"");
  EXPECT_EQ(read_species_file(pattern.c_str(), 121).state, species_file_state::valid);
  // Anything but a regular file is refused at once: a FIFO without a writer would block
  // and a link to an endless device would be read until memory runs out.
  const auto refused = [&](const std::string &why) {
    const species_file f = read_species_file(pattern.c_str(), 121);
    EXPECT_EQ(f.state, species_file_state::damaged);
    EXPECT_EQ(f.reason, file.string() + ": " + why);
    fs::remove_all(file);
  };
  const std::string not_regular = "is not a regular file (a folder, a device or a pipe)";
  fs::remove(file);
  fs::create_directory(file);
  refused(not_regular);
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  refused(not_regular);
  fs::create_symlink("/dev/zero", file);
  refused(not_regular);
  // Over the limit: refused by its size, before a byte is read (a sparse file costs nothing).
  std::ofstream(file).close();
  fs::resize_file(file, species_file_max_bytes + 1);
  refused("has 16777217 bytes, more than the 16 MiB a species file may have");
  fs::remove_all(dir);
}

// *** Writing ***

TEST(FormatSpeciesFile, ReadsBackToTheSameDescriptionAndBytes) {
  species_description d;
  d.nid = 700;
  d.name = "Sylveon \"fée\"";
  d.hidden_power_types = {15, 0, -1};
  d.hidden_power_base_price = 4294967295U;
  d.lowest_price_margin = 0.1;
  d.highest_price_margin = 1.0 / 3.0;
  d.reference_spreads = {{0, 31, 2, 3, 4, 5}, {31, 31, 31, 31, 31, 31}};
  d.near_match_window =
      std::array<iv_window, 6>{{{0, 2}, {1, 1}, {2, 2}, {0, 0}, {31, 31}, {3, 0}}};
  d.expected_error = {0.0812345678901234, std::nullopt, 12.5};
  d.networks =
      std::array<std::string, 3>{std::string(64, '0'), std::string(64, 'f'), std::string(64, '9')};
  d.training = R"({"rows":1200,"seed":7,"since":"2024-01-01"})";
  d.range_margins = {std::array<double, 2>{0.05, 0.125}, std::nullopt,
                     std::array<double, 2>{0.6, 9.75}};
  d.range_coverage = {std::nullopt, 0.8125, 0.5};
  d.fixed_prices = false;
  const std::string text = format_species_file(&d);
  const species_file back = parse_species_file(text, 700, "700_species.json");
  ASSERT_EQ(back.state, species_file_state::valid) << back.reason << "\n" << text;
  const species_description &b = back.description;
  EXPECT_EQ(b.name, d.name);
  EXPECT_EQ(b.hidden_power_types, d.hidden_power_types);
  EXPECT_EQ(b.hidden_power_base_price, d.hidden_power_base_price);
  EXPECT_EQ(b.lowest_price_margin, d.lowest_price_margin);
  EXPECT_EQ(b.highest_price_margin, d.highest_price_margin);
  EXPECT_EQ(b.reference_spreads, d.reference_spreads);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ((*b.near_match_window)[i].below, (*d.near_match_window)[i].below);
    EXPECT_EQ((*b.near_match_window)[i].above, (*d.near_match_window)[i].above);
  }
  EXPECT_EQ(b.expected_error, d.expected_error);
  EXPECT_EQ(b.networks, d.networks);
  EXPECT_EQ(b.training, d.training);
  EXPECT_EQ(b.range_margins, d.range_margins);
  EXPECT_EQ(b.range_coverage, d.range_coverage);
  EXPECT_FALSE(b.fixed_prices);
  EXPECT_EQ(format_species_file(&b), text);
  // Without the optional parts, and with no spreads at all.
  species_description bare;
  bare.nid = 1;
  bare.name = "Bulbasaur";
  const species_file b2 = parse_species_file(format_species_file(&bare), 1, "1_species.json");
  ASSERT_EQ(b2.state, species_file_state::valid) << b2.reason;
  EXPECT_EQ(format_species_file(&b2.description), format_species_file(&bare));
}

// *** The built-in table through the same description ***

TEST(BuiltInSpecies, RatesEverySpreadAsItsClassifierDoes) {
  const struct {
    std::uint32_t nid;
    decltype(&Growlithe_range) classifier;
  } groups[] = {{58, Growlithe_range}, {86, Seel_range},     {230, Horsea_range},
                {121, Staryu_range},   {212, Scyther_range}, {133, Eevee_range}};
  for (const auto &g : groups) {
    const species_description *d = find_built_in_species(g.nid);
    ASSERT_NE(d, nullptr);
    int checked = 0;
    for (const iv_spread &ref : d->reference_spreads) {
      // Each reference spread and its neighbours one and two steps either way on each IV.
      for (std::size_t i = 0; i < 6; ++i) {
        for (int step : {-2, -1, 0, 1, 2}) {
          std::array<std::uint32_t, 6> ivs = {ref[0], ref[1], ref[2], ref[3], ref[4], ref[5]};
          ivs[i] = static_cast<std::uint32_t>(static_cast<int>(ivs[i]) + step);
          ASSERT_EQ(rate_spread(d, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]),
                    g.classifier(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]))
              << g.nid;
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 100);
  }
  EXPECT_EQ(built_in_species().size(), 12U);
  EXPECT_FALSE(find_built_in_species(86)->priced);
  EXPECT_EQ(find_built_in_species(59)->name, "Arcanine");
  EXPECT_EQ(find_built_in_species(57), nullptr);
}
