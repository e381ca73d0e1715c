// The network activity indicator: shown while requests run, hidden 0.17 s
// after the last one ends (on the Clock), requests counted by identity so that
// doubled finishes, suspended-then-cancelled and re-resumed tasks neither hide
// it early nor keep it on, and a count of exactly 0 after real operations.
#include <doctest/doctest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "OperationTestSupport.h"
#include "networking/NLHTTPRequestOperationManager.h"
#include "networking/NLNetworkActivityIndicatorManager.h"
#include "networking/NLSessionTaskNotifications.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIApplication.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

// A stand-in for a session task: an object that answers its original request.
class RecordingTask : public NSObject {
public:
    explicit RecordingTask(const std::string& url) : request_(url.empty() ? nullptr : NSURLRequest::requestWithURL(url)) {}
    std::shared_ptr<NSURLRequest> originalRequest() const { return request_; }

private:
    std::shared_ptr<NSURLRequest> request_;
};

void installTaskLookup() {
    static std::once_flag once;
    std::call_once(once, [] {
        NLNetworkActivityIndicatorManager::addRequestLookup([](const NSObject& object) -> std::shared_ptr<NSURLRequest> {
            auto task = dynamic_cast<const RecordingTask*>(&object);
            return task ? task->originalRequest() : nullptr;
        });
    });
}

void post(const char* name, const std::shared_ptr<NSObject>& object) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, object);
}

// Lets the main run loop handle what is queued now, and what that queues in turn.
void settle() {
    for (int round = 0; round < 3; ++round) {
        auto ran = std::make_shared<std::atomic<bool>>(false);
        dispatch_async(dispatch_get_main_queue(), [ran] { *ran = true; });
        REQUIRE_MESSAGE(runMainUntil([&] { return ran->load(); }), "waited for the main queue to drain");
    }
}

struct VirtualTime {
    VirtualTime() { Clock::useVirtualTime(1000000); }
    ~VirtualTime() { Clock::useRealTime(); }
};

bool indicatorShown() { return UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible(); }

std::shared_ptr<NLNetworkActivityIndicatorManager> enabledIndicator() {
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
    auto indicator = NLNetworkActivityIndicatorManager::init();
    indicator->setEnabled(true);
    return indicator;
}

}  // namespace

TEST_SUITE("network activity indicator") {

TEST_CASE("the indicator shows at once and hides 0.17 s after the last request, counting each request once") {
    installTaskLookup();
    VirtualTime virtualTime;
    auto indicator = enabledIndicator();
    int visibilityChanges = 0;
    auto token = indicator->observeValueForKey("networkActivityIndicatorVisible", [&](const std::string&) {
        ++visibilityChanges;
    });
    auto a = optest::get("http://127.0.0.1:9/a"), b = optest::get("http://127.0.0.1:9/b");
    // Hides when, and only when, the hide delay has passed after the count fell to 0.
    auto expectHideAfterDelay = [&] {
        settle();
        CHECK(indicatorShown());
        Clock::advance(NLNetworkActivityIndicatorInvisibilityDelay - 0.001);
        settle();
        CHECK(indicatorShown());
        Clock::advance(0.002);
        REQUIRE_MESSAGE(runMainUntil([] { return !indicatorShown(); }), "waited for the indicator to hide");
        CHECK(indicator->activityCount() == 0);
    };

    SUBCASE("one start, one finish") {
        post(NLNetworkingOperationDidStartNotification, a);
        REQUIRE_MESSAGE(runMainUntil(indicatorShown), "waited for the indicator to show");
        CHECK(indicator->activityCount() == 1);
        CHECK(indicator->isNetworkActivityIndicatorVisible());
        post(NLNetworkingOperationDidFinishNotification, a);
        CHECK(indicator->activityCount() == 0);
        expectHideAfterDelay();
        CHECK(visibilityChanges == 2);
    }
    SUBCASE("a start within the delay keeps it shown; the pending hide reads the count afresh") {
        post(NLNetworkingOperationDidStartNotification, a);
        post(NLNetworkingOperationDidFinishNotification, a);
        settle();
        Clock::advance(0.1);
        post(NLNetworkingOperationDidStartNotification, b);
        settle();
        Clock::advance(0.1);
        settle();
        CHECK(indicatorShown());
        CHECK(indicator->activityCount() == 1);
        post(NLNetworkingOperationDidFinishNotification, b);
        expectHideAfterDelay();
    }
    SUBCASE("a doubled start or finish changes nothing more") {
        post(NLNetworkingOperationDidStartNotification, a);
        post(NLNetworkingOperationDidStartNotification, a);
        post(NLNetworkingOperationDidStartNotification, b);
        CHECK(indicator->activityCount() == 2);
        post(NLNetworkingOperationDidFinishNotification, a);
        post(NLNetworkingOperationDidFinishNotification, a);
        CHECK(indicator->activityCount() == 1);
        CHECK(visibilityChanges == 3);
        settle();
        Clock::advance(1.0);
        settle();
        CHECK(indicatorShown());
        post(NLNetworkingOperationDidFinishNotification, b);
        post(NLNetworkingOperationDidFinishNotification, b);
        CHECK(indicator->activityCount() == 0);
        expectHideAfterDelay();
    }
    SUBCASE("a suspended task that is then cancelled, and a cancelling task resumed again, are uncounted once") {
        auto running = std::make_shared<RecordingTask>("http://127.0.0.1:9/t1");
        auto suspended = std::make_shared<RecordingTask>("http://127.0.0.1:9/t2");
        auto cancelling = std::make_shared<RecordingTask>("http://127.0.0.1:9/t3");
        post(NLNetworkingTaskDidResumeNotification, running);
        post(NLNetworkingTaskDidResumeNotification, suspended);
        post(NLNetworkingTaskDidSuspendNotification, suspended);
        post(NLNetworkingTaskDidCompleteNotification, suspended);  // cancelled while suspended
        CHECK(indicator->activityCount() == 1);
        post(NLNetworkingTaskDidResumeNotification, cancelling);
        post(NLNetworkingTaskDidResumeNotification, cancelling);  // resumed again while cancelling
        CHECK(indicator->activityCount() == 2);
        post(NLNetworkingTaskDidCompleteNotification, cancelling);
        CHECK(indicator->activityCount() == 1);
        settle();
        Clock::advance(1.0);
        settle();
        CHECK(indicatorShown());
        post(NLNetworkingTaskDidCompleteNotification, running);
        CHECK(indicator->activityCount() == 0);
        expectHideAfterDelay();
    }
    SUBCASE("objects without a request URL, the caller's own count and a disabled indicator") {
        post(NLNetworkingOperationDidStartNotification, nullptr);
        post(NLNetworkingTaskDidResumeNotification, std::make_shared<RecordingTask>(""));
        post(NLNetworkingOperationDidStartNotification, optest::get(""));
        post(NLNetworkingTaskDidResumeNotification, std::make_shared<NSObject>());
        CHECK(indicator->activityCount() == 0);
        CHECK(visibilityChanges == 0);

        indicator->decrementActivityCount();
        CHECK(indicator->activityCount() == 0);
        indicator->incrementActivityCount();
        post(NLNetworkingOperationDidStartNotification, a);
        CHECK(indicator->activityCount() == 2);
        settle();
        CHECK(indicatorShown());
        // The caller's decrements never uncount a running request.
        indicator->decrementActivityCount();
        indicator->decrementActivityCount();
        CHECK(indicator->activityCount() == 1);
        // Setting the count forgets the counted requests: their ends change nothing.
        indicator->setActivityCount(0);
        post(NLNetworkingOperationDidFinishNotification, a);
        CHECK(indicator->activityCount() == 0);
        indicator->setActivityCount(-3);
        CHECK(indicator->activityCount() == 0);
        expectHideAfterDelay();

        indicator->setEnabled(false);
        post(NLNetworkingOperationDidStartNotification, b);
        CHECK(indicator->activityCount() == 1);
        settle();
        Clock::advance(1.0);
        settle();
        CHECK_FALSE(indicatorShown());
        post(NLNetworkingOperationDidFinishNotification, b);
        CHECK(indicator->activityCount() == 0);
    }
}

TEST_CASE("fifty real operations, some cancelled, paused and resumed: shown while any ran, then exactly 0") {
    LoopbackHttpServer server;
    const std::string body = optest::sample(3000);
    std::mutex hitsMutex;
    std::map<std::string, int> hits;
    server.setHandler([&](const RecordedRequest& request) {
        if (request.path() == "/sentinel") return Reply::text(body).stall(4);
        if (request.path().rfind("/slow/", 0) == 0) {
            int hit;
            {
                std::lock_guard lock(hitsMutex);
                hit = ++hits[request.path()];
            }
            // Held until paused or cancelled; a resumed request is answered.
            if (hit == 1) return Reply::text(body).stall(4);
            return testsupport::serveBytes(body)(request);
        }
        return Reply::text(body);
    });
    auto indicator = enabledIndicator();
    auto manager = NLHTTPRequestOperationManager::initWithBaseURL(NSURL::URLWithString(server.url("/")));
    manager->setResponseSerializer(NLHTTPResponseSerializer::serializer());
    std::atomic<int> successes{0}, failures{0};
    auto success = [&](const NLHTTPRequestOperationManager::OperationPtr&, const Value&) { ++successes; };
    auto failure = [&](const NLHTTPRequestOperationManager::OperationPtr&, const NSErrorPtr&) { ++failures; };

    // The sentinel runs from before the others start until after they all ended.
    auto sentinel = manager->GET("sentinel", Value(), success, failure);
    REQUIRE(sentinel);
    REQUIRE_MESSAGE(runMainUntil([&] { return server.stalledCount() == 1 && indicatorShown(); }),
                    "waited for the sentinel to run and the indicator to show");
    CHECK(indicator->activityCount() == 1);

    // Watches every change of the count while the sentinel runs.
    std::atomic<bool> fellToZero{false};
    std::atomic<std::int64_t> highest{0};
    auto token = indicator->observeValueForKey("activityCount", [&](const std::string&) {
        const std::int64_t count = indicator->activityCount();
        if (count == 0 && !sentinel->isFinished()) fellToZero = true;
        if (count > highest) highest = count;
    });
    bool everHidden = false;
    auto watching = [&](const std::function<bool()>& condition) {
        return [&, condition] {
            if (!indicatorShown()) everHidden = true;
            return condition();
        };
    };

    enum Kind { CancelledBeforeStart, PausedAndResumed, CancelledWhileRunning, Plain };
    std::vector<std::pair<Kind, NLHTTPRequestOperationManager::OperationPtr>> operations;
    manager->operationQueue()->setSuspended(true);
    std::size_t held = 0;
    for (int i = 0; i < 49; ++i) {
        const Kind kind = static_cast<Kind>(i % 4);
        const bool slow = kind == PausedAndResumed || kind == CancelledWhileRunning;
        held += slow;
        auto operation = manager->GET((slow ? "slow/" : "plain/") + std::to_string(i), Value(), success, failure);
        REQUIRE(operation);
        if (kind == CancelledBeforeStart) operation->cancel();
        operations.emplace_back(kind, operation);
    }
    manager->operationQueue()->setSuspended(false);
    REQUIRE_MESSAGE(runMainUntil(watching([&] { return server.stalledCount() == 1 + held; }), 20),
                    "waited for the slow operations to be held by the server");
    for (auto& [kind, operation] : operations) {
        if (kind == PausedAndResumed) operation->pause();
        if (kind == CancelledWhileRunning) operation->cancel();
    }
    for (auto& [kind, operation] : operations)
        if (kind == PausedAndResumed) {
            CHECK(operation->isPaused());
            operation->resume();
        }
    REQUIRE_MESSAGE(runMainUntil(watching([&] {
                                     for (auto& entry : operations)
                                         if (!entry.second->isFinished()) return false;
                                     return successes + failures == 49;
                                 }),
                                 20),
                    "waited for the 49 operations to end");
    settle();
    CHECK_FALSE(fellToZero);
    CHECK_FALSE(everHidden);
    CHECK(highest > 10);
    CHECK(indicator->activityCount() == 1);  // the sentinel alone

    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return sentinel->isFinished() && !indicatorShown(); }),
                    "waited for the sentinel to end and the indicator to hide");
    CHECK(indicator->activityCount() == 0);
    const int plain = 49 - 13 - 12 - 12;  // kinds 0..3 over 49 operations: 13, 12, 12, 12
    CHECK(successes == 1 + plain + 12);
    CHECK(failures == 13 + 12);
}

}  // TEST_SUITE
