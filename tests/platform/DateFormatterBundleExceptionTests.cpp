// Protects the foundation pieces that user-visible texts depend on: date
// formatting and Gregorian days over ICU with pinned locale and time zone (and the process
// defaults), string tables read through the bundle, and named exceptions.
#include <doctest/doctest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLocale.h"
#include "support/TestEnvironment.h"

namespace {
// 2026-12-07 12:24:05 UTC
const Date kDate{1796646245};
}  // namespace

TEST_SUITE("foundation") {

TEST_CASE("date formatters format and parse in their pinned locale and time zone") {
    struct Case {
        const char* locale;
        const char* zone;
        const char* pattern;
        const char* text;
    };
    for (const Case& k : {Case{"en_US_POSIX", "UTC", "yyyy-MM-dd'T'HH:mm:ssZZZZZ", "2026-12-07T12:24:05Z"},
                          Case{"en_US_POSIX", "Europe/Berlin", "yyyy-MM-dd HH:mm:ss", "2026-12-07 13:24:05"},
                          Case{"en_US_POSIX", "America/New_York", "EEE, d MMM yyyy h:mm a zzz", "Mon, 7 Dec 2026 7:24 AM EST"},
                          Case{"de_DE", "Europe/Berlin", "EEEE, d. MMMM yyyy", "Montag, 7. Dezember 2026"},
                          Case{"fr_FR", "UTC", "d MMMM yyyy HH:mm", "7 décembre 2026 12:24"}}) {
        CAPTURE(k.pattern);
        NSDateFormatter f;
        f.setLocaleIdentifier(k.locale);
        f.setTimeZone(NSTimeZone::timeZoneWithName(k.zone));
        f.setDateFormat(k.pattern);
        CHECK(f.dateFormat() == k.pattern);
        CHECK(f.stringFromDate(kDate) == k.text);
        auto parsed = f.dateFromString(k.text);
        REQUIRE(parsed);
        if (std::string(k.pattern).find("ss") != std::string::npos) CHECK(parsed->secondsSince1970 == kDate.secondsSince1970);
    }
    NSDateFormatter strict;
    strict.setLocaleIdentifier("en_US_POSIX");
    strict.setTimeZone(NSTimeZone::timeZoneWithName("UTC"));
    strict.setDateFormat("yyyy-MM-dd");
    CHECK_FALSE(strict.dateFromString("2026-12-07x"));
    CHECK_FALSE(strict.dateFromString("2026-13-45"));
    CHECK_FALSE(strict.dateFromString(""));
    CHECK(strict.dateFromString("2026-12-07")->secondsSince1970 == 1796601600);
    CHECK(strict.stringFromDate(Date{NAN}).empty());
}

TEST_CASE("date and time styles follow the locale, and the process defaults reach new formatters") {
    NSDateFormatter::setDefaultLocaleIdentifier("de_DE");
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Europe/Berlin"));
    NSDateFormatter german;
    german.setDateStyle(NSDateFormatterMediumStyle);
    german.setTimeStyle(NSDateFormatterShortStyle);
    CHECK(german.localeIdentifier() == "de_DE");
    CHECK(german.timeZone()->name() == "Europe/Berlin");
    CHECK(german.stringFromDate(kDate) == "07.12.2026, 13:24");
    CHECK(german.dateFormat() == "dd.MM.y, HH:mm");

    NSDateFormatter::setDefaultLocaleIdentifier("en_US");
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("UTC"));
    NSDateFormatter american;
    american.setDateStyle(NSDateFormatterShortStyle);
    american.setTimeStyle(NSDateFormatterShortStyle);
    CHECK(american.stringFromDate(kDate) == "12/7/26, 12:24\u202fPM");
    american.setDateStyle(NSDateFormatterNoStyle);
    CHECK(american.stringFromDate(kDate) == "12:24\u202fPM");
    american.setTimeStyle(NSDateFormatterNoStyle);
    CHECK(american.stringFromDate(kDate).empty());
    american.setDateFormat("HH:mm");
    CHECK(american.stringFromDate(kDate) == "12:24");

    NSDateFormatter::setDefaultLocaleIdentifier(std::nullopt);
    NSLocale::setPreferredLanguages(std::vector<std::string>{"pt-BR"});
    CHECK(NSDateFormatter::defaultLocaleIdentifier() == "pt_BR");
    NSLocale::setPreferredLanguages(std::nullopt);
    NSTimeZone::setDefaultTimeZone(nullptr);
    CHECK(NSTimeZone::defaultTimeZone());
}

TEST_CASE("time zones come from the database or a fixed offset") {
    CHECK_FALSE(NSTimeZone::timeZoneWithName("Mars/Olympus_Mons"));
    CHECK_FALSE(NSTimeZone::timeZoneWithName(""));
    CHECK(NSTimeZone::timeZoneWithName("Europe/Berlin")->secondsFromGMTForDate(kDate) == 3600);
    CHECK(NSTimeZone::timeZoneWithName("Europe/Berlin")->secondsFromGMTForDate(Date{1783000000}) == 7200);  // summer
    auto fixed = NSTimeZone::timeZoneForSecondsFromGMT(-5400);
    CHECK(fixed->name() == "GMT-0130");
    CHECK(fixed->secondsFromGMTForDate(kDate) == -5400);
    CHECK_FALSE(NSTimeZone::timeZoneForSecondsFromGMT(19 * 3600));
    NSDateFormatter f;
    f.setLocaleIdentifier("en_US_POSIX");
    f.setTimeZone(fixed);
    f.setDateFormat("HH:mm");
    CHECK(f.stringFromDate(kDate) == "10:54");
}

TEST_CASE("string tables give the text for a key, else the value, else the key") {
    testsupport::TempHome home;
    auto root = std::filesystem::path(home.path()) / "resources";
    std::filesystem::create_directories(root);
    std::ofstream(root / "Localizable.strings.json") << R"({"Pull to refresh...": "Zum Aktualisieren ziehen...", "Empty": ""})";
    std::ofstream(root / "Overlay.strings.json") << R"({"Loading": "Laden"})";
    std::ofstream(root / "Broken.strings.json") << R"(["not", "an", "object"])";
    NSBundle bundle(root.string());
    CHECK(bundle.localizedStringForKey("Pull to refresh...", "", "") == "Zum Aktualisieren ziehen...");
    CHECK(bundle.localizedStringForKey("Pull to refresh...", "", "Localizable") == "Zum Aktualisieren ziehen...");
    CHECK(bundle.localizedStringForKey("Loading", "", "Overlay") == "Laden");
    CHECK(bundle.localizedStringForKey("Loading", "", "") == "Loading");
    CHECK(bundle.localizedStringForKey("Loading", "Fallback", "") == "Fallback");
    CHECK(bundle.localizedStringForKey("Loading", "", "Missing") == "Loading");
    CHECK(bundle.localizedStringForKey("Loading", "", "Broken") == "Loading");
    CHECK(bundle.localizedStringForKey("Empty", "value", "") == "");  // a key the table has, even if empty
    // The main bundle's tables: the HTTP library's among them.
    CHECK(NSLocalizedStringFromTable("File URL not reachable.", "Netline") == "File URL not reachable.");
}

TEST_CASE("exceptions are thrown as C++ exceptions and caught by name") {
    try {
        NSException::raise(NSInvalidArgumentException, "Unable to parse constraint format");
        FAIL("raise returned");
    } catch (const NSException& e) {
        CHECK(e.name() == NSInvalidArgumentException);
        CHECK(e.reason() == "Unable to parse constraint format");
        CHECK(std::string(e.what()) == "NSInvalidArgumentException: Unable to parse constraint format");
    }
    auto e = NSException::exceptionWithName(NSRangeException, "index 3 beyond bounds", Value{{"index", 3}});
    CHECK_THROWS_AS(e.raise(), std::exception);
    CHECK(e.userInfo()["index"].intValue() == 3);
    CHECK(std::string(NSInternalInconsistencyException) == "NSInternalInconsistencyException");
}

}  // TEST_SUITE

TEST_CASE("a Gregorian day starts at midnight in the calendar's time zone, and out-of-range components roll over") {
    struct Row {
        const char* zone;
        int year, month, day;
        double seconds;
    };
    const Row rows[] = {
        {"UTC", 2000, 2, 29, 951782400},               // a leap day
        {"America/New_York", 2000, 2, 29, 951800400},  // five hours later
        {"Asia/Kolkata", 1970, 1, 1, -19800},
        {"UTC", 1999, 13, 1, 946684800},   // month 13 is January of the next year
        {"UTC", 2000, 3, 0, 951782400},    // day 0 is the last day of the month before
    };
    for (const Row& row : rows) {
        CAPTURE(row.zone);
        auto calendar = NSCalendar::gregorianCalendar(NSTimeZone::timeZoneWithName(row.zone));
        CHECK(calendar->dateWithYear(row.year, row.month, row.day) == Date{row.seconds});
    }
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Europe/Paris"));
    CHECK(NSCalendar::gregorianCalendar()->dateWithYear(2000, 1, 1) == Date{946681200});
    NSTimeZone::setDefaultTimeZone(nullptr);
}
