// The cost of composing the window's texts, which orvanta-cli pays for every row of a batch:
// a finished prediction's texts written over the last row's (the batch's way), the same
// composed into new strings (the window's way), the source line, and one price text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "view/view_texts.hpp"

namespace {

// A finished prediction in the millions, with or without the Hidden Power addition, whose
// prices move a little from one call to the next.
app_model finished_prediction(bool addition) {
  app_model m;
  m.hidden_power = "Hidden Power:  Fire";
  m.in_range_message = "The results are almost perfect";
  m.first_prediction = 1200000;
  m.second_prediction = 1250000;
  m.third_prediction = 1310000;
  m.average_prediction = 1253333;
  m.lowest_price = 1128000;
  m.highest_price = 1378666;
  m.hidden_power_power = addition ? 70 : 0;
  m.hidden_power_base_price = 500000;
  return m;
}

void next_prices(app_model *m) {
  m->first_prediction += 7919;
  m->average_prediction += 7919;
  m->highest_price += 7919;
}

void BM_WriteViewTexts(benchmark::State &state) {
  app_model m = finished_prediction(state.range(0) != 0);
  view_texts texts;
  for (auto _ : state) {
    write_view_texts(&m, PREDICTION_DONE, &texts);
    benchmark::DoNotOptimize(texts.model_resume_label.data());
    next_prices(&m);
  }
}
BENCHMARK(BM_WriteViewTexts)->ArgName("addition")->Arg(0)->Arg(1);

void BM_ComposeViewTexts(benchmark::State &state) {
  app_model m = finished_prediction(state.range(0) != 0);
  for (auto _ : state) {
    view_texts texts = compose_view_texts(&m, PREDICTION_DONE, view_texts{});
    benchmark::DoNotOptimize(texts.model_resume_label.data());
    next_prices(&m);
  }
}
BENCHMARK(BM_ComposeViewTexts)->ArgName("addition")->Arg(0)->Arg(1);

// The source line, which a batch composes beside the labels for every row: from a species
// file (two lines, with the figures it measured) or from a folder named from the home.
void BM_WriteSourceLine(benchmark::State &state) {
  prediction_details d;
  d.name = "Gengar";
  d.folder = "/home/seller/.local/share/orvanta/ptp";
  if (state.range(0) != 0) {
    d.source = species_file_state::valid;
    d.trained.rows = 371;
    d.trained.first_date = "2025-01-01";
    d.trained.last_date = "2025-12-31";
    d.expected_error = 0.08;
    d.range_coverage = 0.8;
  }
  std::string line;
  for (auto _ : state) {
    write_source_line(&d, "94", PREDICTION_DONE, &line);
    benchmark::DoNotOptimize(line.data());
  }
}
BENCHMARK(BM_WriteSourceLine)->ArgName("species_file")->Arg(0)->Arg(1);

void BM_SetCurrency(benchmark::State &state) {
  char text[16];
  const auto start = static_cast<std::uint32_t>(state.range(0));
  std::uint32_t amount = start;
  for (auto _ : state) {
    set_currency(text, amount);
    benchmark::DoNotOptimize(text);
    amount = amount + 7919 < 10 * start ? amount + 7919 : start;
  }
}
BENCHMARK(BM_SetCurrency)->Arg(100)->Arg(100000)->Arg(100000000);

}  // namespace

BENCHMARK_MAIN();
