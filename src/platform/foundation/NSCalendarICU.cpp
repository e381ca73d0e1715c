// The Gregorian calendar over ICU's.
#include <unicode/gregocal.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>

#include "platform/foundation/NSCalendar.h"

NSCalendar::NSCalendar(NSTimeZonePtr zone) : zone_(std::move(zone)) {}

NSCalendarPtr NSCalendar::gregorianCalendar(NSTimeZonePtr zone) {
    return std::make_shared<NSCalendar>(zone ? std::move(zone) : NSTimeZone::defaultTimeZone());
}

std::optional<Date> NSCalendar::dateWithYear(int year, int month, int day) const {
    UErrorCode status = U_ZERO_ERROR;
    // The calendar adopts the zone.
    icu::GregorianCalendar calendar(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone_->name())), status);
    if (U_FAILURE(status)) return std::nullopt;
    calendar.clear();
    calendar.setLenient(true);
    // ICU counts months from 0; the year, month and day fields roll over when out of range.
    calendar.set(year, month - 1, day);
    const UDate millis = calendar.getTime(status);
    if (U_FAILURE(status) || !std::isfinite(millis)) return std::nullopt;
    return Date{millis / 1000.0};
}
