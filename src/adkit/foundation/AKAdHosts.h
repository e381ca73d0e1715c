#pragma once
// The ad library's servers, each an origin (AKAdOrigin.h):
//
// | server            | environment                        | Info.json key            | bare host means |
// |-------------------|------------------------------------|--------------------------|-----------------|
// | static content    | QUORVANE_ADKIT_STATIC_HOST         | "AKStaticContentHost"    | https           |
// | static media      | QUORVANE_ADKIT_STATIC_MEDIA_HOST   | "AKStaticMediaHost"      | http            |
// | publisher-managed | QUORVANE_ADKIT_PMA_HOST            | "AKPublisherManagedHost" | https           |
// | reachability      | QUORVANE_ADKIT_REACHABILITY_HOST   | "AKReachabilityHost"     | https           |
// | mediation reports | QUORVANE_ADKIT_MEDIATION_HOST      | "AKMediationReportHost"  | http            |
// | exchange creative | QUORVANE_ADKIT_EXCHANGE_HOST       | "AKExchangeCreativeHost" | http            |
//
// The static-content server holds the hidden core page and the toolbar script;
// the static-media server the rich-media scripts and default scripts; the
// publisher-managed server answers ad requests of its own formats (matched by
// host); the reachability host is the one whose reachability is watched; the
// mediation reporting server receives the default click, impression and no-fill
// pings; the exchange creative origin is the base under which the HTML adapter
// loads its creatives.
//
// Each value is "scheme://host[:port]" or a bare "host[:port]". The first of
// these that makes an origin wins: a ScopedOrigin in force, the environment,
// the main bundle's Info.json, the built-in host. Read at each call; any thread.
#include <optional>

#include "adkit/foundation/AKAdOrigin.h"

enum class AKAdHost { staticContent, staticMedia, publisherManaged, reachability, mediationReports, exchangeCreative };

namespace AKAdHosts {

AKAdOrigin origin(AKAdHost server);
AKAdOrigin staticContentOrigin();
AKAdOrigin staticMediaOrigin();
AKAdOrigin publisherManagedOrigin();
AKAdOrigin reachabilityOrigin();
AKAdOrigin mediationReportsOrigin();
AKAdOrigin exchangeCreativeOrigin();

// Points one server at another origin while it lives (tests point the library
// at their loopback peers this way, without touching the process environment,
// which other threads read). Scopes nest; each restores what was in force
// when it was made, so they end in the reverse order of their making.
class ScopedOrigin {
public:
    ScopedOrigin(AKAdHost server, AKAdOrigin origin);
    ~ScopedOrigin();
    ScopedOrigin(const ScopedOrigin&) = delete;
    ScopedOrigin& operator=(const ScopedOrigin&) = delete;

private:
    AKAdHost server_;
    std::optional<AKAdOrigin> previous_;
};

}  // namespace AKAdHosts
