// Protects the ad slot's refresh timer on the virtual clock: where its interval
// comes from, the pauses while the application is inactive or a full-screen ad
// is up (each restarting the whole interval), the owner's say, a refresh that
// comes due during a load, the limit on an ad page that never loads, and a
// refreshing banner whose core-page build timed out refreshing again.
#include <doctest/doctest.h>

#include <algorithm>

#include "CoreControllerSupport.h"
#include "SlotTestOwner.h"
#include "adkit/rendering/AKViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"

using slottest::SlotFixture;

namespace {
std::size_t countOf(const renderingtest::CallLog& log, const std::string& line) {
    return static_cast<std::size_t>(std::count(log.calls.begin(), log.calls.end(), line));
}

void post(const char* name) { NSNotificationCenter::defaultCenter()->postNotificationName(name); }

// Moves the virtual clock and lets the main run loop fire what came due.
void advance(double seconds) {
    Clock::advance(seconds);
    adkittest::drainMainQueue();
}
}  // namespace

TEST_CASE("slot: the refresh interval's sources, pauses, the owner's say and a refresh due during a load") {
    adkittest::QuietLog quiet;
    adkittest::VirtualTime time;
    SlotFixture f;
    auto& owner = *f.owner;
    const auto refreshed = [&](std::size_t n) {
        adkittest::waitFor([&] { return countOf(owner, "shouldReload yes") == n; }, "the timed refresh");
    };

    // The banner ad of the extras brings its interval; a header above 0 wins; "0" keeps the previous one.
    f.loadAd(SlotFixture::adRequest(Value{{"refresh_rate", 30}}, Value{{"X-Adnet-Refresh-Rate", "45"}}));
    CHECK(f.slot->reloadInterval() == 45);
    f.loadAd(SlotFixture::adRequest(Value{{"refresh_rate", 30}}, Value{{"X-Adnet-Refresh-Rate", "0"}}));
    CHECK(f.slot->reloadInterval() == 30);
    advance(29.9);
    CHECK(countOf(owner, "shouldReload yes") == 0);
    advance(0.1);
    refreshed(1);
    adkittest::waitFor([&] { return f.slot->state() == AKSlotStateRendering; }, "the refreshed ad to render");
    CHECK(f.slot->hasAutoRefreshed());
    f.page().finishLoad();
    CHECK(countOf(owner, "finished") == 3);

    // Resigning pauses; becoming active restarts the whole interval, not what was left.
    advance(10);
    post(UIApplicationWillResignActiveNotification);
    CHECK_FALSE(f.slot->hasReloadTimer());
    advance(100);
    post(UIApplicationDidBecomeActiveNotification);
    advance(29.9);
    CHECK(countOf(owner, "shouldReload yes") == 1);
    // A full-screen ad pauses it too.
    post(kAdModalViewControllerWillPresentFullScreen);
    CHECK_FALSE(f.slot->hasReloadTimer());
    post(kAdModalViewControllerDidDismissFullScreen);
    advance(29.9);
    CHECK(countOf(owner, "shouldReload yes") == 1);
    advance(0.1);
    refreshed(2);
    adkittest::waitFor([&] { return f.slot->state() == AKSlotStateRendering; }, "the second refresh to render");
    f.page().finishLoad();

    SUBCASE("an owner that declines stops the refresh") {
        owner.reloads = false;
        advance(30);
        adkittest::waitFor([&] { return countOf(owner, "shouldReload no") == 1; }, "the owner's answer");
        CHECK(f.slot->state() == AKSlotStateValidAd);
        CHECK_FALSE(f.slot->hasReloadTimer());
    }
    SUBCASE("a refresh due during a load runs when that load ends") {
        advance(29.5);
        f.slot->loadRequest(AKRequest::request());  // the owner's own load, through the core page
        REQUIRE(f.slot->state() == AKSlotStateRequestingAdURL);
        advance(0.5);
        CHECK(countOf(owner, "shouldReload yes") == 2);
        f.slot->invalidJavaScriptRequest();  // the load ends (7) without restarting the timer
        refreshed(3);
        CHECK(f.slot->state() == AKSlotStateRequestingAdURL);
        CHECK(f.slot->hasAutoRefreshed());
    }
    SUBCASE("a due refresh is dropped when the load's failure cancels the pending actions") {
        advance(29.5);
        f.slot->loadRequest(AKRequest::request());
        advance(0.5);
        f.slot->didFailToReceiveAdWithError(AKRequestError::errorWithCode(2), true, true);
        adkittest::drainMainQueue();
        CHECK(countOf(owner, "shouldReload yes") == 2);
        CHECK(f.slot->state() == AKSlotStateIdle);
        CHECK_FALSE(f.slot->hasReloadTimer());
    }
    SUBCASE("a failed fetch keeps the interval and retries after it") {
        // A mediation header on a body that is not JSON fails the fetch.
        f.slot->loadRequest(SlotFixture::adRequest(Value{{"refresh_rate", 20}}, Value{{"X-Adnet-Mediation", "1"}}));
        adkittest::waitFor([&] { return f.slot->state() == AKSlotStateFailed; }, "the fetch to fail");
        CHECK(owner.last().starts_with("failed "));
        CHECK(f.slot->reloadInterval() == 20);
        advance(20);
        refreshed(3);
    }
}

TEST_CASE("slot: an ad page that does not load within 20 s fails its load") {
    adkittest::QuietLog quiet;
    adkittest::VirtualTime time;
    SlotFixture f;
    f.loadUntilRendering(SlotFixture::adRequest(Value{{"refresh_rate", 60}}));
    advance(19.9);
    CHECK(f.slot->state() == AKSlotStateRendering);
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 1);
    advance(0.2);
    adkittest::waitFor([&] { return f.slot->state() == AKSlotStateFailed; }, "the rendering limit");
    CHECK(f.owner->last() == "failed 5");
    CHECK(AKMRAIDInterceptor::canInitWithRequestCounter() == 0);
    CHECK(f.slot->hasReloadTimer());  // retried after the interval
    f.page().finishLoad();  // the page was stopped: nothing more comes of it
    CHECK(f.slot->state() == AKSlotStateFailed);
    CHECK(f.owner->joined() == "adView; failed 5");
}

TEST_CASE("slot: a refreshing banner whose core-page build timed out refreshes after its interval and gets its ad") {
    adkittest::QuietLog quiet;
    adkittest::VirtualTime time;
    SlotFixture f;
    AKAdHosts::ScopedOrigin content{AKAdHost::staticContent, AKAdOrigin::parse("https://core.test", "https").value()};
    coretest::FreshController controller;
    auto& owner = *f.owner;
    const auto page = controller->activeSDKCoreWebView();
    const auto builds = [&] {
        if (!page->webView()) return std::size_t{0};
        const auto& scripts = UIWebViewRecorder::of(*page->webView()->webView()).evaluatedScripts();
        return static_cast<std::size_t>(std::count_if(scripts.begin(), scripts.end(), [](const std::string& script) {
            return script.starts_with("ADNET_buildAdURL(");
        }));
    };
    const auto encoded = [](const std::string& text) {
        return stringByAddingPercentEncodingWithAllowedCharacters(
            text, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~");
    };
    // The page answers the build with an HTML ad refreshing every 30 s; the slot renders it.
    const std::string ad = R"({"ad_html":"<p>ad</p>","ad_base_url":"http://creatives.example/ad"})";
    const auto answerWithAd = [&](std::size_t build) {
        adkittest::waitFor([&] { return builds() == build; }, "build " + std::to_string(build) + " at the page");
        REQUIRE(UIWebViewRecorder::of(*page->webView()->webView())
                    .navigate("amsg://core/loadAd?request_id=" + f.slot->requestID().value_or("") +
                                  "&header=" + encoded(R"({"X-Adnet-Refresh-Rate":"30"})") +
                                  "&ad=" + encoded(ad),
                              UIWebViewNavigationTypeOther, false) == false);
        adkittest::waitFor([&] { return f.slot->state() == AKSlotStateRendering; }, "the answered ad to render");
        f.page().finishLoad();
        REQUIRE(f.slot->state() == AKSlotStateValidAd);
    };

    f.slot->loadRequest(AKRequest::request());
    adkittest::waitFor([&] { return page->webView() != nullptr; }, "the core page's web view");
    UIWebViewRecorder::of(*page->webView()->webView()).finishLoad(200);
    answerWithAd(1);
    CHECK(f.slot->reloadInterval() == 30);

    // The refresh's build gets no answer: it times out (code 5) and the timer starts again.
    advance(30);
    adkittest::waitFor([&] { return countOf(owner, "shouldReload yes") == 1; }, "the first refresh");
    adkittest::waitFor([&] { return builds() == 2 && controller->pendingBuildCount() == 1; }, "the refresh's build");
    advance(AKSDKCoreController::kBuildAnswerLimit + 0.001);
    adkittest::waitFor([&] { return owner.last() == "failed 5"; }, "the build's time-out");
    CHECK(f.slot->state() == AKSlotStateFailed);
    CHECK(f.slot->hasReloadTimer());
    advance(29.9);
    CHECK(countOf(owner, "shouldReload yes") == 1);
    advance(0.1);
    adkittest::waitFor([&] { return countOf(owner, "shouldReload yes") == 2; }, "the refresh after the time-out");
    answerWithAd(3);
    CHECK(countOf(owner, "finished") == 2);
}
