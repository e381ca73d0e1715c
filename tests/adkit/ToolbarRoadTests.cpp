// Protects the publisher toolbar and the bad-ad report end to end: a banner of
// the real slot on the phone device screen against the real ad server, a
// zig-zag drawn on it through the device input opening "Debug Creative Info";
// "Publisher Toolbar" opening the toolbar, whose script page gets the ad, keeps
// the credentials it sends (and ad requests then carry "dpt" = "1"), refuses
// credentials from the sign-in page, hands on the sign-in page's whole
// "Success…" title, clears the credentials; a failed script download closing
// the toolbar; and "Report" posting the debug text to the configured endpoint.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ServedScreenRoad.h"
#include "InterstitialTestSupport.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKBadAdUtil.h"
#include "adkit/rendering/AKPublisherToolbarController.h"
#include "adkit/rendering/AKPublisherToolbarCredentials.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/display/DeviceScene.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIToolbar.h"

using adkittest::waitFor;
using devicescreentest::near;
using devicescreentest::probe;

namespace {

using screenroad::kBannerBlue;
constexpr CGPixel kSignInPurple{0x6A, 0x1B, 0x9A, 255};
constexpr CGPixel kRememberGreen{0x2E, 0x7D, 0x32, 255};
constexpr CGPixel kForgetOrange{0xEF, 0x6C, 0x00, 255};
constexpr CGPixel kSignInTeal{0x00, 0x83, 0x8F, 255};
constexpr CGRect kBannerFrame{{0, 518}, {320, 50}};
constexpr const char* kDebugText = "creative 42: \"banner\"";
constexpr const char* kSuccessTitle = "Success: code=4b1d & state='toolbar' \"ok\"";
// The three bands of the toolbar page (538 points high above the bar), near their left ends
// (their labels are in the middle).
constexpr CGPoint kSignInBand{20, 90}, kRememberBand{20, 269}, kForgetBand{20, 448};

nlohmann::json units() {
    return {{"banner",
             {{"file", "adnet/static/creatives/banner.html"}, {"headers", {{"X-Adnet-Debug-Dialog", kDebugText}}}}}};
}

struct BannerHeard : AKBannerViewDelegate, renderingtest::CallLog {
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    std::size_t count(const std::string& call) const { return std::ranges::count(calls, call); }
};

// The publisher log lines, kept.
struct LogLines : AKLogChecker {
    std::mutex mutex;
    std::vector<std::string> lines;
    void message(const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    }
    bool contains(const std::string& part) {
        std::lock_guard lock(mutex);
        return std::ranges::any_of(lines, [&](const auto& line) { return line.find(part) != std::string::npos; });
    }
};

// A banner of the ad server on the served phone screen, real openers, no credentials stored.
struct ToolbarRoad : slotroad::EngineSlots {
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    interstitialtest::Screen screen;
    std::unique_ptr<DeviceScreenServer> device;
    std::shared_ptr<LogLines> logLines = std::make_shared<LogLines>();
    std::shared_ptr<BannerHeard> heard = std::make_shared<BannerHeard>();
    std::shared_ptr<AKBannerView> banner;

    ToolbarRoad() : EngineSlots(units()) {
        // The core page's constants name the report endpoint (the library keeps it in the user defaults).
        REQUIRE(server.order("constants", {{"bad_ad_report_path", "{origin}/s/reportAd?via=constants"},
                                           {"as_domains", "127.0.0.1,localhost"}}) == 200);
        AKOpener::setFactory(nullptr);
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        AKBadAdUtil::setSharedInstance(nullptr);
        AKMacros::setLogChecker(logLines);
        forgetCredentials();
        screen.root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        device = screenroad::startDeviceScreen();
        banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, kBannerFrame.origin);
        REQUIRE(banner);
        banner->setAdUnitID("banner");
        banner->setDelegate(heard);
        banner->setRootViewController(screen.root);
        screen.root->view()->addSubview(banner);
        loadBanner(1);
    }
    ~ToolbarRoad() {
        device.reset();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
        AKMacros::setLogChecker(nullptr);
        forgetCredentials();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(AKBadAdUtil::kReportPathKey);
    }
    static void forgetCredentials() {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(AKPublisherToolbarCredentials::kDefaultsKey);
    }
    void loadBanner(std::size_t loads) {
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return heard->count("didReceiveAd") == loads; }, "the banner's ad");
        waitForPaint(*banner->webView()->webView(), {100, 25}, kBannerBlue, "the banner");
    }
    static void waitForPaint(const UIWebView& view, CGPoint point, CGPixel colour, const std::string& what) {
        screenroad::waitForPaint(view, point, colour, what);
    }
    void tap(CGPoint point) { screenroad::tap(*device, point); }
    // The zig-zag on the banner (right, left, right, a little left, lift), then the debug dialog's button.
    void debugDialogButton(const std::string& title) {
        const double y = CGRectGetMidY(kBannerFrame);
        screenroad::carryOut([&](DeviceInput::Completion done) {
            device->input().stroke({{100, y}, {125, y}, {100, y}, {125, y}, {118, y}}, std::move(done));
        }, "the zig-zag");
        waitFor([] { return DeviceScene::frontAlert().has_value(); }, "the debug dialog");
        const auto alert = *DeviceScene::frontAlert();
        CHECK(alert.alert->title() == "Debug Creative Info");
        CHECK(alert.alert->message() == kDebugText);
        const auto button = std::ranges::find(alert.buttons, title, &DeviceOverlayButton::title);
        REQUIRE(button != alert.buttons.end());
        tap(CGPointMake(CGRectGetMidX(button->frame), CGRectGetMidY(button->frame)));
        waitFor([] { return !DeviceScene::frontAlert(); }, "the debug dialog to go");
    }
    std::shared_ptr<AKPublisherToolbarController> toolbar() const {
        return std::dynamic_pointer_cast<AKPublisherToolbarController>(screen.root->presentedViewController());
    }
    // The toolbar script's calls of a function, their arguments in order.
    std::vector<nlohmann::json> scriptCalls(const std::string& function) const {
        return pageLogEntries("toolbar", "call", function, "argument");
    }
    static Value storedCredentials() {
        return NSUserDefaults::standardUserDefaults()->objectForKey(AKPublisherToolbarCredentials::kDefaultsKey);
    }
    // Opens the toolbar from the banner and waits for its page on screen.
    std::shared_ptr<AKPublisherToolbarController> openToolbar(std::size_t opened) {
        debugDialogButton("Publisher Toolbar");
        waitFor([&] { return toolbar() != nullptr; }, "the toolbar on screen");
        const auto shown = toolbar();
        waitFor([&] { return scriptCalls("ADNET_initializeToolbar").size() == opened; }, "the toolbar's initialisation");
        waitFor([&] { return !shown->jsWebView()->isHidden(); }, "the toolbar page shown");
        waitForPaint(*shown->jsWebView(), kSignInBand, kSignInPurple, "the toolbar page ");
        return shown;
    }
    // Where the bar's Done item is on the screen.
    static CGRect doneFrame(const std::shared_ptr<AKPublisherToolbarController>& shown) {
        const auto view = shown->doneButton()->view();
        REQUIRE(view);
        return view->convertRectToView(view->bounds(), nullptr);
    }
    void done(const std::shared_ptr<AKPublisherToolbarController>& shown) {
        const CGRect frame = shown->toolbar()->convertRectToView(shown->toolbar()->bounds(), nullptr);
        CHECK(frame == CGRectMake(0, 538, 320, 30));
        const CGRect item = doneFrame(shown);
        tap(CGPointMake(CGRectGetMidX(item), CGRectGetMidY(item)));
        waitFor([&] { return !screen.root->presentedViewController(); }, "the toolbar to close");
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("toolbar road: opened from the debug dialog, credentials kept from its own page only, sign-in decoded, cleared") {
    ToolbarRoad road;
    auto shown = road.openToolbar(1);
    auto shot = devicescreentest::servedFrame(*road.device, "toolbar-road").first;
    CHECK(near(probe(shot, kSignInBand.x, kSignInBand.y), kSignInPurple));
    CHECK(near(probe(shot, kRememberBand.x, kRememberBand.y), kRememberGreen));
    CHECK(near(probe(shot, kForgetBand.x, kForgetBand.y), kForgetOrange));
    // The bar holds one system Done item, in the done style and the bar's black tint.
    const auto done = shown->doneButton();
    CHECK(shown->toolbar()->items() == std::vector<UIBarButtonItemPtr>{done});
    CHECK(done->systemItem() == UIBarButtonSystemItemDone);
    CHECK(done->style() == UIBarButtonItemStyleDone);
    CHECK(done->accessibilityLabel() == "Done");
    CHECK(devicescreentest::anyPixel(shot, ToolbarRoad::doneFrame(shown),
                                     [](CGPixel p) { return p.r < 90 && p.g < 90 && p.b < 90; }));
    CHECK(probe(shot, 300, 553).r > 180);  // the bar itself is light
    CHECK_FALSE(shown->spinnyWheel()->isAnimating());
    const auto first = road.scriptCalls("ADNET_initializeToolbar").front();
    CHECK(first.value("adUnitID", "") == "banner");
    CHECK_FALSE(first.contains("credentials"));
    const std::string adContent = first.value("adContent", "");
    CHECK(adContent.find("<a") != std::string::npos);  // the banner's markup

    // "Remember": the toolbar page's own credentials are kept as sent.
    road.tap(kRememberBand);
    waitFor([] { return AKPublisherToolbarCredentials::hasToolbarCredentials(); }, "the credentials stored");
    const Value publisher{{"token", Value("t0ken")}, {"user", Value("publisher")}};
    CHECK(ToolbarRoad::storedCredentials() == publisher);

    // "Sign in": the sign-in page plants credentials of its own (refused), then ends on its "Success…" page.
    road.tap(kSignInBand);
    waitFor([&] { return shown->oauthWebView() && !shown->oauthWebView()->isHidden(); }, "the sign-in view");
    ToolbarRoad::waitForPaint(*shown->oauthWebView(), {160, 200}, kSignInTeal, "the sign-in page");
    CHECK(shown->jsWebView()->isHidden());
    CHECK(near(probe(devicescreentest::servedFrame(*road.device).first, 160, 200), kSignInTeal));
    road.tap(CGPointMake(160, 200));
    waitFor([&] { return road.logLines->contains("credentials refused"); }, "the sign-in page's credentials refused");
    waitFor([&] { return road.scriptCalls("ADNET_decodeImpression").size() == 1; }, "the sign-in decoded");
    CHECK(road.scriptCalls("ADNET_decodeImpression").front() ==
          nlohmann::json{{"adContent", adContent}, {"authenticationPageTitle", kSuccessTitle}});
    CHECK(shown->oauthWebView()->isHidden());
    waitFor([&] { return !shown->jsWebView()->isHidden(); }, "the toolbar page again");
    CHECK(ToolbarRoad::storedCredentials() == publisher);
    road.done(shown);
    shown.reset();

    // With credentials the next ad request carries "dpt", and the next toolbar is handed them.
    road.loadBanner(2);
    CHECK(road.loggedQuery(slotroad::kAdPath, "dpt") == std::vector<std::string>{"(none)", "1"});
    shown = road.openToolbar(2);
    CHECK(road.scriptCalls("ADNET_initializeToolbar").back()["credentials"] ==
          nlohmann::json{{"token", "t0ken"}, {"user", "publisher"}});

    // "Forget": the user-defaults key goes.
    road.tap(kForgetBand);
    waitFor([] { return !AKPublisherToolbarCredentials::hasToolbarCredentials(); }, "the credentials cleared");
    CHECK(ToolbarRoad::storedCredentials().isNull());
    CHECK(shown->credentials()->credentials().isNull());
    road.done(shown);
}

TEST_CASE("toolbar road: a failed script download closes the toolbar, and Report posts the debug text") {
    ToolbarRoad road;
    REQUIRE(road.server.order("fault", {{"path", AKPublisherToolbarController::kScriptPath}, {"kind", "status"},
                                        {"status", 500}}) == 200);
    road.debugDialogButton("Publisher Toolbar");
    const auto shown = road.toolbar();
    REQUIRE(shown);
    waitFor([&] { return !road.logged(AKPublisherToolbarController::kScriptPath).empty(); }, "the script asked for");
    waitFor([&] { return !road.screen.root->presentedViewController(); }, "the toolbar to close itself");
    CHECK_FALSE(shown->isPresented());
    CHECK(road.screen.count(kAdModalViewControllerWillPresentFullScreen) == 1);
    waitFor([&] { return road.screen.count(kAdModalViewControllerDidDismissFullScreen) == 1; },
            "the toolbar's full screen given back");
    CHECK(road.scriptCalls("ADNET_initializeToolbar").empty());

    const std::string endpoint = road.server.origin("https") + "/s/reportAd?via=constants";
    waitFor([&] { return NSUserDefaults::standardUserDefaults()->stringForKey(AKBadAdUtil::kReportPathKey) == endpoint; },
            "the report endpoint from the core page");
    road.debugDialogButton("Report");
    waitFor([&] { return !road.logged("/s/reportAd").empty(); }, "the report at the server");
    const auto report = road.logged("/s/reportAd").front();
    CHECK(report["method"] == "POST");
    CHECK(report["query"] == nlohmann::json{{"via", "constants"}});
    CHECK(nlohmann::json::parse(std::string(report["body"])) == nlohmann::json{{"debugHeader", kDebugText}});
    road.loadBanner(2);  // the ad goes on loading after its debug dialog
}

TEST_SUITE_END();
