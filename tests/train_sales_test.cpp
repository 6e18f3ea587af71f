// Sales records: which rows train, what price the networks learn, and what is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "train/train_sales.hpp"

namespace {

std::array<std::string, 9> row(const std::string &nid, const std::string &shiny,
                               std::array<std::string, 6> ivs, const std::string &price) {
  return {nid, shiny, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5], price};
}

const std::array<std::string, 6> plain = {"20", "21", "22", "23", "24", "25"};  // Ghost
const std::array<std::uint32_t, 6> grass_70 = {30, 31, 30, 30, 31, 31};         // Grass, power 70
const std::array<std::uint32_t, 6> fire_70 = {31, 30, 31, 30, 31, 30};          // Fire, power 70
const std::array<std::uint32_t, 6> grass_43 = {5, 23, 2, 14, 9, 1};             // Grass, power 43

// A file in the test's temporary directory, removed with the fixture.
class SalesFile : public ::testing::Test {
 protected:
  std::string write(const std::string &text) {
    path_ = (std::filesystem::temp_directory_path() /
             ("orvanta_train_sales_" + std::to_string(::getpid()) + ".csv"))
                .string();
    std::ofstream(path_) << text;
    return path_;
  }
  void TearDown() override {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  std::string path_;
};

}  // namespace

TEST(ParseSale, AcceptsAPlainRowWithBlanksAroundNumbers) {
  sale s;
  ASSERT_EQ(parse_sale(row(" 58", "1 ", plain, "250000"), &s), "");
  EXPECT_EQ(s.nid, 58u);
  EXPECT_EQ(s.shiny, 1u);
  EXPECT_EQ(s.ivs, (std::array<std::uint32_t, 6>{20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(s.price, 250000u);
  EXPECT_EQ(s.network_price, 250000u);  // Ghost earns Growlithe no addition
}

TEST(ParseSale, RefusesEachBadFieldAndSaysWhich) {
  sale s;
  EXPECT_NE(parse_sale(row("0", "0", plain, "1"), &s).find("nid \"0\""), std::string::npos);
  EXPECT_NE(parse_sale(row("1000", "0", plain, "1"), &s).find("nid"), std::string::npos);
  EXPECT_NE(parse_sale(row("-58", "0", plain, "1"), &s).find("nid"), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "2", plain, "1"), &s).find("shiny \"2\""), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "", plain, "1"), &s).find("shiny"), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", {"20", "21", "22", "32", "24", "25"}, "1"), &s)
                .find("sp_atk \"32\""),
            std::string::npos);
  EXPECT_NE(
      parse_sale(row("58", "0", {"20", "21", "22", "23", "24", "-1"}, "1"), &s).find("spd \"-1\""),
      std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", plain, "0"), &s).find("price \"0\""), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", plain, "12.5"), &s).find("price"), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", plain, "1.0005k"), &s).find("price"), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", plain, "4294967296"), &s).find("price"), std::string::npos);
  EXPECT_NE(parse_sale(row("58", "0", plain, "1164000001"), &s).find("the most the networks"),
            std::string::npos);
  EXPECT_EQ(parse_sale(row("58", "0", plain, "1164000000"), &s), "");
}

TEST(HiddenPowerAddition, FollowsTheSpeciesTableAndTheWindowsFormula) {
  EXPECT_EQ(hidden_power_addition(58, grass_70), 1000000u);  // 2 * 70 / 70 of 500,000
  EXPECT_EQ(hidden_power_addition(59, grass_43), 614285u);   // 86 / 70, truncated
  EXPECT_EQ(hidden_power_addition(121, fire_70), 1000000u);
  EXPECT_EQ(hidden_power_addition(133, fire_70), 1000000u);
  EXPECT_EQ(hidden_power_addition(58, fire_70), 0u);    // Growlithe pays for Grass only
  EXPECT_EQ(hidden_power_addition(123, grass_70), 0u);  // Scyther pays for none
  EXPECT_EQ(hidden_power_addition(25, fire_70), 0u);    // not in the table
}

TEST(ParseSale, TheNetworksLearnThePriceLessTheAddition) {
  sale s;
  ASSERT_EQ(parse_sale(row("59", "0", {"5", "23", "2", "14", "9", "1"}, "2000000"), &s), "");
  EXPECT_EQ(s.price, 2000000u);
  EXPECT_EQ(s.network_price, 2000000u - 614285u);
  EXPECT_NE(parse_sale(row("58", "0", {"30", "31", "30", "30", "31", "31"}, "1000000"), &s)
                .find("does not exceed its Hidden Power addition 1000000"),
            std::string::npos);
}

TEST(HasFixedPrice, EpicFailAndEqualSpreads) {
  EXPECT_TRUE(has_fixed_price({9, 9, 9, 9, 9, 8}));
  EXPECT_TRUE(has_fixed_price({31, 31, 31, 31, 31, 31}));
  EXPECT_FALSE(has_fixed_price({9, 9, 9, 9, 9, 10}));
  EXPECT_FALSE(has_fixed_price({31, 31, 31, 31, 31, 30}));
}

TEST_F(SalesFile, ReadsColumnsInAnyOrderAndReportsBadRowsByNumber) {
  const std::string path = write(
      "price,note,spd,sp_def,sp_atk,def,atk,hp,shiny,nid\n"
      "250000,ok,25,24,23,22,21,20,0,58\n"
      "abc,bad price,25,24,23,22,21,20,0,58\n"
      "300000,fixed,5,5,5,5,5,5,0,58\n"
      "\n"
      "400000,ok,25,24,23,22,21,20,1,133\n"
      "400000,short row\n");
  sales_file sales;
  std::string error;
  sales_options skipping;
  skipping.skip_fixed_prices = true;
  ASSERT_TRUE(read_sales(path.c_str(), &sales, &error, skipping)) << error;
  ASSERT_EQ(sales.sales.size(), 2u);
  EXPECT_EQ(sales.sales[0].nid, 58u);
  EXPECT_EQ(sales.sales[0].row, 1u);
  EXPECT_EQ(sales.sales[0].ivs, (std::array<std::uint32_t, 6>{20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(sales.sales[1].nid, 133u);
  EXPECT_EQ(sales.sales[1].shiny, 1u);
  EXPECT_EQ(sales.sales[1].row, 4u);
  EXPECT_EQ(sales.fixed_price_rows, 1u);
  // By default a fixed-price spread is a sale like any other.
  sales_file all;
  ASSERT_TRUE(read_sales(path.c_str(), &all, &error)) << error;
  ASSERT_EQ(all.sales.size(), 3u);
  EXPECT_EQ(all.sales[1].row, 3u);
  EXPECT_EQ(all.fixed_price_rows, 0u);
  ASSERT_EQ(sales.skipped.size(), 2u);
  EXPECT_EQ(sales.skipped[0].rfind("row 2 (line 3): price \"abc\"", 0), 0u) << sales.skipped[0];
  EXPECT_EQ(sales.skipped[1].rfind("row 5 (line 7): ", 0), 0u) << sales.skipped[1];
}

TEST_F(SalesFile, MissingColumnOrFileFails) {
  sales_file sales;
  std::string error;
  const std::string path = write("nid,shiny,hp,atk,def,sp_atk,sp_def,spd\n58,0,1,2,3,4,5,6\n");
  EXPECT_FALSE(read_sales(path.c_str(), &sales, &error));
  EXPECT_NE(error.find("price"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(read_sales("/nonexistent/sales.csv", &sales, &error));
  EXPECT_FALSE(error.empty());
}

TEST(ParsePrice, AsSellersWriteItExactToThePd) {
  const std::vector<std::pair<const char *, std::uint32_t>> accepted = {
      {"1500000", 1500000},
      {" 1,500,000 ", 1500000},
      {"1.5m", 1500000},
      {"1.5M", 1500000},
      {"500k", 500000},
      {"2m", 2000000},
      {"1.2345m", 1234500},
      {"1.250k", 1250},
      {".5m", 500000},
      {"4,294,967,295", 4294967295u},
      {"4294.967295m", 4294967295u},
      {"007", 7},
      {"999,999", 999999}};
  for (const auto &[text, value] : accepted) {
    std::uint32_t price = 0;
    EXPECT_TRUE(parse_price(text, &price)) << text;
    EXPECT_EQ(price, value) << text;
  }
  for (const char *text : {"",      "k",      "m",     "1.m",  "1.2345678m",  "1.0005k",
                           "12.5",  "1,5000", "1,50",  ",100", "1234,567",    "1,500k",
                           "1.5b",  "1e6",    "-5k",   "+5",   "4294967296",  "4,294,967,296",
                           "4295m", "1.5 m",  "1..5m", "0x10", "1,500,000.00"}) {
    std::uint32_t price = 0;
    EXPECT_FALSE(parse_price(text, &price)) << text;
  }
  sale s;
  EXPECT_EQ(parse_sale(row("58", "0", plain, "1.5m"), &s), "");
  EXPECT_EQ(s.price, 1500000u);
  EXPECT_NE(parse_sale(row("58", "0", plain, "1.2345678m"), &s)
                .find("written as 1500000, 1,500,000, 1.5m or 500k"),
            std::string::npos);
}

TEST(ValidDate, CalendarDaysOnly) {
  for (const char *text : {"2024-02-29", "2000-02-29", "2023-12-31", "0001-01-01"})
    EXPECT_TRUE(valid_date(text)) << text;
  for (const char *text : {"2023-02-29", "1900-02-29", "2024-13-01", "2024-04-31", "2024-00-10",
                           "2024-1-01", "24-01-01", "2024/01/01", "0000-01-01", "2024-01-01 ", ""})
    EXPECT_FALSE(valid_date(text)) << text;
}

TEST(HiddenPowerTypes, TheOptionsReplaceTheBuiltInTableForTheAddition) {
  EXPECT_EQ(hidden_power_types_of(121), std::vector<int>{8});
  EXPECT_EQ(hidden_power_types_of(86), std::vector<int>{});  // known but not priced
  EXPECT_EQ(hidden_power_types_of(25), std::vector<int>{});
  sales_options options;
  options.hidden_power_types[25] = {8, 13};
  options.hidden_power_types[121] = {};
  sale s;
  const std::array<std::string, 6> fire = {"31", "30", "31", "30", "31", "30"};
  ASSERT_EQ(parse_sale(row("25", "0", fire, "3m"), &s, options), "");
  EXPECT_EQ(s.network_price, 2000000u);  // the addition of Fire at power 70 taken off
  ASSERT_EQ(parse_sale(row("121", "0", fire, "3m"), &s, options), "");
  EXPECT_EQ(s.network_price, 3000000u);  // Starmie told to pay for none
  EXPECT_EQ(hidden_power_type_number("fire"), 8);
  EXPECT_EQ(hidden_power_type_number("Dark"), 15);
  EXPECT_EQ(hidden_power_type_number("Fairy"), -1);
}

TEST_F(SalesFile, DatedSalesAndTheSinceDay) {
  const std::string path = write(
      "nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price,Date\n"
      "58,0,20,21,22,23,24,25,250000,2024-03-01\n"
      "58,0,20,21,22,23,24,25,250000,2024-02-28\n"
      "58,0,20,21,22,23,24,25,250000,2024-02-30\n"
      "58,0,20,21,22,23,24,25,250000,\n"
      "58,0,20,21,22,23,24,25,\"1,250,000\", 2024-04-01 \n");
  sales_file all;
  std::string error;
  ASSERT_TRUE(read_sales(path.c_str(), &all, &error)) << error;
  EXPECT_TRUE(all.dated);
  ASSERT_EQ(all.sales.size(), 3u);
  EXPECT_EQ(all.sales[2].date, "2024-04-01");
  EXPECT_EQ(all.sales[2].price, 1250000u);
  ASSERT_EQ(all.skipped.size(), 2u);
  EXPECT_NE(all.skipped[0].find("row 3 (line 4): date \"2024-02-30\""), std::string::npos);
  EXPECT_NE(all.skipped[1].find("row 4 (line 5): date \"\""), std::string::npos);

  sales_options since;
  since.since = "2024-03-01";
  sales_file recent;
  ASSERT_TRUE(read_sales(path.c_str(), &recent, &error, since)) << error;
  ASSERT_EQ(recent.sales.size(), 2u);
  EXPECT_EQ(recent.sales[0].date, "2024-03-01");  // the day itself counts
  EXPECT_EQ(recent.before_since, 1u);

  sales_file undated;
  const std::string plain_path = write(
      "nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price\n"
      "58,0,20,21,22,23,24,25,250000\n");
  ASSERT_TRUE(read_sales(plain_path.c_str(), &undated, &error)) << error;
  EXPECT_FALSE(undated.dated);
  EXPECT_EQ(undated.sales.at(0).date, "");
  EXPECT_FALSE(read_sales(plain_path.c_str(), &undated, &error, since));
  EXPECT_NE(error.find("--since needs a \"date\" column"), std::string::npos) << error;
}
