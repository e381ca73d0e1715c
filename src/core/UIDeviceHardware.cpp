#include "core/UIDeviceHardware.h"

#include <cstdio>
#include <string_view>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"

namespace {

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

void printLine(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

}  // namespace

std::string getSysInfoByName(const UIDevice&, const char* name) {
    if (!name) return {};
    return SystemInfo::valueForName(name).value_or(std::string());
}

std::string platform(const UIDevice& device) { return getSysInfoByName(device, "hw.machine"); }
std::string hwmodel(const UIDevice& device) { return getSysInfoByName(device, "hw.model"); }

std::uint64_t getSysInfo(const UIDevice&, unsigned selector) {
    return SystemInfo::hardwareValue(static_cast<int>(selector)).value_or(0);
}

std::uint64_t cpuFrequency(const UIDevice& device) { return getSysInfo(device, SystemInfo::HW_CPU_FREQ); }
std::uint64_t busFrequency(const UIDevice& device) { return getSysInfo(device, SystemInfo::HW_BUS_FREQ); }
std::uint64_t cpuCount(const UIDevice& device) { return getSysInfo(device, SystemInfo::HW_NCPU); }
std::uint64_t totalMemory(const UIDevice& device) { return getSysInfo(device, SystemInfo::HW_PHYSMEM); }
std::uint64_t userMemory(const UIDevice& device) { return getSysInfo(device, SystemInfo::HW_USERMEM); }
std::uint64_t maxSocketBufferSize(const UIDevice&) { return SystemInfo::maxSocketBufferSize().value_or(0); }

namespace {
// A size attribute of the file system holding the folder.
std::optional<std::uint64_t> fileSystemAttribute(const std::string& folder, const char* attribute) {
    Value attributes = NSFileManager::defaultManager()->attributesOfFileSystemForPath(folder);
    Value size = attributes[attribute];
    if (!size.isNumber()) return std::nullopt;
    return size.unsignedLongLongValue();
}
}  // namespace

std::optional<std::uint64_t> totalDiskSpace(const UIDevice& device) { return totalDiskSpace(device, NSHomeDirectory()); }
std::optional<std::uint64_t> totalDiskSpace(const UIDevice&, const std::string& folder) {
    return fileSystemAttribute(folder, NSFileSystemSize);
}

std::optional<std::uint64_t> freeDiskSpace(const UIDevice& device) { return freeDiskSpace(device, NSHomeDirectory()); }
std::optional<std::uint64_t> freeDiskSpace(const UIDevice&, const std::string& folder) {
    return fileSystemAttribute(folder, NSFileSystemFreeSize);
}

std::uint64_t platformTypeForMachineName(const std::string& machine, double screenWidth) {
    if (machine == "iFPGA") return UIDevicePlatformIFPGA;
    if (machine == "iPhone1,1") return UIDevicePlatformiPhone1G;
    if (machine == "iPhone1,2") return UIDevicePlatformiPhone3G;
    static const std::pair<const char*, UIDevicePlatform> prefixes[] = {
        {"iPhone2", UIDevicePlatformiPhone3GS},   {"iPhone3", UIDevicePlatformiPhone4},
        {"iPhone4", UIDevicePlatformiPhone4S},    {"iPhone5", UIDevicePlatformiPhone5},
        {"iPod1", UIDevicePlatformiPod1G},        {"iPod2", UIDevicePlatformiPod2G},
        {"iPod3", UIDevicePlatformiPod3G},        {"iPod4", UIDevicePlatformiPod4G},
        {"iPad1", UIDevicePlatformiPad1G},        {"iPad2", UIDevicePlatformiPad2G},
        {"iPad3", UIDevicePlatformiPad3G},        {"iPad4", UIDevicePlatformiPad4G},
        {"AppleTV2", UIDevicePlatformAppleTV2G},  {"AppleTV3", UIDevicePlatformAppleTV3G},
        {"iPhone", UIDevicePlatformUnknowniPhone}, {"iPod", UIDevicePlatformUnknowniPod},
        {"iPad", UIDevicePlatformUnknowniPad},    {"AppleTV", UIDevicePlatformUnknownAppleTV},
    };
    for (const auto& [prefix, type] : prefixes)
        if (startsWith(machine, prefix)) return type;
    if (endsWith(machine, "86") || machine == "x86_64")
        return screenWidth < 768 ? UIDevicePlatformSimulatoriPhone : UIDevicePlatformSimulatoriPad;
    return UIDevicePlatformUnknown;
}

std::string platformStringForType(std::uint64_t type) {
    static const char* const names[] = {
        "Unknown iOS device", "iPhone Simulator", "iPhone Simulator", "iPad Simulator", "Apple TV Simulator",
        "iPhone 1G",          "iPhone 3G",        "iPhone 3GS",       "iPhone 4",       "iPhone 4S",
        "iPhone 5",           "iPod touch 1G",    "iPod touch 2G",    "iPod touch 3G",  "iPod touch 4G",
        "iPad 1G",            "iPad 2G",          "iPad 3G",          "iPad 4G",        "Apple TV 2G",
        "Apple TV 3G",        "Apple TV 4G",      "Unknown iPhone",   "Unknown iPod",   "Unknown iPad",
        "Unknown Apple TV",   "iFPGA",
    };
    if (type >= std::size(names)) return names[UIDevicePlatformUnknown];
    return names[type];
}

UIDeviceFamily deviceFamilyForMachineName(const std::string& machine) {
    if (startsWith(machine, "iPhone")) return UIDeviceFamilyiPhone;
    if (startsWith(machine, "iPod")) return UIDeviceFamilyiPod;
    if (startsWith(machine, "iPad")) return UIDeviceFamilyiPad;
    if (startsWith(machine, "AppleTV")) return UIDeviceFamilyAppleTV;
    return UIDeviceFamilyUnknown;
}

std::uint64_t platformType(const UIDevice& device) {
    return platformTypeForMachineName(platform(device), UIScreen::mainScreen()->bounds().size.width);
}

std::string platformString(const UIDevice& device) { return platformStringForType(platformType(device)); }

bool hasRetinaDisplay(const UIDevice&) { return UIScreen::mainScreen()->scale() == 2.0; }

std::int32_t deviceFamily(const UIDevice& device) { return deviceFamilyForMachineName(platform(device)); }

std::optional<std::string> macaddress(const UIDevice&) {
    const std::string name = SystemInfo::primaryInterfaceName();
    if (SystemInfo::interfaceIndex(name) == 0) {
        printLine("Error: if_nametoindex error");
        return std::nullopt;
    }
    auto mac = SystemInfo::hardwareAddress(name);
    if (!mac) {
        // The interface exists but carries no link-layer address to read.
        printLine("Error: sysctl, take 2");
        return std::nullopt;
    }
    std::string text;
    for (std::uint8_t byte : *mac) {
        if (!text.empty()) text.push_back(':');
        appendHexByte(text, byte, /*upper=*/true);
    }
    return text;
}
