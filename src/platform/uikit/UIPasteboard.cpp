#include "platform/uikit/UIPasteboard.h"

#include "platform/foundation/ProcessLifetime.h"

std::shared_ptr<UIPasteboard> UIPasteboard::generalPasteboard() {
    static ProcessLifetime<std::shared_ptr<UIPasteboard>> shared(std::make_shared<UIPasteboard>());
    return *shared;
}

std::optional<std::string> UIPasteboard::string() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (items_.empty()) return std::nullopt;
    return items_.front();
}

void UIPasteboard::setString(std::optional<std::string> string) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.clear();
    if (string) items_.push_back(std::move(*string));
}

std::vector<std::string> UIPasteboard::strings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
}

void UIPasteboard::setStrings(std::vector<std::string> strings) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_ = std::move(strings);
}
