// The species table: which national numbers are priced, how, and the messages the
// result views show for them.
#include <array>
#include <new>
#include <string>

#include "model/model_orvanta.hpp"

namespace {

using coverage_classifier = int (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                    std::uint32_t, std::uint32_t);

struct species_entry {
  std::uint32_t nid;
  const char *name;  // only for the special-price message
  int supported;
  int hidden_power_type;  // the one type earning the addition; -1: none
  double price_margin;    // both ends of the sales range
  coverage_classifier classifier;
};

// clang-format off
constexpr std::array<species_entry, 12> species_table = {{
    // nid  name         priced  HP type  margin  coverage
    {58,  "Growlithe", 1,      10,      0.1,    Growlithe_range},
    {59,  "Arcanine",  1,      10,      0.1,    Growlithe_range},
    {86,  "Seel",      0,       0,      0.1,    Seel_range},
    {87,  "Dewgong",   0,       0,      0.1,    Seel_range},
    {116, "Horsea",    0,       0,      0.1,    Horsea_range},
    {117, "Seadra",    0,       0,      0.1,    Horsea_range},
    {230, "Kingdra",   0,       0,      0.1,    Horsea_range},
    {120, "Staryu",    1,       8,      0.1,    Staryu_range},
    {121, "Starmie",   1,       8,      0.1,    Staryu_range},
    {123, "Scyther",   1,      -1,      0.1,    Scyther_range},
    {212, "Scizor",    1,      -1,      0.1,    Scyther_range},
    {133, "Eevee",     1,       8,      0.1,    Eevee_range},
}};
// clang-format on

// Special-price messages; "%s" stands for the displayed name.
constexpr const char *epic_fail_and_same_text =
    "The price for an epic fail and all IVs \nthe same %s is around 3m - 4m";
constexpr const char *same_ivs_text = "The price for an all IVs the same %s \nis around 3m";
constexpr const char *epic_fail_text = "The price for an epic fail %s \nis around 100k";

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

const species_entry *find_species(std::uint32_t nid) {
  for (const species_entry &entry : species_table) {
    if (entry.nid == nid) return &entry;
  }
  return nullptr;
}

std::string with_name(const char *format, const char *name) {
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  return text;
}

// Stores the special-price message (when there is one) and the reliability message in the
// model. Each text is built whole before it replaces the stored one, so running out of
// memory leaves the previous texts in place; returns false then.
bool store_messages(app_model *model, const species_entry &species, const char *special_text,
                    const std::array<std::uint32_t, 6> &ivs) {
  try {
    if (special_text != nullptr) {
      std::string text = with_name(special_text, species.name);
      model->special_price = std::move(text);
    }
    const int rating = species.classifier(ivs[0], ivs[1], ivs[2], ivs[3], ivs[4], ivs[5]);
    if (rating >= 0 && rating < static_cast<int>(reliability_texts.size())) {
      std::string text = reliability_texts[static_cast<std::size_t>(rating)];
      model->in_range_message = std::move(text);
    }
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

}  // namespace

species_pricing *availability(app_model *model, std::uint32_t nid, std::uint32_t hp,
                              std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                              std::uint32_t sp_def, std::uint32_t spd) {
  auto *record = new (std::nothrow) species_pricing{};
  if (record == nullptr) return nullptr;

  const std::array<std::uint32_t, 6> ivs = {hp, atk, def, sp_atk, sp_def, spd};
  bool all_low = true;
  bool all_equal = true;
  for (std::uint32_t iv : ivs) {
    all_low = all_low && iv <= 9;
    all_equal = all_equal && iv == ivs[0];
  }
  const char *special_text = nullptr;
  if (all_equal && all_low) {
    record->same_ivs = 1;
    record->epic_fail = 1;
    special_text = epic_fail_and_same_text;
  } else if (all_equal) {
    record->same_ivs = 1;
    special_text = same_ivs_text;
  } else if (all_low) {
    record->epic_fail = 1;
    special_text = epic_fail_text;
  }

  const species_entry *species = find_species(nid);
  if (species == nullptr) return record;

  if (model != nullptr && !store_messages(model, *species, special_text, ivs)) {
    delete record;
    return nullptr;
  }

  record->supported = species->supported;
  record->hidden_power_types[0] = species->hidden_power_type;
  record->highest_price_margin = species->price_margin;
  record->lowest_price_margin = species->price_margin;
  return record;
}

void free_species_pricing(species_pricing *record) {
  delete record;
}
