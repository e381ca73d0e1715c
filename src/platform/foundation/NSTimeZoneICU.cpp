// Time zones over ICU's database.
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <memory>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSTimeZone.h"

#include "platform/foundation/Clock.h"

namespace {

std::mutex gMutex;
NSTimeZonePtr gDefault;
NSTimeZonePtr gPinnedSystem;

std::unique_ptr<icu::TimeZone> icuZone(const std::string& name) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(name)));
    icu::UnicodeString id;
    zone->getID(id);
    if (id == UCAL_UNKNOWN_ZONE_ID) return nullptr;
    return zone;
}

}  // namespace

NSTimeZone::NSTimeZone(std::string name) : name_(std::move(name)) {}

NSTimeZonePtr NSTimeZone::timeZoneWithName(const std::string& name) {
    if (name.empty() || !icuZone(name)) return nullptr;
    return std::make_shared<NSTimeZone>(name);
}

NSTimeZonePtr NSTimeZone::timeZoneForSecondsFromGMT(long seconds) {
    if (std::labs(seconds) > 18 * 3600) return nullptr;
    long minutes = std::labs(seconds) / 60;
    return std::make_shared<NSTimeZone>(
        format("GMT%c%02ld%02ld", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60));
}

void NSTimeZone::setSystemTimeZone(NSTimeZonePtr zone) {
    std::lock_guard lock(gMutex);
    gPinnedSystem = std::move(zone);
}

long NSTimeZone::secondsFromGMT() const { return secondsFromGMTForDate(Date{Clock::now()}); }

NSTimeZonePtr NSTimeZone::systemTimeZone() {
    {
        std::lock_guard lock(gMutex);
        if (gPinnedSystem) return gPinnedSystem;
    }
    // A TZ rule the zone database does not name ("XST-2") is taken as the
    // fixed offset the C library reads from it now.
    if (const char* tz = std::getenv("TZ"); tz && *tz && *tz != ':' && !icuZone(tz)) {
        tzset();
        const auto now = static_cast<std::time_t>(Clock::now());
        std::tm local{};
        if (localtime_r(&now, &local)) {
            if (auto fixed = timeZoneForSecondsFromGMT(local.tm_gmtoff)) return fixed;
        }
    }
    std::unique_ptr<icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
    icu::UnicodeString id;
    host->getID(id);
    std::string name;
    id.toUTF8String(name);
    if (name.empty() || id == UCAL_UNKNOWN_ZONE_ID) name = "UTC";
    return std::make_shared<NSTimeZone>(name);
}

NSTimeZonePtr NSTimeZone::defaultTimeZone() {
    {
        std::lock_guard lock(gMutex);
        if (gDefault) return gDefault;
    }
    NSTimeZonePtr system = systemTimeZone();  // takes the lock itself
    std::lock_guard lock(gMutex);
    if (!gDefault) gDefault = std::move(system);
    return gDefault;
}

void NSTimeZone::setDefaultTimeZone(NSTimeZonePtr zone) {
    std::lock_guard lock(gMutex);
    gDefault = std::move(zone);
}

long NSTimeZone::secondsFromGMTForDate(const Date& date) const {
    auto zone = icuZone(name_);
    if (!zone || !std::isfinite(date.secondsSince1970)) return 0;
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone->getOffset(date.secondsSince1970 * 1000.0, false, raw, dst, status);
    return U_SUCCESS(status) ? (raw + dst) / 1000 : 0;
}
