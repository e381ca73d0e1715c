// Protects the public interstitial and the publisher's interstitial: the rules
// of one presentation per object (present before ready, twice, load after use,
// a missing or windowless presenter that records no impression), loads that
// reach the server each time, web actions that cancel or not (a ready ad whose
// page navigates by itself is reported gone), custom rendering
// that the publisher presents itself, app events, one dismissal for a close tap
// with a "close" message, and an interstitial let go while loading or shown.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "SlotEngineRoad.h"
#include "SlotTestOwner.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "adkit/requests/AKInterstitial.h"
#include "adkit/requests/PMAInterstitial.h"
#include "adkit/requests/PMARawHTMLAd.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIWindow.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using interstitialtest::Heard;
using interstitialtest::Screen;
using interstitialtest::centre;
using interstitialtest::shown;

namespace {

nlohmann::json customUnit() {
    return slotroad::htmlUnit(slotroad::titledCreative("custom"), "custom",
                              {{"X-Adnet-Custom-Rendering-Allowed", "1"}});
}

// A creative that sends one app event once it has loaded.
std::string appEventCreative() {
    return "<html><head><script src='/adnet/static/sdk/native/adnet-page.js'></script></head><body>event"
           "<script>adnetPage.sender('x')('appEvent', {name: 'level', info: 'seven'});</script></body></html>";
}

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("interstitial: one presentation per object, loads reach the server, web actions, custom rendering and app events") {
    adkittest::QuietLog log;
    slotroad::EngineSlots road({{"inter", slotroad::htmlUnit(slotroad::titledCreative("inter"), "inter")},
                                {"custom", customUnit()},
                                {"events", slotroad::htmlUnit(appEventCreative())}});
    Screen screen;
    const auto heard = std::make_shared<Heard>();
    const auto interstitial = AKInterstitial::make();
    interstitial->setDelegate(heard);
    interstitial->setAdUnitID("inter");
    const auto impressions = [&] { return road.loggedQuery(slotroad::kImpressionPath, "id").size(); };
    const auto adRequests = [&] { return road.logged(slotroad::kAdPath).size(); };

    // Before any load: not ready, and presenting only logs.
    CHECK_FALSE(interstitial->isReady());
    interstitial->presentFromRootViewController(screen.root);
    CHECK(log.contains(AKInterstitial::kNotReadyLog));
    CHECK(heard->calls.empty());
    CHECK_FALSE(interstitial->hasBeenUsed());

    // A web action for another message leaves the load alone; one without a message cancels it.
    interstitial->loadRequest(AKRequest::request());
    REQUIRE(interstitial->slot()->isMakingRequest());
    const auto webView = interstitial->slot()->webView();
    NSNotificationCenter::defaultCenter()->postNotificationName(kDidReceiveWebActionNotification, webView, Value{{"a", "close"}});
    CHECK(interstitial->slot()->isMakingRequest());
    NSNotificationCenter::defaultCenter()->postNotificationName(kDidReceiveWebActionNotification, webView, Value::dictionary());
    CHECK(interstitial->slot()->state() == AKSlotStateIdle);

    // Two loads before presentation: each reaches the server, each makes it ready. The first ad's page
    // goes elsewhere by itself before it is shown: it is ready no more, and the publisher hears so.
    for (int load = 1; load <= 2; ++load) {
        interstitial->loadRequest(AKRequest::request());
        CHECK_FALSE(interstitial->isReady());
        waitFor([&] { return heard->count("didReceive") == static_cast<std::size_t>(load); }, "the interstitial's ad");
        CHECK(interstitial->isReady());
        if (load > 1) continue;
        (void)slotroad::EngineSlots::evaluate(*interstitial->slot(),
                                              "setTimeout(function () { location.href = '/adnet/landing'; }, 0); 1");
        waitFor([&] { return heard->last() == "failed 1"; }, "the publisher to hear the ad is gone");
        CHECK_FALSE(interstitial->isReady());
        CHECK(interstitial->slot()->state() == AKSlotStateIdle);
        const auto page = interstitial->slot()->webView()->webView();
        waitFor([&] { return !page->isLoading() && page->request() && page->request()->URL().ends_with("/adnet/landing"); },
                "the page it went to, loaded");
    }
    CHECK(road.loggedQuery(slotroad::kAdPath, "slotname") == std::vector<std::string>{"inter", "inter"});

    // No presenter, or one whose view is in no window: nothing happens at all.
    const auto away = std::make_shared<UIViewController>();
    away->view();
    for (const auto& presenter : {std::shared_ptr<UIViewController>(), away}) {
        interstitial->presentFromRootViewController(presenter);
        CHECK(log.contains("No UIViewController supplied to the ad. Cannot continue."));
        CHECK(interstitial->isReady());
        CHECK_FALSE(interstitial->hasBeenUsed());
        CHECK(heard->joined() == "didReceive; failed 1; didReceive");
        CHECK(screen.posted.empty());
    }
    drainMainQueue();
    CHECK(impressions() == 0);

    // The presentation: the impression now, once; the second presentation shows nothing.
    interstitial->presentFromRootViewController(screen.root);
    REQUIRE(shown(screen));
    CHECK(interstitial->hasBeenUsed());
    CHECK_FALSE(interstitial->viewController());
    waitFor([&] { return impressions() == 1; }, "the impression ping of the presentation");
    interstitial->presentFromRootViewController(screen.root);
    CHECK(heard->joined() == "didReceive; failed 1; didReceive; willPresent; failed 6");
    CHECK(screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);

    // Loading after use: code 6 and no request.
    const std::size_t requestsBefore = adRequests();
    interstitial->loadRequest(AKRequest::request());
    CHECK(heard->last() == "failed 6");
    drainMainQueue();
    CHECK(adRequests() == requestsBefore);
    CHECK(impressions() == 1);
    shown(screen)->relinquishScreen();
    waitFor([&] { return heard->last() == "didDismiss"; }, "the interstitial to go");

    // A publisher that renders the ad itself presents it itself: presenting only logs.
    const auto custom = PMAInterstitial::make();
    custom->setDelegate(heard);
    custom->setRawHTMLInterstitialDelegate(heard);
    custom->setAdUnitID("custom");
    heard->calls.clear();
    custom->loadRequest(AKRequest::request());
    waitFor([&] { return heard->rawAd != nullptr; }, "the raw ad handed to the publisher");
    const std::string rendering = "render " + heard->rawAd->adBaseURL()->absoluteString();
    CHECK(heard->rawAd->adBaseURL()->path() == "/");
    CHECK(heard->last() == rendering);
    CHECK(heard->rawAd->adHTML().find("<title>custom</title>") != std::string::npos);
    CHECK(custom->customAdRenderingEnabled());
    heard->rawAd->finishedRenderingAdView(nullptr);
    CHECK(custom->isReady());
    custom->presentFromRootViewController(screen.root);
    CHECK(log.contains(PMAInterstitial::kCustomRenderingLog));
    CHECK_FALSE(screen.root->presentedViewController());
    CHECK_FALSE(custom->hasBeenUsed());
    CHECK(heard->last() == rendering);  // no did-receive, no present
    heard->rawAd->recordImpression();  // the publisher's report of its own showing
    waitFor([&] { return std::ranges::count(road.loggedQuery(slotroad::kImpressionPath, "id"), "custom") == 1; },
            "the impression ping of the publisher's report");

    // App events of the ad page reach the app-event delegate.
    const auto events = PMAInterstitial::make();
    events->setDelegate(heard);
    events->setAppEventDelegate(heard);
    events->setAdUnitID("events");
    events->loadRequest(AKRequest::request());
    waitFor([&] { return heard->count("appEvent level=seven") == 1; }, "the page's app event");
}

TEST_SUITE_END();

TEST_CASE("interstitial: a close tap and a close message dismiss once, and one let go while loading or shown is gone and silent") {
    adkittest::QuietLog log;
    slottest::SlotFixture f;
    Screen screen;
    const auto heard = std::make_shared<Heard>();
    const auto load = [&](AKInterstitial& interstitial) {
        interstitial.setDelegate(heard);
        interstitial.loadRequest(slottest::SlotFixture::adRequest(
            Value{{"impression_urls", Value::array({Value("http://t.example/impression")})}}));
        waitFor([&] { return interstitial.slot()->state() == AKSlotStateRendering; }, "the interstitial to render");
        return &UIWebViewRecorder::of(*interstitial.slot()->webView()->webView());
    };

    // A close tap and a "close" message: one dismissal.
    auto interstitial = AKInterstitial::make();
    load(*interstitial)->finishLoad();
    REQUIRE(interstitial->isReady());
    interstitial->presentFromRootViewController(nullptr);
    CHECK(f.trackers->tracked.empty());  // no impression for an ad that is not shown
    interstitial->presentFromRootViewController(screen.root);
    auto controller = shown(screen);
    REQUIRE(controller);
    waitFor([&] { return controller->isViewVisible(); }, "the interstitial on screen");
    CHECK(f.trackers->tracked == std::vector<std::string>{"http://t.example/impression"});
    CHECK_FALSE(UIWebViewRecorder::of(*controller->webView()->webView()).navigate("amsg://x/close", UIWebViewNavigationTypeOther));
    drainMainQueue();
    CHECK(screen.window->tap(centre(*controller->closeButton())));
    waitFor([&] { return !screen.root->presentedViewController(); }, "the dismissal to end");
    CHECK(screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);
    CHECK(screen.count(kAdModalViewControllerDidDismissFullScreen) == 1);
    CHECK(heard->joined() == "didReceive; willPresent; willDismiss");
    controller.reset();
    waitFor([&] { return heard->last() == "didDismiss"; }, "the controller to go");
    drainMainQueue();
    CHECK(heard->joined() == "didReceive; willPresent; willDismiss; didDismiss");

    // Let go while loading: gone at once, and the page's end reaches no one.
    heard->calls.clear();
    auto loading = AKInterstitial::make();
    auto* page = load(*loading);
    std::weak_ptr<AKInterstitial> goneLoading = loading;
    loading.reset();
    CHECK(goneLoading.expired());
    page->finishLoad();
    drainMainQueue();
    CHECK(heard->calls.empty());

    // Let go while shown: gone at once; the ad stays, still run by its page's messages, until
    // it closes, and its close reaches no one.
    auto showing = AKInterstitial::make();
    load(*showing)->finishLoad();
    showing->presentFromRootViewController(screen.root);
    auto onScreen = shown(screen);
    REQUIRE(onScreen);
    waitFor([&] { return onScreen->isViewVisible(); }, "the second interstitial on screen");
    heard->calls.clear();
    std::weak_ptr<AKInterstitial> goneShowing = showing;
    showing.reset();
    CHECK(goneShowing.expired());
    CHECK_FALSE(UIWebViewRecorder::of(*onScreen->webView()->webView()).navigate("amsg://x/close", UIWebViewNavigationTypeOther));
    waitFor([&] { return !screen.root->presentedViewController(); }, "the second dismissal to end");
    std::weak_ptr<AKWebAppViewController> goneController = onScreen;
    onScreen.reset();
    waitFor([&] { return goneController.expired(); }, "the second controller to go");
    drainMainQueue();
    CHECK(heard->calls.empty());
    CHECK(screen.count(kAdModalViewControllerDidDismissFullScreen) == 2);
}
