#include "adkit/foundation/AKStatisticsCore.h"

#include <algorithm>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"

namespace {

// What the store writes: strings, numbers, dates, and arrays or dictionaries of them.
bool restorable(const Value& value) {
    return value.isPropertyList() && !value.isData();
}

}  // namespace

AKStatisticsCore::AKStatisticsCore() : userDefaults_(NSUserDefaults::initWithSuiteName("")) {}

AKStatisticsCore::~AKStatisticsCore() {
    if (observing_) NSNotificationCenter::defaultCenter()->removeObserver(this);
    savePersistentStatistics();
}

void AKStatisticsCore::setIdentifier(const std::string& identifier) {
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (identifier_ == identifier) return;
        identifier_ = identifier;
    }
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this);
    loadPersistentStatistics();
    std::weak_ptr<AKStatisticsCore> weak = self<AKStatisticsCore>();
    center->addObserver(
        self(), [weak](const NSNotification&) {
            if (auto core = weak.lock()) core->savePersistentStatistics();
        },
        UIApplicationWillTerminateNotification);
    observing_ = true;
}

std::optional<std::string> AKStatisticsCore::identifier() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return identifier_;
}

std::optional<std::string> AKStatisticsCore::userDefaultsKey() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!identifier_) return std::nullopt;
    return "adkit_stats_" + *identifier_;
}

void AKStatisticsCore::setTransientStats(std::vector<std::string> keys) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    transient_ = std::move(keys);
}

void AKStatisticsCore::setIfKind(const Value& value, const std::string& key, bool (Value::*isKind)() const) {
    if (key.empty() || !(value.*isKind)()) return;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    statistics_[key] = value.copy();
}

void AKStatisticsCore::setString(const Value& value, const std::string& key) { setIfKind(value, key, &Value::isString); }
void AKStatisticsCore::setNumber(const Value& value, const std::string& key) { setIfKind(value, key, &Value::isNumber); }
void AKStatisticsCore::setDate(const Value& value, const std::string& key) { setIfKind(value, key, &Value::isDate); }
void AKStatisticsCore::setArray(const Value& value, const std::string& key) { setIfKind(value, key, &Value::isArray); }
void AKStatisticsCore::setDictionary(const Value& value, const std::string& key) {
    setIfKind(value, key, &Value::isDictionary);
}

Value AKStatisticsCore::objectForKey(const std::string& key) const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    auto found = statistics_.find(key);
    return found == statistics_.end() ? Value() : found->second.copy();
}

std::int64_t AKStatisticsCore::addValue(std::int64_t value, const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    auto found = statistics_.find(key);
    const std::int64_t current = found == statistics_.end() ? 0 : found->second.integerValue();
    std::int64_t sum = 0;
    if (__builtin_add_overflow(current, value, &sum)) sum = value < 0 ? INT64_MIN : INT64_MAX;
    statistics_[key] = Value(sum);
    return sum;
}

void AKStatisticsCore::appendValue(const Value& object, const std::string& key) {
    if (object.isNull() || key.empty()) return;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    auto found = statistics_.find(key);
    if (found == statistics_.end()) {
        statistics_[key] = Value::array({object.copy()});
    } else if (found->second.isArray()) {
        // A list nobody else holds grows in place (a long list grows in linear
        // time); one shared with a reader is copied first, as the reader keeps it.
        const auto storage = found->second.arrayRef();
        if (storage.use_count() > 2) found->second = found->second.copy();
        found->second.append(object.copy());
    }
}

void AKStatisticsCore::removeObjectForKey(const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    statistics_.erase(key);
}

void AKStatisticsCore::removeAllObjects() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    statistics_.clear();
}

void AKStatisticsCore::loadPersistentStatistics() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const auto key = userDefaultsKey();
    if (!key) return;
    const Value stored = userDefaults_->objectForKey(*key);
    if (auto saved = stored.dictionaryRef()) {
        for (const auto& [name, value] : *saved) {
            if (restorable(value)) statistics_[name] = value.copy();
        }
    }
    for (const std::string& name : transient_) statistics_.erase(name);
}

void AKStatisticsCore::savePersistentStatistics() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const auto key = userDefaultsKey();
    if (!key) return;
    Value copy = Value::dictionary();
    for (const auto& [name, value] : statistics_) {
        if (std::find(transient_.begin(), transient_.end(), name) == transient_.end()) copy.setObject(name, value.copy());
    }
    // A value that is no property list cannot be saved; the typed setters keep them out.
    if (!userDefaults_->setObject(copy, *key)) return;
    [[maybe_unused]] const bool written = userDefaults_->synchronize();  // a full disk keeps the values in memory
}
