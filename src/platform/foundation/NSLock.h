#pragma once
// Named locks: plain and recursive, usable with std::lock_guard.
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"

template <class Mutex>
class NamedLock : public NSObject {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }

private:
    Mutex mutex_;
    std::string name_;
};

class NSLock : public NamedLock<std::mutex> {};
class NSRecursiveLock : public NamedLock<std::recursive_mutex> {};
