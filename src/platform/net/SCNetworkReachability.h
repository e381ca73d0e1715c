#pragma once
// The platform's reachability service: whether an address or a host name can
// be reached over the network now, as flags, and a callback when that changes.
//
//   auto target = SCNetworkReachabilityCreateWithAddress(address);  // or WithName
//   SCNetworkReachabilitySetCallback(target, callback);
//   SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
//
// Flags come from the kernel: for the any-address (0.0.0.0 or ::), reachable
// when an interface that is up, running and not the loopback has an address and
// carries a default route; for another address, the kernel's route to it (the
// source address a connected datagram socket gets); for a name, its addresses,
// resolved off the calling thread when scheduled. Interfaces whose sysfs uevent
// says DEVTYPE=wwan add kSCNetworkReachabilityFlagsIsWWAN.
//
// Changes are watched on a NETLINK_ROUTE socket (link, address and route
// groups) that is a source of the scheduled run loop; where no such socket can
// be had, the interfaces are polled (getifaddrs) four times a second. The
// callback runs on the scheduled run loop's thread (or on the dispatch queue)
// and only when the flags differ from the last ones reported: for an address,
// from those read when it was scheduled; a name's first resolution is reported.
// A reading that fails (no socket, no interface list) reports nothing.
//
// A target keeps its callback until another is set; unscheduling keeps it.
// Any thread may call these functions.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSRunLoop.h"

using SCNetworkReachabilityFlags = std::uint32_t;
enum : SCNetworkReachabilityFlags {
    kSCNetworkReachabilityFlagsTransientConnection = 1u << 0,
    kSCNetworkReachabilityFlagsReachable = 1u << 1,
    kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2,
    kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3,
    kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4,
    kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5,
    kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16,
    kSCNetworkReachabilityFlagsIsDirect = 1u << 17,
    kSCNetworkReachabilityFlagsIsWWAN = 1u << 18,
};

class SCNetworkReachability;
using SCNetworkReachabilityRef = std::shared_ptr<SCNetworkReachability>;
using SCNetworkReachabilityCallBack =
    std::function<void(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags flags)>;

// Null for a null address or a family other than AF_INET / AF_INET6.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address);
// Null for a null or empty name.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename);

// The flags now (a name is resolved on the calling thread). False, with the
// flags left alone, when they cannot be read.
[[nodiscard]] bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target,
                                                 SCNetworkReachabilityFlags* flags);
// Replaces the callback (null removes it). False for a null target.
bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback);
// Watches for changes in `runLoop` in `mode`. One scheduling at a time: false
// when already scheduled (run loop or queue), or for null arguments.
bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target,
                                              const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
// False when not scheduled there.
bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
// Watches for changes and calls back on `queue`; a null queue stops that.
bool SCNetworkReachabilitySetDispatchQueue(const SCNetworkReachabilityRef& target, const dispatch_queue_t& queue);

// Test switches. Flags set here are what the target reads from then on (until
// cleared with nullopt) and go through the same change path: a scheduled
// target reports them when they differ from the last report. An unreadable
// target's GetFlags fails and its changes report nothing.
void SCNetworkReachabilitySetTestFlags(const SCNetworkReachabilityRef& target,
                                       std::optional<SCNetworkReachabilityFlags> flags);
void SCNetworkReachabilitySetTestUnreadable(const SCNetworkReachabilityRef& target, bool unreadable);
// Watches by polling instead of netlink (set before scheduling).
void SCNetworkReachabilitySetTestPolling(const SCNetworkReachabilityRef& target, bool polling);
// How the scheduled target watches: "netlink", "polling" or "" when not scheduled.
std::string SCNetworkReachabilityWatchMethod(const SCNetworkReachabilityRef& target);
