// Protects a slot against hostile and odd mediation responses: each must end
// in a clear failure, a no fill with honest exit codes, or an ad, and never in
// a slot left waiting, a crash or a ping with made-up values.
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>

#include "AdkitTestSupport.h"
#include "MediationTestClasses.h"
#include "SlotTestOwner.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/mediation/AKMToAKGlue.h"
#include "adkit/requests/AKAdSlot.h"

using slottest::SlotFixture;

namespace {

std::string entries(int count, const std::string& adapter) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += (i ? "," : "") + std::string(R"({"id": "n)") + std::to_string(i) + R"(", "adapters": [")" + adapter + "\"]}";
    return list;
}

std::string repeated(int count, const std::string& item) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? "," : "") + item;
    return list;
}

// The query value of `name` in the last tracked URL whose path is `path`.
std::string pinged(const std::vector<std::string>& urls, const std::string& path, const std::string& name) {
    for (auto it = urls.rbegin(); it != urls.rend(); ++it) {
        const auto url = NSURL::URLWithString(*it);
        if (!url || url->path() != path) continue;
        const Value query = ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url, false);
        return query[name].isNull() ? "(absent)" : query[name].stringValue();
    }
    return "(no ping)";
}

}  // namespace

TEST_CASE("hostile mediation responses: each ends clearly, with honest exit codes and pings") {
    struct Row {
        const char* name;
        std::string body;
        const char* ends;                  // the owner's last call once the load ended
        std::string path = "/nofill";      // the ping that tells the exit codes
        std::string exitCodes = "(no ping)";
        double advance = 0;                // virtual seconds before the end
        std::function<void(AKAdSlot&, const std::vector<std::string>&)> check = nullptr;
        int depth = 0;
    };
    const std::string scriptedBanner = R"({"id": "ok", "adapters": ["QVScriptedAdapter"], "data": {"fill": "banner"}})";
    const std::string never = R"({"id": "never", "adapters": ["QVScriptedAdapter"], "data": {"fill": "never"}})";
    const Row rows[] = {
        {"not JSON", "<p>no</p>", "failed 7"},
        {"networks not a list", R"({"ad_networks": {"id": "x"}})", "failed 7"},
        {"an entry without an id", R"({"ad_networks": [{"adapters": ["QVScriptedAdapter"]}]})", "failed 7"},
        {"numbers as id, qdata and allocation id; an object as qdata",
         R"({"qdata": {"@gw_sessid@": 1}, "settings": {"imp_urls": ["http://t.example/i?a=@gw_allocid@&n=@gw_adnetid@&q=@gw_qdata@"]},
             "ad_networks": [{"id": 7, "allocation_id": 12, "adapters": ["QVScriptedAdapter"], "data": {"fill": "banner"}}]})",
         "finished", "/i", "(absent)", 0,
         [](AKAdSlot&, const std::vector<std::string>& urls) {
             CHECK(pinged(urls, "/i", "a") == "12");
             CHECK(pinged(urls, "/i", "n") == "7");
             CHECK(pinged(urls, "/i", "q") == "");
         }},
        {"adapter names that are not text are passed over",
         R"({"ad_networks": [{"id": "a", "adapters": [5, {"x": 1}, null, "QVScriptedAdapter"], "data": {"fill": "banner"}}]})",
         "finished", "/imp", "0"},
        {"a network time-out of 0 keeps 10 s", R"({"settings": {"ad_network_timeout_millis": 0}, "ad_networks": [)" +
                                                    never + "," + scriptedBanner + "]}",
         "finished", "/imp", "3,0", 10},
        {"a negative network time-out keeps 10 s", R"({"settings": {"ad_network_timeout_millis": -5}, "ad_networks": [)" +
                                                       never + "]}",
         "failed 9", "/nofill", "3", 10},
        {"a refresh of 30000 s or more is none", R"({"settings": {"refresh": 30000}, "ad_networks": []})", "failed 9",
         "/nofill", "@gw_aec@", 0, [](AKAdSlot& slot, const std::vector<std::string>&) { CHECK(slot.reloadInterval() == 0); }},
        {"a refresh below it is kept", R"({"settings": {"refresh": 45}, "ad_networks": []})", "failed 9", "/nofill",
         "@gw_aec@", 0, [](AKAdSlot& slot, const std::vector<std::string>&) { CHECK(slot.reloadInterval() == 45); }},
        {"an adapter of the old interface is no adapter",
         R"({"ad_networks": [{"id": "old", "adapters": ["QVOldInterfaceAdapter"]}]})", "failed 9", "/nofill", "4"},
        {"a custom-event class name that is not text",
         R"({"ad_networks": [{"id": "c", "adapters": ["AKMAdapterCustomEvents"], "data": {"class_name": {"x": 1}}}]})",
         "failed 9", "/nofill", "2"},
        {"10,000 entries without adapters", R"({"ad_networks": [)" + entries(10000, "NoSuchAdapter") + "]}", "failed 9",
         "/nofill", repeated(10000, "4")},
        {"the library's own network nested two deep is passed over",
         R"({"ad_networks": [{"id": "own", "adapters": ["AKMAdapterAdKitAdNetAds"], "data": {"pubid": "nested"}}]})",
         "failed 9", "/nofill", "4", 0, nullptr, 2},
    };
    for (const auto& row : rows) {
        INFO("row: " << row.name);
        adkittest::QuietLog quiet;
        adkittest::VirtualTime time;
        SlotFixture f;
        f.slot->setMediationNestingDepth(row.depth);
        Value headers{{"Content-Type", "application/json"}, {"X-Adnet-Mediation", "1"}};
        f.slot->loadRequest(SlotFixture::adRequest(Value{{"ad_html", row.body}}, headers));
        adkittest::drainMainQueue();
        if (row.advance > 0) {
            Clock::advance(row.advance - 0.001);
            adkittest::drainMainQueue();
            CHECK(f.owner->last().rfind("failed", 0) != 0);
            Clock::advance(0.001);
        }
        adkittest::waitFor([&] { return f.owner->last() == "finished" || f.owner->last().starts_with("failed"); },
                           std::string("the load of '") + row.name + "' to end");
        CHECK(f.owner->last() == row.ends);
        CHECK(pinged(f.trackers->tracked, row.path, "aec") == row.exitCodes);
        if (row.check) row.check(*f.slot, f.trackers->tracked);
        f.slot->cancelPendingAndFutureActions();
    }
}
