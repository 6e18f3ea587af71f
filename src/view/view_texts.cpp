// Every text the result area shows and the window's width, composed from the model.
#include "view/view_texts.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

#include "common/contract.hpp"

namespace {

constexpr std::size_t price_text_size = 16;
constexpr std::size_t model_price_text_size = 128;
constexpr std::size_t long_text_size = 256;

const char *const models_intro_text = "Here is 3 different models prediction:";
const char *const not_available_text = "This pokemon is not available yet.";
const char *const bad_lvl_text =
    "The level exceeds the limit, \nplease insert a level less or equal to 100.";
const char *const bad_ivs_text =
    "One or more ivs exceed the limit, \nplease insert ivs less or equal to 32.";
const char *const models_not_loaded_text =
    "The price models for this pokemon \ncould not be loaded.";

// The model lends nullptr for a text it has never stored; a label shows that as empty.
const char *or_empty(const char *text) {
  return text != nullptr ? text : "";
}

// A sum of Pd formed in double precision, truncated toward zero to a whole amount. No
// species earns more than four thousand million Pd, but a conversion out of range would
// be undefined, so an amount past the top of the range stays at the top.
std::uint32_t truncate_amount(double amount) {
  constexpr double top = std::numeric_limits<std::uint32_t>::max();
  if (!(amount >= 0.0)) return 0;
  if (amount >= top) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(amount);
}

std::string price_text(std::uint32_t amount) {
  char text[price_text_size];
  set_currency(text, amount);
  return text;
}

// The result of a finished prediction: the three prices, the summary and, when the
// Hidden Power type earns the species' addition, its description and the wide window.
view_texts compose_prediction(const app_model *m) {
  char first[model_price_text_size];
  char second[model_price_text_size];
  char third[model_price_text_size];
  set_currency(first, get_first_prediction(m));
  set_currency(second, get_second_prediction(m));
  set_currency(third, get_third_prediction(m));
  const std::uint32_t lowest = get_lowest_price(m);
  const std::uint32_t highest = get_highest_price(m);
  const std::string average_text = price_text(get_average_prediction(m));
  const std::string lowest_text = price_text(lowest);
  const std::string highest_text = price_text(highest);

  char summary[long_text_size];
  std::snprintf(summary, sizeof summary,
                "Then the average price is: %s\nRecommended sales range: %s - %s\n\n%s.",
                average_text.c_str(), lowest_text.c_str(), highest_text.c_str(),
                or_empty(get_in_range_message(m)));

  char description[long_text_size] = "";
  int width = window_default_width;
  const std::uint32_t power = get_hidden_power_power(m);
  if (power != 0) {
    const std::uint32_t base_price = get_hidden_power_base_price(m);
    const double factor = 2.0 * static_cast<double>(power) / 70.0;
    const double addition = factor * static_cast<double>(base_price);
    const std::string base_text = price_text(base_price);
    const std::string addition_text = price_text(truncate_amount(addition));
    const std::string new_lowest_text =
        price_text(truncate_amount(addition + static_cast<double>(lowest)));
    const std::string new_highest_text =
        price_text(truncate_amount(addition + static_cast<double>(highest)));
    std::snprintf(description, sizeof description,
                  "This pokemon is eligible for a hidden power addition \nbased on the "
                  "following description: \n\nPower : %u \nBase price: %s \n\nThe resulting "
                  "addition is: %s \nand the new recommended sales range is %s - %s",
                  power, base_text.c_str(), addition_text.c_str(), new_lowest_text.c_str(),
                  new_highest_text.c_str());
    width = window_wide_width;
  }

  view_texts texts;
  texts.hidden_power_label = or_empty(get_hidden_power(m));
  texts.models_intro_label = models_intro_text;
  texts.first_model_label = first;
  texts.second_model_label = second;
  texts.third_model_label = third;
  texts.model_resume_label = summary;
  texts.hidden_power_resume_label = description;
  texts.window_width = width;
  return texts;
}

// A message in place of a result: the first two labels take the texts given, and
// everything else is emptied, the Hidden Power addition included, with the window back
// at its default width: an addition belongs to the result it was computed for, never
// beside a message about another Pokémon.
view_texts compose_message(const char *first_line, const char *intro) {
  view_texts texts;
  texts.hidden_power_label = first_line;
  texts.models_intro_label = intro;
  texts.window_width = window_default_width;
  return texts;
}

}  // namespace

void set_currency(char *text, std::uint32_t amount) {
  if (amount < 1000u) {
    std::snprintf(text, price_text_size, "%u Pd", amount);
  } else if (amount < 1000000u) {
    std::snprintf(text, price_text_size, "%uk", amount / 1000u);
  } else {
    // Rounded through single precision: the float steps decide cases such as
    // 999,994,999 -> "1000.00m" and are kept on purpose.
    const double hundredths = static_cast<double>(amount) / 1000000.0 * 100.0;
    const float rounded = std::round(static_cast<float>(hundredths)) / 100.0f;
    // Two decimals with a point whatever the process locale (GTK sets it from the
    // environment, and a decimal-comma locale would print "1,76m"). to_chars rounds the
    // exact binary value as printf("%.2f") does.
    char *end = text;
    const auto written = std::to_chars(text, text + price_text_size - 2,
                                       static_cast<double>(rounded), std::chars_format::fixed, 2);
    if (written.ec == std::errc{}) end = written.ptr;
    end[0] = 'm';
    end[1] = '\0';
  }
}

view_texts compose_view_texts(const app_model *m, int status, view_texts /*shown*/) {
  ORV_CHECK(m != NULL);
  switch (status) {
    case PREDICTION_FAILED:
      return compose_message(models_not_loaded_text, "");
    case PREDICTION_NOT_PRICED:
      return compose_message(not_available_text, "");
    case PREDICTION_BAD_LEVEL:
      return compose_message(bad_lvl_text, "");
    case PREDICTION_BAD_IVS:
      return compose_message(bad_ivs_text, "");
    case PREDICTION_SPECIAL_PRICE: {
      // Both texts are read before any label changes.
      const std::string hidden_power = or_empty(get_hidden_power(m));
      const std::string special_price = or_empty(get_special_price(m));
      return compose_message(hidden_power.c_str(), special_price.c_str());
    }
    default:
      return compose_prediction(m);
  }
}
