// The one UTF-8 check: valid exactly where the JSON library keeps a text unchanged, so the
// entries' limits, species names, trainer names and JSON records all agree on every text.
#include "common/utf8_text.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

bool library_accepts(const std::string &text) {
  try {
    (void)nlohmann::json(text).dump();  // strict: throws on invalid UTF-8
    return true;
  } catch (const nlohmann::json::type_error &) {
    return false;
  }
}

TEST(Utf8Text, ValidExactlyWhereTheJsonLibraryIs) {
  const struct {
    std::string text;
    bool valid;
    std::size_t characters;
  } cases[] = {
      {"", true, 0},
      {"58", true, 2},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\x89", true, 3},  // é, €, a four-byte character
      {"\xC0\x80", false, 0},                             // overlong NUL
      {"\xE0\x80\x80", false, 0},                         // overlong three bytes
      {"\xED\xA0\x80", false, 0},                         // a surrogate
      {"\xF4\x90\x80\x80", false, 0},                     // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", false, 0},                 // a five-byte form
      {"\xE2\x82", false, 0},                             // cut short
      {"\x80", false, 0},                                 // a lone continuation byte
      {"a\xFF", false, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(valid_utf8(c.text), c.valid) << c.text;
    EXPECT_EQ(library_accepts(c.text), c.valid) << c.text;
    EXPECT_EQ(utf8_characters(c.text).has_value(), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(utf8_characters(c.text), c.characters) << c.text;
    } else {
      EXPECT_FALSE(printable_utf8(c.text)) << c.text;
    }
  }
}

TEST(Utf8Text, PrintableRefusesEveryControlCharacter) {
  EXPECT_TRUE(printable_utf8("Flab\xC3\xA9\x62\xC3\xA9 \xC2\xA0"));  // U+00A0 is no control
  for (const std::string &bad : std::initializer_list<std::string>{
           "a\nb", std::string("a\0b", 3), "\x1F", "\x7F", "\xC2\x80", "\xC2\x85", "\xC2\x9F"})
    EXPECT_FALSE(printable_utf8(bad)) << bad;
}

}  // namespace
