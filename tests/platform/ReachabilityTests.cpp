// Reachability on the real kernel path: names and addresses read through
// route lookups, injected flags through the change path, and interfaces going
// up and down in a private network namespace seen by netlink and by polling.
#include <doctest/doctest.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/runloop/NSThread.h"
#include "platform/net/SCNetworkReachability.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

constexpr SCNetworkReachabilityFlags kReachable = kSCNetworkReachabilityFlagsReachable;

SCNetworkReachabilityRef anyAddress() {
    sockaddr_in any{};
    any.sin_family = AF_INET;
    return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&any));
}

SCNetworkReachabilityRef ipv4(const char* dotted) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    REQUIRE(inet_pton(AF_INET, dotted, &address.sin_addr) == 1);
    return SCNetworkReachabilityCreateWithAddress(reinterpret_cast<const sockaddr*>(&address));
}

// Flags reported to a target's callback, in order.
struct Reports {
    std::mutex mutex;
    std::vector<SCNetworkReachabilityFlags> seen;
    std::atomic<int> offMain{0};

    void attach(const SCNetworkReachabilityRef& target, bool expectMain = true) {
        REQUIRE(SCNetworkReachabilitySetCallback(target, [this, expectMain](const SCNetworkReachabilityRef&,
                                                                              SCNetworkReachabilityFlags flags) {
            if (expectMain != NSThread::isMainThread()) offMain++;
            std::lock_guard lock(mutex);
            seen.push_back(flags);
        }));
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return seen.size();
    }
    std::optional<SCNetworkReachabilityFlags> last() {
        std::lock_guard lock(mutex);
        return seen.empty() ? std::nullopt : std::optional(seen.back());
    }
};

int shell(const std::string& command) { return std::system(command.c_str()); }

}  // namespace

TEST_CASE("reachability reads names and addresses from the kernel") {
    SCNetworkReachabilityFlags flags = 0xFFFF;
    auto localhost = SCNetworkReachabilityCreateWithName("localhost");
    REQUIRE(SCNetworkReachabilityGetFlags(localhost, &flags));
    CHECK((flags & kReachable));
    CHECK((flags & kSCNetworkReachabilityFlagsIsLocalAddress));
    auto invalid = SCNetworkReachabilityCreateWithName("nowhere.invalid");
    REQUIRE(SCNetworkReachabilityGetFlags(invalid, &flags));
    CHECK(flags == 0);
    auto loopback = ipv4("127.0.0.1");
    REQUIRE(SCNetworkReachabilityGetFlags(loopback, &flags));
    CHECK(flags == (kReachable | kSCNetworkReachabilityFlagsIsLocalAddress | kSCNetworkReachabilityFlagsIsDirect));
    CHECK_FALSE(SCNetworkReachabilityCreateWithName(""));
    CHECK_FALSE(SCNetworkReachabilityCreateWithAddress(nullptr));

    // A name's first resolution is reported once it is in.
    Reports reports;
    reports.attach(localhost);
    REQUIRE(SCNetworkReachabilityScheduleWithRunLoop(localhost, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    INFO("waiting for the resolution of localhost");
    REQUIRE(runMainUntil([&] { return reports.count() == 1; }));
    CHECK((*reports.last() & kReachable));
    CHECK(SCNetworkReachabilityUnscheduleFromRunLoop(localhost, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    CHECK_FALSE(SCNetworkReachabilityUnscheduleFromRunLoop(localhost, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
}

TEST_CASE("injected flags go through the change path, once per change") {
    auto target = anyAddress();
    Reports reports;
    reports.attach(target);
    REQUIRE(SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    CHECK_FALSE(SCNetworkReachabilityScheduleWithRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    const SCNetworkReachabilityFlags steps[] = {0, kReachable, kReachable | kSCNetworkReachabilityFlagsIsWWAN, 0};
    std::size_t expected = 0;
    std::optional<SCNetworkReachabilityFlags> previous;
    {
        SCNetworkReachabilityFlags now = 0;
        if (SCNetworkReachabilityGetFlags(target, &now)) previous = now;
    }
    for (auto flags : steps) {
        SCNetworkReachabilitySetTestFlags(target, flags);
        SCNetworkReachabilitySetTestFlags(target, flags);  // the same again: no report
        if (previous != flags) ++expected;
        previous = flags;
        INFO("waiting for report " << expected);
        REQUIRE(runMainUntil([&] { return reports.count() == expected && reports.last() == flags; }));
        SCNetworkReachabilityFlags read = 0xFFFF;
        REQUIRE(SCNetworkReachabilityGetFlags(target, &read));
        CHECK(read == flags);
    }
    CHECK(reports.offMain == 0);
    // Unreadable: the read fails and no change is reported.
    SCNetworkReachabilitySetTestUnreadable(target, true);
    SCNetworkReachabilityFlags untouched = 7;
    CHECK_FALSE(SCNetworkReachabilityGetFlags(target, &untouched));
    CHECK(untouched == 7);
    SCNetworkReachabilitySetTestUnreadable(target, false);
    CHECK(SCNetworkReachabilityUnscheduleFromRunLoop(target, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));

    // On a dispatch queue, callbacks come on that queue.
    Reports queued;
    queued.attach(target, false);
    auto queue = dispatch_queue_create("reachability.test");
    REQUIRE(SCNetworkReachabilitySetDispatchQueue(target, queue));
    SCNetworkReachabilitySetTestFlags(target, kReachable);
    REQUIRE(runMainUntil([&] { return queued.last() == kReachable; }));
    CHECK(queued.offMain == 0);
    CHECK(SCNetworkReachabilitySetDispatchQueue(target, nullptr));
}

TEST_CASE("reachability in a private network namespace (helper process)" * doctest::skip()) {
    const bool polling = std::getenv("REACHABILITY_POLLING") != nullptr;
    REQUIRE(shell("ip link set lo up") == 0);
    REQUIRE(shell("ip link add v0 type veth peer name v1 && ip addr add 10.1.0.2/24 dev v0 && ip link set v1 up") == 0);
    auto any = anyAddress();
    SCNetworkReachabilitySetTestPolling(any, polling);
    SCNetworkReachabilityFlags flags = 0xFFFF;
    REQUIRE(SCNetworkReachabilityGetFlags(any, &flags));
    CHECK(flags == 0);
    Reports reports;
    reports.attach(any);
    REQUIRE(SCNetworkReachabilityScheduleWithRunLoop(any, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes));
    CHECK(SCNetworkReachabilityWatchMethod(any) == (polling ? "polling" : "netlink"));
    for (int round = 0; round < 2; ++round) {
        REQUIRE(shell("ip link set v0 up && ip route add default via 10.1.0.1") == 0);
        INFO("waiting 1 s for 0.0.0.0 to become reachable");
        REQUIRE(runMainUntil([&] { return reports.last() == kReachable; }, 1.0));
        REQUIRE(shell("ip link set v0 down") == 0);
        INFO("waiting 1 s for 0.0.0.0 to become unreachable");
        REQUIRE(runMainUntil([&] { return reports.last() == 0u; }, 1.0));
    }
    CHECK(reports.count() == 4);  // changes only
    SCNetworkReachabilityFlags name = 0xFFFF;
    REQUIRE(SCNetworkReachabilityGetFlags(SCNetworkReachabilityCreateWithName("localhost"), &name));
    CHECK((name & kReachable));
    REQUIRE(SCNetworkReachabilityGetFlags(SCNetworkReachabilityCreateWithName("host.invalid"), &name));
    CHECK(name == 0);
    // An address beyond the default route is reachable only while the route is there.
    REQUIRE(SCNetworkReachabilityGetFlags(ipv4("192.0.2.1"), &name));
    CHECK(name == 0);
}

TEST_CASE("interfaces going up and down flip 0.0.0.0 within a second, by netlink and by polling") {
    if (shell("unshare -rn ip link add t0 type veth peer name t1 >/dev/null 2>&1") != 0) {
        MESSAGE("private network namespaces with veth pairs are not allowed here: skipped");
        return;
    }
    const std::string helper = "unshare -rn '" + testsupport::selfExecutable() +
                               "' --no-skip --test-case='reachability in a private network namespace (helper process)'";
    CHECK(shell(helper + " >/dev/null") == 0);
    CHECK(shell("REACHABILITY_POLLING=1 " + helper + " >/dev/null") == 0);
}
