// Protects the full-screen ad controllers on a phone-sized key window: each
// presentation posts its two notifications once and tells the slot will-present,
// will-dismiss and (at the end) did-dismiss once; the status bar and the idle
// timer come back as they were; a close tap and a "close" message together, or
// a return to the application, dismiss once; the safety appearance call does
// nothing after the screen was given back; a controller stacked on another
// leaves the status bar and idle timer alone and tells the slot only, once
// gone, of a did-dismiss it never announced; an expanded banner leaves
// its snapshot behind and comes back; and the close button's place, image and
// identifier on the device screen.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKIntrinsicImages.h"
#include "adkit/rendering/AKWebAppViewController.h"
#include "adkit/rendering/AKWebAppWebViewDelegate.h"
#include "platform/display/DeviceTree.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/TestEnvironment.h"

using namespace adkittest;
using renderingtest::RecordingSlot;

namespace {

// A 320 x 568 key window with a root controller on view, virtual time and
// recording web views; the application's status bar and idle timer put back.
struct Stage {
    testsupport::TempHome home;
    RenderingScope scope;
    // Past the real clock, so the library's absolute milliseconds (counted from
    // their first use in the process) move with this test's clock.
    VirtualTime time{4.0e9};
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<RecordingSlot> slot = std::make_shared<RecordingSlot>();
    std::vector<std::string> posted;  // the two full-screen notifications, in order
    std::vector<std::shared_ptr<NSObject>> tokens;
    UIApplicationState state = UIApplication::sharedApplication()->applicationState();

    Stage() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        for (const char* name : {kAdModalViewControllerWillPresentFullScreen, kAdModalViewControllerDidDismissFullScreen})
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& note) { posted.push_back(note.name()); }));
    }
    ~Stage() {
        for (auto& token : tokens) NSNotificationCenter::defaultCenter()->removeObserver(token.get());
        const auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(false);
        app->setIdleTimerDisabled(false);
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        app->setKeyWindow(nullptr);
        app->setApplicationState(state);
    }
    // Moves the virtual clock and lets the main run loop run what came due.
    void advance(double seconds) {
        Clock::advance(seconds);
        drainMainQueue();
    }
    std::size_t count(const std::string& name) const { return std::ranges::count(posted, name); }
    // The slot's full-screen events, in order.
    std::string screenEvents() const {
        std::string events;
        for (const auto& call : slot->calls)
            if (call.starts_with("ad") && call.find("Screen") != std::string::npos) events += call + ";";
        return events;
    }
    std::shared_ptr<AKWebAppViewController> presented(const std::shared_ptr<UIViewController>& from) {
        auto controller = AKWebAppViewController::make();
        controller->setSlot(slot);
        controller->loadHTML("<p>ad</p>", "http://ads.test/");
        controller->presentFromViewController(from);
        waitFor([&] { return controller->isViewVisible(); }, "the platform's appearance call");
        return controller;
    }
};

UIWebViewRecorder& recorder(const AKWebAppViewController& controller) {
    return UIWebViewRecorder::of(*controller.webView()->webView());
}

std::size_t eventCount(const AKWebAppViewController& controller, const std::string& event) {
    const auto& scripts = recorder(controller).evaluatedScripts();
    return std::ranges::count_if(scripts, [&](const std::string& s) {
        return s.starts_with("ADNET_ReceiveMessage('" + event + "'");
    });
}

CGPoint centre(const UIView& view) {
    const CGRect frame = view.convertRectToView(view.bounds(), nullptr);
    return CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
}

}  // namespace

TEST_CASE("full-screen controller: one presentation, one dismissal, the status bar and idle timer given back") {
    enum class Road { tap, tapThenMessage, messageThenTap, returnToApplication };
    struct Case {
        Road road;
        bool barHidden, idleOff;
    };
    for (const Case c : {Case{Road::tap, false, false}, Case{Road::tapThenMessage, true, false},
                         Case{Road::messageThenTap, false, true}, Case{Road::returnToApplication, true, true}}) {
        CAPTURE(static_cast<int>(c.road));
        Stage stage;
        const auto app = UIApplication::sharedApplication();
        app->setStatusBarHidden(c.barHidden);
        app->setIdleTimerDisabled(c.idleOff);

        auto controller = stage.presented(stage.root);
        CHECK(stage.root->presentedViewController() == controller);
        CHECK(stage.posted == std::vector<std::string>{kAdModalViewControllerWillPresentFullScreen});
        CHECK(stage.screenEvents() == "adWillPresentScreen;");
        CHECK(app->isStatusBarHidden());
        CHECK(app->isIdleTimerDisabled());
        CHECK(controller->view()->isUserInteractionEnabled());
        CHECK(controller->holdsItself());
        recorder(*controller).finishLoad();
        drainMainQueue();  // page events are evaluated from the main queue
        CHECK(eventCount(*controller, "onshow") == 1);

        // The close control is found on the device screen by its identifier, as the end-to-end
        // roads find it; once the ad closed it is gone, and a tap where it was does nothing more.
        auto tapClose = [&] {
            DeviceTargetQuery query;
            query.identifier = "adClose";
            const DeviceTarget close = DeviceTree::locate(query);
            const bool closed = c.road == Road::messageThenTap;
            CHECK(close.status == (closed ? DeviceTargetStatus::NotFound : DeviceTargetStatus::Found));
            if (!closed)
                CHECK(close.frame ==
                      controller->closeButton()->convertRectToView(controller->closeButton()->bounds(), nullptr));
            CHECK(stage.window->tap(closed ? centre(*controller->closeButton()) : close.point));
        };
        auto sendClose = [&] {
            CHECK_FALSE(recorder(*controller).navigate("amsg://x/close", UIWebViewNavigationTypeOther));
            drainMainQueue();
        };
        switch (c.road) {
        case Road::tap: tapClose(); break;
        case Road::tapThenMessage: tapClose(); sendClose(); break;
        case Road::messageThenTap: sendClose(); tapClose(); break;
        case Road::returnToApplication:
            // Back from another application the ad opened: it stays once, then closes.
            controller->webViewDelegate()->opener()->setDidOpenAnotherApplication(true);
            app->enterBackgroundForTesting();
            app->enterForegroundForTesting();
            drainMainQueue();
            CHECK(controller->isPresented());
            app->enterBackgroundForTesting();
            app->enterForegroundForTesting();
            drainMainQueue();
            break;
        }
        waitFor([&] { return !controller->hasViewAppeared(); }, "the dismissal to end");
        stage.advance(AKViewController::kAppearanceSafetyDelay);  // the safety call, were it still due

        CHECK(stage.count(kAdModalViewControllerWillPresentFullScreen) == 1);
        CHECK(stage.count(kAdModalViewControllerDidDismissFullScreen) == 1);
        CHECK(stage.screenEvents() == "adWillPresentScreen;adWillDismissScreen;");
        CHECK(eventCount(*controller, "onhide") == 1);
        CHECK(app->isStatusBarHidden() == c.barHidden);
        CHECK(app->isIdleTimerDisabled() == c.idleOff);
        // Given back: the safety call found nothing to do.
        CHECK_FALSE(controller->hasViewAppeared());
        CHECK_FALSE(controller->view()->isUserInteractionEnabled());
        CHECK_FALSE(controller->holdsItself());
        CHECK_FALSE(stage.root->presentedViewController());

        std::weak_ptr<AKWebAppViewController> gone = controller;
        controller.reset();
        CHECK(gone.expired());
        CHECK(stage.screenEvents() == "adWillPresentScreen;adWillDismissScreen;adDidDismissScreen;");
    }
}

TEST_CASE("full-screen controller: a controller stacked on another leaves the status bar and idle timer alone, and tells the slot of its unannounced did-dismiss") {
    Stage stage;
    const auto app = UIApplication::sharedApplication();
    auto outer = stage.presented(stage.root);
    auto inner = stage.presented(outer);
    CHECK(stage.count(kAdModalViewControllerWillPresentFullScreen) == 2);
    CHECK(stage.screenEvents() == "adWillPresentScreen;");
    CHECK_FALSE(inner->isFirstAKViewController());
    // Its own appearance came from the platform only: no safety call was due.
    stage.advance(AKViewController::kAppearanceSafetyDelay);

    CHECK(stage.window->tap(centre(*inner->closeButton())));
    waitFor([&] { return !inner->hasViewAppeared() && outer->isViewVisible(); }, "the stacked controller to go");
    CHECK(stage.count(kAdModalViewControllerDidDismissFullScreen) == 1);
    CHECK(app->isStatusBarHidden());
    CHECK(app->isIdleTimerDisabled());
    // Gone, it has no parent: it tells the slot did-dismiss too, as a screen it never announced.
    inner.reset();
    CHECK(stage.screenEvents() == "adWillPresentScreen;adDidDismissScreen unannounced;");

    // The slot's statistics get the dismissal time and the click's return pair.
    const auto clicked = static_cast<long long>(AKAbsoluteTime::absoluteTimeInMilliseconds());
    stage.slot->statistics.setObject("tclickcurr", Value(clicked));
    stage.advance(2);
    outer->relinquishScreen();
    waitFor([&] { return !outer->hasViewAppeared(); }, "the first controller to go");
    CHECK(app->isStatusBarHidden() == false);
    CHECK(app->isIdleTimerDisabled() == false);
    const auto dismissed = static_cast<long long>(AKAbsoluteTime::absoluteTimeInMilliseconds());
    CHECK(std::ranges::count(stage.slot->calls, format("setAdStatistic tlanding_page_load_dismiss=%lld onlyWhenAbsent=0", dismissed)) == 1);
    CHECK(std::ranges::count(stage.slot->calls, format("addAdStatisticToArray tclick=%@",
                                                       Value::array({Value(clicked), Value(dismissed)}))) == 1);
    outer.reset();
    CHECK(stage.screenEvents() ==
          "adWillPresentScreen;adDidDismissScreen unannounced;adWillDismissScreen;adDidDismissScreen;");
}

TEST_CASE("web-app controller: an expanded banner leaves its snapshot, comes back on close, and the close button follows the ad") {
    Stage stage;
    stage.slot->richMedia = true;
    const auto holder = std::make_shared<UIView>(CGRectMake(0, 400, 320, 100));
    stage.root->view()->addSubview(holder);
    const auto banner = AKWebView::make(CGRectMake(0, 50, 320, 50));
    holder->addSubview(banner);
    banner->setDidReceiveLoadEvent(true);  // the banner's page has loaded
    stage.slot->adWebView = banner;
    const auto bannerDelegate = std::make_shared<AKWebViewDelegate>();
    banner->setDelegate(bannerDelegate);
    const auto& bannerPage = UIWebViewRecorder::of(*banner->webView());
    const auto pageEvents = [&] {
        std::string events;
        for (const auto& s : bannerPage.evaluatedScripts())
            if (s.starts_with("ADNET_ReceiveMessage('")) events += s.substr(22, s.find('\'', 22) - 22) + ";";
        return events;
    };

    auto controller = AKWebAppViewController::make(banner);
    controller->setSlot(stage.slot);
    controller->presentFromViewController(stage.root);
    waitFor([&] { return controller->isViewVisible(); }, "the expanded ad on screen");
    CHECK(controller->isExpandable());
    CHECK(banner->superview() == controller->view());
    CHECK(banner->frame() == CGRectMake(0, 0, 320, 568));
    REQUIRE(controller->renderedBanner());
    CHECK(controller->renderedBanner()->superview() == holder);
    CHECK(controller->renderedBanner()->frame() == CGRectMake(0, 50, 320, 50));
    // A rich-media ad's close button: 50 x 50 in the top right corner.
    CHECK(controller->closeButton()->frame() == CGRectMake(270, 0, 50, 50));
    CHECK(controller->closeButton()->imageForState(UIControlStateNormal) == AKIntrinsicImages::sharedInstance()->closeButton());
    controller->setUseCustomClose(true);  // still there, invisible
    CHECK(controller->closeButton()->superview() == controller->view());
    CHECK(controller->closeButton()->imageForState(UIControlStateNormal) ==
          AKIntrinsicImages::sharedInstance()->transparentImage());
    CHECK(controller->closeButton()->accessibilityLabel() == "Close Advertisement");

    CHECK(stage.window->tap(CGPointMake(295, 25)));
    waitFor([&] { return !controller->hasViewAppeared(); }, "the ad to collapse");
    drainMainQueue();  // page events are evaluated from the main queue
    CHECK(pageEvents() == "expanding;onshow;onhide;collapsed;");
    CHECK(banner->superview() == holder);
    CHECK(banner->frame() == CGRectMake(0, 50, 320, 50));
    CHECK(banner->delegate() == bannerDelegate);
    controller.reset();

    // Another ad with custom close has no button at all; without, 32 x 32 top left.
    stage.slot->richMedia = false;
    auto webApp = AKWebAppViewController::make();
    webApp->setSlot(stage.slot);
    webApp->setUseCustomClose(true);
    CHECK_FALSE(webApp->closeButton()->superview());
    webApp->setUseCustomClose(false);
    CHECK(webApp->closeButton()->superview() == webApp->view());
    CHECK(webApp->closeButtonFrameForContentFrame(CGRectMake(10, 20, 300, 400)) == CGRectMake(10, 20, 32, 32));
}
