#pragma once
// The battery. Level (0 to 1) and state are read from /sys/class/power_supply
// (the first supply of type "Battery") when the machine has one, unless a test
// set them; the platform reports them only while battery monitoring is on
// (level -1 and state unknown otherwise). Any thread.
#include <mutex>
#include <optional>
#include <string>

enum UIDeviceBatteryState : long {
    UIDeviceBatteryStateUnknown = 0,
    UIDeviceBatteryStateUnplugged = 1,
    UIDeviceBatteryStateCharging = 2,
    UIDeviceBatteryStateFull = 3,
};

class UIDeviceBattery {
public:
    static bool isBatteryMonitoringEnabled();
    static void setBatteryMonitoringEnabled(bool enabled);
    static float batteryLevel();
    static UIDeviceBatteryState batteryState();

    // Pinned values; nullopt goes back to the machine's own.
    static void setBattery(std::optional<float> level, std::optional<UIDeviceBatteryState> state);
    // The folder searched for supplies (tests point it at a fixture).
    static void setPowerSupplyRoot(std::optional<std::string> root);
};
