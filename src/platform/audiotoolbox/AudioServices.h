#pragma once
// System sounds. A recording stand-in: nothing is heard here. Every sound
// played is added, in order, to one process-wide list that tests read and
// clear (kSystemSoundID_Vibrate is how a program asks for vibration). Any thread.
#include <cstdint>
#include <vector>

using SystemSoundID = std::uint32_t;

inline constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID);

// The sounds played since the process started or the list was last cleared.
std::vector<SystemSoundID> AudioServicesPlayedSystemSounds();
void AudioServicesClearPlayedSystemSounds();
