#pragma once
// A wait for views to come on screen or to go: counted on the main thread at
// once and again at the end of every pass of the main run loop, right after
// whatever moved the views ran, so the wait ends on the change itself.
//
// begin() and end() on the main thread (end stops the counting; a watch that
// was met has stopped by itself); wait() on any other thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/display/DeviceTree.h"
#include "platform/runloop/NSRunLoop.h"

class DeviceViewWatch : public std::enable_shared_from_this<DeviceViewWatch> {
public:
    // Met while some view matches the query, or, with `gone`, while none does.
    DeviceViewWatch(DeviceTargetQuery query, bool gone) : query_(std::move(query)), gone_(gone) {}

    void begin();
    void end();
    // The number of matches once the watch is met; nothing when the deadline
    // passed or the flag was raised first.
    std::optional<std::size_t> wait(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancelled);

private:
    void count();

    const DeviceTargetQuery query_;
    const bool gone_;
    NSRunLoop::ObserverId observer_ = 0;  // main thread; 0 when not counting
    std::mutex mutex_;
    std::condition_variable metChanged_;
    std::optional<std::size_t> met_;  // under mutex_
};
