#include "model/species_file.hpp"

#include <gtest/gtest.h>

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
