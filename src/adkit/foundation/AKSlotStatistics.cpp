#include "adkit/foundation/AKSlotStatistics.h"

namespace {
constexpr const char* kExit = "adapter_exit";
constexpr const char* kDuration = "adapter_duration";

bool isListOfStrings(const Value& value) {
    auto items = value.arrayRef();
    if (!items) return false;
    for (const Value& item : *items) {
        if (!item.isString()) return false;
    }
    return true;
}
}  // namespace

AKStatistics::AKStatistics()
    : core_(std::make_shared<AKStatisticsCore>()), timings_(std::make_shared<AKTimingManager>()) {}

AKTimingPtr AKStatistics::timingNamed(const std::string& name) const { return timings_->timingForCategory(name); }

void AKStatistics::startTimingNamed(const std::string& name, bool explicitEnd) {
    timings_->removeTimingForCategory(name);
    auto timing = timings_->addTimingWithCategory(name);
    timing->setExplicitEnd(explicitEnd);
    timing->start();
}

void AKStatistics::endTimingNamed(const std::string& name) {
    if (auto timing = timings_->timingForCategory(name)) timing->end();
}

void AKStatistics::removeTimingNamed(const std::string& name) { timings_->removeTimingForCategory(name); }

void AKStatistics::incrementParameterCount(const std::string& key) { core_->addValue(1, key); }
void AKStatistics::resetParameterCount(const std::string& key) { core_->setNumber(Value(0), key); }

std::uint64_t AKStatistics::valueForParameter(const std::string& key) const {
    return core_->objectForKey(key).unsignedLongLongValue();
}

void AKStatistics::setFlagWithParameterName(const std::string& key) { core_->setNumber(Value(1), key); }
void AKStatistics::resetFlagWithParameterName(const std::string& key) { core_->removeObjectForKey(key); }

void AKSlotStatistics::setIdentifier(const std::string& identifier) {
    if (identifier_ == identifier) return;
    identifier_ = identifier;
    core_->setIdentifier(identifier);
    timings_->setIdentifier(identifier);
    // Restored adapter lists must be lists of texts of the same length, else
    // they start over together.
    const Value exits = core_->objectForKey(kExit), durations = core_->objectForKey(kDuration);
    const bool absent = exits.isNull() && durations.isNull();
    if (!absent && !(isListOfStrings(exits) && isListOfStrings(durations) && exits.count() == durations.count())) {
        resetTimingAdapters();
    }
}

void AKSlotStatistics::startTimingAdapter() { startTimingNamed("adapter", true); }

void AKSlotStatistics::endTimingAdapterWithExitCode(long exitCode) {
    auto timing = timingNamed("adapter");
    std::string duration = "0";
    if (timing) {
        timing->end();
        duration = timing->elapsedMillisecondsString();
    }
    core_->appendValue(Value(duration), kDuration);
    core_->appendValue(Value(std::to_string(exitCode)), kExit);
}

void AKSlotStatistics::resetTimingAdapters() {
    core_->removeObjectForKey(kExit);
    core_->removeObjectForKey(kDuration);
}

std::optional<std::string> AKSlotStatistics::joined(const std::string& key) const {
    const Value list = core_->objectForKey(key);
    auto items = list.arrayRef();
    if (!items) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < items->size(); ++i) {
        if (i) text += ",";
        text += (*items)[i].stringValue();
    }
    return text;
}

std::optional<std::string> AKSlotStatistics::adapterExitCodesParameter() const { return joined(kExit); }
std::optional<std::string> AKSlotStatistics::adapterDurationsParameter() const { return joined(kDuration); }
