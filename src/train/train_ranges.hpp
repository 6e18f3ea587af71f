// The recommended sales range of a trained species: its margins set from the seller's
// held-out sales so that the range holds a chosen share of them, by coverage rating where a
// rating has enough of them, and the share it held, measured on sales that neither trained
// the networks nor set the margins that judge them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// One held-out sale as the window would price it.
struct measured_sale {
  std::uint32_t price = 0;    // the sale price less any Hidden Power addition
  std::uint32_t average = 0;  // the window's average of the three networks' prices for it
  int rating = 2;             // the coverage rating of its spread: 0, 1 or 2
};

// The two margins of a range: {lowest, highest}, fractions of the average.
using range_margins = std::array<double, 2>;

// A rating with fewer measured sales states no share and no error: too few to measure.
inline constexpr std::size_t fewest_measured_sales = 10;
// A rating with at least this many gets margins of its own; the others share the species'.
inline constexpr std::size_t fewest_sales_for_own_margins = 30;

struct range_figures {
  range_margins species{};                                // for the ratings without their own
  std::array<std::optional<range_margins>, 3> by_rating;  // a rating's own margins
  std::array<std::optional<double>, 3> coverage;          // share inside, by rating
  std::array<std::size_t, 3> measured{};                  // sales measured, by rating
  std::optional<double> overall;                          // share inside, all ratings
};

// True when the sale's price lies inside the range that margins `m` give its average, the
// range formed as the window forms it.
bool inside_range(const measured_sale &s, const range_margins &m);

// Sets margins so that the range holds `share` (0.5 to 0.99) of the sales, the same share
// below and above it: a rating with at least fewest_sales_for_own_margins sales from its
// own, the species' from all of them (`fallback` for both when there are fewer than
// fewest_measured_sales). Each sale counts as inside or not under margins set from the
// other sales alone, so the shares stated are what new sales can expect. Margins are
// rounded outwards to four decimals, shares to four decimals.
range_figures calibrate_ranges(const std::vector<measured_sale> &sales, double share,
                               const range_margins &fallback);

// The shares the sales measure under margins fixed in advance (no rating has its own).
range_figures measure_ranges(const std::vector<measured_sale> &sales, const range_margins &fixed);
