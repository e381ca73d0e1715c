#include "platform/display/DeviceFrameStore.h"

#include <chrono>

void DeviceFrameStore::publish(DeviceFrame frame) {
    {
        std::lock_guard lock(mutex_);
        if (frame.number <= latest_.number) return;
        latest_ = std::move(frame);
    }
    changed_.notify_all();
}

DeviceFrame DeviceFrameStore::latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

DeviceFrame DeviceFrameStore::waitNewer(std::uint64_t after, double timeoutSeconds) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                      [&] { return closed_ || latest_.number > after; });
    return latest_;
}

void DeviceFrameStore::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool DeviceFrameStore::isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}
