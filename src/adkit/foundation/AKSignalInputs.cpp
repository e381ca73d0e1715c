#include "adkit/foundation/AKSignalInputs.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "adkit/foundation/AKGestureIdUtil.h"
#include "adkit/foundation/AKGestureUtil.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIDeviceBattery.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStatusBarOrientation.h"

namespace {
std::atomic<std::int64_t> adjustment{1440};
}  // namespace

const char* AKCopyCStringFromCFString(const std::string* text, int* mustFree) {
    if (!text) return nullptr;
    if (text->find('\0') != std::string::npos) return nullptr;
    if (mustFree) *mustFree = 0;
    return text->c_str();
}

bool AKGestureReachabilityFlags(std::uint32_t* flags) {
    AKGestureUtil::reachability(flags);
    return flags != nullptr;
}

Value AKGestureWalkViews(const std::string& stopAt) { return AKGestureUtil::walkViews(stopAt); }

std::optional<std::string> AKWebsafeBase64StringFromBytes(const void* bytes, std::int32_t length) {
    if (!bytes || length < 0) return std::nullopt;
    static ProcessLifetime<AK_TKStringEncodingPtr> codec([] {
        auto c = AK_TKStringEncoding::rfc4648Base64WebsafeStringEncoding();
        c->setDoPad(false);
        return c;
    }());
    return (*codec)->encode(static_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(length));
}

std::pair<std::int32_t, std::int32_t> AKBatteryLevelAndState() {
    const bool wasMonitoring = UIDeviceBattery::isBatteryMonitoringEnabled();
    if (!wasMonitoring) UIDeviceBattery::setBatteryMonitoringEnabled(true);
    const float level = UIDeviceBattery::batteryLevel();
    const auto state = static_cast<std::int32_t>(UIDeviceBattery::batteryState());
    if (!wasMonitoring) UIDeviceBattery::setBatteryMonitoringEnabled(false);
    const auto percent = level == -1.0f ? -100 : static_cast<std::int32_t>(std::lround(level * 10000.0f) / 100);
    return {percent, state};
}

std::pair<std::int32_t, std::int32_t> AKScreenModeSize() {
    const CGSize size = UIScreenGeometry::currentModeSize(*UIScreen::mainScreen());
    return {static_cast<std::int32_t>(std::fabs(size.width)), static_cast<std::int32_t>(std::fabs(size.height))};
}

std::int64_t AKTimeZoneOffsetMinutes() {
    const long system = NSTimeZone::systemTimeZone()->secondsFromGMT();
    const long utc = NSTimeZone::timeZoneWithName("UTC")->secondsFromGMT();
    return (system - utc) / 60 + adjustment.load();
}

std::int64_t AKTimeZoneAdjustment() { return adjustment.load(); }
void AKSetTimeZoneAdjustment(std::int64_t minutes) { adjustment.store(minutes); }

bool AKSignalIdentifierBytes(const std::string& identifier, std::uint8_t out[16]) {
    if (!isValidUTF8(identifier)) return false;
    const Data digest = ak_MD5Bytes(dataFromString(identifier));
    std::memcpy(out, digest.data(), 16);
    return true;
}

AKDeviceIdentifierInfo AKGestureDeviceIdentifierInfo() {
    auto util = AKGestureIdUtil::sharedInstance();
    AKDeviceIdentifierInfo info;
    info.optedOut = util->deviceOptedOut();
    info.type = util->deviceIdentifierType();
    const auto identifier = util->deviceIdentifier();
    if (!identifier) return info;
    if (info.type == 0) {
        info.text = identifier;
    } else if (info.type == 4) {
        if (auto uuid = NSUUID::initWithUUIDString(*identifier)) {
            info.text = AKWebsafeBase64StringFromBytes(uuid->bytes().data(), 16);
        }
    } else {
        std::uint8_t bytes[16];
        if (AKSignalIdentifierBytes(*identifier, bytes)) info.text = AKWebsafeBase64StringFromBytes(bytes, 16);
    }
    return info;
}
