#include "platform/uikit/UISystemVersion.h"

#include <cstdlib>

#include "platform/uikit/UIDevice.h"

NSOperatingSystemVersion NSOperatingSystemVersionFromString(const std::string& text) {
    NSOperatingSystemVersion v;
    long* parts[] = {&v.majorVersion, &v.minorVersion, &v.patchVersion};
    const char* p = text.c_str();
    for (long* part : parts) {
        char* end = nullptr;
        long n = std::strtol(p, &end, 10);
        if (end == p) break;
        *part = n < 0 ? 0 : n;
        if (*end != '.') break;
        p = end + 1;
    }
    return v;
}

NSOperatingSystemVersion operatingSystemVersion() {
    return NSOperatingSystemVersionFromString(UIDevice::currentDevice()->systemVersion());
}

bool isOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& want) {
    auto v = operatingSystemVersion();
    if (v.majorVersion != want.majorVersion) return v.majorVersion > want.majorVersion;
    if (v.minorVersion != want.minorVersion) return v.minorVersion > want.minorVersion;
    return v.patchVersion >= want.patchVersion;
}

double NSFoundationVersionNumber() {
    auto v = operatingSystemVersion();
    struct Step {
        long major, minor;
        double number;
    };
    static const Step steps[] = {
        {7, 0, NSFoundationVersionNumber_iOS_7_0}, {7, 1, NSFoundationVersionNumber_iOS_7_1},
        {8, 0, NSFoundationVersionNumber_iOS_8_0}, {8, 1, NSFoundationVersionNumber_iOS_8_1},
        {8, 3, NSFoundationVersionNumber_iOS_8_3}, {9, 0, NSFoundationVersionNumber_iOS_9_0},
    };
    double number = NSFoundationVersionNumber_iOS_6_1;
    for (const auto& s : steps)
        if (v.majorVersion > s.major || (v.majorVersion == s.major && v.minorVersion >= s.minor)) number = s.number;
    return number;
}

bool UIScreenBoundsFollowOrientation() { return operatingSystemVersion().majorVersion >= 8; }
