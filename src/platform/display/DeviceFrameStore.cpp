#include "platform/display/DeviceFrameStore.h"

#include <chrono>

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

DeviceFrame DeviceFrameStore::waitNewer(std::uint64_t after, double timeoutSeconds) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                      [&] { return closed_ || latest_.number > after; });
    return latest_;
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
