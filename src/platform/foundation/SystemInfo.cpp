#include "platform/foundation/SystemInfo.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/foundation/ProcessLifetime.h"

namespace {

struct Overrides {
    std::mutex mutex;
    std::optional<std::string> machine;
    std::optional<std::string> model;
    std::optional<std::string> interfaceName;
    std::map<int, std::uint64_t> hardware;
};

Overrides& overrides() {
    static ProcessLifetime<Overrides> o;  // usable from any thread at exit
    return *o;
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    // Firmware strings may end in NUL bytes or a line break.
    while (!s.empty() && (s.back() == '\0' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    if (s.empty()) return std::nullopt;
    return s;
}

std::optional<std::uint64_t> readNumberFile(const std::string& path) {
    auto text = readTextFile(path);
    if (!text) return std::nullopt;
    try {
        std::size_t used = 0;
        auto v = std::stoull(*text, &used);
        return static_cast<std::uint64_t>(v);
    } catch (...) {
        return std::nullopt;
    }
}

// A "Key:   value kB" line of /proc/meminfo, in bytes.
std::optional<std::uint64_t> memInfo(const std::string& key) {
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size() + 1, key + ":") != 0) continue;
        std::istringstream fields(line.substr(key.size() + 1));
        std::uint64_t kib = 0;
        if (fields >> kib) return kib * 1024;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> cpuFrequencyHz() {
    if (auto khz = readNumberFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")) return *khz * 1000;
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) break;
        try {
            double mhz = std::stod(line.substr(colon + 1));
            if (mhz > 0) return static_cast<std::uint64_t>(mhz * 1e6);
        } catch (...) {
        }
        break;
    }
    return std::nullopt;
}

}  // namespace

namespace SystemInfo {

std::optional<std::string> valueForName(const std::string& name) {
    {
        auto& o = overrides();
        std::lock_guard lock(o.mutex);
        if (name == "hw.machine" && o.machine) return o.machine;
        if (name == "hw.model" && o.model) return o.model;
    }
    struct utsname uts {};
    if (::uname(&uts) != 0) return std::nullopt;
    if (name == "hw.machine") return std::string(uts.machine);
    if (name == "hw.model") {
        if (auto product = readTextFile("/sys/devices/virtual/dmi/id/product_name")) return product;
        if (auto board = readTextFile("/proc/device-tree/model")) return board;
        return std::string(uts.machine);
    }
    if (name == "kern.ostype") return std::string(uts.sysname);
    if (name == "kern.osrelease") return std::string(uts.release);
    if (name == "kern.version") return std::string(uts.version);
    if (name == "kern.hostname") return std::string(uts.nodename);
    return std::nullopt;
}

std::optional<std::uint64_t> hardwareValue(int selector) {
    {
        auto& o = overrides();
        std::lock_guard lock(o.mutex);
        if (auto it = o.hardware.find(selector); it != o.hardware.end()) return it->second;
    }
    switch (selector) {
        case HW_NCPU: {
            long n = ::sysconf(_SC_NPROCESSORS_CONF);
            if (n > 0) return static_cast<std::uint64_t>(n);
            return std::nullopt;
        }
        case HW_PHYSMEM: {
            long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
            if (pages > 0 && size > 0) return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
            return memInfo("MemTotal");
        }
        case HW_USERMEM: return memInfo("MemAvailable");
        case HW_CPU_FREQ: return cpuFrequencyHz();
        default: return std::nullopt;
    }
}

std::optional<std::uint64_t> maxSocketBufferSize() {
    auto r = readNumberFile("/proc/sys/net/core/rmem_max");
    auto w = readNumberFile("/proc/sys/net/core/wmem_max");
    if (r && w) return std::max(*r, *w);
    return r ? r : w;
}

unsigned interfaceIndex(const std::string& name) { return ::if_nametoindex(name.c_str()); }

std::optional<std::array<std::uint8_t, 6>> hardwareAddress(const std::string& name) {
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::optional<std::array<std::uint8_t, 6>> result;
    for (auto* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_name || name != ifa->ifa_name || !ifa->ifa_addr) continue;
        if (ifa->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* ll = reinterpret_cast<const struct sockaddr_ll*>(ifa->ifa_addr);
        if (ll->sll_halen != 6) continue;
        std::array<std::uint8_t, 6> mac{};
        for (std::size_t i = 0; i < 6; ++i) mac[i] = ll->sll_addr[i];
        result = mac;
        break;
    }
    ::freeifaddrs(list);
    return result;
}

std::string primaryInterfaceName() {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    return o.interfaceName.value_or("en0");
}

void setMachineName(std::optional<std::string> name) {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    o.machine = std::move(name);
}

void setModelName(std::optional<std::string> name) {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    o.model = std::move(name);
}

void setPrimaryInterfaceName(std::optional<std::string> name) {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    o.interfaceName = std::move(name);
}

void setHardwareValue(int selector, std::optional<std::uint64_t> value) {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    if (value) o.hardware[selector] = *value;
    else o.hardware.erase(selector);
}

void resetOverrides() {
    auto& o = overrides();
    std::lock_guard lock(o.mutex);
    o.machine.reset();
    o.model.reset();
    o.interfaceName.reset();
    o.hardware.clear();
}

}  // namespace SystemInfo
