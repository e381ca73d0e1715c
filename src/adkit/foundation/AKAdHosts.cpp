#include "adkit/foundation/AKAdHosts.h"

#include <cstdlib>

#include "platform/foundation/NSBundle.h"

namespace {

std::string host(const char* environment, const char* infoKey, const char* fallback) {
    if (const char* value = std::getenv(environment); value && *value) return value;
    const Value info = NSBundle::mainBundle()->objectForInfoDictionaryKey(infoKey);
    if (const std::string* s = info.string(); s && !s->empty()) return *s;
    return fallback;
}

}  // namespace

namespace AKAdHosts {

std::string staticContentHost() {
    return host("QUORVANE_ADKIT_STATIC_HOST", "AKStaticContentHost", "static.adkit.quorvane.net");
}

std::string publisherManagedHost() {
    return host("QUORVANE_ADKIT_PMA_HOST", "AKPublisherManagedHost", "pma.adkit.quorvane.net");
}

std::string reachabilityHost() {
    return host("QUORVANE_ADKIT_REACHABILITY_HOST", "AKReachabilityHost", "reach.adkit.quorvane.net");
}

}  // namespace AKAdHosts
