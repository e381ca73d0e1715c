// Protects the click tracker collection: pings asked for on any thread start
// on the main thread and reach their server once each, the set of running
// trackers empties as they finish, and only URLs start trackers.
#include <map>
#include <thread>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/rendering/AKClickTrackerCollection.h"
#include "support/LoopbackHttpServer.h"

TEST_CASE("click trackers: 8 threads x 200 pings hop to the main thread, reach the server once each, and leave the set") {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return testsupport::Reply::text("ok"); });
    auto collection = std::make_shared<AKClickTrackerCollection>();

    // Only URLs start trackers: a URL object and a URL string, not a number, an empty text or nil.
    collection->trackURL(nullptr);
    collection->trackURLs(Value::array({Value(NSURL::URLWithString(server.url("/list/object"))), Value(server.url("/list/text")),
                                        Value(7), Value("")}));
    CHECK(collection->trackers().size() == 2);
    adkittest::waitFor(server.receivedRequests(2), "the two listed pings");
    adkittest::waitFor([&] { return collection->trackers().empty(); }, "the listed trackers to leave the set");

    constexpr int kThreads = 8, kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                collection->trackURL(NSURL::URLWithString(server.url("/ping/" + std::to_string(t) + "/" + std::to_string(i))), false);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    adkittest::waitFor(server.receivedRequests(2 + kThreads * kPerThread), "every ping at the server", 60);
    adkittest::waitFor([&] { return collection->trackers().empty(); }, "every tracker to leave the set", 60);

    std::map<std::string, int> seen;
    for (const auto& request : server.requests()) ++seen[request.path()];
    CHECK(seen.size() == 2 + kThreads * kPerThread);
    for (const auto& [path, count] : seen) {
        INFO("path: " << path);
        CHECK(count == 1);
    }
    CHECK(seen.count("/ping/7/199") == 1);
}
