#pragma once
// String helpers of the ad library: short number texts, MD5 hex digests,
// URL-parameter escaping, trailing-slash comparison and the "@" escapes of
// keyword templates (whose replacing half lives in AKURLUtilities.h).
// Pure functions; any thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Data.h"

// "%f" of the value, then trailing "0"s (and a bare ".") removed: 2.5, 100, 0,
// 0.125. Always "." as the decimal point, whatever the process's locale.
std::optional<std::string> ak_shortStringWithCGFloat(double value);

// 16 digest bytes as 32 lower-case hexadecimal characters.
std::string ak_stringWithMD5Bytes(const std::uint8_t* bytes);
// The MD5 of the text's UTF-8 bytes in lower-case hex; nullopt for text that
// is not valid UTF-8.
std::optional<std::string> ak_MD5String(std::string_view text);
// The 16 MD5 bytes of the data.
Data ak_MD5Bytes(const Data& data);

// Percent-escaped as a URL parameter value: the platform's URL escape plus
// "!*'();:@&=+$,/?%#[]".
std::string ak_stringByEscapingAsURLParameter(std::string_view text);

// The text without one trailing "/" (itself when it has none).
std::string ak_stripTrailingSlash(std::string_view text);
// Equal after removing one trailing slash from each.
bool ak_isEquivalentToURLString(std::string_view a, std::string_view b);

// Every "@" doubled, so that a value put into a template forms no keyword.
std::string ak_escapeAts(std::string_view text);
// Every "@@" back to "@", left to right.
std::string ak_unescapeAts(std::string_view text);
