#pragma once
// Where the ad library gets reachability from: a monitor per host that reports
// the platform's 32-bit flags on a dispatch queue, and a synchronous read of
// the flags of the default route (0.0.0.0).
//
// The source is replaceable (setFactory / setDefaultRouteReader).
// connectPlatform() installs the platform's reachability (SCNetworkReachability):
// a monitor per host name, watched on the monitor's queue, reporting the
// name's first resolution and then every change; the default route's flags
// read from the platform (nullopt when they cannot be read). The application
// connects it at start-up. Without it the built-in source is a process-wide
// simulated network: setSimulatedFlags changes the flags every monitor
// reports (each running monitor gets the new flags on its queue) and the
// default route's flags. Reachable (2) at start. Any thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Dispatch.h"

inline constexpr std::uint32_t kAKReachabilityFlagsReachable = 1u << 1;
inline constexpr std::uint32_t kAKReachabilityFlagsIsWWAN = 1u << 18;

class AKReachabilityMonitor {
public:
    virtual ~AKReachabilityMonitor() = default;
    // Starts reporting flags on the queue (the current flags first); false when it cannot.
    [[nodiscard]] virtual bool start(const dispatch_queue_t& queue, std::function<void(std::uint32_t)> callback) = 0;
    virtual void stop() = 0;
};

namespace AKReachability {
using Factory = std::function<std::unique_ptr<AKReachabilityMonitor>(const std::string& host)>;
using DefaultRouteReader = std::function<std::optional<std::uint32_t>()>;

// A monitor for the host, or nullptr when none can be made.
std::unique_ptr<AKReachabilityMonitor> monitorForHost(const std::string& host);
// The default route's flags; nullopt when they cannot be read.
std::optional<std::uint32_t> defaultRouteFlags();

void setFactory(Factory factory);                 // nullptr: the simulated network
void setDefaultRouteReader(DefaultRouteReader reader);  // nullptr: the simulated network
void setSimulatedFlags(std::uint32_t flags);
// Installs the platform's reachability as factory and default-route reader.
void connectPlatform();
}  // namespace AKReachability
