#include "adkit/foundation/AKHeaderParser.h"

#include <cctype>
#include <limits>

#include "platform/foundation/Clock.h"
#include "platform/foundation/HTTPDate.h"

namespace {

// The integer at the start of the text (leading blanks and a sign allowed),
// saturated; nullopt when no digit follows.
std::optional<long long> scanInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (std::numeric_limits<long long>::max() - 9) / 10) {
            value = std::numeric_limits<long long>::max();
        } else {
            value = value * 10 + (text[i] - '0');
        }
    }
    return negative ? -value : value;
}

}  // namespace

std::optional<Date> ak_dateFromHttpDateString(const std::string& text) {
    using HTTPDate::Form;
    for (Form form : {Form::RFC1123, Form::Asctime, Form::RFC850}) {
        if (auto date = HTTPDate::parse(text, form)) return date;
    }
    return std::nullopt;
}

std::optional<Date> ak_expirationDate(const NSHTTPURLResponse& response) {
    if (response.valueForHTTPHeaderField("Pragma") == std::optional<std::string>("no-cache")) return std::nullopt;
    const double now = Clock::now();
    double reference = now;
    if (auto date = response.valueForHTTPHeaderField("Date")) {
        auto parsed = ak_dateFromHttpDateString(*date);
        if (!parsed) return std::nullopt;  // a date nobody can read: no reuse
        reference = parsed->secondsSince1970;
    }
    if (auto control = response.valueForHTTPHeaderField("Cache-Control")) {
        if (control->find("no-store") != std::string::npos) return std::nullopt;
        if (const auto at = control->find("max-age="); at != std::string::npos) {
            if (auto seconds = scanInteger(control->substr(at + 8))) {
                if (*seconds < 1) return std::nullopt;
                return Date{reference + static_cast<double>(*seconds)};
            }
        }
    }
    auto expires = response.valueForHTTPHeaderField("Expires");
    if (!expires) return std::nullopt;
    auto parsed = ak_dateFromHttpDateString(*expires);
    if (!parsed || parsed->secondsSince1970 <= reference) return std::nullopt;
    return Date{now + (parsed->secondsSince1970 - reference)};
}
