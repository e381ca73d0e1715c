#pragma once
// A thread-safe memory cache of objects by string key. Each object carries a
// cost; when the total cost exceeds the total cost limit (or the count exceeds
// the count limit) the least recently used objects are evicted until it fits.
// A limit of 0 means no limit.
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include "platform/foundation/NSObject.h"

class NSCache : public NSObject {
public:
    NSCache() = default;

    std::string name() const;
    void setName(std::string name);

    std::shared_ptr<NSObject> objectForKey(const std::string& key);
    template <class T>
    std::shared_ptr<T> objectForKeyAs(const std::string& key) {
        return std::dynamic_pointer_cast<T>(objectForKey(key));
    }
    void setObject(const std::string& key, std::shared_ptr<NSObject> object, std::uint64_t cost = 0);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();

    std::uint64_t totalCostLimit() const;
    void setTotalCostLimit(std::uint64_t limit);
    std::uint64_t countLimit() const;
    void setCountLimit(std::uint64_t limit);

    // What the cache holds now.
    std::uint64_t totalCost() const;
    std::size_t count() const;

private:
    struct Entry {
        std::string key;
        std::shared_ptr<NSObject> object;
        std::uint64_t cost;
    };
    void evictLocked();

    mutable std::mutex mutex_;
    std::string name_;
    std::list<Entry> entries_;  // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
    std::uint64_t totalCost_ = 0;
    std::uint64_t totalCostLimit_ = 0;
    std::uint64_t countLimit_ = 0;
};
