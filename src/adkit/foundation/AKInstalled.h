#pragma once
// A replaceable process-wide object: the one holder of the library's shared
// instances and installable services (a mutex around a shared pointer). Keep
// it in a ProcessLifetime so it outlives every user. Any thread.
#include <memory>
#include <mutex>
#include <utility>

template <class T>
class AKInstalled {
public:
    std::shared_ptr<T> get() const {
        std::lock_guard lock(mutex_);
        return object_;
    }
    // The installed object, made (with T's default constructor) when there is none.
    std::shared_ptr<T> getOrMake() {
        std::lock_guard lock(mutex_);
        if (!object_) object_ = std::make_shared<T>();
        return object_;
    }
    void set(std::shared_ptr<T> object) { (void)exchange(std::move(object)); }
    // Installs `object` and answers the one it replaces.
    std::shared_ptr<T> exchange(std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        return std::exchange(object_, std::move(object));
    }
    // Installs `object` only when nothing is installed.
    void setIfEmpty(std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        if (!object_) object_ = std::move(object);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> object_;
};
