#pragma once
// Named locks: plain and recursive, usable with std::lock_guard.
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"

class NSLock : public NSObject {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

private:
    std::mutex mutex_;
    std::string name_;
};

class NSRecursiveLock : public NSObject {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

private:
    std::recursive_mutex mutex_;
    std::string name_;
};
