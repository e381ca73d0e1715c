#pragma once
// Time zones by their database name ("Europe/Paris", "UTC") or a fixed offset.
// The process default (what new date formatters take) starts as the system's
// (TZ or the host's setting) and can be set, by tests among others.
// Immutable; the default may be read and set from any thread.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSTimeZone;
using NSTimeZonePtr = std::shared_ptr<const NSTimeZone>;

class NSTimeZone : public NSObject {
public:
    explicit NSTimeZone(std::string name);

    // Null for a name the time zone database does not know.
    static NSTimeZonePtr timeZoneWithName(const std::string& name);
    // A fixed offset ("GMT+0130" for 5400); null beyond +-18 hours.
    static NSTimeZonePtr timeZoneForSecondsFromGMT(long seconds);
    // The host's zone (TZ or its setting), unless pinned.
    static NSTimeZonePtr systemTimeZone();
    // Pins what systemTimeZone answers (tests); null goes back to the host's.
    static void setSystemTimeZone(NSTimeZonePtr zone);
    static NSTimeZonePtr defaultTimeZone();
    // Null goes back to the system's time zone.
    static void setDefaultTimeZone(NSTimeZonePtr zone);

    const std::string& name() const { return name_; }
    long secondsFromGMTForDate(const Date& date) const;
    // Seconds east of GMT at the current Clock time.
    long secondsFromGMT() const;
    std::string description() const override { return name_; }

private:
    std::string name_;
};
