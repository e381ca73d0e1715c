#pragma once
// Calendars: the Gregorian calendar in a time zone, turning a day (year, month,
// day) into the date of its first instant there. Components out of range roll
// over as the platform's date-from-components does (month 13 is January of the
// next year, day 0 the last day of the month before). Immutable; any thread.
// Backed by ICU (NSCalendarICU.cpp).
#include <memory>
#include <optional>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/Value.h"

class NSCalendar;
using NSCalendarPtr = std::shared_ptr<const NSCalendar>;

class NSCalendar : public NSObject {
public:
    explicit NSCalendar(NSTimeZonePtr zone);

    // The Gregorian calendar in the zone; the default time zone when none is given.
    static NSCalendarPtr gregorianCalendar(NSTimeZonePtr zone = nullptr);

    const NSTimeZonePtr& timeZone() const { return zone_; }
    // Midnight at the start of that day in the calendar's zone; nullopt when
    // the components give no representable date.
    std::optional<Date> dateWithYear(int year, int month, int day) const;

private:
    NSTimeZonePtr zone_;
};
