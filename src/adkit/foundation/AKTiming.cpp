#include "adkit/foundation/AKTiming.h"

#include <cmath>

#include "platform/foundation/MachTime.h"
#include "platform/foundation/NSLog.h"

__extension__ typedef unsigned __int128 u128;  // products of 64-bit values

namespace AKAbsoluteTime {

std::uint64_t nanosecondsNow() {
    mach_timebase_info_data_t info{1, 1};
    [[maybe_unused]] const kern_return_t rc = mach_timebase_info(&info);  // cannot fail with a valid pointer
    const auto ticks = static_cast<u128>(mach_absolute_time());
    return static_cast<std::uint64_t>(ticks * info.numer / info.denom);
}

std::uint64_t absoluteTimeInMilliseconds() {
    static const std::uint64_t base = nanosecondsNow();
    const std::uint64_t now = nanosecondsNow();
    if (now <= base) return 0;
    // Whole microseconds first: a tick of 125/3 ns leaves a few nanoseconds of
    // truncation that must not turn 250 ms into 249.
    return ((now - base + 500u) / 1000u) / 1000u;
}

}  // namespace AKAbsoluteTime

AKTiming::AKTiming(const std::optional<std::string>& category) {
    category_ = category ? *category
                         : format("%@ (%p)", std::string("AKTiming"),
                                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)));
}

AKTimingPtr AKTiming::initWithDictionaryRepresentation(const Value& dictionary) {
    const Value category = dictionary["category"];
    auto timing = std::make_shared<AKTiming>(category.isString() ? std::optional<std::string>(*category.string()) : std::nullopt);
    timing->start_ = Stamp::fromSeconds(dictionary["start"].isNumber() ? dictionary["start"].doubleValue() : 0);
    timing->end_ = Stamp::fromSeconds(dictionary["end"].isNumber() ? dictionary["end"].doubleValue() : 0);
    if (auto data = dictionary["userData"].copy().dictionaryRef()) timing->userData_ = *data;
    return timing;
}

AKTimingPtr AKTiming::copy() const {
    auto timing = initWithDictionaryRepresentation(dictionaryRepresentation());
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    timing->start_ = start_;  // keeps the whole nanoseconds
    timing->end_ = end_;
    return timing;
}

AKTiming::Stamp AKTiming::Stamp::fromSeconds(double seconds) {
    return Stamp{seconds, static_cast<std::int64_t>(std::llround(seconds * 1e9))};
}

AKTiming::Stamp AKTiming::Stamp::fromNanoseconds(std::int64_t nanoseconds) {
    return Stamp{static_cast<double>(nanoseconds) / 1e9, nanoseconds};
}

double AKTiming::counter() { return static_cast<double>(AKAbsoluteTime::nanosecondsNow()) / 1e9; }

std::string AKTiming::category() const {
    std::lock_guard<std::mutex> lock(instanceLock_);
    return category_;
}

void AKTiming::setCategory(const std::string& category) {
    std::lock_guard<std::mutex> lock(instanceLock_);
    category_ = category;
}

bool AKTiming::explicitEnd() const {
    std::lock_guard<std::mutex> lock(instanceLock_);
    return explicitEnd_;
}

void AKTiming::setExplicitEnd(bool explicitEnd) {
    std::lock_guard<std::mutex> lock(instanceLock_);
    explicitEnd_ = explicitEnd;
}

double AKTiming::startTimestamp() const {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    return start_.seconds;
}

void AKTiming::setStartTimestamp(double value) {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    start_ = Stamp::fromSeconds(value);
}

double AKTiming::endTimestamp() const {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    return end_.seconds;
}

void AKTiming::setEndTimestamp(double value) {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    end_ = Stamp::fromSeconds(value);
}

void AKTiming::start() {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    start_ = Stamp::fromNanoseconds(AKAbsoluteTime::nanosecondsNow());
    end_ = Stamp{};
}

void AKTiming::end() {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    if (start_.seconds > 0) end_ = Stamp::fromNanoseconds(AKAbsoluteTime::nanosecondsNow());
}

void AKTiming::reset() {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    start_ = end_ = Stamp{};
}

std::uint64_t AKTiming::elapsedMilliseconds() const {
    const bool explicitly = explicitEnd();
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    std::int64_t end = end_.nanoseconds;
    if (end_.seconds < start_.seconds) {
        if (explicitly) return 0;
        end = AKAbsoluteTime::nanosecondsNow();
    }
    // Timestamps given in seconds carry the rounding of a double (about 1 us
    // near 5e9 s): whole microseconds first, so 250 ms does not become 249.
    const std::int64_t microseconds = (end - start_.nanoseconds + 500) / 1000;
    return microseconds > 0 ? static_cast<std::uint64_t>(microseconds) / 1000u : 0;
}

std::string AKTiming::elapsedMillisecondsString() const { return std::to_string(elapsedMilliseconds()); }

bool AKTiming::isActive() const {
    std::lock_guard<std::mutex> lock(timeIntervalLock_);
    return start_.seconds > 0 && end_.seconds == 0;
}

void AKTiming::setValue(const Value& value, const std::string& key) {
    if (value.isNull() || key.empty()) return;
    std::lock_guard<std::mutex> lock(instanceLock_);
    userData_[key] = value;
}

Value AKTiming::valueForKey(const std::string& key) const {
    std::lock_guard<std::mutex> lock(instanceLock_);
    auto found = userData_.find(key);
    return found == userData_.end() ? Value() : found->second;
}

void AKTiming::removeValueForKey(const std::string& key) {
    std::lock_guard<std::mutex> lock(instanceLock_);
    userData_.erase(key);
}

Value AKTiming::keysAndValues() const {
    std::lock_guard<std::mutex> lock(instanceLock_);
    return Value(userData_).copy();
}

Value AKTiming::dictionaryRepresentation() const {
    std::lock_guard<std::mutex> instance(instanceLock_);
    std::lock_guard<std::mutex> times(timeIntervalLock_);
    Value d{{"category", Value(category_)}, {"start", Value(start_.seconds)}, {"end", Value(end_.seconds)}};
    if (!userData_.empty()) d.setObject("userData", Value(userData_).copy());
    return d;
}

std::string AKTiming::description() const {
    return format("%@ (%p): %@", className(), static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)),
                  dictionaryRepresentation());
}
