// Protects the hardware facts: platform types by machine name, simulators by screen width, retina, 64-bit figures, disk space and MAC addresses.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestTools.h"
#include "core/UIDeviceHardware.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "support/TestEnvironment.h"

using coretest::runCommand;

namespace {

// Restores the machine's own facts and the default screen after a test.
struct PinnedFacts {
    ~PinnedFacts() {
        SystemInfo::resetOverrides();
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
        UIScreen::mainScreen()->setScale(2.0);
    }
};

const UIDevice& device() { return *UIDevice::currentDevice(); }

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

TEST_CASE("platformType classifies machine names by the table and its order") {
    struct Row {
        const char* machine;
        std::uint64_t type;
        const char* name;
        std::int32_t family;
    };
    const Row rows[] = {
        {"iFPGA", 26, "iFPGA", 4},
        {"iPhone1,1", 5, "iPhone 1G", 0},
        {"iPhone1,2", 6, "iPhone 3G", 0},
        {"iPhone1,3", 22, "Unknown iPhone", 0},
        {"iPhone2,1", 7, "iPhone 3GS", 0},
        {"iPhone3,1", 8, "iPhone 4", 0},
        {"iPhone4,1", 9, "iPhone 4S", 0},
        {"iPhone5,2", 10, "iPhone 5", 0},
        {"iPhone6,1", 22, "Unknown iPhone", 0},
        {"iPod1,1", 11, "iPod touch 1G", 1},
        {"iPod2,1", 12, "iPod touch 2G", 1},
        {"iPod3,1", 13, "iPod touch 3G", 1},
        {"iPod4,1", 14, "iPod touch 4G", 1},
        {"iPod5,1", 23, "Unknown iPod", 1},
        {"iPad1,1", 15, "iPad 1G", 2},
        {"iPad2,5", 16, "iPad 2G", 2},
        {"iPad3,4", 17, "iPad 3G", 2},
        {"iPad4,1", 18, "iPad 4G", 2},
        {"iPad5,1", 24, "Unknown iPad", 2},
        {"AppleTV2,1", 19, "Apple TV 2G", 3},
        {"AppleTV3,2", 20, "Apple TV 3G", 3},
        {"AppleTV5,3", 25, "Unknown Apple TV", 3},
        {"Watch1,1", 0, "Unknown iOS device", 4},
        {"", 0, "Unknown iOS device", 4},
    };
    PinnedFacts restore;
    for (const auto& row : rows) {
        CAPTURE(row.machine);
        SystemInfo::setMachineName(std::string(row.machine));
        CHECK(platform(device()) == row.machine);
        CHECK(platformType(device()) == row.type);
        CHECK(platformString(device()) == row.name);
        CHECK(deviceFamily(device()) == row.family);
    }
}

TEST_CASE("simulator machine names are told apart by the main screen width") {
    PinnedFacts restore;
    for (const char* machine : {"x86_64", "i386", "i686", "x86"}) {
        CAPTURE(machine);
        SystemInfo::setMachineName(std::string(machine));
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
        CHECK(platformType(device()) == UIDevicePlatformSimulatoriPhone);
        CHECK(platformString(device()) == "iPhone Simulator");
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 767.5, 1024));
        CHECK(platformType(device()) == UIDevicePlatformSimulatoriPhone);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 768, 1024));
        CHECK(platformType(device()) == UIDevicePlatformSimulatoriPad);
        CHECK(platformString(device()) == "iPad Simulator");
        CHECK(deviceFamily(device()) == UIDeviceFamilyUnknown);
    }
    // Neither ending in 86 nor x86_64.
    SystemInfo::setMachineName(std::string("aarch64"));
    CHECK(platformType(device()) == UIDevicePlatformUnknown);
    SystemInfo::setMachineName(std::string("x86_64a"));
    CHECK(platformType(device()) == UIDevicePlatformUnknown);
}

TEST_CASE("machine and model names come from the kernel unless pinned") {
    PinnedFacts restore;
    auto uname = runCommand("uname -m");
    REQUIRE(uname.exitCode == 0);
    CHECK(platform(device()) == trimmed(uname.output));
    CHECK_FALSE(hwmodel(device()).empty());
    auto hostname = runCommand("uname -n");
    CHECK(getSysInfoByName(device(), "kern.hostname") == trimmed(hostname.output));
    CHECK(getSysInfoByName(device(), "kern.ostype") == "Linux");
    CHECK(getSysInfoByName(device(), "no.such.value").empty());
    CHECK(getSysInfoByName(device(), nullptr).empty());

    SystemInfo::setMachineName(std::string("iPhone5,2"));
    SystemInfo::setModelName(std::string("N42AP"));
    CHECK(platform(device()) == "iPhone5,2");
    CHECK(hwmodel(device()) == "N42AP");
    SystemInfo::setMachineName(std::nullopt);
    CHECK(platform(device()) == trimmed(uname.output));
}

TEST_CASE("hasRetinaDisplay holds only for a scale of exactly 2") {
    PinnedFacts restore;
    UIScreen::mainScreen()->setScale(2.0);
    CHECK(hasRetinaDisplay(device()));
    UIScreen::mainScreen()->setScale(3.0);
    CHECK_FALSE(hasRetinaDisplay(device()));
    UIScreen::mainScreen()->setScale(1.0);
    CHECK_FALSE(hasRetinaDisplay(device()));
}

TEST_CASE("hardware figures are read as 64-bit values") {
    PinnedFacts restore;
    // 2 GiB of memory is 2147483648, not a sign-extended 32-bit number.
    SystemInfo::setHardwareValue(SystemInfo::HW_PHYSMEM, 2147483648ull);
    CHECK(totalMemory(device()) == 2147483648ull);
    SystemInfo::setHardwareValue(SystemInfo::HW_PHYSMEM, 6ull << 30);
    CHECK(totalMemory(device()) == 6ull << 30);
    SystemInfo::setHardwareValue(SystemInfo::HW_BUS_FREQ, 100000000ull);
    CHECK(busFrequency(device()) == 100000000ull);
    SystemInfo::setHardwareValue(SystemInfo::HW_PHYSMEM, std::nullopt);

    // The machine's own figures, against what the system reports elsewhere.
    auto ncpu = runCommand("getconf _NPROCESSORS_CONF");
    REQUIRE(ncpu.exitCode == 0);
    CHECK(cpuCount(device()) == std::stoull(ncpu.output));
    std::ifstream meminfo("/proc/meminfo");
    std::string label;
    std::uint64_t kib = 0;
    meminfo >> label >> kib;
    REQUIRE(label == "MemTotal:");
    CHECK(totalMemory(device()) == kib * 1024);
    CHECK(userMemory(device()) > 0);
    CHECK(userMemory(device()) <= totalMemory(device()));
    // Unknown to the kernel: 0.
    CHECK(getSysInfo(device(), 9999) == 0);
}

TEST_CASE("disk space is that of the file system holding the folder") {
    testsupport::TempHome home;
    auto reference = std::filesystem::space(AppHome::root());
    auto total = totalDiskSpace(device());
    auto free = freeDiskSpace(device());
    REQUIRE(total);
    REQUIRE(free);
    CHECK(*total == reference.capacity);
    CHECK(*free <= *total);
    // Free space moves with other writers; it stays close to the reference.
    const auto diff = *free > reference.available ? *free - reference.available : reference.available - *free;
    CHECK(diff < (256ull << 20));
    CHECK(totalDiskSpace(device(), "/") == std::filesystem::space("/").capacity);
    CHECK_FALSE(totalDiskSpace(device(), home.path() + "/missing/folder").has_value());
    CHECK_FALSE(freeDiskSpace(device(), home.path() + "/missing/folder").has_value());
}

TEST_CASE("macaddress reads the named interface like the kernel lists it") {
    PinnedFacts restore;
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        std::ifstream in(entry.path() / "address");
        std::string address;
        if (!std::getline(in, address) || address.size() != 17) continue;
        const std::string name = entry.path().filename().string();
        CAPTURE(name);
        SystemInfo::setPrimaryInterfaceName(name);
        CHECK(macaddress(device()) == coretest::upper(address));
        ++compared;
    }
    CHECK(compared > 0);  // at least the loopback interface
    SystemInfo::setPrimaryInterfaceName(std::string("lo"));
    CHECK(macaddress(device()) == "00:00:00:00:00:00");
}

TEST_CASE("macaddress of a missing interface is none with the error line") {
    PinnedFacts restore;
    SystemInfo::setPrimaryInterfaceName(std::string("qv-none0"));
    std::optional<std::string> mac = std::string("unset");
    const std::string out = coretest::captureStandardOutput([&] { mac = macaddress(device()); });
    CHECK_FALSE(mac.has_value());
    CHECK(out == "Error: if_nametoindex error\n");
    // The default interface is "en0".
    SystemInfo::setPrimaryInterfaceName(std::nullopt);
    CHECK(SystemInfo::primaryInterfaceName() == "en0");
}
