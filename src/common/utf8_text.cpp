// UTF-8 checks through Debian's utfcpp (libutfcpp-dev), which decodes by RFC 3629 as the
// JSON library does, so a text passes here exactly when the JSON writer keeps it unchanged.
#include "common/utf8_text.hpp"

#include <utf8.h>

#include <cstdint>

bool valid_utf8(std::string_view text) {
  return utf8::is_valid(text.begin(), text.end());
}

std::optional<std::size_t> utf8_characters(std::string_view text) {
  if (!valid_utf8(text)) return std::nullopt;
  return static_cast<std::size_t>(utf8::unchecked::distance(text.begin(), text.end()));
}

bool printable_utf8(std::string_view text) {
  if (!valid_utf8(text)) return false;
  for (auto it = text.begin(); it != text.end();) {
    const std::uint32_t c = utf8::unchecked::next(it);
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  }
  return true;
}
