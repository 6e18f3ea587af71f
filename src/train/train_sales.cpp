// Reading and checking sales records.
#include "train/train_sales.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "csv/csv_reader.hpp"
#include "model/hidden_power.hpp"
#include "model/species_file.hpp"
#include "train/train_targets.hpp"

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A whole decimal number without sign, blanks around it allowed; false for anything
// else (empty, signed, fractional, trailing text, above the 32-bit range).
bool parse_whole(std::string_view text, std::uint32_t *value) {
  text = trimmed(text);
  if (text.empty()) return false;
  const char *end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc{} && result.ptr == end;
}

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits without leading zeros as a value, or false above 4294967295.
bool digits_value(std::string_view digits, std::uint64_t *value) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : digits) v = v * 10 + static_cast<std::uint64_t>(c - '0');
  *value = v;
  return v <= 0xFFFFFFFFu;
}

std::string in_quotes(const std::string &text) {
  return "\"" + text + "\"";
}

}  // namespace

int hidden_power_type_number(std::string_view name) {
  for (int i = 0; hidden_power_type_name(i) != nullptr; ++i) {
    const std::string_view known = hidden_power_type_name(i);
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t j = 0; j < name.size() && same; ++j) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
      same = lower(known[j]) == lower(name[j]);
    }
    if (same) return i;
  }
  return -1;
}

std::vector<int> hidden_power_types_of(std::uint32_t nid, const sales_options &options) {
  const auto given = options.hidden_power_types.find(nid);
  if (given != options.hidden_power_types.end()) return given->second;
  const species_description *built_in = find_built_in_species(nid);
  std::vector<int> types;
  if (built_in == nullptr || !built_in->priced) return types;
  for (int type : built_in->hidden_power_types)
    if (type >= 0) types.push_back(type);
  return types;
}

std::uint32_t hidden_power_addition(const std::vector<int> &types,
                                    const std::array<std::uint32_t, 6> &ivs) {
  const auto type =
      static_cast<int>(hidden_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]));
  if (std::find(types.begin(), types.end(), type) == types.end()) return 0;
  const std::uint32_t power =
      hidden_power_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
  // Formed as the window forms it: the power doubled, divided by 70, times the base.
  const double factor = 2.0 * static_cast<double>(power) / 70.0;
  return static_cast<std::uint32_t>(factor * trained_hidden_power_base_price);
}

std::uint32_t hidden_power_addition(std::uint32_t nid, const std::array<std::uint32_t, 6> &ivs) {
  return hidden_power_addition(hidden_power_types_of(nid), ivs);
}

bool parse_price(std::string_view text, std::uint32_t *price) {
  text = trimmed(text);
  std::uint64_t multiplier = 1;
  if (!text.empty()) {
    const char last = text.back();
    if (last == 'k' || last == 'K') multiplier = 1000;
    if (last == 'm' || last == 'M') multiplier = 1000000;
    if (multiplier != 1) text.remove_suffix(1);
  }
  std::uint64_t value = 0;
  if (multiplier == 1) {
    if (all_digits(text))
      return digits_value(text, &value) && (*price = std::uint32_t(value), true);
    // Thousands separated by commas: 1 to 3 digits, then groups of exactly three.
    const std::size_t first = text.find(',');
    if (first == std::string_view::npos || first == 0 || first > 3) return false;
    std::string digits(text.substr(0, first));
    for (std::size_t at = first; at < text.size(); at += 4) {
      const std::string_view group = text.substr(at + 1, 3);
      if (text[at] != ',' || group.size() != 3 || !all_digits(group)) return false;
      digits += group;
      if (at + 4 < text.size() && text[at + 4] != ',') return false;
    }
    if (!all_digits(std::string_view(digits).substr(0, first))) return false;
    if (!digits_value(digits, &value)) return false;
    *price = static_cast<std::uint32_t>(value);
    return true;
  }
  // 1.5m, 500k, .5m: whole digits, an optional fraction, the multiplier.
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (point != std::string_view::npos && fraction.empty()) return false;  // "1.m"
  if (whole.empty() && fraction.empty()) return false;
  if ((!whole.empty() && !all_digits(whole)) || (!fraction.empty() && !all_digits(fraction)))
    return false;
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  const std::size_t places = multiplier == 1000 ? 3 : 6;
  if (fraction.size() > places) return false;  // a fraction of a Pd
  std::uint64_t whole_value = 0, fraction_value = 0;
  if (!whole.empty() && !digits_value(whole, &whole_value)) return false;
  std::uint64_t scale = multiplier;
  for (char c : fraction) {
    fraction_value = fraction_value * 10 + static_cast<std::uint64_t>(c - '0');
    scale /= 10;
  }
  value = whole_value * multiplier + fraction_value * scale;
  if (value > 0xFFFFFFFFu) return false;
  *price = static_cast<std::uint32_t>(value);
  return true;
}

bool valid_date(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  if (!all_digits(text.substr(0, 4)) || !all_digits(text.substr(5, 2)) ||
      !all_digits(text.substr(8, 2)))
    return false;
  const int year = std::atoi(std::string(text.substr(0, 4)).c_str());
  const int month = std::atoi(std::string(text.substr(5, 2)).c_str());
  const int day = std::atoi(std::string(text.substr(8, 2)).c_str());
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool has_fixed_price(const std::array<std::uint32_t, 6> &ivs) {
  const bool all_low =
      std::all_of(ivs.begin(), ivs.end(), [](std::uint32_t iv) { return iv <= 9; });
  const bool all_equal =
      std::all_of(ivs.begin(), ivs.end(), [&](std::uint32_t iv) { return iv == ivs[0]; });
  return all_low || all_equal;
}

std::string parse_sale(const std::array<std::string, 9> &fields, sale *out,
                       const sales_options &options) {
  sale s;
  if (!parse_whole(fields[0], &s.nid) || s.nid == 0 || s.nid > 999)
    return "nid " + in_quotes(fields[0]) + " is not a National ID from 1 to 999";
  if (!parse_whole(fields[1], &s.shiny) || s.shiny > 1)
    return "shiny " + in_quotes(fields[1]) + " is neither 0 nor 1";
  for (std::size_t i = 0; i < 6; ++i) {
    if (!parse_whole(fields[2 + i], &s.ivs[i]) || s.ivs[i] > 31)
      return std::string(sales_columns[2 + i]) + " " + in_quotes(fields[2 + i]) +
             " is not an IV from 0 to 31";
  }
  if (!parse_price(fields[8], &s.price) || s.price == 0)
    return "price " + in_quotes(fields[8]) +
           " is not a whole number of Pd from 1 to 4294967295 (written as 1500000, "
           "1,500,000, 1.5m or 500k)";
  const std::uint32_t addition =
      hidden_power_addition(hidden_power_types_of(s.nid, options), s.ivs);
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

bool read_sales(const char *path, sales_file *out, std::string *error,
                const sales_options &options) {
  csv_columns columns;
  columns.needed.assign(sales_columns.begin(), sales_columns.end());
  columns.optional.push_back(date_column);
  csv_file_ptr file(open_csv_file(path, columns, error));
  if (file == nullptr) return false;
  out->dated = csv_has_column(file.get(), date_column);
  if (options.since.has_value() && !out->dated) {
    *error = (std::string(path) == "-" ? std::string("standard input") : std::string(path)) +
             ": --since needs a \"date\" column (YYYY-MM-DD) in the header line";
    return false;
  }
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
    const std::string problem = parse_sale(fields, &s, options);
    if (!problem.empty()) {
      out->skipped.push_back(where + problem);
      continue;
    }
    if (out->dated) {
      const std::string date(trimmed(row.fields[9]));
      if (!valid_date(date)) {
        out->skipped.push_back(where + "date " + in_quotes(row.fields[9]) +
                               " is not a day written YYYY-MM-DD");
        continue;
      }
      s.date = date;
    }
    s.row = row.number;
    if (options.skip_fixed_prices && has_fixed_price(s.ivs)) {
      ++out->fixed_price_rows;
    } else if (options.since.has_value() && s.date < *options.since) {
      ++out->before_since;
    } else {
      out->sales.push_back(s);
    }
  }
}
