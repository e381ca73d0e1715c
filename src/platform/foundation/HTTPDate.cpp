#include "platform/foundation/HTTPDate.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 7> kLongDays = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x | 0x20) != (y | 0x20)) return false;
    }
    return true;
}

template <std::size_t N>
int indexIn(const std::array<const char*, N>& names, std::string_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (equalsIgnoringCase(names[i], word)) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ' ') ++j;
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::optional<int> number(std::string_view digits, std::size_t minLength, std::size_t maxLength) {
    if (digits.size() < minLength || digits.size() > maxLength) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned daysInMonth(int year, int month) {
    static constexpr unsigned kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kLengths[month - 1];
}

std::optional<long> zoneOffset(std::string_view zone) {
    if (equalsIgnoringCase(zone, "GMT") || equalsIgnoringCase(zone, "UTC") || equalsIgnoringCase(zone, "UT")) return 0;
    if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
        auto hh = number(zone.substr(1, 2), 2, 2), mm = number(zone.substr(3, 2), 2, 2);
        if (!hh || !mm || *mm > 59) return std::nullopt;
        return (zone[0] == '-' ? -1 : 1) * (*hh * 3600L + *mm * 60L);
    }
    return std::nullopt;
}

// "HH:mm:ss" to seconds of the day.
std::optional<long> timeOfDay(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    auto h = number(text.substr(0, 2), 2, 2), m = number(text.substr(3, 2), 2, 2), s = number(text.substr(6, 2), 2, 2);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 60) return std::nullopt;
    return *h * 3600L + *m * 60L + *s;
}

std::optional<Date> makeDate(int year, int month, int day, long seconds, long offset) {
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, month)) return std::nullopt;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return Date{static_cast<double>(days * 86400 + seconds - offset)};
}

std::optional<Date> parseRFC1123(std::string_view text) {
    const auto w = words(text);
    if (w.size() != 6 || w[0].size() != 4 || w[0][3] != ',' || indexIn(kDays, w[0].substr(0, 3)) < 0) return std::nullopt;
    auto day = number(w[1], 1, 2);
    const int month = indexIn(kMonths, w[2]);
    auto year = number(w[3], 4, 4);
    auto seconds = timeOfDay(w[4]);
    auto offset = zoneOffset(w[5]);
    if (!day || month < 0 || !year || !seconds || !offset) return std::nullopt;
    return makeDate(*year, month + 1, *day, *seconds, *offset);
}

std::optional<Date> parseAsctime(std::string_view text) {
    const auto w = words(text);
    if (w.size() != 5 || indexIn(kDays, w[0]) < 0) return std::nullopt;
    const int month = indexIn(kMonths, w[1]);
    auto day = number(w[2], 1, 2);
    auto seconds = timeOfDay(w[3]);
    auto year = number(w[4], 4, 4);
    if (month < 0 || !day || !seconds || !year) return std::nullopt;
    return makeDate(*year, month + 1, *day, *seconds, 0);
}

std::optional<Date> parseRFC850(std::string_view text) {
    const auto w = words(text);
    if (w.size() != 4 || w[0].empty() || w[0].back() != ',' || indexIn(kLongDays, w[0].substr(0, w[0].size() - 1)) < 0) {
        return std::nullopt;
    }
    const std::string_view date = w[1];
    if (date.size() != 9 || date[2] != '-' || date[6] != '-') return std::nullopt;
    auto day = number(date.substr(0, 2), 2, 2);
    const int month = indexIn(kMonths, date.substr(3, 3));
    auto yy = number(date.substr(7, 2), 2, 2);
    auto seconds = timeOfDay(w[2]);
    auto offset = zoneOffset(w[3]);
    if (!day || month < 0 || !yy || !seconds || !offset) return std::nullopt;
    // Two-digit years: 70-99 are 1970-1999, the rest 2000-2069.
    const int year = *yy >= 70 ? 1900 + *yy : 2000 + *yy;
    return makeDate(year, month + 1, *day, *seconds, *offset);
}

}  // namespace

namespace HTTPDate {

std::optional<Date> parse(std::string_view text, Form form) {
    switch (form) {
        case Form::RFC1123: return parseRFC1123(text);
        case Form::Asctime: return parseAsctime(text);
        case Form::RFC850: return parseRFC850(text);
    }
    return std::nullopt;
}

std::optional<Date> parseAny(std::string_view text) {
    for (Form form : {Form::RFC1123, Form::Asctime, Form::RFC850}) {
        if (auto date = parse(text, form)) return date;
    }
    return std::nullopt;
}

std::string formatRFC1123(Date date) {
    const auto total = static_cast<std::int64_t>(std::floor(date.secondsSince1970));
    std::int64_t days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
    const std::int64_t secondsOfDay = total - days * 86400;
    const int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    // Civil date from days (inverse of daysFromCivil).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04lld %02lld:%02lld:%02lld GMT", kDays[static_cast<std::size_t>(weekday)], d,
                  kMonths[m - 1], static_cast<long long>(y), static_cast<long long>(secondsOfDay / 3600),
                  static_cast<long long>(secondsOfDay / 60 % 60), static_cast<long long>(secondsOfDay % 60));
    return buffer;
}

}  // namespace HTTPDate
