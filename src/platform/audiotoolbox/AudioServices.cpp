#include "platform/audiotoolbox/AudioServices.h"

#include <deque>
#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {

struct PlayedSounds {
    std::mutex mutex;
    std::deque<SystemSoundID> last;  // at most kPlayedSystemSoundsKept
    std::size_t count = 0;
};

PlayedSounds& played() {
    static ProcessLifetime<PlayedSounds> shared;
    return *shared;
}

}  // namespace

void AudioServicesPlaySystemSound(SystemSoundID inSystemSoundID) {
    auto& record = played();
    std::lock_guard<std::mutex> lock(record.mutex);
    if (record.last.size() == kPlayedSystemSoundsKept) record.last.pop_front();
    record.last.push_back(inSystemSoundID);
    ++record.count;
}

std::vector<SystemSoundID> AudioServicesPlayedSystemSounds() {
    auto& record = played();
    std::lock_guard<std::mutex> lock(record.mutex);
    return {record.last.begin(), record.last.end()};
}

std::size_t AudioServicesPlayedSystemSoundCount() {
    auto& record = played();
    std::lock_guard<std::mutex> lock(record.mutex);
    return record.count;
}

void AudioServicesClearPlayedSystemSounds() {
    auto& record = played();
    std::lock_guard<std::mutex> lock(record.mutex);
    record.last.clear();
    record.count = 0;
}
