// Protects Viewability over recorded web views and virtual time: the
// monitor's schedule (the last interval repeating; a step that is no finite
// number ends it with one sample at once), what one sample finds (clipping
// ancestors, the application frame, hidden, inactive, windowless, not
// finite), and the slot's runs: none for an ad that asks for nothing, one per
// loaded ad that asks, each with its own measurement page and number, the
// report's keys, the last report marked, the page's answers (visibility to a
// rich-media creative, the unload flag), and a slot released mid-run is gone
// at once (the monitor holds it weakly) after sending its last report.
#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "SlotTestOwner.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKSDKCoreWebView.h"
#include "adkit/requests/AKViewabilityMonitor.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

// The application active while it lives.
struct ActiveApplication {
    UIApplicationState was = UIApplication::sharedApplication()->applicationState();
    ActiveApplication() { UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive); }
    ~ActiveApplication() { UIApplication::sharedApplication()->setApplicationState(was); }
};

// When each sample came, in seconds after `start` to the hundredth (a timer
// "at once" fires a tenth of a millisecond on, as the platform's).
struct SampleTimes : AKViewabilityMonitorDelegate {
    double start = Clock::now();
    std::vector<double> at;
    void didRefreshViewabilityMonitor(AKViewabilityMonitor&) override {
        at.push_back(std::round((Clock::now() - start) * 100) / 100);
    }
};

std::string joined(const std::vector<double>& values) {
    std::string text;
    for (double v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

// The units of the reports a measurement page was given, in order.
std::vector<Value> reportsTo(const std::shared_ptr<AKSDKCoreWebView>& page) {
    const std::string prefix = "ADNET_updateViewability(";
    std::vector<Value> units;
    for (const auto& script : UIWebViewRecorder::of(*page->webView()->webView()).evaluatedScripts()) {
        if (script.rfind(prefix, 0) != 0 || script.back() != ')') continue;
        const auto report = Value::fromJSON(script.substr(prefix.size(), script.size() - prefix.size() - 1));
        REQUIRE_MESSAGE(report, script);
        REQUIRE((*report)["units"].count() == 1);
        units.push_back((*report)["units"][0]);
    }
    return units;
}

// The page's load, played as the engine would, once its run started it.
void loadPage(const std::shared_ptr<AKSDKCoreWebView>& page) {
    REQUIRE(page);
    auto& recorder = UIWebViewRecorder::of(*page->webView()->webView());
    waitFor([&] { return recorder.isLoading(); }, "the measurement page's load to start");
    recorder.finishLoad();
    waitFor([&] { return page->state() == AKSDKCoreWebViewState::loaded; }, "the measurement page to load");
}

Value box(double top, double bottom, double left, double right) {
    return Value{{"top", top}, {"bottom", bottom}, {"left", left}, {"right", right}};
}

}  // namespace

TEST_CASE("viewability monitor: intervals in order, the last one repeating, and a step that is no finite number ends with one sample at once") {
    adkittest::VirtualTime time;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    CHECK_FALSE(AKViewabilityMonitor::make(nullptr, Value::array({1})));
    CHECK_FALSE(AKViewabilityMonitor::make(view, Value()));
    struct Row {
        const char* name;
        Value intervals;
        std::vector<double> expected;  // seconds, within 8 s
        bool endsDisabled;
    };
    const Row rows[] = {
        {"(1, 2)", Value::array({1, 2}), {1, 3, 5, 7}, false},
        {"(1, 2, 5)", Value::array({1, 2, 5}), {1, 3, 8}, false},
        {"a word", Value::array({1, "x", 5}), {1, 1}, true},
        {"not a number", Value::array({1, kNaN, 5}), {1, 1}, true},
        {"an infinity", Value::array({1, kInfinity}), {1, 1}, true},
        {"a negative interval", Value::array({1, -2}), {1, 1}, true},
        {"no interval", Value::array(), {0}, true},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        auto monitor = AKViewabilityMonitor::make(view, row.intervals);
        REQUIRE(monitor);
        auto delegate = std::make_shared<SampleTimes>();
        monitor->setDelegate(delegate);
        monitor->startMonitoring();
        monitor->startMonitoring();  // a timer is pending: nothing more
        Clock::advance(0.0001);
        drainMainQueue();
        for (int step = 0; step < 16; ++step) {
            Clock::advance(0.5);
            drainMainQueue();  // the timers due fire
            Clock::advance(0.0001);
            drainMainQueue();  // and those they made for at once
        }
        CHECK(joined(delegate->at) == joined(row.expected));
        CHECK(monitor->viewabilityMonitorEnabled() == !row.endsDisabled);
        if (!row.endsDisabled) continue;
        monitor->sample();  // disabled: neither samples nor schedules
        monitor->startMonitoring();
        Clock::advance(10);
        drainMainQueue();
        CHECK(joined(delegate->at) == joined(row.expected));
        CHECK_FALSE(monitor->isMonitoring());
    }
}

TEST_CASE("viewability monitor: a sample cuts the view by clipping ancestors and the application frame, and hidden, inactive, windowless or not finite is not visible") {
    ActiveApplication active;
    const CGRect app = AKDevice::currentDevice()->standardizedApplicationFrame();
    REQUIRE(CGRectContainsRect(app, CGRectMake(0, 100, 320, 100)));
    struct Tree {
        std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
        std::shared_ptr<UIView> clip = std::make_shared<UIView>(CGRectMake(0, 100, 320, 100));
        std::shared_ptr<UIView> middle = std::make_shared<UIView>(CGRectMake(0, 0, 320, 100));
        std::shared_ptr<UIView> view = std::make_shared<UIView>(CGRectMake(0, 25, 320, 50));
        Tree() {
            window->setHidden(false);
            clip->setClipsToBounds(true);
            window->addSubview(clip);
            clip->addSubview(middle);
            middle->addSubview(view);
        }
        ~Tree() { window->setHidden(true); }
    };
    struct Row {
        const char* name;
        std::function<void(Tree&)> change;
        CGRect bounds;
        bool visible;
    };
    const Row rows[] = {
        {"inside", [](Tree&) {}, CGRectMake(0, 125, 320, 50), true},
        {"half out of the clipping view", [](Tree& t) { t.view->setFrame(CGRectMake(0, 75, 320, 50)); },
         CGRectMake(0, 175, 320, 25), true},
        {"fully out of it", [](Tree& t) { t.view->setFrame(CGRectMake(0, 100, 320, 50)); }, CGRectZero, false},
        {"beyond the application frame",
         [](Tree& t) {
             t.clip->setClipsToBounds(false);
             t.view->setFrame(CGRectMake(0, -110, 320, 50));
         },
         CGRectIntersection(CGRectMake(0, -10, 320, 50), app), !CGRectIsEmpty(CGRectIntersection(CGRectMake(0, -10, 320, 50), app))},
        {"a hidden ancestor", [](Tree& t) { t.middle->setHidden(true); }, CGRectMake(0, 125, 320, 50), false},
        {"a hidden window", [](Tree& t) { t.window->setHidden(true); }, CGRectMake(0, 125, 320, 50), false},
        {"the application inactive",
         [](Tree&) { UIApplication::sharedApplication()->setApplicationState(UIApplicationStateInactive); },
         CGRectMake(0, 125, 320, 50), false},
        {"no window", [](Tree& t) { t.clip->removeFromSuperview(); }, CGRectZero, false},
        {"a frame that is not finite", [](Tree& t) { t.view->setFrame(CGRectMake(0, kNaN, 320, 50)); }, CGRectZero,
         false},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        Tree tree;
        row.change(tree);
        auto monitor = AKViewabilityMonitor::make(tree.view, Value::array({1}));
        auto delegate = std::make_shared<SampleTimes>();
        monitor->setDelegate(delegate);
        monitor->sample();
        CHECK(delegate->at.size() == 1);
        CHECK(monitor->monitoredViewVisibleBounds() == row.bounds);
        CHECK(monitor->isMonitoredViewVisible() == row.visible);
    }
}

TEST_CASE("slot viewability: a run per loaded ad that asks for one, its reports to its own page, the last one marked, the page's answers, and a released slot goes at once") {
    adkittest::QuietLog quiet;
    slottest::SlotFixture f;
    coretest::FreshController controller;
    adkittest::VirtualTime time(0);
    ActiveApplication active;
    controller->setViewabilityMonitorRefreshIntervals({1});
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setHidden(false);
    f.slot->webView()->setFrame(CGRectMake(0, 100, 320, 50));
    window->addSubview(f.slot->webView());
    const Value adBox = box(100, 150, 0, 320);
    const CGRect app = AKDevice::currentDevice()->standardizedApplicationFrame();

    // An ad that asks for nothing (no Viewability configuration, no rich media, no swipe header) starts no run.
    f.loadAd(slottest::SlotFixture::adRequest());
    CHECK_FALSE(f.slot->viewabilityMonitor());
    CHECK_FALSE(f.slot->SDKCoreWebView());
    CHECK(f.slot->viewabilityMonitorSequenceNumber() == 0);

    // A Viewability configuration starts one: a sample at once, then one a second.
    f.loadAd(slottest::SlotFixture::adRequest(Value(), Value{{"X-Adnet-Viewability", R"({"vendor":"q"})"}}));
    const auto first = f.slot->SDKCoreWebView();
    loadPage(first);
    waitFor([&] { return reportsTo(first).size() == 1; }, "the run's first report");
    Value unit = reportsTo(first)[0];
    CHECK(unit["timestamp"].isNumber());
    unit.removeObjectForKey("timestamp");
    CHECK(unit == Value{{"adBox", adBox},
                        {"globalVisibleBox", adBox},
                        {"viewBox", box(app.origin.y, CGRectGetMaxY(app), app.origin.x, CGRectGetMaxX(app))},
                        {"isSubViewOfVisibleWindow", "1"},
                        {"isVisible", "1"},
                        {"adnetVersion", AKRequest::sdkVersion()},
                        {"adFormat", "banner_mb"},
                        {"viewabilityJSON", Value{{"vendor", "q"}}},
                        {"hashCode", 1}});
    Clock::advance(1);
    waitFor([&] { return reportsTo(first).size() == 2; }, "the sample a second on");
    // The application going inactive takes a sample: not visible, not in a visible window.
    UIApplication::sharedApplication()->setApplicationState(UIApplicationStateInactive);
    f.slot->appWillBecomeInactive();
    waitFor([&] { return reportsTo(first).size() == 3; }, "the sample as the application goes inactive");
    CHECK(reportsTo(first)[2]["isVisible"] == "0");
    CHECK(reportsTo(first)[2]["isSubViewOfVisibleWindow"] == "0");
    CHECK(reportsTo(first)[2]["globalVisibleBox"] == adBox);
    UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);

    // A swipe header starts the next run: the first one ends with its last report, marked.
    f.loadAd(slottest::SlotFixture::adRequest(Value(), Value{{"X-Adnet-Swipe-To-View-Controller", "{}"}}));
    waitFor([&] { return reportsTo(first).size() == 4; }, "the first run's last report");
    for (const Value& report : reportsTo(first)) CHECK(report["hashCode"] == Value(1));
    CHECK(reportsTo(first)[3]["doneReasonCode"] == "u");
    CHECK(reportsTo(first)[2]["doneReasonCode"].isNull());
    const auto second = f.slot->SDKCoreWebView();
    REQUIRE(second);
    CHECK(second != first);
    loadPage(second);
    waitFor([&] { return reportsTo(second).size() == 1; }, "the second run's first report");
    CHECK(reportsTo(second)[0]["hashCode"] == Value(2));
    CHECK(reportsTo(second)[0]["viewabilityJSON"].isNull());

    // Rich media alone starts a run, and the page's visibility reaches the creative; only "1" is visible.
    f.loadUntilRendering(slottest::SlotFixture::adRequest());
    f.slot->loadingAd()->MRAIDEnabled = true;
    f.page().finishLoad();
    const auto third = f.slot->SDKCoreWebView();
    loadPage(third);
    // The sample at the load reaches the page once it has loaded, on its own turns.
    waitFor([&] { return reportsTo(third).size() == 1; }, "the third run's first report");
    auto& thirdPage = UIWebViewRecorder::of(*third->webView()->webView());
    const auto creativeHeard = [&](const std::string& visible) {
        const std::string event = "ADNET_ReceiveMessage('onAdVisibilityChanged', {\"visible\":\"" + visible + "\"});";
        const auto& scripts = f.page().evaluatedScripts();
        return std::count(scripts.begin(), scripts.end(), event);
    };
    CHECK(thirdPage.navigate("amsg://core/visibilityChanged?isVisible=1&hashCode=3", UIWebViewNavigationTypeOther,
                             false) == false);
    waitFor([&] { return creativeHeard("1") == 1; }, "the creative told it is visible");
    CHECK(third->webView()->viewabilityVisibility());
    thirdPage.navigate("amsg://core/visibilityChanged?isVisible=true&hashCode=3", UIWebViewNavigationTypeOther, false);
    waitFor([&] { return creativeHeard("0") == 1; }, "the creative told it is not visible");
    CHECK_FALSE(third->webView()->viewabilityVisibility());
    thirdPage.navigate("amsg://core/untrackViewabilityUnit?hashCode=3&doneReasonCode=u", UIWebViewNavigationTypeOther,
                       false);
    waitFor([&] { return third->webView()->viewabilityUnloadPingReceived(); }, "the unload flag");

    // Released mid-run, the slot is gone at once and its run's last report still goes.
    const std::size_t before = reportsTo(third).size();
    std::weak_ptr<AKAdSlot> released = f.slot;
    f.slot.reset();
    CHECK(released.expired());
    waitFor([&] { return reportsTo(third).size() > before; }, "the released slot's last report");
    CHECK(reportsTo(third).size() == before + 1);
    CHECK(reportsTo(third).back()["doneReasonCode"] == "u");
    Clock::advance(5);
    drainMainQueue();
    CHECK(reportsTo(third).size() == before + 1);
    window->setHidden(true);
}
