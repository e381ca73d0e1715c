#pragma once
// Creatives that misbehave, for the garbage mode (ServerModes.h). Each is one HTML page filling its view in dark
// grey (#37474F) with its name in white, titled "hostile <item>", that first lets a frame be painted (two animation
// frames, or 250 ms after its load when none come) and then:
//
//   "script-loop"    runs a script loop that never ends
//   "alert-loop"     calls alert() in a loop that never ends
//   "self-navigate"  navigates itself, without a tap, to {origin}/adnet/click?ai=hostile-self-navigate
//   "message-flood"  posts 10,000 page messages a second ("amsg://mraid/flood?n=<k>" frames and window.postMessage)
//   "open-windows"   opens 20 windows on {origin}/adnet/landing, then one more every 100 ms
#include <optional>
#include <string>

namespace adserver {

bool isHostileItem(const std::string& item);
// The page of a hostile item, "{origin}" replaced; null for any other item.
std::optional<std::string> hostileCreative(const std::string& item, const std::string& origin);

}  // namespace adserver
