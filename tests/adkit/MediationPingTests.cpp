// Protects the mediation ping templates: placeholder filling and escaping, the
// default templates on the mediation reporting origin, and pinging a list of
// templates (defaults, sequence numbers, skipped elements) through the real
// ad server's request log.
#include <doctest/doctest.h>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKSession.h"
#include "adkit/mediation/AKMUtilities.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "adkit/requests/AKRequest.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;
using AKMUtilities::PingReport;
using AKMUtilities::PingValues;

namespace {

// The real collection, also keeping the URLs it was handed.
struct RecordingCollection : AKClickTrackerCollection {
    std::vector<std::string> urls;
    void trackURL(const NSURLPtr& url, bool cacheEnabled) override {
        urls.push_back(url->absoluteString());
        AKClickTrackerCollection::trackURL(url, cacheEnabled);
    }
};

std::string filled(const std::string& urlTemplate, const PingValues& values) {
    auto url = AKMUtilities::mediationURLFrom(urlTemplate, values);
    return url ? url->absoluteString() : "<none>";
}

}  // namespace

TEST_CASE("mediation templates: placeholders, escaped at signs, literal values and absent values") {
    PingValues values{"unit", true, "alloc", "net", "Q$1$0", "77", "5", "2,1", "40,12"};
    const std::pair<const char*, std::string> rows[] = {
        {"x@gw_devid@y", "xy"},
        {"http://h/p?q=@@gw_qdata@", "http://h/p?q=@@gw_qdata@"},
        {"http://h/p?q=@@@gw_qdata@", "http://h/p?q=@@Q$1$0"},
        {"http://h/p?q=@gw_qdata@@x", "http://h/p?q=Q$1$0@x"},
        {"http://h/p?l=@gw_adlocid@&r=@gw_adnetrefresh@&n=@gw_adnetid@&a=@gw_allocid@&s=@gw_sessid@&seq=@gw_seqnum@"
         "&aec=@gw_aec@&adt=@gw_adt@&v=@gw_sdkver@&u=@gw_unknown@",
         "http://h/p?l=unit&r=1&n=net&a=alloc&s=77&seq=5&aec=2,1&adt=40,12&v=" + AKRequest::sdkVersion() +
             "&u=@gw_unknown@"},
        {"@gw_devid@", "<none>"},
        {"not a url@gw_devid@", "<none>"},
    };
    for (const auto& [urlTemplate, expected] : rows) {
        CAPTURE(urlTemplate);
        CHECK(filled(urlTemplate, values) == expected);
    }
    // An absent value leaves its placeholder; refresh NO gives "0".
    CHECK(filled("http://h/p?n=@gw_adnetid@&r=@gw_adnetrefresh@", PingValues{}) == "http://h/p?n=@gw_adnetid@&r=0");
}

TEST_CASE("mediation pings reach the reporting server: defaults, sequence numbers, and lists that send nothing") {
    adkittest::VirtualTime clock;
    testtools::AdServerProcess server;
    REQUIRE(server.started());
    AKAdHosts::ScopedOrigin reports(AKAdHost::mediationReports, *AKAdOrigin::parse(server.origin("http"), "http"));
    auto collection = std::make_shared<RecordingCollection>();
    AKClickTrackerCollection::setSharedInstance(collection);
    CHECK(AKMUtilities::defaultNoFillTemplate().rfind(server.origin("http") + "/nofill?", 0) == 0);

    // Lists that send nothing: present but empty (even with a default), or no default at all.
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value::array(), AKMUtilities::defaultClickTemplate()});
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value(), std::nullopt});
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value::array({"@gw_devid@", 5})});
    CHECK(collection->urls.empty());

    // The default impression template with every value, then two listed no-fill templates.
    AKMUtilities::trackMediationURLsFromTemplates(PingReport{Value(), AKMUtilities::defaultImpressionTemplate(), "net-1",
                                                             "alloc-1", std::nullopt, "unit-1", true, "40,12", "2,1"});
    const std::string listed = server.origin("http") + "/nofill?case=@gw_adlocid@&seq=@gw_seqnum@&n=@gw_adnetid@";
    AKMUtilities::trackMediationURLsFromTemplates(
        PingReport{Value::array({listed, Value(), listed}), AKMUtilities::defaultNoFillTemplate(), std::nullopt,
                   std::nullopt, "q", "list", false, std::nullopt, std::nullopt});
    CHECK(collection->urls.size() == 3);

    std::vector<nlohmann::json> imp;
    std::vector<nlohmann::json> nofill;
    waitFor(
        [&] {
            imp.clear();
            nofill.clear();
            for (const auto& entry : server.log()) {
                if (entry["path"] == "/imp") imp.push_back(entry["query"]);
                if (entry["path"] == "/nofill") nofill.push_back(entry["query"]);
            }
            return imp.size() == 1 && nofill.size() == 2;
        },
        "one impression and two no-fill pings at the reporting server");
    const auto session = AKApplication::sharedApplication()->currentSession();
    const nlohmann::json expected = {{"ad_loc", "unit-1"}, {"qdata", ""},   {"ad_network_id", "net-1"},
                                     {"js", AKRequest::sdkVersion()},       {"nr", "1"},
                                     {"adt", "40,12"},     {"aec", "2,1"},
                                     {"session_id", session ? session->sessionIDAsString() : "@gw_sessid@"}};
    for (const auto& [key, value] : expected.items()) {
        CAPTURE(key);
        CHECK(imp[0][key] == value);
    }
    CHECK_FALSE(imp[0]["seq_num"].get<std::string>().empty());
    std::vector<long> sequence;
    for (const auto& query : nofill) {
        CHECK(query["case"] == "list");
        CHECK(query["n"] == "@gw_adnetid@");  // no network ID in a no-fill report
        sequence.push_back(std::stol(query["seq"].get<std::string>()));
    }
    std::sort(sequence.begin(), sequence.end());
    CHECK(sequence[1] == sequence[0] + 1);
    CHECK(sequence[0] == std::stol(imp[0]["seq_num"].get<std::string>()) + 1);
    AKClickTrackerCollection::setSharedInstance(nullptr);
}
