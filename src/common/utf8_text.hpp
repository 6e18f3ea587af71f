// UTF-8 as RFC 3629 defines it (no overlong forms, no surrogates, nothing past U+10FFFF),
// the rule nlohmann::json applies: the one check of every text a user or a file hands in.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// True when `text` is valid UTF-8.
bool valid_utf8(std::string_view text);

// The characters (code points) of `text`, or nothing when it is not valid UTF-8.
std::optional<std::size_t> utf8_characters(std::string_view text);

// True when `text` is valid UTF-8 without control characters: C0 (below U+0020), DEL
// (U+007F) or C1 (U+0080 to U+009F), any of which would break a line of the window.
bool printable_utf8(std::string_view text);
