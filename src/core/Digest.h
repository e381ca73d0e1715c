#pragma once
// String digests and URL escaping, as the catalogue client and the device
// identifier use them.
#include <optional>
#include <string>

#include "platform/foundation/NSStringEncoding.h"

// MD5 of the string's UTF-8 bytes (up to the first zero byte) as 32 upper-case
// hexadecimal digits.
std::string md5(const std::string& string);

// Percent-escapes the string for use as one URL component: every character that
// is not legal in a URL, and of the legal ones !*'"();:@&=+$,/?%#[] and space, is
// converted with the encoding and written as %XX per byte (upper-case hex). Only
// letters, digits, "-", "_", "." and "~" stay as they are. nullopt when a
// character has no form in the encoding or the encoding is not supported
// (ASCII, UTF-8 and ISO Latin 1 are).
std::optional<std::string> urlEncodeUsingEncoding(const std::string& string, NSStringEncoding encoding);
