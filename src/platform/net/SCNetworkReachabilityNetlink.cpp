#include "platform/net/SCNetworkReachabilityNetlink.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace reachability {

namespace {

struct Interface {
    unsigned flags = 0;
    bool hasAddress = false;
    std::vector<sockaddr_storage> addresses;
    std::vector<sockaddr_storage> masks;
};

bool usable(const Interface& i) { return (i.flags & IFF_UP) && (i.flags & IFF_RUNNING); }

std::optional<std::map<std::string, Interface>> interfaces() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::map<std::string, Interface> all;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        Interface& i = all[a->ifa_name];
        i.flags = a->ifa_flags;
        if (!a->ifa_addr || (a->ifa_addr->sa_family != AF_INET && a->ifa_addr->sa_family != AF_INET6)) continue;
        sockaddr_storage address{}, mask{};
        std::memcpy(&address, a->ifa_addr,
                    a->ifa_addr->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
        if (a->ifa_netmask)
            std::memcpy(&mask, a->ifa_netmask,
                        a->ifa_addr->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
        i.hasAddress = true;
        i.addresses.push_back(address);
        i.masks.push_back(mask);
    }
    ::freeifaddrs(list);
    return all;
}

bool isWWAN(const std::string& name) {
    std::ifstream uevent("/sys/class/net/" + name + "/uevent");
    std::string line;
    while (std::getline(uevent, line))
        if (line == "DEVTYPE=wwan") return true;
    return false;
}

// The interfaces that carry a default route of `family`.
std::vector<std::string> defaultRouteInterfaces(int family) {
    std::vector<std::string> names;
    if (family == AF_INET) {
        std::ifstream routes("/proc/net/route");
        std::string line;
        std::getline(routes, line);  // the column names
        while (std::getline(routes, line)) {
            std::istringstream fields(line);
            std::string name, destination, gateway, flags, refs, use, metric, mask;
            if (!(fields >> name >> destination >> gateway >> flags >> refs >> use >> metric >> mask)) continue;
            const unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
            if (destination == "00000000" && mask == "00000000" && (f & RTF_UP) && !(f & RTF_REJECT))
                names.push_back(name);
        }
    } else {
        std::ifstream routes("/proc/net/ipv6_route");
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refs, use, flags, name;
        while (routes >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refs >> use >> flags >>
               name) {
            const unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
            if (destination == std::string(32, '0') && prefix == "00" && (f & RTF_UP) && !(f & RTF_REJECT) && name != "lo")
                names.push_back(name);
        }
    }
    return names;
}

bool isAny(const sockaddr* address) {
    if (address->sa_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == htonl(INADDR_ANY);
    return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

bool sameAddress(const sockaddr_storage& a, const sockaddr_storage& b) {
    if (a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(b).sin_addr.s_addr;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(b).sin6_addr, sizeof(in6_addr)) == 0;
}

bool sameSubnet(const sockaddr_storage& a, const sockaddr_storage& b, const sockaddr_storage& mask) {
    if (a.ss_family != b.ss_family || a.ss_family != mask.ss_family) return false;
    const auto* x = a.ss_family == AF_INET
                        ? reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in&>(a).sin_addr)
                        : reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr);
    const auto* y = a.ss_family == AF_INET
                        ? reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in&>(b).sin_addr)
                        : reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in6&>(b).sin6_addr);
    const auto* m = a.ss_family == AF_INET
                        ? reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in&>(mask).sin_addr)
                        : reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in6&>(mask).sin6_addr);
    const std::size_t n = a.ss_family == AF_INET ? 4 : 16;
    for (std::size_t i = 0; i < n; ++i)
        if ((x[i] & m[i]) != (y[i] & m[i])) return false;
    return true;
}

std::optional<SCNetworkReachabilityFlags> anyAddressFlags(int family) {
    auto all = interfaces();
    if (!all) return std::nullopt;
    for (const std::string& name : defaultRouteInterfaces(family)) {
        auto it = all->find(name);
        if (it == all->end() || !usable(it->second) || (it->second.flags & IFF_LOOPBACK) || !it->second.hasAddress)
            continue;
        return kSCNetworkReachabilityFlagsReachable | (isWWAN(name) ? kSCNetworkReachabilityFlagsIsWWAN : 0u);
    }
    return 0u;
}

// The kernel's route to `address`: the source address a connected datagram socket gets.
std::optional<SCNetworkReachabilityFlags> routedFlags(const sockaddr* address, socklen_t length) {
    sockaddr_storage target{};
    std::memcpy(&target, address, std::min<std::size_t>(length, sizeof(target)));
    // Port 0 cannot be connected to; any port finds the same route.
    if (target.ss_family == AF_INET) reinterpret_cast<sockaddr_in&>(target).sin_port = htons(9);
    else reinterpret_cast<sockaddr_in6&>(target).sin6_port = htons(9);
    const socklen_t size = target.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    int fd = ::socket(target.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_storage source{};
    socklen_t sourceLength = sizeof(source);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&target), size) == 0;
    const int err = errno;
    const bool named = connected && ::getsockname(fd, reinterpret_cast<sockaddr*>(&source), &sourceLength) == 0;
    ::close(fd);
    if (!connected) {
        if (err == ENETUNREACH || err == EHOSTUNREACH || err == EADDRNOTAVAIL || err == EAFNOSUPPORT) return 0u;
        return std::nullopt;
    }
    if (!named) return std::nullopt;
    auto all = interfaces();
    if (!all) return std::nullopt;
    for (const auto& [name, i] : *all) {
        for (std::size_t k = 0; k < i.addresses.size(); ++k) {
            if (!sameAddress(i.addresses[k], source)) continue;
            if (!usable(i)) return 0u;
            SCNetworkReachabilityFlags flags = kSCNetworkReachabilityFlagsReachable;
            for (const auto& own : i.addresses)
                if (sameAddress(own, target)) flags |= kSCNetworkReachabilityFlagsIsLocalAddress;
            if ((i.flags & IFF_LOOPBACK) || sameSubnet(i.addresses[k], target, i.masks[k]))
                flags |= kSCNetworkReachabilityFlagsIsDirect;
            if (i.flags & IFF_LOOPBACK) flags |= kSCNetworkReachabilityFlagsIsLocalAddress;
            if (isWWAN(name)) flags |= kSCNetworkReachabilityFlagsIsWWAN;
            return flags;
        }
    }
    return 0u;  // a source no interface owns: no route that can be used
}

}  // namespace

std::optional<SCNetworkReachabilityFlags> flagsForAddress(const sockaddr* address, socklen_t length) {
    if (isAny(address)) return anyAddressFlags(address->sa_family);
    return routedFlags(address, length);
}

std::vector<sockaddr_storage> resolve(const std::string& name) {
    // Names under .invalid never resolve (RFC 6761): no resolver is asked.
    const std::string suffix = ".invalid";
    if (name == "invalid" || (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0))
        return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return {};
    std::vector<sockaddr_storage> addresses;
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        sockaddr_storage address{};
        std::memcpy(&address, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof(address)));
        addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

int openChangeSocket() {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void drainChangeSocket(int fd) {
    char buffer[8192];
    // An overrun (ENOBUFS) lost messages, which is as good as reading them: a change happened.
    while (true) {
        ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR) || (n < 0 && errno == ENOBUFS)) continue;
        return;
    }
}

}  // namespace reachability
