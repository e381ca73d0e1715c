#pragma once
// HTTP dates in the three forms of RFC 9110, always in English and GMT:
// "Sun, 06 Nov 1994 08:49:37 GMT" (IMF-fixdate, RFC 1123), "Sunday, 06-Nov-94
// 08:49:37 GMT" (RFC 850) and "Sun Nov  6 08:49:37 1994" (asctime). Independent
// of the process's locale. Any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace HTTPDate {
enum class Form { RFC1123, Asctime, RFC850 };
// Parses one form; nullopt when the text is not that form or names no real date.
std::optional<Date> parse(std::string_view text, Form form);
// The first of RFC 1123, asctime and RFC 850 that parses.
std::optional<Date> parseAny(std::string_view text);
// "Sun, 06 Nov 1994 08:49:37 GMT" (whole seconds, truncated).
std::string formatRFC1123(Date date);
}  // namespace HTTPDate
