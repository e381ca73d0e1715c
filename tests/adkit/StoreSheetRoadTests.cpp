// Protects the store sheet: the application's cache of prefetched sheets
// (taken out once, given back under a product ID, bounded by a count, dropped
// at size 0, released on the main thread); and, with real banners on the web
// engine against the ad server on the phone screen tapped through the device
// input: a prefetched sheet on screen at once without waiting (from its opener,
// or from the application cache once that opener went), a failed load (or one
// naming no product) opening the fallback outside, a loaded sheet presented before its report, Done
// closing it and making the presenter first responder, and a sheet loading
// while its presenter is being dismissed or gone never shown nor reported.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "platform/storekit/SKStoreProductViewController.h"
#include "platform/uikit/UILabel.h"

using adkittest::drainMainQueue;
using adkittest::waitFor;
using devicescreentest::near;
using devicescreentest::probe;
using Sheet = SKStoreProductViewController;

namespace {

// A sheet that notes whether its last reference went on the main thread.
struct WatchedSheet : Sheet {
    std::shared_ptr<std::optional<bool>> releasedOnMain = std::make_shared<std::optional<bool>>();
    ~WatchedSheet() override { *releasedOnMain = isProcessMainThread(); }
};

}  // namespace

TEST_CASE("store sheet: the application cache hands each sheet out once and keeps as many as its limit") {
    auto application = AKApplication::sharedApplication();
    const auto take = [&](const char* id) { return application->cachedStoreProductViewControllerForProductID(id); };
    const auto give = [&](const std::shared_ptr<Sheet>& sheet, const char* id) {
        application->finishedUsingStoreProductViewController(sheet, id);
    };
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
    auto first = std::make_shared<WatchedSheet>();
    auto second = std::make_shared<Sheet>();
    const auto firstReleasedOnMain = first->releasedOnMain;
    give(first, "");  // nothing for an empty ID or a null sheet
    give(nullptr, "1");
    CHECK_FALSE(take("1"));
    give(first, "1");
    first.reset();      // the cache holds the last reference
    give(second, "2");  // the limit lets the first go
    waitFor([&] { return firstReleasedOnMain->has_value(); }, "the evicted sheet's release");
    CHECK(**firstReleasedOnMain);
    CHECK(take("2") == second);
    CHECK_FALSE(take("2"));  // taken out
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(2);
    give(second, "2");
    give(second, "3");
    CHECK((take("2") == second && take("3") == second));
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(0);  // no cache: nothing kept
    give(second, "2");
    CHECK_FALSE(take("2"));
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
}

namespace {

constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kBannerBlue{0x15, 0x65, 0xC0, 255};
constexpr CGPoint kWaitButton{80, 543}, kNowButton{240, 543}, kDoneButton{276, 42};

std::string fallbackFor(const std::string& product) { return "https://fallback.test/app/" + product; }

// A banner whose left half opens the store waiting for the load and whose
// right half opens it without waiting (an empty product: the message names
// none); "prefetch" units ask for the sheet on load.
nlohmann::json storeUnit(const std::string& unit, const std::string& product, bool prefetch) {
    const std::string body =
        "<html><head><meta name='viewport' content='width=320,height=50,initial-scale=1'><style>"
        "html,body{margin:0;width:320px;height:50px;background:#1565C0}div{position:absolute;width:160px;height:50px}"
        "</style><script src='/adnet/static/sdk/native/adnet-page.js'></script></head><body>"
        "<div id='wait'></div><div id='now' style='left:160px'></div><script>"
        "var send = adnetPage.sender('adnet');"
        "function open(wait) { send('open', {a: 'in_app_store', " +
        (product.empty() ? std::string() : "product_id: '" + product + "', ") + "u: '" + fallbackFor(product) +
        "', wait_for_fetch: wait}); }" +
        (prefetch ? "send('fetchAppStore', {product_id: '" + product + "'});" : "") +
        "document.getElementById('wait').onclick = function () { open(null); };"
        "document.getElementById('now').onclick = function () { open('false'); };</script></body></html>";
    return slotroad::htmlUnit(body, "", {{"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?unit=" + unit}});
}

// A controller that may be first responder, as a screen of the application is.
struct Presenter : UIViewController {
    bool canBecomeFirstResponder() const override { return true; }
};

struct BannerHeard : AKBannerViewDelegate, renderingtest::CallLog {
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewWillLeaveApplication(AKBannerView&) override { record("willLeave"); }
};

// What the openers reported, and whether a sheet was on screen at an opening inside.
struct OpenerHeard : AKOpenerDelegate, renderingtest::CallLog {
    std::shared_ptr<UIViewController> root;
    void didOpenInApplication() override {
        record(std::dynamic_pointer_cast<Sheet>(root->presentedViewController()) ? "inside over the sheet" : "inside");
    }
    void didLeaveApplication() override { record("outside"); }
};

// The ad server with the store units; the library's openers telling
// `openerHeard`; virtual time; a white presenter on the served phone screen.
struct StoreRoad : slotroad::EngineSlots {
    // The library's absolute milliseconds count from their first use: started
    // on the real clock, every road's virtual clock (far later) moves them.
    struct AbsoluteTimeStarted {
        AbsoluteTimeStarted() { (void)AKAbsoluteTime::absoluteTimeInMilliseconds(); }
    } absoluteTimeStarted;
    adkittest::VirtualTime time{5.0e9};
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<Presenter> root = std::make_shared<Presenter>();
    std::shared_ptr<OpenerHeard> openerHeard = std::make_shared<OpenerHeard>();
    std::unique_ptr<DeviceScreenServer> device;
    std::size_t openedBefore = UIApplication::sharedApplication()->openedURLs().size();

    StoreRoad()
        : EngineSlots({{"prefetch-42", storeUnit("prefetch-42", "42", true)},
                       {"store-42", storeUnit("store-42", "42", false)},
                       {"store-7", storeUnit("store-7", "7", false)},
                       {"store-13", storeUnit("store-13", "13", false)},
                       {"store-9", storeUnit("store-9", "9", false)},
                       {"store-none", storeUnit("store-none", "", false)}}) {
        Sheet::resetOutcomes();
        AKApplication::sharedApplication()->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
        openerHeard->root = root;
        AKOpener::setFactory([heard = openerHeard] {
            auto opener = std::make_shared<AKOpener>();
            opener->setDelegate(heard);
            return opener;
        });
        UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
        root->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        DeviceScreenServerOptions options;
        options.port = 0;
        std::string error;
        device = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(device, error);
    }
    ~StoreRoad() {
        device.reset();
        AKOpener::setFactory(nullptr);
        Sheet::resetOutcomes();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    std::size_t opened() const { return UIApplication::sharedApplication()->openedURLs().size() - openedBefore; }
    std::size_t clickPings(const std::string& unit) const {
        return static_cast<std::size_t>(std::ranges::count(loggedQuery("/adnet/ping/click", "unit"), unit));
    }
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    CGPixel pixel(CGPoint point, const std::string& snapshot = {}) {
        return probe(devicescreentest::servedFrame(*device, snapshot).first, point.x, point.y);
    }
    // A banner of the unit at the bottom of the presenter's view, its creative painted.
    std::shared_ptr<AKBannerView> showBanner(const std::string& unit,
                                             const std::shared_ptr<UIViewController>& presenter,
                                             const std::shared_ptr<BannerHeard>& heard) {
        auto banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, CGPointMake(0, 518));
        banner->setAdUnitID(unit);
        banner->setDelegate(heard);
        banner->setRootViewController(presenter);
        presenter->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        // The ad's web view takes taps once shown, when its page has loaded.
        waitFor([&] { return heard->calls == std::vector<std::string>{"didReceiveAd"}; }, "the banner's ad " + unit);
        REQUIRE_FALSE(banner->webView()->isHidden());
        waitFor([&] {
            const auto shown = webtest::layerPixel(*banner->webView()->webView(), 100, 25);
            return shown && near(*shown, kBannerBlue);
        }, "a painted frame of the banner " + unit);
        Clock::advance(1);  // a person's tap comes a while after the ad shows
        return banner;
    }
    std::shared_ptr<Sheet> sheet() const { return std::dynamic_pointer_cast<Sheet>(root->presentedViewController()); }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("store road: a prefetched sheet is on screen at once without waiting, from its opener or from the application cache") {
    StoreRoad road;
    const std::size_t loadsBefore = Sheet::loadCount(), doneBefore = Sheet::completedLoadCount();
    auto banner = road.showBanner("prefetch-42", road.root, std::make_shared<BannerHeard>());
    waitFor([&] { return Sheet::completedLoadCount() == doneBefore + 1; }, "the prefetched sheet's load");
    const std::weak_ptr<AKAdSlot> firstSlot = banner->slot();
    for (const std::string unit : {"prefetch-42", "store-42"}) {
        CAPTURE(unit);
        if (unit == "store-42") {  // the prefetching opener gone: its sheet is the application's
            banner->removeFromSuperview();
            banner.reset();
            waitFor([&] { return firstSlot.expired(); }, "the first banner's slot and opener to go");
            banner = road.showBanner(unit, road.root, std::make_shared<BannerHeard>());
        }
        road.openerHeard->calls.clear();
        road.tap(kNowButton);
        waitFor([&] { return road.sheet() != nullptr; }, "the sheet on screen");
        CHECK(road.sheet()->loadState() == Sheet::LoadState::Loaded);  // no time passed, no load of its own
        CHECK(Sheet::loadCount() == loadsBefore + 1);
        waitFor([&] { return road.clickPings(unit) == 1; }, "the click ping of the opening");
        CHECK(road.openerHeard->joined() == "inside over the sheet");
        CHECK(near(road.pixel({160, 543}), kWhite));  // the sheet covers the banner
        road.tap(kDoneButton);
        waitFor([&] { return road.sheet() == nullptr; }, "the sheet to go");
    }
    CHECK(road.opened() == 0);
}

TEST_CASE("store road: a failed load or none named opens the fallback outside, a loaded sheet is presented and then reported, Done closes it") {
    StoreRoad road;
    Sheet::setOutcomeForProductID("13", {NSError::make("SKErrorDomain", 0, "offline"), 2});
    Sheet::setOutcomeForProductID("7", {nullptr, 2});
    std::size_t fallbacks = 0;
    // "": the message names no product; even not waiting, the store is asked and fails the load.
    for (const std::string product : {"13", "", "7"}) {
        const bool loads = product == "7";
        const std::string unit = product.empty() ? "store-none" : "store-" + product;
        CAPTURE(unit);
        road.openerHeard->calls.clear();
        auto heard = std::make_shared<BannerHeard>();
        auto banner = road.showBanner(unit, road.root, heard);
        const std::size_t loadsBefore = Sheet::loadCount(), doneBefore = Sheet::completedLoadCount();
        road.tap(product.empty() ? kNowButton : kWaitButton);
        waitFor([&] { return Sheet::loadCount() == loadsBefore + 1; }, "the tap's load to start");
        CHECK_FALSE(road.sheet());  // nothing before the load ends
        Clock::advance(2);
        waitFor([&] { return Sheet::completedLoadCount() == doneBefore + 1; }, "the load's end");
        waitFor([&] { return road.clickPings(unit) == 1; }, "the click ping of the opening");
        if (!loads) {
            ++fallbacks;
            waitFor([&] { return road.opened() == fallbacks; }, "the fallback opened outside");
            CHECK(UIApplication::sharedApplication()->openedURLs().back() == fallbackFor(product));
            CHECK(heard->joined() == "didReceiveAd; willLeave");
            CHECK(road.openerHeard->joined() == "outside");
            CHECK_FALSE(road.sheet());
            banner->removeFromSuperview();
            continue;
        }
        REQUIRE(road.sheet());
        CHECK(road.openerHeard->joined() == "inside over the sheet");
        CHECK(road.opened() == 2);  // only the failed ones' fallbacks
        waitFor([&] { return road.sheet()->isViewVisible(); }, "the sheet's presentation to end");
        CHECK(near(road.pixel({160, 543}, "store-sheet"), kWhite));
        CHECK(near(road.pixel({40, 50}), CGPixel{247, 247, 247, 255}));  // its bar
        CHECK(road.sheet()->productLabel()->text() == "Product 7");
        road.tap(kDoneButton);
        waitFor([&] { return road.sheet() == nullptr; }, "Done to dismiss the sheet");
        CHECK(road.root->isFirstResponder());
        waitFor([&] { return near(road.pixel({100, 543}), kBannerBlue); }, "the banner on screen again");
    }
}

TEST_CASE("store road: a sheet that loads while its presenter is being dismissed or gone is not shown and reports nothing") {
    StoreRoad road;
    Sheet::setOutcomeForProductID("9", {nullptr, 2});
    for (const bool gone : {false, true}) {
        CAPTURE(gone);
        auto presenter = std::make_shared<Presenter>();
        road.root->presentViewController(presenter, false);
        auto heard = std::make_shared<BannerHeard>();
        auto banner = road.showBanner("store-9", presenter, heard);
        const std::size_t loadsBefore = Sheet::loadCount(), doneBefore = Sheet::completedLoadCount();
        road.tap(kWaitButton);
        waitFor([&] { return Sheet::loadCount() == loadsBefore + 1; }, "the tap's load to start");
        if (gone) {
            presenter->dismissViewControllerAnimated(false);
            const std::weak_ptr<UIViewController> goneNow = presenter;
            presenter.reset();
            REQUIRE(goneNow.expired());
            Clock::advance(2);
        } else {
            // The load's answer goes to the main queue; the dismissal starts before it runs there.
            Clock::advance(2);
            for (const double limit = Clock::monotonic() + 20;
                 Sheet::completedLoadCount() == doneBefore && Clock::monotonic() < limit;)
                std::this_thread::yield();
            presenter->dismissViewControllerAnimated(true);
            REQUIRE(presenter->isBeingDismissed());
        }
        waitFor([&] { return Sheet::completedLoadCount() == doneBefore + 1; }, "the load's end");
        drainMainQueue();
        drainMainQueue();
        CHECK_FALSE(road.root->presentedViewController());
        CHECK(road.openerHeard->calls.empty());
        CHECK(road.clickPings("store-9") == 0);
        CHECK(road.opened() == 0);
        CHECK(heard->joined() == "didReceiveAd");
    }
}

TEST_SUITE_END();
