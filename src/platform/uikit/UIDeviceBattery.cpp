#include "platform/uikit/UIDeviceBattery.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct State {
    std::mutex mutex;
    bool monitoring = false;
    std::optional<float> level;
    std::optional<UIDeviceBatteryState> state;
    std::string root = "/sys/class/power_supply";
};

State& shared() {
    static State state;
    return state;
}

std::optional<std::string> readLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

// The first supply whose type is "Battery".
std::optional<std::filesystem::path> batteryFolder(const std::string& root) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
        if (readLine(entry.path() / "type") == std::optional<std::string>("Battery")) return entry.path();
    }
    return std::nullopt;
}

}  // namespace

bool UIDeviceBattery::isBatteryMonitoringEnabled() {
    std::lock_guard<std::mutex> lock(shared().mutex);
    return shared().monitoring;
}

void UIDeviceBattery::setBatteryMonitoringEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(shared().mutex);
    shared().monitoring = enabled;
}

float UIDeviceBattery::batteryLevel() {
    std::lock_guard<std::mutex> lock(shared().mutex);
    if (!shared().monitoring) return -1;
    if (shared().level) return *shared().level;
    auto folder = batteryFolder(shared().root);
    if (!folder) return -1;
    auto capacity = readLine(*folder / "capacity");
    if (!capacity) return -1;
    try {
        return std::stof(*capacity) / 100.0f;
    } catch (const std::exception&) {
        return -1;  // an unreadable capacity is an unknown level
    }
}

UIDeviceBatteryState UIDeviceBattery::batteryState() {
    std::lock_guard<std::mutex> lock(shared().mutex);
    if (!shared().monitoring) return UIDeviceBatteryStateUnknown;
    if (shared().state) return *shared().state;
    auto folder = batteryFolder(shared().root);
    if (!folder) return UIDeviceBatteryStateUnknown;
    const auto status = readLine(*folder / "status").value_or("");
    if (status == "Charging") return UIDeviceBatteryStateCharging;
    if (status == "Full") return UIDeviceBatteryStateFull;
    if (status == "Discharging" || status == "Not charging") return UIDeviceBatteryStateUnplugged;
    return UIDeviceBatteryStateUnknown;
}

void UIDeviceBattery::setBattery(std::optional<float> level, std::optional<UIDeviceBatteryState> state) {
    std::lock_guard<std::mutex> lock(shared().mutex);
    shared().level = level;
    shared().state = state;
}

void UIDeviceBattery::setPowerSupplyRoot(std::optional<std::string> root) {
    std::lock_guard<std::mutex> lock(shared().mutex);
    shared().root = root.value_or("/sys/class/power_supply");
}
