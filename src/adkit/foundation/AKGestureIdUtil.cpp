#include "adkit/foundation/AKGestureIdUtil.h"

#include "adkit/foundation/AKDevice.h"
#include "platform/foundation/NSUUID.h"
#include "platform/adsupport/ASIdentifierManager.h"
#include "platform/foundation/ProcessLifetime.h"

std::shared_ptr<AKGestureIdUtil> AKGestureIdUtil::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<AKGestureIdUtil>> instance(std::make_shared<AKGestureIdUtil>());
    return *instance;
}

AKGestureIdUtil::AKGestureIdUtil() : userDefaults_(NSUserDefaults::initWithSuiteName("")) {}

void AKGestureIdUtil::getOSMajor(std::int32_t* major, std::int32_t* minor, std::int32_t* bugFix) {
    std::int64_t parts[3] = {};
    AKDevice::getOSMajor(&parts[0], &parts[1], &parts[2]);
    std::int32_t* const out[] = {major, minor, bugFix};
    for (int i = 0; i < 3; ++i) {
        if (out[i]) *out[i] = static_cast<std::int32_t>(std::clamp<std::int64_t>(parts[i], INT32_MIN, INT32_MAX));
    }
}

bool AKGestureIdUtil::isOSAtLeastMajor(std::int32_t major, std::int32_t minor, std::int32_t bug) {
    return AKDevice::isOSAtLeastMajor(major, minor, bug);
}

std::string AKGestureIdUtil::osVersion() const { return AKDevice::currentDevice()->systemVersion(); }

std::optional<std::string> AKGestureIdUtil::deviceIdentifier() {
    if (isOSAtLeastMajor(6, 0, 0)) {
        auto uuid = ASIdentifierManager::sharedManager()->advertisingIdentifier();
        return uuid ? std::optional<std::string>(uuid->UUIDString()) : std::nullopt;
    }
    auto defaults = userDefaults();
    if (auto stored = defaults->stringForKey("madAppId")) return stored;
    const std::string fresh = NSUUID::UUID()->UUIDString();
    defaults->setObject(Value(fresh), "madAppId");
    return fresh;
}

std::int32_t AKGestureIdUtil::deviceIdentifierType() const { return isOSAtLeastMajor(6, 0, 0) ? 4 : 1; }

bool AKGestureIdUtil::deviceOptedOut() const {
    return isOSAtLeastMajor(6, 0, 0) && !ASIdentifierManager::sharedManager()->isAdvertisingTrackingEnabled();
}

NSUserDefaultsPtr AKGestureIdUtil::userDefaults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return userDefaults_;
}

void AKGestureIdUtil::setUserDefaults(NSUserDefaultsPtr defaults) {
    std::lock_guard<std::mutex> lock(mutex_);
    userDefaults_ = std::move(defaults);
}
