// orvanta-train's sales reader on arbitrary bytes: every usable sale it keeps must be one
// the training can use, and every row it drops must be accounted for.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_file.hpp"
#include "train/train_sales.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const fuzz_file file("sales");
  sales_file sales;
  std::string error;
  if (!read_sales(file.write(data, size), &sales, &error)) {
    if (error.empty()) __builtin_trap();  // a refused file always says why
    return 0;
  }
  std::uint64_t last = 0;
  for (const sale &s : sales.sales) {
    if (s.row <= last) __builtin_trap();  // in file order, each row once
    last = s.row;
    if (s.nid == 0 || s.nid > 999 || s.shiny > 1 || s.price == 0) __builtin_trap();
    for (std::uint32_t iv : s.ivs) {
      if (iv > 31) __builtin_trap();
    }
    if (s.network_price > s.price) __builtin_trap();
    if (sales.dated != valid_date(s.date)) __builtin_trap();  // a dated file dates every sale
  }
  // Read again leaving out the fixed-price spreads: the same rows less those, counted.
  sales_options skipping;
  skipping.skip_fixed_prices = true;
  sales_file regular;
  if (!read_sales(file.write(data, size), &regular, &error, skipping)) __builtin_trap();
  std::uint64_t fixed = 0;
  for (const sale &s : sales.sales) fixed += has_fixed_price(s.ivs) ? 1 : 0;
  if (regular.sales.size() + fixed != sales.sales.size() || regular.fixed_price_rows != fixed)
    __builtin_trap();
  for (const sale &s : regular.sales) {
    if (has_fixed_price(s.ivs)) __builtin_trap();
  }
  // Read again keeping the sales of 2024 and later: the same rows, split by their day.
  if (sales.dated) {
    sales_options since;
    since.since = "2024-01-01";
    sales_file recent;
    if (!read_sales(file.write(data, size), &recent, &error, since)) __builtin_trap();
    std::uint64_t older = 0;
    for (const sale &s : sales.sales) older += s.date < "2024-01-01" ? 1 : 0;
    if (recent.sales.size() + older != sales.sales.size() || recent.before_since != older)
      __builtin_trap();
  }
  return 0;
}
