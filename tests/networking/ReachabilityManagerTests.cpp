// The reachability manager: the flags-to-status table, changes reaching the
// status, its observers, the callback and the notification on the main thread,
// unreadable flags as unknown, and first readings that are out of date dropped.
#include <doctest/doctest.h>

#include <netinet/in.h>

#include <mutex>
#include <vector>

#include "networking/NLHTTPRequestOperationManager.h"
#include "networking/NLNetworkReachabilityManager.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

std::shared_ptr<NLNetworkReachabilityManager> loopbackManager() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return NLNetworkReachabilityManager::managerForAddress(reinterpret_cast<const sockaddr*>(&address));
}

// Records what a manager tells, and on which thread.
struct Recorder {
    std::vector<NLNetworkReachabilityStatus> callbacks;
    std::vector<Value> notifications;
    std::vector<NLNetworkReachabilityStatus> wifiObserved;  // the status when "reachableViaWiFi" was told
    bool offMain = false;
    std::shared_ptr<NSObject> registration;
    ObservationToken token;

    explicit Recorder(const std::shared_ptr<NLNetworkReachabilityManager>& manager) {
        manager->setReachabilityStatusChangeBlock([this](NLNetworkReachabilityStatus status) {
            offMain |= !NSThread::isMainThread();
            callbacks.push_back(status);
        });
        registration = NSNotificationCenter::defaultCenter()->addObserverForName(
            NLNetworkingReachabilityDidChangeNotification, nullptr, nullptr, [this](const NSNotification& note) {
                offMain |= !NSThread::isMainThread();
                CHECK(note.object() == nullptr);
                notifications.push_back(note.userInfo());
            });
        std::weak_ptr<NLNetworkReachabilityManager> weak = manager;
        token = manager->observeValueForKey("reachableViaWiFi", [this, weak](const std::string&) {
            if (auto m = weak.lock()) wifiObserved.push_back(m->networkReachabilityStatus());
        });
    }
    ~Recorder() { NSNotificationCenter::defaultCenter()->removeObserver(registration.get()); }
};

// Holds back the first readings of one manager until the test releases them
// (those of other managers go on as usual).
struct DeliveryHold {
    std::mutex mutex;
    const NLNetworkReachabilityManager* manager = nullptr;
    std::vector<std::function<void()>> held;
    DeliveryHold() {
        NLNetworkReachabilityManager::setFirstReadingDeliveryForTesting(
            [this](const NLNetworkReachabilityManager* from, std::function<void()> apply) {
                std::lock_guard lock(mutex);
                if (from == manager) held.push_back(std::move(apply));
                else dispatch_async(dispatch_get_main_queue(), std::move(apply));
            });
    }
    void hold(const std::shared_ptr<NLNetworkReachabilityManager>& m) {
        std::lock_guard lock(mutex);
        manager = m.get();
    }
    ~DeliveryHold() { NLNetworkReachabilityManager::setFirstReadingDeliveryForTesting(nullptr); }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return held.size();
    }
    void release(std::size_t index) {
        std::function<void()> apply;
        {
            std::lock_guard lock(mutex);
            apply = held.at(index);
        }
        apply();
    }
};

}  // namespace

TEST_CASE("flags to status: the table through the function and through injected changes on the main thread") {
    struct Row {
        SCNetworkReachabilityFlags flags;
        NLNetworkReachabilityStatus status;
        const char* text;
    };
    const std::vector<Row> table = {
        {0x2, 2, "Reachable via WiFi"},
        {0x2 | 0x40000, 1, "Reachable via WWAN"},
        {0x2 | 0x4, 0, "Not Reachable"},
        {0x2 | 0x4 | 0x20, 2, "Reachable via WiFi"},
        {0x2 | 0x4 | 0x20 | 0x10, 0, "Not Reachable"},
        {0x2 | 0x4 | 0x8, 2, "Reachable via WiFi"},
        {0x0, 0, "Not Reachable"},
        {0x40000, 0, "Not Reachable"},
    };
    auto manager = loopbackManager();
    REQUIRE(manager);
    CHECK(manager->networkReachabilityAssociation() == NLNetworkReachabilityForAddress);
    CHECK(manager->networkReachabilityStatus() == -1);
    CHECK(manager->localizedNetworkReachabilityStatusString() == "Unknown");
    CHECK(NLStringFromNetworkReachabilityStatus(7) == "Unknown");

    Recorder recorder(manager);
    SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2 | 0x4 | 0x20 | 0x10);  // read first: 0
    manager->startMonitoring();
    REQUIRE_MESSAGE(runMainUntil([&] { return recorder.notifications.size() == 1 && recorder.callbacks.size() == 1; }),
                    "waited for the first reading");
    CHECK(manager->networkReachabilityStatus() == 0);

    for (const Row& row : table) {
        CAPTURE(row.flags);
        CHECK(NLNetworkReachabilityStatusForFlags(row.flags) == row.status);
        const std::size_t before = recorder.callbacks.size();
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), row.flags);
        REQUIRE_MESSAGE(runMainUntil([&] { return recorder.callbacks.size() == before + 1; }),
                        "waited for the change callback");
        // The notification follows the callback on the main queue.
        REQUIRE_MESSAGE(runMainUntil([&] { return recorder.notifications.size() == before + 1; }),
                        "waited for the change notification");
        CHECK(manager->networkReachabilityStatus() == row.status);
        CHECK(recorder.callbacks.back() == row.status);
        CHECK(recorder.notifications.back()[NLNetworkingReachabilityNotificationStatusItem] == Value(row.status));
        CHECK(recorder.notifications.back().count() == 1);
        CHECK(manager->localizedNetworkReachabilityStatusString() == row.text);
        CHECK(manager->isReachable() == (row.status > 0));
        CHECK(manager->isReachableViaWWAN() == (row.status == 1));
        CHECK(manager->isReachableViaWiFi() == (row.status == 2));
    }
    CHECK_FALSE(recorder.offMain);
    // The WiFi observers were told on every change, among them 1 -> 2.
    CHECK(recorder.wifiObserved.size() == table.size() + 1);
    CHECK(recorder.wifiObserved[2] == 1);
    CHECK(recorder.wifiObserved[3] == 0);
    CHECK(recorder.wifiObserved[4] == 2);

    // Starting twice leaves one scheduling; stopping ends the reports.
    manager->startMonitoring();
    manager->startMonitoring();
    CHECK(SCNetworkReachabilityWatchMethod(manager->networkReachability()) != "");
    manager->stopMonitoring();
    CHECK(SCNetworkReachabilityWatchMethod(manager->networkReachability()) == "");
}

TEST_CASE("first readings: unreadable flags give unknown, a stale or orphaned reading is dropped") {
    DeliveryHold hold;

    SUBCASE("unreadable flags are unknown, not a status from flags never read") {
        auto manager = loopbackManager();
        hold.hold(manager);
        Recorder recorder(manager);
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2);
        manager->startMonitoring();
        REQUIRE(runMainUntil([&] { return hold.count() == 1; }));
        hold.release(0);
        CHECK(manager->networkReachabilityStatus() == 2);
        SCNetworkReachabilitySetTestUnreadable(manager->networkReachability(), true);
        manager->startMonitoring();
        REQUIRE_MESSAGE(runMainUntil([&] { return hold.count() == 2; }), "waited for the second first reading");
        hold.release(1);
        CHECK(manager->networkReachabilityStatus() == -1);
        CHECK(recorder.callbacks == std::vector<NLNetworkReachabilityStatus>{2, -1});
        CHECK(recorder.notifications.back()[NLNetworkingReachabilityNotificationStatusItem] == Value(-1));
    }

    SUBCASE("a reading taken before a reported change arrives after it and loses") {
        auto manager = loopbackManager();
        hold.hold(manager);
        Recorder recorder(manager);
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2);
        manager->startMonitoring();
        REQUIRE_MESSAGE(runMainUntil([&] { return hold.count() == 1; }), "waited for the first reading (WiFi)");
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2 | 0x40000);
        REQUIRE_MESSAGE(runMainUntil([&] { return manager->networkReachabilityStatus() == 1; }),
                        "waited for the reported change to WWAN");
        hold.release(0);
        CHECK(manager->networkReachabilityStatus() == 1);
        CHECK(recorder.callbacks == std::vector<NLNetworkReachabilityStatus>{1});
    }

    SUBCASE("a reading of a stopped or restarted monitoring is dropped") {
        auto manager = loopbackManager();
        hold.hold(manager);
        Recorder recorder(manager);
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2);
        manager->startMonitoring();
        REQUIRE(runMainUntil([&] { return hold.count() == 1; }));
        manager->stopMonitoring();
        hold.release(0);
        CHECK(manager->networkReachabilityStatus() == -1);
        manager->startMonitoring();
        REQUIRE(runMainUntil([&] { return hold.count() == 2; }));
        SCNetworkReachabilitySetTestFlags(manager->networkReachability(), 0x2 | 0x40000);
        manager->startMonitoring();
        REQUIRE(runMainUntil([&] { return hold.count() == 3; }));
        hold.release(1);  // of the monitoring the restart ended
        CHECK(manager->networkReachabilityStatus() == -1);
        hold.release(2);
        CHECK(manager->networkReachabilityStatus() == 1);
        CHECK(recorder.callbacks == std::vector<NLNetworkReachabilityStatus>{1});
        manager.reset();
        hold.release(2);  // a manager that is gone hears nothing
    }
}

TEST_CASE("the HTTP managers hold the shared manager for 0.0.0.0, never started") {
    auto shared = NLNetworkReachabilityManager::sharedManager();
    REQUIRE(shared);
    CHECK(shared == NLNetworkReachabilityManager::sharedManager());
    CHECK(shared->networkReachabilityAssociation() == NLNetworkReachabilityForAddress);
    CHECK_FALSE(shared->isMonitoring());
    auto manager = NLHTTPRequestOperationManager::manager();
    CHECK(manager->reachabilityManager() == shared);

    auto named = NLNetworkReachabilityManager::managerForDomain("localhost");
    REQUIRE(named);
    CHECK(named->networkReachabilityAssociation() == NLNetworkReachabilityForName);
    CHECK(NLNetworkReachabilityManager::managerForDomain("") == nullptr);
    CHECK(NLNetworkReachabilityManager::managerForAddress(nullptr) == nullptr);
    // A name's first status comes from the platform's first resolution.
    SCNetworkReachabilitySetTestFlags(named->networkReachability(), 0x2);
    named->startMonitoring();
    REQUIRE_MESSAGE(runMainUntil([&] { return named->networkReachabilityStatus() == 2; }),
                    "waited for the name's first report");
}
