// predict_price on arbitrary form texts over a folder of small networks (usable ones, a
// missing file, a damaged file, a network of the wrong shape), then the window's texts
// for the outcome.
//
// Input: the first byte is the shiny flag (as a signed value: the function takes any
// int), the rest is split at NUL bytes into the eight texts National ID, Lvl, HP, Atk,
// Def, SP Atk, SP Def, SPD; missing texts are empty, bytes after the eighth are ignored.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_networks.hpp"
#include "model/model_orvanta.hpp"
#include "view/view_texts.hpp"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_networks_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  const int is_shiny = static_cast<signed char>(data[0]);
  std::string texts[8];
  std::size_t next = 1;
  for (std::string &text : texts) {
    while (next < size && data[next] != 0) text.push_back(static_cast<char>(data[next++]));
    ++next;  // the NUL
  }

  app_model *model = create_app_model();
  if (model == nullptr) return 0;
  const int status =
      predict_price(model, is_shiny, texts[0].c_str(), texts[1].c_str(), texts[2].c_str(),
                    texts[3].c_str(), texts[4].c_str(), texts[5].c_str(), texts[6].c_str(),
                    texts[7].c_str(), fuzz_networks_folder().c_str(), nullptr);
  if (status < PREDICTION_DONE || status > PREDICTION_SPECIAL_PRICE) __builtin_trap();
  if (status == PREDICTION_DONE) {
    // A finished prediction is a price: its range holds the average, which lies between
    // the lowest and the highest of the three networks' prices.
    const std::uint32_t prices[3] = {get_first_prediction(model), get_second_prediction(model),
                                     get_third_prediction(model)};
    std::uint32_t low = prices[0], high = prices[0];
    for (std::uint32_t p : prices) {
      low = p < low ? p : low;
      high = p > high ? p : high;
    }
    const std::uint32_t average = get_average_prediction(model);
    if (average < low || average > high) __builtin_trap();
    if (get_lowest_price(model) > average || get_highest_price(model) < average) __builtin_trap();
    if (get_hidden_power(model) == nullptr || get_in_range_message(model) == nullptr)
      __builtin_trap();
  }
  if (status == PREDICTION_SPECIAL_PRICE &&
      (get_hidden_power(model) == nullptr || get_special_price(model) == nullptr))
    __builtin_trap();

  const view_texts shown = compose_view_texts(model, status, view_texts{});
  if (shown.window_width != window_default_width && shown.window_width != window_wide_width)
    __builtin_trap();
  free_app_model(model);
  return 0;
}
