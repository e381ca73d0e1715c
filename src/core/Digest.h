#pragma once
// String digests and URL escaping, as the catalogue client and the device
// identifier use them.
#include <optional>
#include <string>

#include "platform/foundation/NSString.h"

// MD5 of the string's UTF-8 bytes (up to the first zero byte) as 32 upper-case
// hexadecimal digits.
std::string md5(const std::string& string);

// Percent-escapes the string for use as one URL component: the text converted
// with the encoding, every byte escaped as %XX (upper-case hex) that is not legal
// in a URL or is one of !*'"();:@&=+$,/?%#[] and space. So only letters, digits,
// "-", "_", "." and "~" stay as they are. nullopt when the text has no form in
// the encoding.
std::optional<std::string> urlEncodeUsingEncoding(const std::string& string, NSStringEncoding encoding);
