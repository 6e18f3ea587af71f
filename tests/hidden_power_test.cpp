#include "model/hidden_power.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct free_deleter {
  void operator()(char *text) const { std::free(text); }
};

std::string text_of(std::uint32_t hp, std::uint32_t atk, std::uint32_t def, std::uint32_t sp_atk,
                    std::uint32_t sp_def, std::uint32_t spd) {
  std::unique_ptr<char, free_deleter> text(
      hidden_power_calculator_str(hp, atk, def, sp_atk, sp_def, spd));
  EXPECT_NE(text, nullptr);
  return text == nullptr ? std::string() : std::string(text.get());
}

}  // namespace

TEST(HiddenPower, AllThirtyOneIsDarkSeventy) {
  EXPECT_EQ(hidden_power_calculator(31, 31, 31, 31, 31, 31), 15U);
  EXPECT_EQ(hidden_power_power_calculator(31, 31, 31, 31, 31, 31), 70U);
  EXPECT_EQ(text_of(31, 31, 31, 31, 31, 31), "Hidden Power:  Dark");
}

TEST(HiddenPower, AllZeroAndAllThirtyTwoAreFightingThirty) {
  for (std::uint32_t iv : {0U, 32U}) {
    EXPECT_EQ(hidden_power_calculator(iv, iv, iv, iv, iv, iv), 0U) << iv;
    EXPECT_EQ(hidden_power_power_calculator(iv, iv, iv, iv, iv, iv), 30U) << iv;
    EXPECT_EQ(text_of(iv, iv, iv, iv, iv, iv), "Hidden Power:  Fighting") << iv;
  }
}

TEST(HiddenPower, MixedSpreadsGiveIceFireAndDragon) {
  EXPECT_EQ(hidden_power_calculator(30, 31, 30, 31, 31, 31), 13U);
  EXPECT_EQ(hidden_power_power_calculator(30, 31, 30, 31, 31, 31), 70U);
  EXPECT_EQ(text_of(30, 31, 30, 31, 31, 31), "Hidden Power:  Ice");

  EXPECT_EQ(hidden_power_calculator(31, 30, 31, 30, 31, 30), 8U);
  EXPECT_EQ(hidden_power_power_calculator(31, 30, 31, 30, 31, 30), 70U);
  EXPECT_EQ(text_of(31, 30, 31, 30, 31, 30), "Hidden Power:  Fire");

  EXPECT_EQ(hidden_power_calculator(31, 30, 31, 31, 31, 31), 14U);
  EXPECT_EQ(text_of(31, 30, 31, 31, 31, 31), "Hidden Power:  Dragon");
}

TEST(HiddenPower, SpdWeighsEightThoughItIsTheSixthArgument) {
  EXPECT_EQ(hidden_power_calculator(0, 0, 0, 0, 0, 1), 1U);  // S = 8
  EXPECT_EQ(text_of(0, 0, 0, 0, 0, 1), "Hidden Power:  Flying");
  EXPECT_EQ(hidden_power_power_calculator(0, 0, 0, 0, 0, 2), 35U);  // P = 8
  EXPECT_EQ(hidden_power_calculator(0, 0, 0, 0, 0, 2), 0U);
  // SP Atk and SP Def weigh 16 and 32: S = 16 gives 3, S = 32 gives 7.
  EXPECT_EQ(hidden_power_calculator(0, 0, 0, 1, 0, 0), 3U);
  EXPECT_EQ(hidden_power_calculator(0, 0, 0, 0, 1, 0), 7U);
}

TEST(HiddenPower, PowerBitOfHpAloneRoundsDownToThirty) {
  EXPECT_EQ(hidden_power_power_calculator(2, 0, 0, 0, 0, 0), 30U);
  EXPECT_EQ(hidden_power_calculator(2, 0, 0, 0, 0, 0), 0U);
  // The second bit, not the value: 3 counts like 2, 4 like 0.
  EXPECT_EQ(hidden_power_power_calculator(0, 0, 0, 0, 3, 0), 50U);  // P = 32
  EXPECT_EQ(hidden_power_power_calculator(0, 0, 0, 0, 4, 0), 30U);
}

TEST(HiddenPower, EveryTypeTextInIndexOrder) {
  static const char *const names[16] = {
      "Fighting", "Flying", "Poison", "Ground",   "Rock",    "Bug", "Ghost",  "Steel",
      "Fire",     "Water",  "Grass",  "Electric", "Psychic", "Ice", "Dragon", "Dark"};
  bool seen[16] = {};
  // Every weighted sum S of the six lowest bits, spread back over the IVs by their weights.
  for (std::uint32_t s = 0; s < 64; ++s) {
    const std::uint32_t hp = s & 1U, atk = (s >> 1) & 1U, def = (s >> 2) & 1U, spd = (s >> 3) & 1U,
                        sp_atk = (s >> 4) & 1U, sp_def = (s >> 5) & 1U;
    const std::uint32_t type = hidden_power_calculator(hp, atk, def, sp_atk, sp_def, spd);
    ASSERT_EQ(type, 15U * s / 63U) << "S = " << s;
    EXPECT_EQ(text_of(hp, atk, def, sp_atk, sp_def, spd),
              std::string("Hidden Power:  ") + names[type]);
    seen[type] = true;
  }
  for (int t = 0; t < 16; ++t) EXPECT_TRUE(seen[t]) << t;
}

TEST(HiddenPower, ReadsOnlyTheTwoLowBitsOfHugeValues) {
  const std::uint32_t minus_one = 4294967295U;  // "-1" as the pipeline passes it
  EXPECT_EQ(
      hidden_power_calculator(minus_one, minus_one, minus_one, minus_one, minus_one, minus_one),
      15U);
  EXPECT_EQ(hidden_power_power_calculator(minus_one, minus_one, minus_one, minus_one, minus_one,
                                          minus_one),
            70U);
}
