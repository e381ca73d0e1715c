#pragma once
// An object-valued property read and written whole under its own lock, as
// atomic accessors of the platform do: a reader on another thread gets the old
// value or the new one, never a torn one. The value a setter replaces is
// released after the lock is let go (its destructor may call back in).
#include <mutex>
#include <utility>

template <class T>
class LYAtomicProperty {
public:
    LYAtomicProperty() = default;
    explicit LYAtomicProperty(T initial) : value_(std::move(initial)) {}
    LYAtomicProperty(const LYAtomicProperty&) = delete;
    LYAtomicProperty& operator=(const LYAtomicProperty&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        {
            std::lock_guard lock(mutex_);
            std::swap(value_, value);
        }
        // `value` now holds the old value and goes here, outside the lock.
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};
