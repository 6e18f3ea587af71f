// Sales records for training: reading SALES.csv, checking each row, and the price the
// networks are asked to learn from each sale.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One usable sale.
struct sale {
  std::uint64_t row = 0;  // 1-based data row of the file, for messages
  std::uint32_t nid = 0;
  std::uint32_t shiny = 0;
  std::array<std::uint32_t, 6> ivs{};  // HP, Atk, Def, SP Atk, SP Def, SPD
  std::uint32_t price = 0;             // as sold, in Pd
  // What the networks learn: the sale price less the Hidden Power addition, which the
  // window adds on top of the networks' prices for a species' paying type.
  std::uint32_t network_price = 0;
};

// Everything read from a sales file.
struct sales_file {
  std::vector<sale> sales;
  // One line per row that was skipped, "row 12 (line 13): ...", in file order.
  std::vector<std::string> skipped;
  // Rows skipped because the window shows a fixed price for their spread (all IVs 9 or
  // less, or all six equal) and never asks the networks; counted, not listed.
  std::uint64_t fixed_price_rows = 0;
};

// The columns SALES.csv must name (any order; other columns are ignored).
inline constexpr std::array<const char *, 9> sales_columns = {
    "nid", "shiny", "hp", "atk", "def", "sp_atk", "sp_def", "spd", "price"};

// The Hidden Power addition the window shows for this species and spread: 2 * power / 70
// of the species' base price when the spread's type is one the species table names, else
// 0. Uses the model's own species table and Hidden Power formulas.
std::uint32_t hidden_power_addition(std::uint32_t nid, const std::array<std::uint32_t, 6> &ivs);

// Checks one row's nine texts, in the order of sales_columns, and fills *out. Returns an
// empty text for a usable sale, otherwise why the row cannot be used.
std::string parse_sale(const std::array<std::string, 9> &fields, sale *out);

// True when the window prices this spread by a fixed message instead of the networks.
bool has_fixed_price(const std::array<std::uint32_t, 6> &ivs);

// Reads SALES.csv ("-" for standard input) into *out. Returns false, with a one-line
// message in *error, when the file cannot be opened or read or its header lacks a
// column; bad rows are listed in out->skipped and do not make it fail.
bool read_sales(const char *path, sales_file *out, std::string *error);
