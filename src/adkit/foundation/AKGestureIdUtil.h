#pragma once
// The device identifier the signal component reads: the advertising
// identifier from system 6.0 (type 4), else an identifier the library made and
// stored under "madAppId" (type 1). One shared instance, made once.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSUserDefaults.h"

class AKGestureIdUtil : public NSObject {
public:
    static std::shared_ptr<AKGestureIdUtil> sharedInstance();
    AKGestureIdUtil();

    static void getOSMajor(std::int32_t* major, std::int32_t* minor, std::int32_t* bugFix);
    static bool isOSAtLeastMajor(std::int32_t major, std::int32_t minor, std::int32_t bug);
    std::string osVersion() const;
    std::optional<std::string> deviceIdentifier();
    std::int32_t deviceIdentifierType() const;
    bool deviceOptedOut() const;

    NSUserDefaultsPtr userDefaults() const;
    void setUserDefaults(NSUserDefaultsPtr defaults);

private:
    mutable std::mutex mutex_;
    NSUserDefaultsPtr userDefaults_;
};
