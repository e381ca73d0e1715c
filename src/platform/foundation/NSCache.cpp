#include "platform/foundation/NSCache.h"

std::string NSCache::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSCache::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

void NSCache::unlinkLocked(Entry& entry) {
    (entry.newer ? entry.newer->older : newest_) = entry.older;
    (entry.older ? entry.older->newer : oldest_) = entry.newer;
    entry.newer = entry.older = nullptr;
}

void NSCache::linkNewestLocked(Entry& entry) {
    entry.older = newest_;
    entry.newer = nullptr;
    (newest_ ? newest_->newer : oldest_) = &entry;
    newest_ = &entry;
}

void NSCache::evictOldestLocked(std::vector<std::shared_ptr<NSObject>>& released) {
    Entry& oldest = *oldest_;
    unlinkLocked(oldest);
    totalCost_ -= oldest.cost;
    released.push_back(std::move(oldest.object));
    index_.erase(index_.find(*oldest.key));
}

bool NSCache::overLimitsLocked() const {
    return (totalCostLimit_ > 0 && totalCost_ > totalCostLimit_) || (countLimit_ > 0 && index_.size() > countLimit_);
}

const std::shared_ptr<NSObject>* NSCache::touchLocked(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    Entry& entry = it->second;
    if (newest_ != &entry) {
        unlinkLocked(entry);
        linkNewestLocked(entry);
    }
    return &entry.object;
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
    std::lock_guard lock(mutex_);
    auto [it, inserted] = index_.try_emplace(key);
    Entry& entry = it->second;
    if (inserted) {
        entry.key = &it->first;
    } else {
        totalCost_ -= entry.cost;
        released.push_back(std::move(entry.object));
        unlinkLocked(entry);
    }
    entry.object = std::move(object);
    entry.cost = cost;
    linkNewestLocked(entry);
    totalCost_ += cost;
    while (overLimitsLocked() && index_.size() > 1) evictOldestLocked(released);
    // A single object above the limit is not kept either.
    if (totalCostLimit_ > 0 && totalCost_ > totalCostLimit_ && oldest_) evictOldestLocked(released);
}

void NSCache::removeObjectForKey(const std::string& key) {
    std::shared_ptr<NSObject> released;
    std::lock_guard lock(mutex_);
    auto it = index_.find(key);
    if (it == index_.end()) return;
    totalCost_ -= it->second.cost;
    released = std::move(it->second.object);
    unlinkLocked(it->second);
    index_.erase(it);
}

void NSCache::removeAllObjects() {
    Index released;
    std::lock_guard lock(mutex_);
    released.swap(index_);
    newest_ = oldest_ = nullptr;
    totalCost_ = 0;
}

std::uint64_t NSCache::totalCostLimit() const {
    std::lock_guard lock(mutex_);
    return totalCostLimit_;
}

void NSCache::setTotalCostLimit(std::uint64_t limit) {
    std::vector<std::shared_ptr<NSObject>> released;
    std::lock_guard lock(mutex_);
    totalCostLimit_ = limit;
    while (overLimitsLocked() && oldest_) evictOldestLocked(released);
}

std::uint64_t NSCache::countLimit() const {
    std::lock_guard lock(mutex_);
    return countLimit_;
}

void NSCache::setCountLimit(std::uint64_t limit) {
    std::vector<std::shared_ptr<NSObject>> released;
    std::lock_guard lock(mutex_);
    countLimit_ = limit;
    while (overLimitsLocked() && oldest_) evictOldestLocked(released);
}

std::uint64_t NSCache::totalCost() const {
    std::lock_guard lock(mutex_);
    return totalCost_;
}

std::size_t NSCache::count() const {
    std::lock_guard lock(mutex_);
    return index_.size();
}
