#include "platform/display/DeviceViewWatch.h"

#include <algorithm>
#include <cassert>

#include "platform/base/ThreadAssertions.h"

void DeviceViewWatch::begin() {
    QV_ASSERT_MAIN_THREAD();
    if (observer_) return;
    observer_ = NSRunLoop::mainRunLoop()->addEndOfPassObserver([self = shared_from_this()] { self->count(); });
    count();
}

void DeviceViewWatch::end() {
    QV_ASSERT_MAIN_THREAD();
    if (!observer_) return;
    NSRunLoop::mainRunLoop()->removeEndOfPassObserver(observer_);  // drops the observer's hold on this watch
    observer_ = 0;
}

void DeviceViewWatch::count() {
    if (!observer_) return;  // ended earlier in the same pass
    const std::size_t matches = DeviceTree::countMatches(query_);
    if (gone_ ? matches > 0 : matches == 0) return;
    {
        std::lock_guard lock(mutex_);
        met_ = matches;
    }
    metChanged_.notify_all();
    end();
}

std::optional<std::size_t> DeviceViewWatch::wait(std::chrono::steady_clock::time_point deadline,
                                                 const std::atomic<bool>& cancelled) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    // The met watch wakes this at once; the slices only bound how late a
    // cancellation (the server stopping) is seen, as MainQueueCall.h does.
    while (!met_ && !cancelled && Clock::now() < deadline)
        metChanged_.wait_until(lock, std::min<Clock::time_point>(deadline, Clock::now() + std::chrono::milliseconds(50)));
    return met_;
}
