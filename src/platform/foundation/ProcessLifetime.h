#pragma once
// The one holder of objects that live as long as the process: shared
// instances, process-wide registries and their locks.
//
//   NSNotificationCenter& center() {
//       static ProcessLifetime<std::shared_ptr<NSNotificationCenter>> shared(std::make_shared<NSNotificationCenter>());
//       return **shared;
//   }
//
// As a function-local static it is made on first use, once, safely from any
// thread. It is never destroyed: detached threads, late callbacks and exit
// handlers may still use it while the process ends, and nothing depends on the
// order in which statics of other files go away. What it holds stays reachable,
// so leak checkers do not report it.
#include <new>
#include <type_traits>
#include <utility>

template <class T>
class ProcessLifetime {
public:
    template <class... Args>
    explicit ProcessLifetime(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    ProcessLifetime(const ProcessLifetime&) = delete;
    ProcessLifetime& operator=(const ProcessLifetime&) = delete;
    // No destructor: the object outlives every static destructor.

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T& operator*() { return get(); }
    T* operator->() { return &get(); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

static_assert(std::is_trivially_destructible_v<ProcessLifetime<std::pair<int, int>>>,
              "a process-lifetime holder registers no destructor at exit");
