#include "adkit/foundation/AKAdHosts.h"

#include <array>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

constexpr std::size_t kServerCount = static_cast<std::size_t>(AKAdHost::exchangeCreative) + 1;

struct Server {
    const char* environment;
    const char* infoKey;
    const char* builtIn;
    const char* bareScheme;
};

const Server& serverOf(AKAdHost server) {
    static const std::array<Server, kServerCount> servers{{
        {"QUORVANE_ADKIT_STATIC_HOST", "AKStaticContentHost", "static.adkit.quorvane.net", "https"},
        {"QUORVANE_ADKIT_STATIC_MEDIA_HOST", "AKStaticMediaHost", "media.adkit.quorvane.net", "http"},
        {"QUORVANE_ADKIT_PMA_HOST", "AKPublisherManagedHost", "pma.adkit.quorvane.net", "https"},
        {"QUORVANE_ADKIT_REACHABILITY_HOST", "AKReachabilityHost", "reach.adkit.quorvane.net", "https"},
        {"QUORVANE_ADKIT_MEDIATION_HOST", "AKMediationReportHost", "mediation.adkit.quorvane.net", "http"},
        {"QUORVANE_ADKIT_EXCHANGE_HOST", "AKExchangeCreativeHost", "creative.exchange.adkit.quorvane.net", "http"},
    }};
    return servers.at(static_cast<std::size_t>(server));
}

struct Overrides {
    std::mutex mutex;
    std::array<std::optional<AKAdOrigin>, kServerCount> origins;
};

Overrides& overrides() {
    static ProcessLifetime<Overrides> shared;
    return *shared;
}

std::optional<AKAdOrigin> overrideOf(AKAdHost server) {
    std::lock_guard<std::mutex> lock(overrides().mutex);
    return overrides().origins.at(static_cast<std::size_t>(server));
}

// Installs the origin (or none) and answers what was in force.
std::optional<AKAdOrigin> exchangeOverride(AKAdHost server, std::optional<AKAdOrigin> origin) {
    std::lock_guard<std::mutex> lock(overrides().mutex);
    std::swap(overrides().origins.at(static_cast<std::size_t>(server)), origin);
    return origin;
}

}  // namespace

namespace AKAdHosts {

AKAdOrigin origin(AKAdHost server) {
    if (auto scoped = overrideOf(server)) return *scoped;
    const Server& s = serverOf(server);
    // A value that makes no origin is passed over for the next source.
    if (const char* value = std::getenv(s.environment); value && *value) {
        if (auto parsed = AKAdOrigin::parse(value, s.bareScheme)) return *parsed;
    }
    const Value info = NSBundle::mainBundle()->objectForInfoDictionaryKey(s.infoKey);
    if (const std::string* text = info.string(); text && !text->empty()) {
        if (auto parsed = AKAdOrigin::parse(*text, s.bareScheme)) return *parsed;
    }
    return AKAdOrigin{s.bareScheme, s.builtIn, std::nullopt};
}

AKAdOrigin staticContentOrigin() { return origin(AKAdHost::staticContent); }
AKAdOrigin staticMediaOrigin() { return origin(AKAdHost::staticMedia); }
AKAdOrigin publisherManagedOrigin() { return origin(AKAdHost::publisherManaged); }
AKAdOrigin reachabilityOrigin() { return origin(AKAdHost::reachability); }
AKAdOrigin mediationReportsOrigin() { return origin(AKAdHost::mediationReports); }
AKAdOrigin exchangeCreativeOrigin() { return origin(AKAdHost::exchangeCreative); }

ScopedOrigin::ScopedOrigin(AKAdHost server, AKAdOrigin origin)
    : server_(server), previous_(exchangeOverride(server, std::move(origin))) {}

ScopedOrigin::~ScopedOrigin() { exchangeOverride(server_, std::move(previous_)); }

}  // namespace AKAdHosts
