#pragma once
// The kernel's side of reachability: interfaces (getifaddrs), default routes
// (/proc/net/route, /proc/net/ipv6_route), route lookups (a connected datagram
// socket's source address), wwan interfaces (sysfs) and the NETLINK_ROUTE
// socket that announces changes. Internal to the URL-loading folder.
#include <sys/socket.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/net/SCNetworkReachability.h"

namespace reachability {

// The flags for one address; nullopt when they cannot be read.
std::optional<SCNetworkReachabilityFlags> flagsForAddress(const sockaddr* address, socklen_t length);
// The addresses of a name (empty when it does not resolve). Blocks.
std::vector<sockaddr_storage> resolve(const std::string& name);
// A non-blocking NETLINK_ROUTE socket joined to the link, address and route
// groups; -1 when the system gives none.
int openChangeSocket();
// Reads every pending message (their content does not matter: any is a change).
void drainChangeSocket(int fd);

}  // namespace reachability
