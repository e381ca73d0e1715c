#pragma once
// The ad library's hosts: the static-content host (the hidden core page), the
// publisher-managed ad server and the host whose reachability is watched.
// Each comes from the main bundle's Info.json ("AKStaticContentHost",
// "AKPublisherManagedHost", "AKReachabilityHost") and can be overridden by the
// environment (QUORVANE_ADKIT_STATIC_HOST, QUORVANE_ADKIT_PMA_HOST,
// QUORVANE_ADKIT_REACHABILITY_HOST). Read at each call; any thread.
#include <string>

namespace AKAdHosts {
std::string staticContentHost();
std::string publisherManagedHost();
std::string reachabilityHost();
}  // namespace AKAdHosts
