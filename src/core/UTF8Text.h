#pragma once
// Reading UTF-8 text one character at a time, strictly (no overlong forms, no
// surrogates, nothing above U+10FFFF).
#include <cstddef>
#include <optional>
#include <string_view>

// The character starting at pos, advancing pos past it; nullopt (with pos advanced
// by one byte) when the bytes there are not a valid UTF-8 sequence.
std::optional<char32_t> nextUTF8Character(std::string_view text, std::size_t& pos);

bool isValidUTF8(std::string_view text);
