// The species table: which national numbers are priced, how, and the messages the
// result views show for them.
#include <array>
#include <new>
#include <string>
#include <vector>

#include "common/contract.hpp"
#include "model/model_orvanta.hpp"
#include "model/species_file.hpp"

namespace {

struct species_entry {
  std::uint32_t nid;
  const char *name;  // only for the special-price message
  int supported;
  int hidden_power_type;  // the one type earning the addition; -1: none
  double price_margin;    // both ends of the sales range
  coverage_group coverage;
};

// clang-format off
constexpr std::array<species_entry, 12> species_table = {{
    // nid  name         priced  HP type  margin  coverage
    {58,  "Growlithe", 1,      10,      0.1,    coverage_group::growlithe},
    {59,  "Arcanine",  1,      10,      0.1,    coverage_group::growlithe},
    {86,  "Seel",      0,       0,      0.1,    coverage_group::seel},
    {87,  "Dewgong",   0,       0,      0.1,    coverage_group::seel},
    {116, "Horsea",    0,       0,      0.1,    coverage_group::horsea},
    {117, "Seadra",    0,       0,      0.1,    coverage_group::horsea},
    {230, "Kingdra",   0,       0,      0.1,    coverage_group::horsea},
    {120, "Staryu",    1,       8,      0.1,    coverage_group::staryu},
    {121, "Starmie",   1,       8,      0.1,    coverage_group::staryu},
    {123, "Scyther",   1,      -1,      0.1,    coverage_group::scyther},
    {212, "Scizor",    1,      -1,      0.1,    coverage_group::scyther},
    {133, "Eevee",     1,       8,      0.1,    coverage_group::eevee},
}};
// clang-format on

// Special-price messages and the prices they state; "%s" stands for the displayed name.
constexpr fixed_price epic_fail_and_same_price = {
    "The price for an epic fail and all IVs \nthe same %s is around 3m - 4m", 3000000, 4000000};
constexpr fixed_price same_ivs_price = {"The price for an all IVs the same %s \nis around 3m",
                                        3000000, 3000000};
constexpr fixed_price epic_fail_price = {"The price for an epic fail %s \nis around 100k", 100000,
                                         100000};

// Reliability messages by coverage rating.
constexpr std::array<const char *, 3> reliability_texts = {
    "The results are almost perfect",
    "The results are almost good",
    "The results are probably not good, \n"
    "because of the limited amount of data. \n"
    "If you believe this is true, \n"
    "consider informing us if you want to help \n"
    "with data collection.",
};

species_description describe_entry(const species_entry &entry) {
  species_description d;
  d.nid = entry.nid;
  d.priced = entry.supported != 0;
  d.name = entry.name;
  d.hidden_power_types = {entry.hidden_power_type, -1, -1};
  d.hidden_power_base_price = 500000;
  d.lowest_price_margin = entry.price_margin;
  d.highest_price_margin = entry.price_margin;
  describe_coverage(entry.coverage, &d);
  return d;
}

std::string with_name(const char *format, const std::string &name) {
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  return text;
}

}  // namespace

const fixed_price *fixed_price_of(const species_pricing *record) {
  ORV_CHECK(record != NULL);
  if (record->epic_fail != 0 && record->same_ivs != 0) return &epic_fail_and_same_price;
  if (record->same_ivs != 0) return &same_ivs_price;
  if (record->epic_fail != 0) return &epic_fail_price;
  return nullptr;
}

const std::vector<species_description> &built_in_species() {
  // Built on first use; C++ makes that safe when threads ask at once.
  static const std::vector<species_description> table = [] {
    std::vector<species_description> described;
    for (const species_entry &entry : species_table) described.push_back(describe_entry(entry));
    return described;
  }();
  return table;
}

const species_description *find_built_in_species(std::uint32_t nid) {
  for (const species_description &d : built_in_species()) {
    if (d.nid == nid) return &d;
  }
  return nullptr;
}

bool look_up_species(app_model *model, const species_description *d,
                     const std::array<std::uint32_t, 6> &ivs, bool is_shiny,
                     species_pricing *record, int *rating) {
  *record = species_pricing{};
  *rating = -1;
  bool all_low = true;
  bool all_equal = true;
  for (std::uint32_t iv : ivs) {
    all_low = all_low && iv <= 9;
    all_equal = all_equal && iv == ivs[0];
  }
  // A shiny Pokemon has no fixed market price: its spread goes to the networks. Neither
  // does any spread of a species whose file says so: its seller's own sales price them.
  if (!is_shiny && (d == nullptr || d->fixed_prices)) {
    record->same_ivs = all_equal ? 1 : 0;
    record->epic_fail = all_low ? 1 : 0;
  }
  const fixed_price *fixed = fixed_price_of(record);
  if (d == nullptr) return true;  // unknown: the model is not touched

  const int rated = rate_spread(d, ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
  if (model != nullptr) {
    // Each text is built whole before it replaces the stored one, so running out of
    // memory leaves the previous texts in place.
    try {
      if (fixed != nullptr) {
        std::string text = with_name(fixed->text, d->name);
        model->special_price = std::move(text);
      }
      std::string text = reliability_texts[static_cast<std::size_t>(rated)];
      model->in_range_message = std::move(text);
    } catch (const std::bad_alloc &) {
      return false;
    }
  }
  *rating = rated;
  record->supported = d->priced ? 1 : 0;
  for (std::size_t slot = 0; slot < 3; ++slot)
    record->hidden_power_types[slot] = d->hidden_power_types[slot];
  record->hidden_power_base_price = d->hidden_power_base_price;
  // The rating's own margins, where the file gives them, replace the species-wide ones.
  const std::optional<std::array<double, 2>> &own =
      d->range_margins[static_cast<std::size_t>(rated)];
  record->highest_price_margin = own.has_value() ? (*own)[1] : d->highest_price_margin;
  record->lowest_price_margin = own.has_value() ? (*own)[0] : d->lowest_price_margin;
  return true;
}

species_pricing *availability(app_model *model, std::uint32_t nid, std::uint32_t hp,
                              std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                              std::uint32_t sp_def, std::uint32_t spd) {
  auto *record = new (std::nothrow) species_pricing{};
  if (record == nullptr) return nullptr;
  int rating = -1;
  if (!look_up_species(model, find_built_in_species(nid), {hp, atk, def, sp_atk, sp_def, spd},
                       false, record, &rating)) {
    delete record;
    return nullptr;
  }
  return record;
}

void free_species_pricing(species_pricing *record) {
  delete record;
}
