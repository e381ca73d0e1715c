#pragma once
// Points every server of the ad library at one origin for a test's length
// (a closed loopback port by default, so ad loads fail at once and nothing
// leaves the machine), and puts the previous hosts back afterwards.
#include <array>
#include <optional>
#include <string>

#include "adkit/foundation/AKAdHosts.h"

namespace screentest {

class AdHostsScope {
public:
    explicit AdHostsScope(const std::string& origin = "http://127.0.0.1:9") {
        const auto parsed = AKAdOrigin::parse(origin, "http");
        for (std::size_t i = 0; i < kServers.size(); ++i) scopes_[i].emplace(kServers[i], *parsed);
    }
    ~AdHostsScope() {
        for (std::size_t i = kServers.size(); i-- > 0;) scopes_[i].reset();  // reverse order of making
    }
    AdHostsScope(const AdHostsScope&) = delete;
    AdHostsScope& operator=(const AdHostsScope&) = delete;

private:
    static constexpr std::array<AKAdHost, 6> kServers{AKAdHost::staticContent,     AKAdHost::staticMedia,
                                                      AKAdHost::publisherManaged,  AKAdHost::reachability,
                                                      AKAdHost::mediationReports, AKAdHost::exchangeCreative};
    std::array<std::optional<AKAdHosts::ScopedOrigin>, 6> scopes_;
};

}  // namespace screentest
