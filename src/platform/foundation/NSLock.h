#pragma once
// Named locks: plain and recursive, usable with std::lock_guard.
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/ThreadSafetyAnnotations.h"

class QV_CAPABILITY("mutex") NSLock : public NSObject {
public:
    void lock() QV_ACQUIRE() { mutex_.lock(); }
    void unlock() QV_RELEASE() { mutex_.unlock(); }
    bool tryLock() QV_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

private:
    std::mutex mutex_;
    std::string name_;
};

class QV_CAPABILITY("mutex") NSRecursiveLock : public NSObject {
public:
    void lock() QV_ACQUIRE() { mutex_.lock(); }
    void unlock() QV_RELEASE() { mutex_.unlock(); }
    bool tryLock() QV_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

private:
    std::recursive_mutex mutex_;
    std::string name_;
};
