#include "platform/audiotoolbox/AudioServices.h"

#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {

struct PlayedSounds {
    std::mutex mutex;
    std::vector<SystemSoundID> sounds;
};

PlayedSounds& played() {
    static ProcessLifetime<PlayedSounds> shared;
    return *shared;
}

}  // namespace

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID) {
    std::lock_guard<std::mutex> lock(played().mutex);
    played().sounds.push_back(inSystemSoundID);
}

std::vector<SystemSoundID> AudioServicesPlayedSystemSounds() {
    std::lock_guard<std::mutex> lock(played().mutex);
    return played().sounds;
}

void AudioServicesClearPlayedSystemSounds() {
    std::lock_guard<std::mutex> lock(played().mutex);
    played().sounds.clear();
}
