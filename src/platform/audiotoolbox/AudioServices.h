#pragma once
// System sounds. A recording stand-in: nothing is heard here. The sounds
// played are recorded in one process-wide record that tests read and clear
// (kSystemSoundID_Vibrate is how a program asks for vibration): the last
// kPlayedSystemSoundsKept of them in order, and a count of them all, so a
// program playing sounds without end (an ad asking to vibrate in a loop)
// keeps the record bounded. Any thread.
#include <cstddef>
#include <cstdint>
#include <vector>

using SystemSoundID = std::uint32_t;

inline constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;
inline constexpr std::size_t kPlayedSystemSoundsKept = 64;

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID);

// The last sounds played (at most kPlayedSystemSoundsKept, oldest first) since
// the process started or the record was last cleared, and how many were played.
std::vector<SystemSoundID> AudioServicesPlayedSystemSounds();
std::size_t AudioServicesPlayedSystemSoundCount();
void AudioServicesClearPlayedSystemSounds();
