#include "platform/display/DeviceOpenedURLs.h"

#include <chrono>

void DeviceOpenedURLs::record(std::string url) {
    {
        std::lock_guard lock(mutex_);
        kept_.push_back({++last_, std::move(url)});
        if (kept_.size() > kKept) kept_.pop_front();
    }
    changed_.notify_all();
}

std::uint64_t DeviceOpenedURLs::last() const {
    std::lock_guard lock(mutex_);
    return last_;
}

std::vector<DeviceOpenedURLs::Entry> DeviceOpenedURLs::after(std::uint64_t after, double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return closed_ || last_ > after; });
    std::vector<Entry> entries;
    for (const auto& entry : kept_)
        if (entry.number > after) entries.push_back(entry);
    return entries;
}

void DeviceOpenedURLs::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}
