#pragma once
// Time measurement of the ad library. `AKAbsoluteTime` is a monotonic
// millisecond clock that reads 0 at its first use; `AKTiming` is one named
// stopwatch (seconds of `counter`, 0 meaning not set) with a small bag of user
// data and a dictionary form ("category", "start", "end", and "userData" when
// not empty). Both are built on the platform's tick counter, converted to
// nanoseconds in integer arithmetic whatever its ratio.
//
// Threads: any. A stopwatch's timestamps are under its timestamp lock, its user
// data under its instance lock; the dictionary form takes the instance lock
// first and the timestamp lock inside it, never the other order.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

namespace AKAbsoluteTime {
// Milliseconds since the first call (0 then); never decreases.
std::uint64_t absoluteTimeInMilliseconds();
// Nanoseconds of the platform's tick counter.
std::uint64_t nanosecondsNow();
}  // namespace AKAbsoluteTime

class AKTiming;
using AKTimingPtr = std::shared_ptr<AKTiming>;

class AKTiming : public NSObject {
public:
    explicit AKTiming(const std::optional<std::string>& category = std::nullopt);
    static AKTimingPtr initWithDictionaryRepresentation(const Value& dictionary);
    AKTimingPtr copy() const;

    // Seconds of the platform's tick counter.
    static double counter();

    std::string category() const;
    void setCategory(const std::string& category);
    bool explicitEnd() const;
    void setExplicitEnd(bool explicitEnd);
    double startTimestamp() const;
    void setStartTimestamp(double value);
    double endTimestamp() const;
    void setEndTimestamp(double value);

    void start();  // start = now, end = 0
    void end();    // end = now, when started
    void reset();
    // (end or now) - start in whole milliseconds; 0 when never started, and
    // while running when the end is explicit.
    std::uint64_t elapsedMilliseconds() const;
    std::string elapsedMillisecondsString() const;
    bool isActive() const;

    void setValue(const Value& value, const std::string& key);
    Value valueForKey(const std::string& key) const;
    void removeValueForKey(const std::string& key);
    Value keysAndValues() const;

    Value dictionaryRepresentation() const;
    std::string description() const override;

private:
    mutable std::mutex instanceLock_;      // category, explicit end, user data
    mutable std::mutex timeIntervalLock_;  // the two timestamps
    std::string category_;
    bool explicitEnd_ = false;
    ValueDictionary userData_;
    // A timestamp in seconds, and in the tick counter's whole nanoseconds so
    // elapsed time stays exact however large the counter is.
    struct Stamp {
        double seconds = 0;
        std::int64_t nanoseconds = 0;
        static Stamp fromSeconds(double seconds);
        static Stamp fromNanoseconds(std::int64_t nanoseconds);
    };
    Stamp start_;
    Stamp end_;
};
