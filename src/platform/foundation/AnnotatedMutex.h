#pragma once
// A mutex, a recursive mutex and their scoped lock, annotated so that clang
// checks the fields they guard (ThreadSafetyAnnotations.h). Same behaviour as
// std::mutex, std::recursive_mutex and std::lock_guard.
#include <mutex>

#include "platform/foundation/ThreadSafetyAnnotations.h"

class QV_CAPABILITY("mutex") AnnotatedMutex {
public:
    void lock() QV_ACQUIRE() { mutex_.lock(); }
    void unlock() QV_RELEASE() { mutex_.unlock(); }
    bool try_lock() QV_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    std::mutex mutex_;
};

class QV_CAPABILITY("mutex") AnnotatedRecursiveMutex {
public:
    void lock() QV_ACQUIRE() { mutex_.lock(); }
    void unlock() QV_RELEASE() { mutex_.unlock(); }
    bool try_lock() QV_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds the mutex for its lifetime.
template <class M>
class QV_SCOPED_CAPABILITY AnnotatedLock {
public:
    explicit AnnotatedLock(M& mutex) QV_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~AnnotatedLock() QV_RELEASE() { mutex_.unlock(); }
    AnnotatedLock(const AnnotatedLock&) = delete;
    AnnotatedLock& operator=(const AnnotatedLock&) = delete;

private:
    M& mutex_;
};
