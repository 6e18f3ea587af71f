// Range margins from held-out sales. The margins are order statistics of the sales' price
// over average, as many sales left below as above, at the ranks that give a new sale the
// asked-for chance to fall between them; each sale is judged under the margins the other
// sales give, a leave-one-out measure of the share new sales will find inside.
#include "train/train_ranges.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/model_orvanta.hpp"
#include "model/species_file.hpp"

namespace {

constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

// Up to four decimals, never below `x`: a margin rounded this way still holds its sale.
double round_outwards(double x, double highest) {
  if (!(x > 0.0)) return 0.0;
  if (!(x < highest)) return highest;
  return std::min(highest, std::ceil(x * 10000.0 + 1e-7) / 10000.0);
}

std::optional<double> rounded_share(std::size_t inside, std::size_t of) {
  if (of == 0) return std::nullopt;
  return std::round(static_cast<double>(inside) / static_cast<double>(of) * 10000.0) / 10000.0;
}

// The margins from ascending price-over-average ratios, leaving out the one at `skip`
// (none: all of them). Of n ratios, the ones at rank h = tail * (n + 1) from each end,
// between two ranks read proportionally, between 1 and n: a new sale falls between the
// k-th from each end with chance (n + 1 - 2k) / (n + 1), so these leave it the share asked
// for, as far as n sales can tell.
range_margins margins_from(const std::vector<double> &sorted, std::size_t skip, double share) {
  const std::size_t n = sorted.size() - (skip == none ? 0 : 1);
  const auto at = [&](std::size_t rank) {  // 1-based rank among the sales kept
    std::size_t index = rank - 1;
    if (skip != none && index >= skip) ++index;
    return sorted[index];
  };
  const auto read = [&](double rank) {
    rank = std::clamp(rank, 1.0, static_cast<double>(n));
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const double part = rank - static_cast<double>(below);
    if (part == 0.0 || below == n) return at(below);
    const double low = at(below), high = at(below + 1);
    return std::isinf(high) ? high : low + part * (high - low);
  };
  const double h = (1.0 - share) / 2.0 * static_cast<double>(n + 1);
  return {
      round_outwards(1.0 - read(h), species_file_max_lowest_margin),
      round_outwards(read(static_cast<double>(n + 1) - h) - 1.0, species_file_max_highest_margin)};
}

double ratio(const measured_sale &s) {
  if (s.average == 0) return std::numeric_limits<double>::infinity();
  return static_cast<double>(s.price) / static_cast<double>(s.average);
}

// A group of sales calibrated together: their margins from all of them, and for each sale
// whether it lies inside the margins the others give.
struct calibrated_group {
  range_margins margins{};
  std::vector<bool> inside;  // in the order of `members`
};

calibrated_group calibrate_group(const std::vector<measured_sale> &sales,
                                 const std::vector<std::size_t> &members, double share) {
  std::vector<std::pair<double, std::size_t>> order;  // ratio, place in `members`
  for (std::size_t i = 0; i < members.size(); ++i) order.emplace_back(ratio(sales[members[i]]), i);
  std::sort(order.begin(), order.end());
  std::vector<double> sorted;
  for (const auto &entry : order) sorted.push_back(entry.first);
  calibrated_group g;
  g.margins = margins_from(sorted, none, share);
  g.inside.assign(members.size(), false);
  for (std::size_t rank = 0; rank < order.size(); ++rank) {
    const std::size_t i = order[rank].second;
    g.inside[i] = inside_range(sales[members[i]], margins_from(sorted, rank, share));
  }
  return g;
}

}  // namespace

bool inside_range(const measured_sale &s, const range_margins &m) {
  const std::array<std::uint32_t, 2> range = sales_range(s.average, m[0], m[1]);
  return range[0] <= s.price && s.price <= range[1];
}

range_figures calibrate_ranges(const std::vector<measured_sale> &sales, double share,
                               const range_margins &fallback) {
  if (sales.size() < fewest_measured_sales) return measure_ranges(sales, fallback);
  std::array<std::vector<std::size_t>, 3> rated;
  std::vector<std::size_t> all;
  for (std::size_t i = 0; i < sales.size(); ++i) {
    rated[static_cast<std::size_t>(sales[i].rating)].push_back(i);
    all.push_back(i);
  }
  const calibrated_group species = calibrate_group(sales, all, share);
  range_figures figures;
  figures.species = species.margins;
  std::size_t inside_all = 0;
  for (std::size_t r = 0; r < 3; ++r) {
    const std::vector<std::size_t> &members = rated[r];
    figures.measured[r] = members.size();
    std::size_t inside = 0;
    if (members.size() >= fewest_sales_for_own_margins) {
      const calibrated_group own = calibrate_group(sales, members, share);
      figures.by_rating[r] = own.margins;
      inside = static_cast<std::size_t>(std::count(own.inside.begin(), own.inside.end(), true));
    } else {
      for (std::size_t i : members) inside += species.inside[i] ? 1 : 0;
    }
    inside_all += inside;
    if (members.size() >= fewest_measured_sales)
      figures.coverage[r] = rounded_share(inside, members.size());
  }
  figures.overall = rounded_share(inside_all, sales.size());
  return figures;
}

range_figures measure_ranges(const std::vector<measured_sale> &sales, const range_margins &fixed) {
  range_figures figures;
  figures.species = fixed;
  std::array<std::size_t, 3> inside{};
  for (const measured_sale &s : sales) {
    const auto r = static_cast<std::size_t>(s.rating);
    ++figures.measured[r];
    if (inside_range(s, fixed)) ++inside[r];
  }
  for (std::size_t r = 0; r < 3; ++r) {
    if (figures.measured[r] >= fewest_measured_sales)
      figures.coverage[r] = rounded_share(inside[r], figures.measured[r]);
  }
  figures.overall = rounded_share(inside[0] + inside[1] + inside[2], sales.size());
  return figures;
}
