// orvanta-train's sales reader on arbitrary bytes: every usable sale it keeps must be one
// the training can use, and every row it drops must be accounted for. The same bytes
// through a pipe, written a few bytes at a time, must read as the same file.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "fuzz_file.hpp"
#include "train/train_sales.hpp"

namespace {

bool same_sales(const sales_file &a, const sales_file &b) {
  if (a.sales.size() != b.sales.size() || a.skipped != b.skipped || a.dated != b.dated ||
      a.fixed_price_rows != b.fixed_price_rows)
    return false;
  for (std::size_t i = 0; i < a.sales.size(); ++i) {
    const sale &x = a.sales[i], &y = b.sales[i];
    if (x.row != y.row || x.nid != y.nid || x.ivs != y.ivs || x.price != y.price ||
        x.date != y.date)
      return false;
  }
  return true;
}

// Reads the bytes as a pipe named by its path (as /dev/stdin or <(cmd) name one), written
// in pieces of 1 to 7 bytes so that reads end anywhere.
bool read_through_pipe(const std::uint8_t *data, std::size_t size, sales_file *out,
                       std::string *error) {
  int ends[2];
  if (pipe(ends) != 0) __builtin_trap();
  std::thread writer([&] {
    for (std::size_t done = 0, piece = 1; done < size; piece = piece % 7 + 1) {
      const ssize_t n = write(ends[1], data + done, std::min(piece, size - done));
      if (n <= 0) break;  // the reader has stopped early
      done += static_cast<std::size_t>(n);
    }
    close(ends[1]);
  });
  const bool read = read_sales(("/dev/fd/" + std::to_string(ends[0])).c_str(), out, error);
  close(ends[0]);  // a writer still writing then fails instead of waiting
  writer.join();
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::signal(SIGPIPE, SIG_IGN);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const fuzz_file file("sales");
  sales_file sales;
  std::string error;
  const bool read = read_sales(file.write(data, size), &sales, &error);
  sales_file piped;
  std::string piped_error;
  if (read_through_pipe(data, size, &piped, &piped_error) != read) __builtin_trap();
  if (!read) {
    if (error.empty() || piped_error.empty()) __builtin_trap();  // a refused file says why
    return 0;
  }
  if (!same_sales(sales, piped)) __builtin_trap();
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
