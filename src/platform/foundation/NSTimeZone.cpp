#include "platform/foundation/NSTimeZone.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/foundation/Clock.h"

namespace {
std::mutex mutex;
NSTimeZonePtr pinned;

std::optional<long> parseGMTOffset(const std::string& text) {
    if (text.empty()) return 0;
    if (text[0] != '+' && text[0] != '-') return std::nullopt;
    const long sign = text[0] == '-' ? -1 : 1;
    int hours = 0, minutes = 0;
    char extra = 0;
    if (std::sscanf(text.c_str() + 1, "%d:%d%c", &hours, &minutes, &extra) == 2 ||
        std::sscanf(text.c_str() + 1, "%d%c", &hours, &extra) == 1) {
        if (hours > 18 || minutes > 59) return std::nullopt;
        return sign * (hours * 3600L + minutes * 60L);
    }
    return std::nullopt;
}
}  // namespace

NSTimeZonePtr NSTimeZone::systemTimeZone() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (pinned) return pinned;
    }
    const char* tz = std::getenv("TZ");
    return std::make_shared<NSTimeZone>(tz && *tz ? tz : "localtime", std::nullopt);
}

NSTimeZonePtr NSTimeZone::timeZoneWithName(const std::string& name) {
    if (name == "UTC" || name == "GMT") return std::make_shared<NSTimeZone>(name, 0);
    if (name.rfind("GMT", 0) == 0 || name.rfind("UTC", 0) == 0) {
        if (auto offset = parseGMTOffset(name.substr(3))) return std::make_shared<NSTimeZone>(name, *offset);
        return nullptr;
    }
    auto system = systemTimeZone();
    return system->name() == name ? system : nullptr;
}

NSTimeZonePtr NSTimeZone::timeZoneForSecondsFromGMT(long seconds) {
    const long minutes = (seconds < 0 ? -seconds : seconds) / 60;
    char name[32];
    std::snprintf(name, sizeof name, "GMT%c%02ld%02ld", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::make_shared<NSTimeZone>(name, seconds);
}

void NSTimeZone::setSystemTimeZone(NSTimeZonePtr zone) {
    std::lock_guard<std::mutex> lock(mutex);
    pinned = std::move(zone);
}

long NSTimeZone::secondsFromGMT() const {
    if (fixed_) return *fixed_;
    const auto now = static_cast<std::time_t>(Clock::now());
    std::tm local{};
    tzset();
    if (!localtime_r(&now, &local)) return 0;
    return local.tm_gmtoff;
}
