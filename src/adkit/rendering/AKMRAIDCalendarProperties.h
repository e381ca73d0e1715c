#pragma once
// The parameters of a rich-media calendar event: start and end ("start",
// "end", texts like 2014-05-01T10:00:00+02:00), "summary", "description" and
// "location". All five keys must be present, else there is no object; a date
// that does not parse is absent while the object is still made.
// Plain value; dates are parsed on one shared formatter (any thread).
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

class AKMRAIDCalendarProperties {
public:
    // initWithDictionary: (a dictionary of strings).
    static std::shared_ptr<AKMRAIDCalendarProperties> initWithDictionary(const Value& dictionary);
    // The shared parse of "yyyy-MM-dd'T'HH:mm:ssZZZZZ" in the en_US_POSIX locale.
    static std::optional<Date> dateFromString(const std::string& text);

    const std::optional<Date>& startTime() const { return startTime_; }
    const std::optional<Date>& endTime() const { return endTime_; }
    const std::string& summary() const { return summary_; }
    const std::string& eventDescription() const { return eventDescription_; }
    const std::string& location() const { return location_; }

private:
    std::optional<Date> startTime_;
    std::optional<Date> endTime_;
    std::string summary_;
    std::string eventDescription_;
    std::string location_;
};
