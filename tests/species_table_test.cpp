#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "model/model_orvanta.hpp"

namespace {

struct model_deleter {
  void operator()(app_model *m) const { free_app_model(m); }
};
struct pricing_deleter {
  void operator()(species_pricing *r) const { free_species_pricing(r); }
};
using model_ptr = std::unique_ptr<app_model, model_deleter>;
using pricing_ptr = std::unique_ptr<species_pricing, pricing_deleter>;

const std::string perfect = "The results are almost perfect";
const std::string good = "The results are almost good";
const std::string limited =
    "The results are probably not good, \nbecause of the limited amount of data. \nIf you "
    "believe this is true, \nconsider informing us if you want to help \nwith data collection.";

pricing_ptr look_up(app_model *model, std::uint32_t nid, std::uint32_t hp, std::uint32_t atk,
                    std::uint32_t def, std::uint32_t sp_atk, std::uint32_t sp_def,
                    std::uint32_t spd) {
  pricing_ptr record(availability(model, nid, hp, atk, def, sp_atk, sp_def, spd));
  EXPECT_NE(record, nullptr);
  return record;
}

std::string text(const char *t) {
  return t == nullptr ? "(null)" : t;
}

}  // namespace

TEST(Availability, UnknownNumbersKeepStartingValuesAndLeaveModelAlone) {
  const std::uint32_t minus_58 = static_cast<std::uint32_t>(-58);
  for (std::uint32_t nid : {0U, 57U, 60U, 85U, 88U, 115U, 118U, 119U, 122U, 124U, 132U, 134U, 211U,
                            213U, 229U, 231U, 4294967295U, minus_58}) {
    model_ptr model(create_app_model());
    pricing_ptr r = look_up(model.get(), nid, 20, 21, 22, 23, 24, 25);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->supported, 0) << nid;
    EXPECT_EQ(r->epic_fail, 0);
    EXPECT_EQ(r->same_ivs, 0);
    EXPECT_EQ(r->hidden_power_types[0], -1);
    EXPECT_EQ(r->hidden_power_types[1], -1);
    EXPECT_EQ(r->hidden_power_types[2], -1);
    EXPECT_EQ(r->hidden_power_base_price, 500000U);
    EXPECT_EQ(r->highest_price_margin, 0.0);
    EXPECT_EQ(r->lowest_price_margin, 0.0);
    EXPECT_EQ(get_in_range_message(model.get()), nullptr) << nid;
    EXPECT_EQ(get_special_price(model.get()), nullptr) << nid;
  }
}

TEST(Availability, PricedSpeciesCarryTheirHiddenPowerTypeAndMargins) {
  struct expected {
    std::uint32_t nid;
    int type;
  };
  for (expected e : {expected{58, 10}, expected{59, 10}, expected{120, 8}, expected{121, 8},
                     expected{123, -1}, expected{212, -1}, expected{133, 8}}) {
    model_ptr model(create_app_model());
    pricing_ptr r = look_up(model.get(), e.nid, 20, 21, 22, 23, 24, 25);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->supported, 1) << e.nid;
    EXPECT_EQ(r->hidden_power_types[0], e.type) << e.nid;
    EXPECT_EQ(r->hidden_power_types[1], -1);
    EXPECT_EQ(r->hidden_power_types[2], -1);
    EXPECT_EQ(r->hidden_power_base_price, 500000U);
    EXPECT_EQ(r->highest_price_margin, 0.1);
    EXPECT_EQ(r->lowest_price_margin, 0.1);
    EXPECT_EQ(text(get_in_range_message(model.get())), limited) << e.nid;
  }
}

TEST(Availability, KnownButNotPricedStillGetsItsReliabilityMessage) {
  for (std::uint32_t nid : {86U, 87U}) {
    model_ptr model(create_app_model());
    pricing_ptr r = look_up(model.get(), nid, 23, 30, 23, 29, 26, 21);  // Seel's first spread
    EXPECT_EQ(r->supported, 0);
    EXPECT_EQ(text(get_in_range_message(model.get())), perfect) << nid;
  }
  for (std::uint32_t nid : {116U, 117U, 230U}) {
    model_ptr model(create_app_model());
    pricing_ptr r = look_up(model.get(), nid, 25, 23, 31, 20, 31, 31);  // Horsea's first
    EXPECT_EQ(r->supported, 0);
    EXPECT_EQ(text(get_in_range_message(model.get())), perfect) << nid;
  }
}

TEST(Availability, EachNumberUsesItsGroupsClassifier) {
  struct expected {
    std::uint32_t nid;
    std::uint32_t ivs[6];
    const std::string *message;
  };
  const expected cases[] = {
      {58, {28, 21, 27, 27, 30, 28}, &good},     // Growlithe window
      {59, {26, 21, 25, 25, 28, 28}, &perfect},  // Growlithe reference
      {120, {26, 31, 24, 21, 21, 25}, &good},    // Staryu window
      {121, {28, 22, 31, 24, 21, 22}, &perfect},
      {123, {22, 23, 31, 22, 24, 27}, &good},  // Scyther window
      {212, {25, 24, 23, 4, 30, 26}, &perfect},
      {133, {23, 29, 16, 11, 5, 10}, &perfect},  // Eevee reference
      {133, {23, 29, 16, 11, 5, 11}, &limited},  // Eevee has no window
      {58, {25, 23, 31, 20, 31, 31}, &limited},  // a Horsea spread means nothing to Growlithe
  };
  for (const expected &c : cases) {
    model_ptr model(create_app_model());
    const std::uint32_t *v = c.ivs;
    pricing_ptr r = look_up(model.get(), c.nid, v[0], v[1], v[2], v[3], v[4], v[5]);
    EXPECT_EQ(text(get_in_range_message(model.get())), *c.message) << c.nid;
  }
}

TEST(Availability, SpecialSpreadsSetFlagsAndComposeTheMessage) {
  model_ptr model(create_app_model());
  pricing_ptr r = look_up(model.get(), 133, 31, 31, 31, 31, 31, 31);
  EXPECT_EQ(r->same_ivs, 1);
  EXPECT_EQ(r->epic_fail, 0);
  EXPECT_EQ(text(get_special_price(model.get())),
            "The price for an all IVs the same Eevee \nis around 3m");

  r = look_up(model.get(), 123, 3, 3, 3, 3, 3, 3);
  EXPECT_EQ(r->same_ivs, 1);
  EXPECT_EQ(r->epic_fail, 1);
  EXPECT_EQ(text(get_special_price(model.get())),
            "The price for an epic fail and all IVs \nthe same Scyther is around 3m - 4m");

  r = look_up(model.get(), 58, 9, 9, 9, 9, 9, 8);
  EXPECT_EQ(r->same_ivs, 0);
  EXPECT_EQ(r->epic_fail, 1);
  const std::string growlithe = "The price for an epic fail Growlithe \nis around 100k";
  EXPECT_EQ(text(get_special_price(model.get())), growlithe);

  r = look_up(model.get(), 58, 7, 7, 7, 7, 7, 7);
  EXPECT_EQ(text(get_special_price(model.get())).size(), 76U);  // the longest message
}

TEST(Availability, FlagBoundaries) {
  struct expected {
    std::uint32_t ivs[6];
    int epic_fail, same_ivs;
  };
  const std::uint32_t minus_one = 4294967295U;
  const expected cases[] = {
      {{9, 9, 9, 9, 9, 8}, 1, 0},       {{10, 10, 10, 10, 10, 10}, 0, 1},
      {{0, 0, 0, 0, 0, 0}, 1, 1},       {{0, 0, 0, 0, 0, minus_one}, 0, 0},
      {{9, 9, 9, 9, 9, 10}, 0, 0},      {{1, 2, 3, 4, 5, 6}, 1, 0},
      {{32, 32, 32, 32, 32, 32}, 0, 1},
  };
  for (const expected &c : cases) {
    const std::uint32_t *v = c.ivs;
    for (std::uint32_t nid : {58U, 1U}) {  // the flags do not depend on the species
      pricing_ptr r = look_up(nullptr, nid, v[0], v[1], v[2], v[3], v[4], v[5]);
      EXPECT_EQ(r->epic_fail, c.epic_fail) << v[0] << " " << v[5];
      EXPECT_EQ(r->same_ivs, c.same_ivs) << v[0] << " " << v[5];
    }
  }
}

TEST(Availability, TextsStayUntilAKnownSpeciesReplacesThem) {
  model_ptr model(create_app_model());
  pricing_ptr r = look_up(model.get(), 58, 3, 3, 3, 3, 3, 3);
  const std::string combined = text(get_special_price(model.get()));
  // An unknown number with equal IVs flags the record but changes neither text.
  r = look_up(model.get(), 1, 31, 31, 31, 31, 31, 31);
  EXPECT_EQ(r->same_ivs, 1);
  EXPECT_EQ(text(get_special_price(model.get())), combined);
  // A known species without a special spread keeps the special text, replaces reliability.
  r = look_up(model.get(), 58, 26, 21, 25, 25, 28, 28);
  EXPECT_EQ(text(get_special_price(model.get())), combined);
  EXPECT_EQ(text(get_in_range_message(model.get())), perfect);
}

TEST(Availability, NullModelStillDescribesTheSpecies) {
  pricing_ptr r = look_up(nullptr, 121, 31, 31, 31, 31, 31, 31);
  EXPECT_EQ(r->supported, 1);
  EXPECT_EQ(r->same_ivs, 1);
  EXPECT_EQ(r->hidden_power_types[0], 8);
  EXPECT_EQ(r->lowest_price_margin, 0.1);
}
