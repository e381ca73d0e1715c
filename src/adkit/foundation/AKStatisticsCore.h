#pragma once
// The persistent store behind per-slot statistics: typed setters, atomic
// counters and arrays, and saving to the user defaults under "adkit_stats_%@"
// with the slot's identifier at synchronize, at will-terminate and on release.
//
// Every access takes the store's lock, so any thread may use it. Values
// restored from the defaults are checked: anything but a dictionary under the
// key, or an entry of a kind the store never writes, is dropped (a clean start).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Value.h"

class AKStatisticsCore : public NSObject {
public:
    AKStatisticsCore();
    ~AKStatisticsCore() override;

    // A new identifier: loads what was saved under it and saves at will-terminate.
    void setIdentifier(const std::string& identifier);
    std::optional<std::string> identifier() const;
    std::optional<std::string> userDefaultsKey() const;
    // Keys never saved nor restored.
    void setTransientStats(std::vector<std::string> keys);

    // Stored only when the value is of that kind.
    void setString(const Value& value, const std::string& key);
    void setNumber(const Value& value, const std::string& key);
    void setDate(const Value& value, const std::string& key);
    void setArray(const Value& value, const std::string& key);
    void setDictionary(const Value& value, const std::string& key);
    Value objectForKey(const std::string& key) const;  // a copy
    // The stored value as it is (no kind check on reading).
    Value stringForKey(const std::string& key) const { return objectForKey(key); }
    Value numberForKey(const std::string& key) const { return objectForKey(key); }
    Value dateForKey(const std::string& key) const { return objectForKey(key); }
    Value arrayForKey(const std::string& key) const { return objectForKey(key); }
    Value dictionaryForKey(const std::string& key) const { return objectForKey(key); }

    // Stored integer (0 when missing) plus the value; returns the new value.
    std::int64_t addValue(std::int64_t value, const std::string& key);
    // A new array of the stored elements plus the object; another kind stays.
    void appendValue(const Value& object, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();

    void synchronize() { savePersistentStatistics(); }
    void loadPersistentStatistics();
    void savePersistentStatistics();

private:
    void setIfKind(const Value& value, const std::string& key, bool (Value::*isKind)() const);
    mutable std::recursive_mutex lock_;
    ValueDictionary statistics_;
    std::optional<std::string> identifier_;
    std::vector<std::string> transient_;
    NSUserDefaultsPtr userDefaults_;
    bool observing_ = false;
};
