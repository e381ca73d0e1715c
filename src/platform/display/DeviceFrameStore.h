#pragma once
// The frames the device screen published, for readers on other threads: the
// newest frame's number and PNG bytes, and a wait for a newer one.
//
// Frame numbers start at 1 and grow by one with every frame whose pixels
// differ from the one before. Any thread.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/Data.h"

struct DeviceFrame {
    std::uint64_t number = 0;  // 0: none yet
    std::shared_ptr<const Data> png;
    std::size_t pixelWidth = 0, pixelHeight = 0;
};

class DeviceFrameStore {
public:
    // Frames must come in order of their numbers; an older one is ignored.
    void publish(DeviceFrame frame);
    DeviceFrame latest() const;
    // The newest frame once its number is above `after`, waiting up to the
    // timeout (real seconds); the newest frame as it is when the time is up or the
    // store closes (number 0 when there is none).
    DeviceFrame waitNewer(std::uint64_t after, double timeoutSeconds) const;
    // Wakes every waiter for good (the screen is going away).
    void close();
    bool isClosed() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    DeviceFrame latest_;  // under mutex_
    bool closed_ = false;  // under mutex_
};
