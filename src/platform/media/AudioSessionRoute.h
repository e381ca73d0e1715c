#pragma once
// The audio route: the current route's outputs (system 6.0 and later) and the
// older route string read through the C audio-session functions. A settable
// stand-in: one built-in speaker output and the string "Speaker" by default.
// Any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* AVAudioSessionPortHeadphones = "Headphones";
inline constexpr const char* AVAudioSessionPortBuiltInSpeaker = "Speaker";
inline constexpr const char* AVAudioSessionPortBuiltInReceiver = "Receiver";
inline constexpr const char* AVAudioSessionPortLineOut = "LineOut";
inline constexpr const char* AVAudioSessionPortBluetoothA2DP = "BluetoothA2DPOutput";

using AudioSessionStatus = std::int32_t;
inline constexpr AudioSessionStatus kAudioSessionNoError = 0;
inline constexpr AudioSessionStatus kAudioSessionAlreadyInitialized = 0x696e6974;  // 'init'

namespace AudioSessionRoute {
// The port types of the current route's outputs.
std::vector<std::string> currentRouteOutputs();
// The older interface: initialise, then read the route as a string.
AudioSessionStatus initialize();
AudioSessionStatus copyRouteString(std::string* route);

void setCurrentRouteOutputs(std::vector<std::string> ports);
// The old route string, or a failure status of the old functions.
void setLegacyRoute(std::optional<std::string> route, AudioSessionStatus initializeStatus = kAudioSessionNoError);
void resetToDefaults();
}  // namespace AudioSessionRoute
