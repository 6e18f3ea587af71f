// The app_model record and the prediction pipeline.
#include "model/model_orvanta.hpp"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "common/contract.hpp"
#include "model/price_tiers.hpp"
#include "model/ptp_path.hpp"
#include "model/species_snapshot.hpp"
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

std::uint32_t truncate_amount(double amount) {
  constexpr double top = std::numeric_limits<std::uint32_t>::max();
  if (!(amount >= 0.0)) return 0;
  if (amount >= top) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(amount);
}

std::array<std::uint32_t, 2> sales_range(std::uint32_t average, double lowest_margin,
                                         double highest_margin) {
  const double avg = static_cast<double>(average);
  return {truncate_amount(avg - avg * lowest_margin), truncate_amount(avg * highest_margin + avg)};
}

int parse_form_number(const char *text) {
  // atoi's reading; white space is the C locale's, whatever locale the window set.
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

namespace {

struct free_deleter {
  void operator()(char *text) const { std::free(text); }
};

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

// One number of the diagnostic block: six decimals, a point whatever the locale (the
// window runs in the user's locale, where printf's "%lf" may write a comma).
void append_number(std::string *block, const char *before, double value) {
  char digits[64];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
  block->append(before);
  block->append(digits, end.ptr);
  block->push_back('\n');
}

void print_diagnostics(std::FILE *out, const std::array<double, 4> &mean,
                       const std::array<std::array<double, 4>, 3> &outputs) {
  if (out == nullptr) return;
  std::string block;
  block.reserve(192);
  for (std::size_t r = 0; r < mean.size(); ++r) append_number(&block, r == 0 ? "\n" : "", mean[r]);
  for (const std::array<double, 4> &o : outputs) {
    for (std::size_t r = 0; r < o.size(); ++r) append_number(&block, r == 0 ? "\n" : "", o[r]);
  }
  block.append("\n\n");
  std::fwrite(block.data(), 1, block.size(), out);
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

int failed(prediction_details *details, std::string reason) {
  if (details != nullptr) details->reason = std::move(reason);
  return PREDICTION_FAILED;
}

// Where the species' networks come from, for a reader to weigh its prices: the bundled
// example networks, or the sales its species file says they learned from.
void note_networks_source(const species_snapshot &s, prediction_details *details) {
  details->bundled = is_installed_ptp_dir(s.folder);
  if (s.file->state == species_file_state::valid) {
    details->trained = s.file->description.trained;
  } else {
    details->trained = training_summary{};
  }
}

// What the steps before the networks found for a prediction that goes on to them.
struct checked_form {
  species_pricing pricing;
  std::array<std::uint32_t, 6> ivs{};
  int rating = -1;
};

// The steps before the networks: a damaged species file refuses the species; otherwise the
// lookup (which stores the messages) and the checks of species, level, IVs and fixed
// price. Returns the status that ends the prediction there, or nothing when the networks
// are to price it, with *form filled.
std::optional<int> check_form(app_model *model, int is_shiny,
                              const std::array<const char *, 8> &texts, const species_snapshot &s,
                              prediction_details *details, checked_form *form) {
  if (details != nullptr) {
    details->folder = s.folder;
    details->source = s.file->state;
    details->name.reset();
    details->coverage.reset();
    details->expected_error.reset();
    details->range_coverage.reset();
    details->fixed = nullptr;
    details->reason.clear();
    note_networks_source(s, details);
  }
  if (s.file->state == species_file_state::damaged) return failed(details, s.file->reason);

  const std::uint32_t lvl = static_cast<std::uint32_t>(parse_form_number(texts[1]));
  for (std::size_t i = 0; i < form->ivs.size(); ++i)
    form->ivs[i] = static_cast<std::uint32_t>(parse_form_number(texts[i + 2]));
  const species_description *species = s.file->state == species_file_state::valid
                                           ? &s.file->description
                                           : find_built_in_species(s.nid);
  if (!look_up_species(model, species, form->ivs, is_shiny != 0, &form->pricing, &form->rating))
    return failed(details, "memory ran out");
  if (details != nullptr && species != nullptr) {
    details->name = species->name;
    details->coverage = form->rating;
  }
  if (form->pricing.supported == 0) return PREDICTION_NOT_PRICED;
  if (lvl > 100) return PREDICTION_BAD_LEVEL;
  for (std::uint32_t iv : form->ivs) {
    if (iv > 32) return PREDICTION_BAD_IVS;
  }
  if (form->pricing.epic_fail != 0 || form->pricing.same_ivs != 0) {
    if (!store_hidden_power_text(model, form->ivs)) return failed(details, "memory ran out");
    if (details != nullptr) details->fixed = fixed_price_of(&form->pricing);
    return PREDICTION_SPECIAL_PRICE;
  }
  return std::nullopt;
}

// The steps with the networks, for a form that check_form passed on: the Hidden Power
// addition, the three outputs, the tier and prices, the diagnostic block, the average and
// the range. Temporaries are owned by smart pointers, so each return releases whatever has
// been made so far.
int price_with_networks(app_model *model, int is_shiny, const checked_form &form,
                        const species_snapshot &s, std::FILE *diagnostics,
                        prediction_details *details) {
  ORV_CHECK(s.networks_loaded);
  if (!s.networks.usable) return failed(details, s.networks.reason);
  const std::array<perceptron_ptr, 3> &networks = s.networks.networks;
  const std::array<std::uint32_t, 6> &ivs = form.ivs;
  const species_pricing &pricing = form.pricing;

  const std::uint32_t type =
      hidden_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
  bool qualifies = false;
  for (int slot_type : pricing.hidden_power_types) {
    if (slot_type >= 0 && static_cast<std::uint32_t>(slot_type) == type) qualifies = true;
  }
  if (qualifies) {
    model->hidden_power_power =
        hidden_power_power_calculator(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
    model->hidden_power_base_price = pricing.hidden_power_base_price;
  } else {
    model->hidden_power_power = 0;
  }

  const matrix_ptr inputs(create_matrix_inputs(get_num_inputs(networks[0].get()),
                                               static_cast<std::uint32_t>(is_shiny), ivs[0], ivs[1],
                                               ivs[2], ivs[3], ivs[4], ivs[5]));
  if (inputs == nullptr) return failed(details, "memory ran out");
  std::array<std::array<double, 4>, 3> o{};
  for (std::size_t k = 0; k < networks.size(); ++k) {
    const matrix_ptr outputs(predict(networks[k].get(), inputs.get()));
    if (outputs == nullptr) return failed(details, "memory ran out");
    const std::optional<std::array<double, 4>> values = price_outputs(outputs.get());
    if (!values.has_value()) {
      return failed(details,
                    network_file_path(s.folder, s.nid_text.c_str(), static_cast<int>(k) + 1) +
                        " gives an output that is not a price for these IVs (not a number "
                        "between 0 and 1)");
    }
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
  if (!store_hidden_power_text(model, ivs)) return failed(details, "memory ran out");
  const std::array<std::uint32_t, 2> range =
      sales_range(average, pricing.lowest_price_margin, pricing.highest_price_margin);
  model->lowest_price = range[0];
  model->highest_price = range[1];
  if (details != nullptr && s.file->state == species_file_state::valid) {
    const auto r = static_cast<std::size_t>(form.rating);
    details->expected_error = s.file->description.expected_error[r];
    details->range_coverage = s.file->description.range_coverage[r];
  }
  return PREDICTION_DONE;
}

// One prediction that reads the species' files as it goes, from `folder`: the networks only
// when the checks before them pass.
int predict_in_folder(app_model *model, int is_shiny, const std::array<const char *, 8> &texts,
                      std::string folder, std::FILE *diagnostics, prediction_details *details) {
  species_snapshot s = start_species_snapshot(std::move(folder), texts[0]);
  read_species_file_into(&s);
  const app_model before = *model;
  checked_form form;
  if (const std::optional<int> status = check_form(model, is_shiny, texts, s, details, &form))
    return *status;
  if (load_species_networks_checked(&s)) {
    // The species file was read again and may say otherwise: the checks start over from
    // it, on the model as it was.
    *model = before;
    form = checked_form{};
    if (const std::optional<int> status = check_form(model, is_shiny, texts, s, details, &form))
      return *status;
  }
  return price_with_networks(model, is_shiny, form, s, diagnostics, details);
}

bool null_text(const std::array<const char *, 8> &texts) {
  for (const char *text : texts) {
    if (text == nullptr) return true;
  }
  return false;
}

}  // namespace

int predict_price(app_model *model, int is_shiny, const char *nid, const char *lvl, const char *hp,
                  const char *atk, const char *def, const char *sp_atk, const char *sp_def,
                  const char *spd, const char *ptp_dir, std::FILE *diagnostics) {
  if (model == nullptr) return PREDICTION_FAILED;
  const std::array<const char *, 8> texts = {nid, lvl, hp, atk, def, sp_atk, sp_def, spd};
  if (null_text(texts)) return PREDICTION_FAILED;
  try {
    return predict_in_folder(model, is_shiny, texts, ptp_dir != nullptr ? ptp_dir : "./ptp",
                             diagnostics, nullptr);
  } catch (const std::bad_alloc &) {
    return PREDICTION_FAILED;  // a path or text could not be built
  }
}

int predict_price_on_path(app_model *model, int is_shiny, const char *nid, const char *lvl,
                          const char *hp, const char *atk, const char *def, const char *sp_atk,
                          const char *sp_def, const char *spd, const std::vector<std::string> &path,
                          std::FILE *diagnostics, prediction_details *details) {
  if (details != nullptr) *details = prediction_details{};
  const std::array<const char *, 8> texts = {nid, lvl, hp, atk, def, sp_atk, sp_def, spd};
  if (model == nullptr || null_text(texts)) return PREDICTION_FAILED;
  try {
    return predict_in_folder(model, is_shiny, texts, species_folder(path, nid), diagnostics,
                             details);
  } catch (const std::bad_alloc &) {
    if (details != nullptr) details->reason = "memory ran out";
    return PREDICTION_FAILED;
  }
}

int predict_price_from_snapshot(const species_snapshot *s, app_model *model, int is_shiny,
                                const char *nid, const char *lvl, const char *hp, const char *atk,
                                const char *def, const char *sp_atk, const char *sp_def,
                                const char *spd, std::FILE *diagnostics,
                                prediction_details *details) {
  ORV_CHECK(s != NULL);
  const std::array<const char *, 8> texts = {nid, lvl, hp, atk, def, sp_atk, sp_def, spd};
  if (model == nullptr || null_text(texts)) return PREDICTION_FAILED;
  ORV_CHECK(s->nid_text == nid);
  ORV_CHECK(s->file != NULL);
  ORV_CHECK(s->networks_loaded || s->file->state == species_file_state::damaged);
  try {
    checked_form form;
    if (const std::optional<int> status = check_form(model, is_shiny, texts, *s, details, &form))
      return *status;
    return price_with_networks(model, is_shiny, form, *s, diagnostics, details);
  } catch (const std::bad_alloc &) {
    if (details != nullptr) details->reason = "memory ran out";
    return PREDICTION_FAILED;
  }
}
