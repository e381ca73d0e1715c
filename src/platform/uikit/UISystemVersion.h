#pragma once
// The platform's age, from one switch: the device's system version ("7.0"
// unless a test sets UIDevice::setSystemVersion). Everything that depends on
// the system's release asks here: the Foundation version number, the
// operating-system version and whether screen bounds follow the interface
// orientation (from 8.0 on; before, they stay in portrait).
#include <string>

struct NSOperatingSystemVersion {
    long majorVersion = 0;
    long minorVersion = 0;
    long patchVersion = 0;
};

inline constexpr double NSFoundationVersionNumber_iOS_6_1 = 993.00;
inline constexpr double NSFoundationVersionNumber_iOS_7_0 = 1047.20;
inline constexpr double NSFoundationVersionNumber_iOS_7_1 = 1047.25;
inline constexpr double NSFoundationVersionNumber_iOS_8_0 = 1140.11;
inline constexpr double NSFoundationVersionNumber_iOS_8_1 = 1141.1;
inline constexpr double NSFoundationVersionNumber_iOS_8_3 = 1144.17;
inline constexpr double NSFoundationVersionNumber_iOS_9_0 = 1240.1;

// The running system's Foundation version number.
double NSFoundationVersionNumber();
// The running system's version as numbers ("8.1.2" -> 8, 1, 2).
NSOperatingSystemVersion operatingSystemVersion();
// Whether the version is at least the given one.
bool isOperatingSystemAtLeastVersion(const NSOperatingSystemVersion& version);
// Whether screen bounds and keyboard frames follow the interface orientation.
bool UIScreenBoundsFollowOrientation();
// Parses "major.minor.patch" (missing parts are 0).
NSOperatingSystemVersion NSOperatingSystemVersionFromString(const std::string& text);
