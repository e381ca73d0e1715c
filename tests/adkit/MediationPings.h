#pragma once
// The mediation pings as they leave and as the ad server logs them: the shared
// click tracker collection that also keeps every URL it was handed, and the
// server's log entries by path once it holds exactly the counts asked for.
// Main thread only.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "support/AdServerProcess.h"

namespace mediationpings {

// The real collection (the pings go out), also keeping the URLs it was handed, in order.
struct PingsSent : AKClickTrackerCollection {
    std::vector<std::string> urls;
    void trackURL(const NSURLPtr& url, bool cacheEnabled) override {
        urls.push_back(url->absoluteString());
        AKClickTrackerCollection::trackURL(url, cacheEnabled);
    }
    // The "nr" value of each URL of the path, in the order they left.
    std::vector<std::string> refreshFlags(const std::string& path) const {
        std::vector<std::string> flags;
        for (const auto& url : urls) {
            const auto parsed = NSURL::URLWithString(url);
            if (!parsed || parsed->path() != path) continue;
            const Value query = ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*parsed, false);
            flags.push_back(query["nr"].stringValue());
        }
        return flags;
    }
    std::size_t count(const std::string& path) const {
        return std::ranges::count_if(urls, [&](const std::string& url) {
            const auto parsed = NSURL::URLWithString(url);
            return parsed && parsed->path() == path;
        });
    }
};

// The server's log entries by path, once it holds exactly the counts asked for.
inline std::map<std::string, std::vector<nlohmann::json>> waitForPings(const testtools::AdServerProcess& server,
                                                                       const std::map<std::string, std::size_t>& counts,
                                                                       const std::string& what) {
    std::map<std::string, std::vector<nlohmann::json>> byPath;
    // Said only on a failure, with the log as last read.
    INFO("the server's log held: " << [&] {
        std::string seen;
        for (const auto& [path, entries] : byPath) seen += path + " x" + std::to_string(entries.size()) + " ";
        return seen;
    }());
    adkittest::waitFor([&] {
        byPath.clear();
        for (const auto& entry : server.log()) byPath[entry["path"].get<std::string>()].push_back(entry);
        return std::ranges::all_of(counts, [&](const auto& c) { return byPath[c.first].size() == c.second; });
    }, what);
    return byPath;
}

// The ad server as the mediation reporting server on virtual time: the reports
// origin points at its http port and every ping is kept as it leaves, until the end.
struct ReportingServer {
    adkittest::VirtualTime clock;
    testtools::AdServerProcess server;
    std::optional<AKAdHosts::ScopedOrigin> reports;
    std::shared_ptr<PingsSent> collection = std::make_shared<PingsSent>();

    ReportingServer() {
        REQUIRE(server.started());
        reports.emplace(AKAdHost::mediationReports, *AKAdOrigin::parse(server.origin("http"), "http"));
        AKClickTrackerCollection::setSharedInstance(collection);
    }
    ~ReportingServer() { AKClickTrackerCollection::setSharedInstance(nullptr); }
    ReportingServer(const ReportingServer&) = delete;
    ReportingServer& operator=(const ReportingServer&) = delete;
};

}  // namespace mediationpings
