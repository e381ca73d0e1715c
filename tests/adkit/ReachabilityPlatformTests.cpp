// The ad library's reachability connected to the platform's: a host monitor
// reports the platform's flags (set through its test switch) on its queue and
// stops reporting when stopped; the default route is read from the platform.
#include <netinet/in.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKReachability.h"
#include "platform/net/SCNetworkReachability.h"

TEST_CASE("the platform's reachability behind the ad library's seam") {
    AKReachability::connectPlatform();
    struct Restore {
        ~Restore() {
            AKReachability::setFactory(nullptr);
            AKReachability::setDefaultRouteReader(nullptr);
        }
    } restore;

    auto monitor = AKReachability::monitorForHost("localhost");
    REQUIRE(monitor);
    CHECK(AKReachability::monitorForHost("") == nullptr);
    auto queue = dispatch_queue_create("com.adkit.tests.reachability");
    std::mutex mutex;
    std::vector<std::uint32_t> reports;
    REQUIRE(monitor->start(queue, [&](std::uint32_t flags) {
        std::lock_guard lock(mutex);
        reports.push_back(flags);
    }));
    auto count = [&] {
        std::lock_guard lock(mutex);
        return reports.size();
    };
    adkittest::waitFor([&] { return count() == 1; }, "the first resolution of localhost");
    {
        std::lock_guard lock(mutex);
        CHECK((reports[0] & kAKReachabilityFlagsReachable) != 0);
    }
    monitor->stop();
    CHECK(monitor->start(queue, [&](std::uint32_t flags) {
        std::lock_guard lock(mutex);
        reports.push_back(flags);
    }));
    adkittest::waitFor([&] { return count() == 2; }, "the report after a restart");
    monitor.reset();  // stops and lets the platform target go

    // The default route is what the platform reads for 0.0.0.0.
    sockaddr_in any{};
    any.sin_family = AF_INET;
    auto target = SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&any));
    SCNetworkReachabilityFlags flags = 0;
    const bool readable = SCNetworkReachabilityGetFlags(target, &flags);
    const auto read = AKReachability::defaultRouteFlags();
    CHECK(read.has_value() == readable);
    if (readable && read) CHECK(*read == flags);
}
