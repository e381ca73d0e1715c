#include "platform/foundation/NSCache.h"

#include <vector>

std::string NSCache::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSCache::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

const std::shared_ptr<NSObject>* NSCache::touchLocked(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    if (it->second != entries_.begin()) entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->object;
}

std::shared_ptr<NSObject> NSCache::objectForKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    const std::shared_ptr<NSObject>* object = touchLocked(key);
    return object ? *object : nullptr;
}

void NSCache::setObject(const std::string& key, std::shared_ptr<NSObject> object, std::uint64_t cost) {
    if (!object) {
        removeObjectForKey(key);
        return;
    }
    std::vector<std::shared_ptr<NSObject>> released;  // destroyed outside the lock
    {
        std::lock_guard lock(mutex_);
        auto it = index_.find(key);
        if (it != index_.end()) {
            totalCost_ -= it->second->cost;
            released.push_back(std::move(it->second->object));
            entries_.erase(it->second);
            index_.erase(it);
        }
        entries_.push_front(Entry{key, std::move(object), cost});
        index_[key] = entries_.begin();
        totalCost_ += cost;
        while (((totalCostLimit_ > 0 && totalCost_ > totalCostLimit_) ||
                (countLimit_ > 0 && entries_.size() > countLimit_)) &&
               entries_.size() > 1) {
            auto& last = entries_.back();
            totalCost_ -= last.cost;
            released.push_back(std::move(last.object));
            index_.erase(last.key);
            entries_.pop_back();
        }
        // A single object above the limit is not kept either.
        if (totalCostLimit_ > 0 && totalCost_ > totalCostLimit_ && !entries_.empty()) {
            totalCost_ = 0;
            released.push_back(std::move(entries_.front().object));
            index_.clear();
            entries_.clear();
        }
    }
}

void NSCache::removeObjectForKey(const std::string& key) {
    std::shared_ptr<NSObject> released;
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) return;
    totalCost_ -= it->second->cost;
    released = std::move(it->second->object);
    entries_.erase(it->second);
    index_.erase(it);
}

void NSCache::removeAllObjects() {
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    released.swap(entries_);
    index_.clear();
    totalCost_ = 0;
}

std::uint64_t NSCache::totalCostLimit() const {
    std::lock_guard lock(mutex_);
    return totalCostLimit_;
}

void NSCache::setTotalCostLimit(std::uint64_t limit) {
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    totalCostLimit_ = limit;
    while (totalCostLimit_ > 0 && totalCost_ > totalCostLimit_ && !entries_.empty()) {
        totalCost_ -= entries_.back().cost;
        index_.erase(entries_.back().key);
        released.splice(released.begin(), entries_, std::prev(entries_.end()));
    }
}

std::uint64_t NSCache::countLimit() const {
    std::lock_guard lock(mutex_);
    return countLimit_;
}

void NSCache::setCountLimit(std::uint64_t limit) {
    std::list<Entry> released;
    std::lock_guard lock(mutex_);
    countLimit_ = limit;
    while (countLimit_ > 0 && entries_.size() > countLimit_) {
        totalCost_ -= entries_.back().cost;
        index_.erase(entries_.back().key);
        released.splice(released.begin(), entries_, std::prev(entries_.end()));
    }
}

std::uint64_t NSCache::totalCost() const {
    std::lock_guard lock(mutex_);
    return totalCost_;
}

std::size_t NSCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}
