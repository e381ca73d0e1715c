#include "platform/adsupport/ASIdentifierManager.h"

#include <filesystem>
#include <fstream>

#include "platform/foundation/AppHome.h"

namespace {

NSUUIDPtr identifierOfHome() {
    const std::string path = AppHome::preferences() + "/advertising-identifier";
    {
        std::ifstream in(path);
        std::string text;
        if (in && std::getline(in, text)) {
            if (auto uuid = NSUUID::initWithUUIDString(text)) return uuid;
        }
    }
    auto fresh = NSUUID::UUID();
    std::error_code ec;
    std::filesystem::create_directories(AppHome::preferences(), ec);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << fresh->UUIDString() << "\n";
        if (!out) return fresh;  // the home cannot keep it: this process uses a fresh one
    }
    std::filesystem::rename(temporary, path, ec);
    return fresh;
}

}  // namespace

std::shared_ptr<ASIdentifierManager> ASIdentifierManager::sharedManager() {
    static const auto manager = std::make_shared<ASIdentifierManager>();
    return manager;
}

NSUUIDPtr ASIdentifierManager::advertisingIdentifier() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pinned_) return pinned_;
    return identifierOfHome();
}

bool ASIdentifierManager::isAdvertisingTrackingEnabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return trackingEnabled_;
}

void ASIdentifierManager::setAdvertisingTrackingEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(mutex_);
    trackingEnabled_ = enabled;
}

void ASIdentifierManager::setAdvertisingIdentifier(NSUUIDPtr identifier) {
    std::lock_guard<std::mutex> lock(mutex_);
    pinned_ = std::move(identifier);
}

void ASIdentifierManager::resetToDefaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    trackingEnabled_ = true;
    pinned_.reset();
}
