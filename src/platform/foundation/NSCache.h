#pragma once
// A thread-safe memory cache of objects by string key. Each object carries a
// cost; when the total cost exceeds the total cost limit (or the count exceeds
// the count limit) the least recently used objects are evicted until it fits.
// A limit of 0 means no limit.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>
#include "platform/foundation/NSObject.h"

class NSCache : public NSObject {
public:
    NSCache() = default;

    std::string name() const;
    void setName(std::string name);

    std::shared_ptr<NSObject> objectForKey(std::string_view key);
    // The object when it is a T; null otherwise. A lookup takes no copy of the
    // key and one reference to the object.
    template <class T>
    std::shared_ptr<T> objectForKeyAs(std::string_view key) {
        std::lock_guard lock(mutex_);
        const std::shared_ptr<NSObject>* object = touchLocked(key);
        if (!object) return nullptr;
        NSObject* raw = object->get();
        // The exact class needs no walk through the hierarchy.
        T* typed = typeid(*raw) == typeid(T) ? static_cast<T*>(raw) : dynamic_cast<T*>(raw);
        return typed ? std::shared_ptr<T>(*object, typed) : nullptr;
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
    // Entries live in the index's nodes and are chained from the most to the
    // least recently used there, so a hit touches one node and its neighbours.
    struct Entry {
        std::shared_ptr<NSObject> object;
        std::uint64_t cost = 0;
        const std::string* key = nullptr;  // the node's own key
        Entry* newer = nullptr;
        Entry* older = nullptr;
    };
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    using Index = std::unordered_map<std::string, Entry, KeyHash, std::equal_to<>>;

    // The object of the key, now the most recently used; null when absent.
    const std::shared_ptr<NSObject>* touchLocked(std::string_view key);
    void unlinkLocked(Entry& entry);
    void linkNewestLocked(Entry& entry);
    // Takes out the least recently used entry, its object into `released`.
    void evictOldestLocked(std::vector<std::shared_ptr<NSObject>>& released);
    bool overLimitsLocked() const;

    mutable std::mutex mutex_;
    std::string name_;
    Index index_;
    Entry* newest_ = nullptr;
    Entry* oldest_ = nullptr;
    std::uint64_t totalCost_ = 0;
    std::uint64_t totalCostLimit_ = 0;
    std::uint64_t countLimit_ = 0;
};
