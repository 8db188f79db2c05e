// UTF-8 read and written one character at a time, strictly: only shortest forms of code
// points up to U+10FFFF that are not surrogates are characters. Pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pdf::text {

// The next character of the UTF-8 `text` from `at`, which moves past it; nullopt (moving past
// one byte) for a byte that does not start a whole, shortest-form sequence of a code point
// up to U+10FFFF that is not a surrogate.
std::optional<char32_t> NextCharacter(const std::string& text, std::size_t& at);

// Appends `character` (a code point up to U+10FFFF that is not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t character);

}  // namespace pdf::text
