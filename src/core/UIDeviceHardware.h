#pragma once
// Hardware facts of the device: machine and model names, the device type and
// family they imply, processor and memory figures, disk space, the screen's
// density and the primary network interface's MAC address.
#include <cstdint>
#include <optional>
#include <string>

class UIDevice;

// Device types (platformType) with their display names (platformString).
enum UIDevicePlatform : std::uint64_t {
    UIDevicePlatformUnknown = 0,
    UIDevicePlatformSimulator = 1,
    UIDevicePlatformSimulatoriPhone = 2,
    UIDevicePlatformSimulatoriPad = 3,
    UIDevicePlatformSimulatorAppleTV = 4,
    UIDevicePlatformiPhone1G = 5,
    UIDevicePlatformiPhone3G = 6,
    UIDevicePlatformiPhone3GS = 7,
    UIDevicePlatformiPhone4 = 8,
    UIDevicePlatformiPhone4S = 9,
    UIDevicePlatformiPhone5 = 10,
    UIDevicePlatformiPod1G = 11,
    UIDevicePlatformiPod2G = 12,
    UIDevicePlatformiPod3G = 13,
    UIDevicePlatformiPod4G = 14,
    UIDevicePlatformiPad1G = 15,
    UIDevicePlatformiPad2G = 16,
    UIDevicePlatformiPad3G = 17,
    UIDevicePlatformiPad4G = 18,
    UIDevicePlatformAppleTV2G = 19,
    UIDevicePlatformAppleTV3G = 20,
    UIDevicePlatformAppleTV4G = 21,
    UIDevicePlatformUnknowniPhone = 22,
    UIDevicePlatformUnknowniPod = 23,
    UIDevicePlatformUnknowniPad = 24,
    UIDevicePlatformUnknownAppleTV = 25,
    UIDevicePlatformIFPGA = 26,
};

// Device families (deviceFamily).
enum UIDeviceFamily : std::int32_t {
    UIDeviceFamilyiPhone = 0,
    UIDeviceFamilyiPod = 1,
    UIDeviceFamilyiPad = 2,
    UIDeviceFamilyAppleTV = 3,
    UIDeviceFamilyUnknown = 4,
};

// A named system-information value as text ("hw.machine", "hw.model",
// "kern.ostype", ...); empty when the system has no such value.
std::string getSysInfoByName(const UIDevice& device, const char* name);
std::string platform(const UIDevice& device);  // "hw.machine"
std::string hwmodel(const UIDevice& device);   // "hw.model"

// An item of the hardware group (SystemInfo::HW_*), as a 64-bit value; 0 when the
// system cannot tell.
std::uint64_t getSysInfo(const UIDevice& device, unsigned selector);
std::uint64_t cpuFrequency(const UIDevice& device);  // Hz
std::uint64_t busFrequency(const UIDevice& device);  // Hz
std::uint64_t cpuCount(const UIDevice& device);
std::uint64_t totalMemory(const UIDevice& device);  // bytes
std::uint64_t userMemory(const UIDevice& device);   // bytes
std::uint64_t maxSocketBufferSize(const UIDevice& device);  // bytes

// Size and free space, in bytes, of the file system holding the folder (the
// application home unless given); nullopt when it cannot be asked.
std::optional<std::uint64_t> totalDiskSpace(const UIDevice& device);
std::optional<std::uint64_t> totalDiskSpace(const UIDevice& device, const std::string& folder);
std::optional<std::uint64_t> freeDiskSpace(const UIDevice& device);
std::optional<std::uint64_t> freeDiskSpace(const UIDevice& device, const std::string& folder);

// The device type of the machine name (simulators are told apart by the main
// screen's width) and its display name.
std::uint64_t platformType(const UIDevice& device);
std::string platformString(const UIDevice& device);
// The type and family a machine name stands for, with the given screen width.
std::uint64_t platformTypeForMachineName(const std::string& machine, double screenWidth);
std::string platformStringForType(std::uint64_t type);
UIDeviceFamily deviceFamilyForMachineName(const std::string& machine);

// True when the main screen's scale is exactly 2.
bool hasRetinaDisplay(const UIDevice& device);
std::int32_t deviceFamily(const UIDevice& device);

// The primary interface's MAC address as "XX:XX:XX:XX:XX:XX" (upper-case hex);
// nullopt, with a line on standard output, when the interface is missing or has
// no link-layer address.
std::optional<std::string> macaddress(const UIDevice& device);
