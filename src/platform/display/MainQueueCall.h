#pragma once
// Work handed from another thread to the main queue, with the answer awaited
// for a limited time. The work receives a `reply` function to call once, at
// once or later from the main loop (a press answers when the finger lifts).
//
// The caller waits until the reply, the time limit (real seconds) or the
// cancellation flag, whichever comes first; a reply that comes too late is
// dropped. Never call from the main thread: it would wait for itself.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"

namespace display {

enum class MainCallOutcome { Answered, TimedOut, Cancelled };

template <class T>
struct MainCallResult {
    MainCallOutcome outcome = MainCallOutcome::TimedOut;
    std::optional<T> value;
};

template <class T>
MainCallResult<T> callOnMain(std::function<void(std::function<void(T)> reply)> work, double timeoutSeconds,
                             const std::atomic<bool>& cancelled) {
    QV_ASSERT_NOT_MAIN_THREAD();
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        std::optional<T> value;
    };
    auto shared = std::make_shared<Shared>();
    dispatch_async(dispatch_get_main_queue(), [shared, work = std::move(work)] {
        work([shared](T value) {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->value) return;  // answered already
                shared->value = std::move(value);
            }
            shared->cv.notify_all();
        });
    });
    using SteadyClock = std::chrono::steady_clock;
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(timeoutSeconds));
    std::unique_lock lock(shared->mutex);
    // Short slices, so a cancellation (the server stopping) is seen soon.
    while (!shared->value && !cancelled && SteadyClock::now() < deadline)
        shared->cv.wait_until(lock, std::min<SteadyClock::time_point>(deadline, SteadyClock::now() + std::chrono::milliseconds(50)));
    MainCallResult<T> result;
    if (shared->value) {
        result.outcome = MainCallOutcome::Answered;
        result.value = std::move(shared->value);
    } else {
        result.outcome = cancelled ? MainCallOutcome::Cancelled : MainCallOutcome::TimedOut;
    }
    return result;
}

}  // namespace display
