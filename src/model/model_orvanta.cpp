// The app_model record and the prediction pipeline.
#include "model/model_orvanta.hpp"

#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "common/contract.hpp"
#include "model/price_tiers.hpp"
#include "nn/multi_layer_perceptron.hpp"

// *** The record and its getters ***

app_model *create_app_model() {
  return new (std::nothrow) app_model{};
}

void free_app_model(app_model *model) {
  delete model;
}

void inverse_shiny_status(app_model *model) {
  if (model == nullptr) return;
  model->is_shiny = model->is_shiny == 0 ? 1 : 0;
}

namespace {

const char *text_or_null(const std::optional<std::string> &text) {
  return text.has_value() ? text->c_str() : nullptr;
}

}  // namespace

int get_is_shiny(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->is_shiny;
}

const char *get_hidden_power(const app_model *m) {
  ORV_CHECK(m != NULL);
  return text_or_null(m->hidden_power);
}

const char *get_special_price(const app_model *m) {
  ORV_CHECK(m != NULL);
  return text_or_null(m->special_price);
}

const char *get_in_range_message(const app_model *m) {
  ORV_CHECK(m != NULL);
  return text_or_null(m->in_range_message);
}

std::uint32_t get_first_prediction(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->first_prediction;
}

std::uint32_t get_second_prediction(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->second_prediction;
}

std::uint32_t get_third_prediction(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->third_prediction;
}

std::uint32_t get_average_prediction(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->average_prediction;
}

std::uint32_t get_lowest_price(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->lowest_price;
}

std::uint32_t get_highest_price(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->highest_price;
}

std::uint32_t get_hidden_power_power(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->hidden_power_power;
}

std::uint32_t get_hidden_power_base_price(const app_model *m) {
  ORV_CHECK(m != NULL);
  return m->hidden_power_base_price;
}

// *** The input column ***

matrix *create_matrix_inputs(std::uint32_t lines, std::uint32_t is_shiny, std::uint32_t hp,
                             std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                             std::uint32_t sp_def, std::uint32_t spd) {
  if (lines == 0) return nullptr;
  matrix *inputs = create_matrix(lines, 1);
  if (inputs == nullptr) return nullptr;
  const std::array<double, 8> values = {
      static_cast<double>(is_shiny),      static_cast<double>(hp) / 31.0,
      static_cast<double>(atk) / 31.0,    static_cast<double>(def) / 31.0,
      static_cast<double>(sp_atk) / 31.0, static_cast<double>(sp_def) / 31.0,
      static_cast<double>(spd) / 31.0,    0.0,
  };
  // A shorter column gets only the lines it has; lines beyond 7 keep their 0.0.
  for (std::uint32_t line = 0; line < lines && line < values.size(); ++line) {
    set_element(inputs, line, 0, values[line]);
  }
  return inputs;
}

// *** The prediction ***

namespace {

// The networks read lines 0 to 7 of the input and the pipeline reads outputs 0 to 3.
constexpr std::uint32_t pipeline_inputs = 8;
constexpr std::uint32_t pipeline_outputs = 4;

// atoi's reading of a form text: leading white space, an optional sign, decimal digits,
// anything after them ignored, 0 without digits. A number beyond 32 bits saturates at
// INT_MAX or INT_MIN. White space is the C locale's, whatever locale the window set.
int parse_form_number(const char *text) {
  const char *c = text;
  while (*c == ' ' || *c == '\t' || *c == '\n' || *c == '\v' || *c == '\f' || *c == '\r') ++c;
  const bool negative = *c == '-';
  if (*c == '-' || *c == '+') ++c;
  long long value = 0;  // the magnitude; stops growing once past INT_MAX
  for (; *c >= '0' && *c <= '9'; ++c) {
    if (value <= INT_MAX) value = value * 10 + (*c - '0');
  }
  if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

struct species_pricing_deleter {
  void operator()(species_pricing *record) const { free_species_pricing(record); }
};
struct free_deleter {
  void operator()(char *text) const { std::free(text); }
};

// The networks can run on one input column and give every output the pipeline reads.
bool usable_shapes(const std::array<perceptron_ptr, 3> &networks) {
  const std::uint32_t inputs = get_num_inputs(networks[0].get());
  if (inputs < pipeline_inputs) return false;
  for (const perceptron_ptr &network : networks) {
    if (get_num_inputs(network.get()) != inputs) return false;
    if (get_num_outputs(network.get()) < pipeline_outputs) return false;
  }
  return true;
}

// The first four outputs, or nothing when one is not a sigmoid value (a damaged network
// can give NaN): such a value must never be turned into a price.
std::optional<std::array<double, 4>> price_outputs(const matrix *outputs) {
  std::array<double, 4> values{};
  for (std::uint32_t r = 0; r < values.size(); ++r) {
    values[r] = get_element(outputs, r, 0);
    if (!(values[r] >= 0.0 && values[r] <= 1.0)) return std::nullopt;
  }
  return values;
}

void print_diagnostics(std::FILE *out, const std::array<double, 4> &mean,
                       const std::array<std::array<double, 4>, 3> &outputs) {
  if (out == nullptr) return;
  std::fprintf(out, "\n%lf\n%lf\n%lf\n%lf\n", mean[0], mean[1], mean[2], mean[3]);
  for (const std::array<double, 4> &o : outputs) {
    std::fprintf(out, "\n%lf\n%lf\n%lf\n%lf\n", o[0], o[1], o[2], o[3]);
  }
  std::fprintf(out, "\n\n");
  std::fflush(out);
}

// Stores the Hidden Power display text; false when its buffer cannot be obtained.
bool store_hidden_power_text(app_model *model, const std::array<std::uint32_t, 6> &ivs) {
  std::unique_ptr<char, free_deleter> text(
      hidden_power_calculator_str(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]));
  if (text == nullptr) return false;
  std::string stored = text.get();
  model->hidden_power = std::move(stored);
  return true;
}

// The prediction itself; every temporary is owned by a smart pointer, so each return
// releases whatever has been made so far.
int run_prediction(app_model *model, int is_shiny, const std::array<const char *, 8> &texts,
                   const std::string &ptp_dir, std::FILE *diagnostics) {
  std::array<int, 8> numbers{};
  for (std::size_t i = 0; i < texts.size(); ++i) numbers[i] = parse_form_number(texts[i]);
  const std::uint32_t nid = static_cast<std::uint32_t>(numbers[0]);
  const std::uint32_t lvl = static_cast<std::uint32_t>(numbers[1]);
  std::array<std::uint32_t, 6> ivs{};
  for (std::size_t i = 0; i < ivs.size(); ++i) ivs[i] = static_cast<std::uint32_t>(numbers[i + 2]);

  const std::unique_ptr<species_pricing, species_pricing_deleter> pricing(
      availability(model, nid, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]));
  if (pricing == nullptr) return PREDICTION_FAILED;
  if (pricing->supported == 0) return PREDICTION_NOT_PRICED;
  if (lvl > 100) return PREDICTION_BAD_LEVEL;
  for (std::uint32_t iv : ivs) {
    if (iv > 32) return PREDICTION_BAD_IVS;
  }
  if (pricing->epic_fail != 0 || pricing->same_ivs != 0) {
    return store_hidden_power_text(model, ivs) ? PREDICTION_SPECIAL_PRICE : PREDICTION_FAILED;
  }
  const double lowest_margin = pricing->lowest_price_margin;
  const double highest_margin = pricing->highest_price_margin;

  // The national number text as typed names the files: "058" and "58" are different files.
  const std::string base = ptp_dir + "/" + texts[0];
  std::array<perceptron_ptr, 3> networks;
  for (std::size_t k = 0; k < networks.size(); ++k) {
    const std::string path = base + "_m" + std::to_string(k + 1) + ".tp";
    networks[k].reset(load_perceptron(path.c_str()));
    if (networks[k] == nullptr) return PREDICTION_FAILED;
  }
  if (!usable_shapes(networks)) return PREDICTION_FAILED;

  const std::uint32_t type =
      hidden_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
  bool qualifies = false;
  for (int slot_type : pricing->hidden_power_types) {
    if (slot_type >= 0 && static_cast<std::uint32_t>(slot_type) == type) qualifies = true;
  }
  if (qualifies) {
    model->hidden_power_power =
        hidden_power_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
    model->hidden_power_base_price = pricing->hidden_power_base_price;
  } else {
    model->hidden_power_power = 0;
  }

  const matrix_ptr inputs(create_matrix_inputs(get_num_inputs(networks[0].get()),
                                               static_cast<std::uint32_t>(is_shiny), ivs[0], ivs[1],
                                               ivs[2], ivs[3], ivs[4], ivs[5]));
  if (inputs == nullptr) return PREDICTION_FAILED;
  std::array<std::array<double, 4>, 3> o{};
  for (std::size_t k = 0; k < networks.size(); ++k) {
    const matrix_ptr outputs(predict(networks[k].get(), inputs.get()));
    if (outputs == nullptr) return PREDICTION_FAILED;
    const std::optional<std::array<double, 4>> values = price_outputs(outputs.get());
    if (!values.has_value()) return PREDICTION_FAILED;
    o[k] = *values;
  }

  std::array<double, 4> mean{};
  for (std::size_t r = 0; r < mean.size(); ++r) mean[r] = (o[0][r] + o[1][r] + o[2][r]) / 3.0;
  const price_tier tier = choose_price_tier(o[0], o[1], o[2]);
  model->first_prediction = static_cast<std::uint32_t>(tier.scale * o[0][tier.line]);
  model->second_prediction = static_cast<std::uint32_t>(tier.scale * o[1][tier.line]);
  model->third_prediction = static_cast<std::uint32_t>(tier.scale * o[2][tier.line]);
  print_diagnostics(diagnostics, mean, o);

  const std::uint32_t average =
      (model->first_prediction + model->second_prediction + model->third_prediction) / 3U;
  model->average_prediction = average;
  if (!store_hidden_power_text(model, ivs)) return PREDICTION_FAILED;
  const double avg = static_cast<double>(average);
  model->lowest_price = static_cast<std::uint32_t>(avg - avg * lowest_margin);
  model->highest_price = static_cast<std::uint32_t>(avg * highest_margin + avg);
  return PREDICTION_DONE;
}

}  // namespace

int predict_price(app_model *model, int is_shiny, const char *nid, const char *lvl, const char *hp,
                  const char *atk, const char *def, const char *sp_atk, const char *sp_def,
                  const char *spd, const char *ptp_dir, std::FILE *diagnostics) {
  if (model == nullptr) return PREDICTION_FAILED;
  const std::array<const char *, 8> texts = {nid, lvl, hp, atk, def, sp_atk, sp_def, spd};
  for (const char *text : texts) {
    if (text == nullptr) return PREDICTION_FAILED;
  }
  try {
    return run_prediction(model, is_shiny, texts, ptp_dir != nullptr ? ptp_dir : "./ptp",
                          diagnostics);
  } catch (const std::bad_alloc &) {
    return PREDICTION_FAILED;  // a path or text could not be built
  }
}
