// Sales records for training: reading SALES.csv, checking each row, and the price the
// networks are asked to learn from each sale.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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
  std::string date;  // YYYY-MM-DD; empty when the file has no date column
};

// How the rows are read beyond their own texts.
struct sales_options {
  // The Hidden Power types (0 to 15) that earn the addition, per species, in place of the
  // default (see hidden_power_types_of).
  std::map<std::uint32_t, std::vector<int>> hidden_power_types;
  // YYYY-MM-DD: sales of earlier days are left out (the file must have a date column).
  std::optional<std::string> since;
  // Leave out (and count) the sales whose spread has a fixed price in the built-in table:
  // all IVs 9 or less, or all six equal.
  bool skip_fixed_prices = false;
};

// Everything read from a sales file.
struct sales_file {
  std::vector<sale> sales;
  // One line per row that was skipped, "row 12 (line 13): ...", in file order.
  std::vector<std::string> skipped;
  // Rows skipped because their spread has a fixed price (all IVs 9 or less, or all six
  // equal), with skip_fixed_prices; counted, not listed.
  std::uint64_t fixed_price_rows = 0;
  bool dated = false;              // the file has a date column
  std::uint64_t before_since = 0;  // usable rows left out as older than the --since day
};

// The columns SALES.csv must name (any order; other columns are ignored).
inline constexpr std::array<const char *, 9> sales_columns = {
    "nid", "shiny", "hp", "atk", "def", "sp_atk", "sp_def", "spd", "price"};
// The column a file may add to date its sales.
inline constexpr const char *date_column = "date";

// The base price of the Hidden Power addition for every species the trainer describes.
inline constexpr std::uint32_t trained_hidden_power_base_price = 500000;

// The type number of a Hidden Power type's name (ASCII case ignored), or -1.
int hidden_power_type_number(std::string_view name);

// The Hidden Power types that earn the addition for a species: the options' own list when
// they give one, else the built-in species table's for a species it prices, else none.
std::vector<int> hidden_power_types_of(std::uint32_t nid, const sales_options &options = {});

// The Hidden Power addition the window shows for a spread whose species pays for `types`:
// 2 * power / 70 of the base price when the spread's type is one of them, else 0 (formed
// as the window forms it).
std::uint32_t hidden_power_addition(const std::vector<int> &types,
                                    const std::array<std::uint32_t, 6> &ivs);
// The same for a species with its default types.
std::uint32_t hidden_power_addition(std::uint32_t nid, const std::array<std::uint32_t, 6> &ivs);

// A price as sellers write it: 1500000, 1,500,000, 1.5m or 500k (k and m in either case),
// blanks around it allowed. Returns false unless it is a whole number of Pd from 0 to
// 4294967295.
bool parse_price(std::string_view text, std::uint32_t *price);

// True for a real calendar day written YYYY-MM-DD (years 0001 to 9999).
bool valid_date(std::string_view text);

// Checks one row's nine texts, in the order of sales_columns, and fills *out. Returns an
// empty text for a usable sale, otherwise why the row cannot be used.
std::string parse_sale(const std::array<std::string, 9> &fields, sale *out,
                       const sales_options &options = {});

// True when the window prices this spread by a fixed message instead of the networks.
bool has_fixed_price(const std::array<std::uint32_t, 6> &ivs);

// Reads SALES.csv ("-" for standard input; a file or a pipe, read once) into *out.
// Returns false, with a one-line message in *error, when the file cannot be opened or
// read, its header lacks a column or names one twice, or options.since is given for a
// file without a date column; bad rows are listed in out->skipped and do not make it fail.
bool read_sales(const char *path, sales_file *out, std::string *error,
                const sales_options &options = {});
