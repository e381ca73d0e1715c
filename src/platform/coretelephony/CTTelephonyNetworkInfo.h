#pragma once
// The cellular radio's access technology. A recording stand-in: tests set the
// current technology (nullopt: no cellular service), and every change posts
// CTRadioAccessTechnologyDidChangeNotification (object: the technology name as
// nothing; observers read the value again). Any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"

inline constexpr const char* CTRadioAccessTechnologyDidChangeNotification =
    "kCTRadioAccessTechnologyDidChangeNotification";
inline constexpr const char* CTRadioAccessTechnologyGPRS = "CTRadioAccessTechnologyGPRS";
inline constexpr const char* CTRadioAccessTechnologyEdge = "CTRadioAccessTechnologyEdge";
inline constexpr const char* CTRadioAccessTechnologyWCDMA = "CTRadioAccessTechnologyWCDMA";
inline constexpr const char* CTRadioAccessTechnologyHSDPA = "CTRadioAccessTechnologyHSDPA";
inline constexpr const char* CTRadioAccessTechnologyLTE = "CTRadioAccessTechnologyLTE";

class CTTelephonyNetworkInfo : public NSObject {
public:
    std::optional<std::string> currentRadioAccessTechnology() const;
    // The device's technology (shared by every network-info object); posts the
    // change notification on the calling thread when the value changes.
    static void setCurrentRadioAccessTechnology(const std::optional<std::string>& technology);
};
