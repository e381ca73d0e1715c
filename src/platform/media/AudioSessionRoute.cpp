#include "platform/media/AudioSessionRoute.h"

#include <mutex>

namespace {
struct Route {
    std::mutex mutex;
    std::vector<std::string> outputs{AVAudioSessionPortBuiltInSpeaker};
    std::optional<std::string> legacy = std::string("Speaker");
    AudioSessionStatus initializeStatus = kAudioSessionNoError;
};
Route& route() {
    static Route r;
    return r;
}
constexpr AudioSessionStatus kPropertyUnavailable = -50;
}  // namespace

namespace AudioSessionRoute {

std::vector<std::string> currentRouteOutputs() {
    std::lock_guard<std::mutex> lock(route().mutex);
    return route().outputs;
}

AudioSessionStatus initialize() {
    std::lock_guard<std::mutex> lock(route().mutex);
    return route().initializeStatus;
}

AudioSessionStatus copyRouteString(std::string* out) {
    std::lock_guard<std::mutex> lock(route().mutex);
    if (!route().legacy) return kPropertyUnavailable;
    if (out) *out = *route().legacy;
    return kAudioSessionNoError;
}

void setCurrentRouteOutputs(std::vector<std::string> ports) {
    std::lock_guard<std::mutex> lock(route().mutex);
    route().outputs = std::move(ports);
}

void setLegacyRoute(std::optional<std::string> legacy, AudioSessionStatus initializeStatus) {
    std::lock_guard<std::mutex> lock(route().mutex);
    route().legacy = std::move(legacy);
    route().initializeStatus = initializeStatus;
}

void resetToDefaults() {
    setCurrentRouteOutputs({AVAudioSessionPortBuiltInSpeaker});
    setLegacyRoute(std::string("Speaker"));
}

}  // namespace AudioSessionRoute
