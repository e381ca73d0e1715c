#pragma once
// Time zones as fixed offsets from GMT at a moment: the system zone comes from
// the TZ environment (the C library's rules, at the current Clock time) unless
// a test set one; named zones "UTC"/"GMT" and "GMT+hh:mm" forms. Any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

class NSTimeZone;
using NSTimeZonePtr = std::shared_ptr<NSTimeZone>;

class NSTimeZone : public NSObject {
public:
    NSTimeZone(std::string name, std::optional<long> fixedOffset) : name_(std::move(name)), fixed_(fixedOffset) {}
    static NSTimeZonePtr systemTimeZone();
    // "UTC", "GMT", "GMT+2", "GMT-03:30"; the system zone's name; nullptr otherwise.
    static NSTimeZonePtr timeZoneWithName(const std::string& name);
    static NSTimeZonePtr timeZoneForSecondsFromGMT(long seconds);
    // Pins the system zone (nullptr: back to TZ).
    static void setSystemTimeZone(NSTimeZonePtr zone);

    const std::string& name() const { return name_; }
    // Seconds east of GMT now (for the system zone: at the current Clock time).
    long secondsFromGMT() const;
    std::string description() const override { return name_; }

private:
    std::string name_;
    std::optional<long> fixed_;  // nullopt: the TZ rules of the C library
};
