#pragma once
// The device facts the signal component reads, in simple forms. Main thread
// (the callers run the component there); the adjustment word is atomic.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/foundation/Value.h"

// The text's UTF-8 bytes with a terminating zero: the string's own buffer (the
// flag set to 0: do not free). nullptr for no string, or for text with an
// embedded zero byte, which has no C form.
const char* AKCopyCStringFromCFString(const std::string* text, int* mustFree);
bool AKGestureReachabilityFlags(std::uint32_t* flags);
Value AKGestureWalkViews(const std::string& stopAt);
// Web-safe base 64 without padding; nullopt for a null pointer or a negative length.
std::optional<std::string> AKWebsafeBase64StringFromBytes(const void* bytes, std::int32_t length);
// Level x 100 (truncated; -100 for an unknown level) and the battery state;
// monitoring is switched on for the read when it was off.
std::pair<std::int32_t, std::int32_t> AKBatteryLevelAndState();
// The main screen's current mode in pixels.
std::pair<std::int32_t, std::int32_t> AKScreenModeSize();
// (system zone - UTC) in minutes, plus the adjustment word (1440 at start).
std::int64_t AKTimeZoneOffsetMinutes();
std::int64_t AKTimeZoneAdjustment();
void AKSetTimeZoneAdjustment(std::int64_t minutes);

struct AKDeviceIdentifierInfo {
    std::optional<std::string> text;
    std::int32_t type = 0;
    bool optedOut = false;
};
AKDeviceIdentifierInfo AKGestureDeviceIdentifierInfo();
// The component's conversion of a stored identifier (type 1) into 16 bytes:
// the MD5 of its UTF-8 text. False for text that is not UTF-8.
bool AKSignalIdentifierBytes(const std::string& identifier, std::uint8_t out[16]);
