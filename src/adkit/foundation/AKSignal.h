#pragma once
// The signal component: called synchronously on the main thread by the slot
// (click URLs), the ad request (its parameters) and the default page-message
// handler (touches); its callers pass the result on without reading it.
//
// What it computes: one compact JSON object, sent as web-safe base 64 without
// padding (so it travels in a URL unescaped):
//   "v"    1, the form of this record;
//   "ctx"  the caller's context dictionary (what the caller hands over);
//   "id", "idt", "oo"  the device identifier record (text, type, opted out);
//   "bat"  [battery level x 100, battery state];
//   "scr"  [screen mode width, height] in pixels;
//   "tz"   AKTimeZoneOffsetMinutes();
//   "net"  the default route's reachability flags (absent when unreadable);
//   "views" the key window's view walk, only when `walkStopAt` is given.
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace AKSignal {
std::string signalWithContext(const Value& context, const std::optional<std::string>& walkStopAt = std::nullopt);
// The record before encoding (for the component's own checks).
Value recordWithContext(const Value& context, const std::optional<std::string>& walkStopAt = std::nullopt);
}  // namespace AKSignal
