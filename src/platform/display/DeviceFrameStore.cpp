#include "platform/display/DeviceFrameStore.h"

#include <chrono>
#include <utility>

#include "platform/foundation/NSLog.h"
#include "platform/imageio/ImageCodecs.h"

struct DeviceFrame::Source {
    CGImageRef pixels;
    std::once_flag encoding;
    std::shared_ptr<const Data> png;  // set once, under `encoding`
};

void DeviceFrameStore::publish(std::uint64_t number, CGImageRef pixels) {
    if (!pixels) return;
    {
        std::lock_guard lock(mutex_);
        if (number <= latest_.number) return;
        latest_.number = number;
        latest_.pixelWidth = pixels->width();
        latest_.pixelHeight = pixels->height();
        latest_.source = std::make_shared<DeviceFrame::Source>();
        latest_.source->pixels = std::move(pixels);
    }
    changed_.notify_all();
}

DeviceFrame DeviceFrameStore::latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

namespace {
constexpr std::chrono::seconds kWatchedAfterAsking{2};
}

DeviceFrame DeviceFrameStore::waitNewer(std::uint64_t after, double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    ++waiters_;
    changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                      [&] { return closed_ || latest_.number > after; });
    --waiters_;
    lastAsked_ = std::chrono::steady_clock::now();
    return latest_;
}

DeviceFrame DeviceFrameStore::current(double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const bool watched = watchedLocked(now);
    lastAsked_ = now;
    if (watched && latest_.number > 0) return latest_;
    wanted_ = true;
    const std::uint64_t ticket = looks_;
    changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                      [&] { return closed_ || looks_ > ticket; });
    return latest_;
}

bool DeviceFrameStore::watchedLocked(std::chrono::steady_clock::time_point now) const {
    return waiters_ > 0 || now - lastAsked_ < kWatchedAfterAsking;
}

bool DeviceFrameStore::isWatched() const {
    std::lock_guard lock(mutex_);
    return watchedLocked(std::chrono::steady_clock::now());
}

bool DeviceFrameStore::takeWanted() {
    std::lock_guard lock(mutex_);
    return std::exchange(wanted_, false);
}

void DeviceFrameStore::markLooked() {
    {
        std::lock_guard lock(mutex_);
        ++looks_;
    }
    changed_.notify_all();
}

std::shared_ptr<const Data> DeviceFrameStore::png(const DeviceFrame& frame) {
    DeviceFrame::Source* source = frame.source.get();
    if (!source) return nullptr;
    std::call_once(source->encoding, [&] {
        Data bytes;
        NSErrorPtr error;
        if (!imageio::encodePng(*source->pixels, bytes, &error)) {
            NSLog("DeviceScreen: frame %llu could not be encoded: %@", static_cast<unsigned long long>(frame.number),
                  error);
            return;
        }
        source->png = std::make_shared<const Data>(std::move(bytes));
        std::lock_guard lock(mutex_);
        ++encoded_;
    });
    return source->png;
}

std::uint64_t DeviceFrameStore::encodedCount() const {
    std::lock_guard lock(mutex_);
    return encoded_;
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
