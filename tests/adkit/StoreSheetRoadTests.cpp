// Protects the store sheet: the application's cache of prefetched sheets
// (taken out once, given back under a product ID, bounded by a count, dropped
// at size 0); and, with real banners on the web engine against the ad server
// on the phone screen tapped through the device input, a prefetched sheet on
// screen at once without waiting (from its opener, or from the application
// cache once that opener went), a failed load opening the fallback outside, a
// loaded sheet presented before its report, Done closing it and making the
// presenter first responder, and a sheet loading while its presenter is being
// dismissed or gone shown never and reported never.
#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "SlotEngineRoad.h"
#include "adkit/foundation/AKApplication.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/base/MainThread.h"
#include "platform/WebViewSupport.h"
#include "platform/storekit/SKStoreProductViewController.h"
#include "platform/uikit/UILabel.h"

using adkittest::waitFor;

namespace {
// A sheet that notes whether its last reference went on the main thread.
struct WatchedSheet : SKStoreProductViewController {
    std::shared_ptr<std::optional<bool>> releasedOnMain = std::make_shared<std::optional<bool>>();
    ~WatchedSheet() override { *releasedOnMain = isProcessMainThread(); }
};
}  // namespace

TEST_CASE("store sheet: the application cache hands each sheet out once and keeps as many as its limit") {
    auto application = AKApplication::sharedApplication();
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
    auto first = std::make_shared<WatchedSheet>();
    auto second = std::make_shared<SKStoreProductViewController>();
    const auto firstReleasedOnMain = first->releasedOnMain;

    // Nothing for an empty ID or a null sheet; nothing cached yet.
    application->finishedUsingStoreProductViewController(first, "");
    application->finishedUsingStoreProductViewController(nullptr, "1");
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("1"));
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID(""));

    application->finishedUsingStoreProductViewController(first, "1");
    first.reset();  // the cache holds the last reference
    application->finishedUsingStoreProductViewController(second, "2");  // the limit lets the first go
    waitFor([&] { return firstReleasedOnMain->has_value(); }, "the evicted sheet's release");
    CHECK(**firstReleasedOnMain);
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("1"));
    CHECK(application->cachedStoreProductViewControllerForProductID("2") == second);
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("2"));  // taken out

    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(2);
    application->finishedUsingStoreProductViewController(second, "2");
    application->finishedUsingStoreProductViewController(second, "3");
    CHECK(application->cachedStoreProductViewControllerForProductID("2") == second);
    CHECK(application->cachedStoreProductViewControllerForProductID("3") == second);

    // Size 0 drops the cache: a sheet given back is not kept.
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(0);
    CHECK_FALSE(application->discardableStoreProductViewControllerAppCache());
    application->finishedUsingStoreProductViewController(second, "2");
    CHECK_FALSE(application->cachedStoreProductViewControllerForProductID("2"));
    application->setDiscardableStoreProductViewControllerAppCacheMaxSize(1);
}

// ---- The store road: real banners on the engine against the ad server, on the phone screen -----

namespace {

using devicescreentest::near;
using devicescreentest::probe;

constexpr CGPixel kWhite{255, 255, 255, 255};
constexpr CGPixel kBannerBlue{0x15, 0x65, 0xC0, 255};
constexpr CGPixel kSheetBar{247, 247, 247, 255};
constexpr CGPoint kWaitButton{80, 543}, kNowButton{240, 543}, kDoneButton{276, 42};

std::string fallbackFor(const std::string& product) { return "https://fallback.test/app/" + product; }

// A banner with two halves: the left opens the store waiting for the load, the
// right without waiting; "prefetch" units ask for the sheet when they load.
nlohmann::json storeUnit(const std::string& unit, const std::string& product, bool prefetch) {
    const std::string store = "{product_id: '" + product + "', u: '" + fallbackFor(product) + "'}";
    const std::string body =
        "<html><head><meta name='viewport' content='width=320,height=50,initial-scale=1'><style>"
        "html,body{margin:0;width:320px;height:50px;overflow:hidden;background:#1565C0}"
        "div{position:absolute;top:0;width:160px;height:50px}#now{left:160px}</style>"
        "<script src='/adnet/static/sdk/native/adnet-page.js'></script></head><body>"
        "<div id='wait'></div><div id='now'></div><script>"
        "var send = adnetPage.sender('adnet'), store = " + store + ";"
        "function open(extra) { var p = {a: 'in_app_store'}; for (var k in store) p[k] = store[k];"
        " for (var k in extra) p[k] = extra[k]; send('open', p); }" +
        (prefetch ? "send('fetchAppStore', {product_id: store.product_id});" : "") +
        "document.getElementById('wait').onclick = function () { open({}); };"
        "document.getElementById('now').onclick = function () { open({wait_for_fetch: 'false'}); };"
        "</script></body></html>";
    return slotroad::htmlUnit(body, "", {{"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?unit=" + unit}});
}

nlohmann::json storeUnits() {
    return {{"prefetch-42", storeUnit("prefetch-42", "42", true)}, {"store-42", storeUnit("store-42", "42", false)},
            {"store-7", storeUnit("store-7", "7", false)}, {"store-13", storeUnit("store-13", "13", false)},
            {"store-9", storeUnit("store-9", "9", false)}};
}

// A controller that may be first responder, as a screen of the application is.
struct Presenter : UIViewController {
    bool canBecomeFirstResponder() const override { return true; }
};

struct BannerHeard : AKBannerViewDelegate, renderingtest::CallLog {
    void adViewDidReceiveAd(AKBannerView&) override { record("didReceiveAd"); }
    void adViewWillLeaveApplication(AKBannerView&) override { record("willLeave"); }
};

// Told by an opener: what was on screen when it reported an opening inside.
struct OpenerHeard : AKOpenerDelegate, renderingtest::CallLog {
    std::shared_ptr<UIViewController> root;
    void didOpenInApplication() override {
        record(std::dynamic_pointer_cast<SKStoreProductViewController>(root->presentedViewController())
                   ? "didOpenInApplication over the sheet"
                   : "didOpenInApplication without the sheet");
    }
    void didLeaveApplication() override { record("didLeaveApplication"); }
};

// The ad server with the store units; the library's openers, each telling
// `openerHeard`; virtual time; a white presenter on the served phone screen.
struct StoreRoad : slotroad::EngineSlots {
    adkittest::VirtualTime time{5.0e9};
    devicescreentest::SavedDevice saved;
    UIApplicationState stateBefore = UIApplication::sharedApplication()->applicationState();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::shared_ptr<Presenter> root = std::make_shared<Presenter>();
    std::shared_ptr<OpenerHeard> openerHeard = std::make_shared<OpenerHeard>();
    std::unique_ptr<DeviceScreenServer> device;
    std::size_t openedBefore = UIApplication::sharedApplication()->openedURLs().size();

    StoreRoad() : EngineSlots(storeUnits()) {
        SKStoreProductViewController::resetOutcomes();
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
        SKStoreProductViewController::resetOutcomes();
        UIApplication::sharedApplication()->setApplicationState(stateBefore);
    }

    std::vector<std::string> opened() const {
        const auto all = UIApplication::sharedApplication()->openedURLs();
        return {all.begin() + static_cast<long>(openedBefore), all.end()};
    }
    std::size_t clickPings(const std::string& unit) const {
        return static_cast<std::size_t>(std::ranges::count(loggedQuery("/adnet/ping/click", "unit"), unit));
    }
    void tap(CGPoint point) {
        std::optional<DeviceInputResult> result;
        device->input().tap(point, [&](const DeviceInputResult& r) { result = r; });
        waitFor([&] { return result.has_value(); }, "the tap to be carried out");
        CHECK(result->delivered);
    }
    CGImageRef frame(const std::string& name = {}) { return devicescreentest::servedFrame(*device, name).first; }
    // A banner of the unit at the bottom of the presenter's view, its creative painted.
    std::shared_ptr<AKBannerView> showBanner(const std::string& unit, const std::shared_ptr<UIViewController>& presenter,
                                             const std::shared_ptr<BannerHeard>& heard) {
        auto banner = AKBannerView::makeWithAdSizeOrigin(kAKAdSizeBanner, CGPointMake(0, 518));
        REQUIRE(banner);
        banner->setAdUnitID(unit);
        banner->setDelegate(heard);
        banner->setRootViewController(presenter);
        presenter->view()->addSubview(banner);
        banner->loadRequest(AKRequest::request());
        waitFor([&] { return heard->calls == std::vector<std::string>{"didReceiveAd"}; }, "the banner's ad");
        waitFor([&] {
            const auto pixel = webtest::layerPixel(*banner->webView()->webView(), 100, 25);
            return pixel && near(*pixel, kBannerBlue);
        }, "a painted frame of the banner");
        return banner;
    }
    // The sheet the presenter shows (null when it shows none).
    std::shared_ptr<SKStoreProductViewController> sheet() const {
        return std::dynamic_pointer_cast<SKStoreProductViewController>(root->presentedViewController());
    }
    static void advance(double seconds) {
        Clock::advance(seconds);
        adkittest::drainMainQueue();
    }
};

}  // namespace

TEST_SUITE_BEGIN("engine");

TEST_CASE("store road: a prefetched sheet is on screen at once without waiting, from its opener or from the application cache") {
    StoreRoad road;
    const std::size_t loadsBefore = SKStoreProductViewController::loadCount();
    const std::size_t doneBefore = SKStoreProductViewController::completedLoadCount();
    auto heard = std::make_shared<BannerHeard>();
    auto banner = road.showBanner("prefetch-42", road.root, heard);
    waitFor([&] { return SKStoreProductViewController::completedLoadCount() == doneBefore + 1; },
            "the prefetched sheet's load");
    CHECK(SKStoreProductViewController::loadCount() == loadsBefore + 1);
    const std::weak_ptr<AKAdSlot> firstSlot = banner->slot();

    struct Row {
        const char* name;
        const char* unit;  // the banner tapped: the prefetching one, or one shown after it went
    };
    for (const Row& row : {Row{"kept by the opener that prefetched it", "prefetch-42"},
                           Row{"given to the application cache when that opener went", "store-42"}}) {
        CAPTURE(row.name);
        if (std::string(row.unit) == "store-42") {
            banner->removeFromSuperview();
            banner.reset();
            waitFor([&] { return firstSlot.expired(); }, "the first banner's slot and opener to go");
            heard = std::make_shared<BannerHeard>();
            banner = road.showBanner(row.unit, road.root, heard);
        }
        road.advance(1);
        road.openerHeard->calls.clear();
        road.tap(kNowButton);
        waitFor([&] { return road.sheet() != nullptr; }, "the sheet on screen");
        // Loaded already: no load of its own, no time passed.
        CHECK(road.sheet()->loadState() == SKStoreProductViewController::LoadState::Loaded);
        CHECK(SKStoreProductViewController::loadCount() == loadsBefore + 1);
        waitFor([&] { return road.clickPings(row.unit) == 1; }, "the click ping of the opening");
        CHECK(road.openerHeard->joined() == "didOpenInApplication over the sheet");
        CHECK(near(probe(road.frame(), 160, 543), kWhite));  // the sheet covers the banner
        road.tap(kDoneButton);
        waitFor([&] { return road.sheet() == nullptr; }, "the sheet to go");
    }
    CHECK(road.opened().empty());
}

TEST_CASE("store road: a failed load opens the fallback outside, a loaded sheet is presented and then reported, Done closes it") {
    StoreRoad road;
    SKStoreProductViewController::setOutcomeForProductID("13", {NSError::make("SKErrorDomain", 0, "offline"), 2});
    SKStoreProductViewController::setOutcomeForProductID("7", {nullptr, 2});
    struct Row {
        const char* unit;
        bool loads;
    };
    for (const Row& row : {Row{"store-13", false}, Row{"store-7", true}}) {
        CAPTURE(row.unit);
        road.openerHeard->calls.clear();
        auto heard = std::make_shared<BannerHeard>();
        auto banner = road.showBanner(row.unit, road.root, heard);
        road.advance(1);
        const std::size_t loadsBefore = SKStoreProductViewController::loadCount();
        const std::size_t doneBefore = SKStoreProductViewController::completedLoadCount();
        road.tap(kWaitButton);
        waitFor([&] { return SKStoreProductViewController::loadCount() == loadsBefore + 1; }, "the tap's load to start");
        CHECK_FALSE(road.sheet());  // nothing shown before the load ends
        road.advance(2);
        waitFor([&] { return SKStoreProductViewController::completedLoadCount() == doneBefore + 1; }, "the load's end");
        if (!row.loads) {
            waitFor([&] { return road.opened().size() == 1; }, "the fallback opened outside");
            CHECK(road.opened().back() == fallbackFor("13"));
            CHECK(heard->joined() == "didReceiveAd; willLeave");
            CHECK(road.openerHeard->joined() == "didLeaveApplication");
            CHECK_FALSE(road.sheet());
            waitFor([&] { return road.clickPings(row.unit) == 1; }, "the click ping of the leaving");
            banner->removeFromSuperview();
            continue;
        }
        waitFor([&] { return road.sheet() != nullptr; }, "the loaded sheet on screen");
        waitFor([&] { return road.clickPings(row.unit) == 1; }, "the click ping of the opening");
        CHECK(road.openerHeard->joined() == "didOpenInApplication over the sheet");
        CHECK(road.opened().size() == 1);  // only the fallback of the failed row
        waitFor([&] { return road.sheet()->isViewVisible(); }, "the sheet's presentation to end");
        const auto shot = road.frame("store-sheet");
        CHECK(near(probe(shot, 160, 543), kWhite));
        CHECK(near(probe(shot, 40, 50), kSheetBar));
        CHECK(near(probe(shot, 40, 100), kWhite));
        CHECK(road.sheet()->productLabel()->text() == "Product 7");

        road.tap(kDoneButton);
        waitFor([&] { return road.sheet() == nullptr; }, "Done to dismiss the sheet");
        CHECK(road.root->isFirstResponder());
        waitFor([&] { return near(probe(road.frame(), 100, 543), kBannerBlue); }, "the banner on screen again");
    }
}

TEST_CASE("store road: a sheet that loads while its presenter is being dismissed or gone is not shown and reports nothing") {
    StoreRoad road;
    SKStoreProductViewController::setOutcomeForProductID("9", {nullptr, 2});
    for (const bool gone : {false, true}) {
        CAPTURE(gone);
        road.openerHeard->calls.clear();
        auto presenter = std::make_shared<Presenter>();
        presenter->view()->setBackgroundColor(devicescreentest::rgb(1, 1, 1));
        road.root->presentViewController(presenter, false);
        auto heard = std::make_shared<BannerHeard>();
        auto banner = road.showBanner("store-9", presenter, heard);
        road.advance(1);
        const std::size_t loadsBefore = SKStoreProductViewController::loadCount();
        const std::size_t doneBefore = SKStoreProductViewController::completedLoadCount();
        road.tap(kWaitButton);
        waitFor([&] { return SKStoreProductViewController::loadCount() == loadsBefore + 1; }, "the tap's load to start");
        if (gone) {
            presenter->dismissViewControllerAnimated(false);
            const std::weak_ptr<UIViewController> goneNow = presenter;
            presenter.reset();
            REQUIRE(goneNow.expired());
            Clock::advance(2);
        } else {
            Clock::advance(2);
            // The load's answer is on its way to the main queue; the dismissal starts before it runs there.
            const double limit = Clock::monotonic() + 20;
            while (SKStoreProductViewController::completedLoadCount() == doneBefore && Clock::monotonic() < limit)
                std::this_thread::yield();
            REQUIRE(SKStoreProductViewController::completedLoadCount() == doneBefore + 1);
            presenter->dismissViewControllerAnimated(true);
            REQUIRE(presenter->isBeingDismissed());
        }
        waitFor([&] { return SKStoreProductViewController::completedLoadCount() == doneBefore + 1; }, "the load's end");
        adkittest::drainMainQueue();
        adkittest::drainMainQueue();
        CHECK_FALSE(road.root->presentedViewController());
        CHECK(road.openerHeard->calls.empty());
        CHECK(road.clickPings("store-9") == 0);
        CHECK(road.opened().empty());
        CHECK(heard->joined() == "didReceiveAd");
    }
}

TEST_SUITE_END();
