#pragma once
// Text transforms by ICU transform identifiers ("Any-Latin; Latin-ASCII",
// "[:^ASCII:] Remove", ...), as the platform's string transform offers them.
#include <optional>
#include <string>
#include <string_view>

// The transformed text; nullopt when the identifier is not a valid transform or
// the text is not valid UTF-8.
std::optional<std::string> CFStringTransform(std::string_view text, std::string_view transform, bool reverse = false);
