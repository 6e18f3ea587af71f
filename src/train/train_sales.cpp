// Reading and checking sales records.
#include "train/train_sales.hpp"

#include <algorithm>
#include <charconv>
#include <memory>
#include <string_view>

#include "cli/csv_reader.hpp"
#include "train/train_targets.hpp"
#include "model/hidden_power.hpp"
#include "model/model_orvanta.hpp"

namespace {

// A whole decimal number without sign, blanks around it allowed; false for anything
// else (empty, signed, fractional, trailing text, above the 32-bit range).
bool parse_whole(std::string_view text, std::uint32_t *value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  const char *end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc{} && result.ptr == end;
}

std::string quoted(const std::string &text) {
  return "\"" + text + "\"";
}

}  // namespace

std::uint32_t hidden_power_addition(std::uint32_t nid, const std::array<std::uint32_t, 6> &ivs) {
  // The species table writes its messages into a model; this one only lends it room.
  const std::unique_ptr<app_model, decltype(&free_app_model)> model(create_app_model(),
                                                                    &free_app_model);
  if (model == nullptr) return 0;
  const std::unique_ptr<species_pricing, decltype(&free_species_pricing)> pricing(
      availability(model.get(), nid, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]),
      &free_species_pricing);
  if (pricing == nullptr) return 0;
  const auto type =
      static_cast<int>(hidden_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]));
  if (std::find(std::begin(pricing->hidden_power_types), std::end(pricing->hidden_power_types),
                type) == std::end(pricing->hidden_power_types))
    return 0;
  const std::uint32_t power =
      hidden_power_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
  // Formed as the window forms it: the power doubled, divided by 70, times the base.
  const double factor = 2.0 * static_cast<double>(power) / 70.0;
  return static_cast<std::uint32_t>(factor * pricing->hidden_power_base_price);
}

bool has_fixed_price(const std::array<std::uint32_t, 6> &ivs) {
  const bool all_low =
      std::all_of(ivs.begin(), ivs.end(), [](std::uint32_t iv) { return iv <= 9; });
  const bool all_equal =
      std::all_of(ivs.begin(), ivs.end(), [&](std::uint32_t iv) { return iv == ivs[0]; });
  return all_low || all_equal;
}

std::string parse_sale(const std::array<std::string, 9> &fields, sale *out) {
  sale s;
  if (!parse_whole(fields[0], &s.nid) || s.nid == 0 || s.nid > 999)
    return "nid " + quoted(fields[0]) + " is not a National ID from 1 to 999";
  if (!parse_whole(fields[1], &s.shiny) || s.shiny > 1)
    return "shiny " + quoted(fields[1]) + " is neither 0 nor 1";
  for (std::size_t i = 0; i < 6; ++i) {
    if (!parse_whole(fields[2 + i], &s.ivs[i]) || s.ivs[i] > 31)
      return std::string(sales_columns[2 + i]) + " " + quoted(fields[2 + i]) +
             " is not an IV from 0 to 31";
  }
  if (!parse_whole(fields[8], &s.price) || s.price == 0)
    return "price " + quoted(fields[8]) + " is not a whole number of Pd above 0";
  const std::uint32_t addition = hidden_power_addition(s.nid, s.ivs);
  if (s.price <= addition)
    return "price " + fields[8] + " does not exceed its Hidden Power addition " +
           std::to_string(addition);
  s.network_price = s.price - addition;
  if (s.network_price > highest_trainable_price)
    return "price " + fields[8] +
           (addition != 0 ? " less its Hidden Power addition " + std::to_string(addition) : "") +
           " is above " + std::to_string(highest_trainable_price) +
           " Pd, the most the networks can express";
  *out = s;
  return {};
}

bool read_sales(const char *path, sales_file *out, std::string *error) {
  const std::vector<std::string> columns(sales_columns.begin(), sales_columns.end());
  const csv_file_ptr file(open_csv_file(path, columns, error));
  if (file == nullptr) return false;
  csv_row row;
  for (;;) {
    const int status = read_csv_row(file.get(), &row, error);
    if (status < 0) return false;
    if (status == 0) return true;
    const std::string where =
        "row " + std::to_string(row.number) + " (line " + std::to_string(row.line) + "): ";
    if (!row.error.empty()) {
      out->skipped.push_back(where + row.error);
      continue;
    }
    std::array<std::string, 9> fields;
    std::copy_n(row.fields.begin(), fields.size(), fields.begin());
    sale s;
    const std::string problem = parse_sale(fields, &s);
    if (!problem.empty()) {
      out->skipped.push_back(where + problem);
      continue;
    }
    s.row = row.number;
    if (has_fixed_price(s.ivs))
      ++out->fixed_price_rows;
    else
      out->sales.push_back(s);
  }
}
