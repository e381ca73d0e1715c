// Protects the ad web view and its pool: the capacity rule, reuse without a
// new web view, wipes that fail or leave a page not pooled, at most three
// wipes with the rest released on the main thread, engine visibility of pooled
// views, the page's orientation and SDK events, expansion state and the debug
// dialog, also opened by a zig-zag drawn with real touches on a banner that
// pans (the gesture delegate lets the two recognise together).
#include "RenderingScope.h"
#include "adkit/foundation/AKImpressionTicketTouchRecognizer.h"
#include "adkit/rendering/AKAdURLStash.h"
#include "adkit/rendering/AKBadAdUtil.h"
#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKBrowserWebView.h"
#include "adkit/rendering/AKSDKInfo.h"
#include "adkit/rendering/AKUIWebViewGestureDelegate.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/net/NSURLError.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIPanGestureRecognizer.h"
#include "platform/uikit/UIWindow.h"

using namespace adkittest;
using renderingtest::RecordingSlot;

namespace {
// Returns web views to a pool and lets each wipe end as the row says.
enum class WipeEnd { EmptyPage, Fails, PageLeft };

// True when the pool wiped the web view (a full pool releases it unwiped).
bool wipe(AKWebViewCacheSet& pool, const std::shared_ptr<UIWebView>& webView, WipeEnd end) {
    auto& recorder = UIWebViewRecorder::of(*webView);
    if (end == WipeEnd::PageLeft) recorder.setScriptAnswer([](const std::string&) { return "<p>left</p>"; });
    pool.addObject(webView);
    drainMainQueue();
    if (!recorder.isLoading()) return false;
    CHECK(recorder.request()->URL() == "about:blank");
    if (end == WipeEnd::Fails) recorder.failLoad(*NSError::make(NSURLErrorDomain, NSURLErrorTimedOut, "timed out"));
    else recorder.finishLoad();
    return true;
}
}  // namespace

TEST_CASE("web view pool: the stored capacity decides how many wiped web views wait, 4 by default, until a memory warning") {
    testsupport::TempHome home;
    RenderingScope scope;
    struct Row {
        Value stored;
        std::size_t capacity;
    };
    const Row rows[] = {{Value(), 4}, {Value(9), 9}, {Value(10), 4}, {Value(-1), 4}, {Value(0), 0}, {Value("2"), 2}};
    for (const auto& row : rows) {
        CAPTURE(row.stored.description());
        if (row.stored.isNull()) NSUserDefaults::standardUserDefaults()->removeObjectForKey(AKWebViewCacheSet::kCapacityKey);
        else NSUserDefaults::standardUserDefaults()->setObject(row.stored, AKWebViewCacheSet::kCapacityKey);
        auto pool = AKWebViewCacheSet::make(AKWebViewCacheSet::capacityForStoredValue(
            NSUserDefaults::standardUserDefaults()->objectForKey(AKWebViewCacheSet::kCapacityKey)));
        for (std::size_t i = 0; i < 10; ++i) (void)wipe(*pool, std::make_shared<UIWebView>(), WipeEnd::EmptyPage);
        CHECK(pool->count() == row.capacity);
        NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
        drainMainQueue();
        CHECK(pool->count() == 0);
    }
}

TEST_CASE("web view pool: a wiped web view is reused without a new one, while failed or unclean wipes and a fourth wipe are released on main") {
    testsupport::TempHome home;
    RenderingScope scope;

    auto first = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto wrapped = first->webView();
    CHECK(scope.webViewsMade == 1);
    first.reset();
    RenderingScope::finishWipes(*AKWebView::webViewCache());
    CHECK(AKWebView::webViewCache()->count() == 1);
    CHECK_FALSE(UIWebViewRecorder::of(*wrapped).engineVisible());
    auto second = AKWebView::make(CGRectMake(10, 40, 50, 30));
    CHECK(scope.webViewsMade == 1);
    CHECK(second->webView() == wrapped);
    CHECK(UIWebViewRecorder::of(*wrapped).engineVisible());
    CHECK(CGRectEqualToRect(wrapped->frame(), CGRectMake(0, 0, 50, 30)));
    wrapped.reset();
    second.reset();
    RenderingScope::emptyPool();

    auto pool = AKWebViewCacheSet::make(4);
    const std::size_t releasedBefore = scope.releasedOnMain.size();
    CHECK(wipe(*pool, std::make_shared<UIWebView>(), WipeEnd::Fails));
    CHECK(wipe(*pool, std::make_shared<UIWebView>(), WipeEnd::PageLeft));
    CHECK(pool->count() == 0);
    CHECK(scope.releasedOnMain.size() == releasedBefore + 2);

    std::vector<std::shared_ptr<UIWebView>> wiping;
    for (int i = 0; i < 3; ++i) {
        wiping.push_back(std::make_shared<UIWebView>());
        pool->addObject(wiping.back());
    }
    auto fourth = std::make_shared<UIWebView>();
    std::weak_ptr<UIWebView> fourthWeak = fourth;
    pool->addObject(fourth);
    fourth.reset();
    drainMainQueue();
    CHECK(fourthWeak.expired());
    CHECK(pool->clearingWebViews().size() == 3);
    for (auto& webView : wiping) UIWebViewRecorder::of(*webView).finishLoad();
    CHECK(pool->count() == 3);

    // A wipe that never ends is given up after its time-out, freeing its place.
    adkittest::VirtualTime time(Clock::now());
    auto stuckPool = AKWebViewCacheSet::make(4);
    auto stuck = std::make_shared<UIWebView>();
    std::weak_ptr<UIWebView> stuckWeak = stuck;
    stuckPool->addObject(stuck);
    stuck.reset();
    drainMainQueue();
    CHECK(stuckPool->clearingWebViews().size() == 1);
    Clock::advance(AKWebViewCacheSet::kWipeTimeout - 0.5);
    drainMainQueue();
    CHECK(stuckPool->clearingWebViews().size() == 1);
    Clock::advance(1);
    adkittest::waitFor([&] { return stuckPool->clearingWebViews().empty(); }, "the stuck wipe given up");
    CHECK(stuckWeak.expired());
    CHECK(std::all_of(scope.releasedOnMain.begin(), scope.releasedOnMain.end(), [](bool main) { return main; }));
}

TEST_CASE("ad web view: orientation texts, SDK events after the load only, expansion state, debug dialog, browser controller") {
    testsupport::TempHome home;
    RenderingScope scope;
    AKSDKInfo::setSDKVersionProvider([] { return std::string("adnet-sdk-i-v6.12.2"); });
    auto view = AKWebView::make(CGRectMake(0, 0, 32, 20));
    auto& recorder = UIWebViewRecorder::of(*view->webView());

    view->didRotateToOrientation(3);
    view->didRotateToOrientation(3);
    view->forceRotateToOrientation(4);
    view->forceRotateToOrientation(7);
    const std::vector<std::string> orientationScripts = {
        "window.__defineGetter__('orientation',function(){return 90;});",
        "window.__defineGetter__('orientation',function(){return -90;});(function(){var event = "
        "document.createEvent('Events');event.initEvent('orientationchange', true, "
        "false);window.dispatchEvent(event);})();"};
    CHECK(recorder.evaluatedScripts() == orientationScripts);

    view->loadHTMLString("<p>ad</p>", "http://ads.example/creative");
    CHECK(AKAdURLStash::viewForURL("http://ads.example/creative") == view);
    view->notifyOfSdkEvent("onshow");
    drainMainQueue();
    CHECK(recorder.evaluatedScripts().size() == 2);
    recorder.finishLoad();
    view->setDidReceiveLoadEvent(true);
    view->notifyOfSdkEvent("onshow");
    drainMainQueue();
    CHECK(recorder.evaluatedScripts().back().starts_with("ADNET_ReceiveMessage('onshow', "));
    CHECK(recorder.evaluatedScripts().back().find("\"version\":\"adnet-sdk-i-v6.12.2\"") != std::string::npos);
    AKSDKInfo::setSDKVersionProvider(nullptr);

    auto home1 = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    auto home2 = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    home1->addSubview(view);
    view->restoreState();  // nothing saved: nothing moves
    CHECK(view->superview() == home1);
    view->saveState();
    home2->addSubview(view);
    view->setFrame(CGRectMake(0, 0, 320, 480));
    view->restoreState();
    CHECK(view->superview() == home1);
    CHECK(view->frame().size.width == 32);
    CHECK_FALSE(view->savedState());

    struct Reports : AKBadAdUtil {
        std::vector<std::string> texts;
        void reportBadAd(const std::optional<std::string>& text) override { texts.push_back(text.value_or("")); }
    };
    auto reports = std::make_shared<Reports>();
    AKBadAdUtil::setSharedInstance(reports);
    auto delegate = std::make_shared<AKWebViewDelegate>();
    view->setDelegate(delegate);
    UIAlertView::removeAllForTesting();
    view->handleGesture();
    REQUIRE(view->alertView());
    CHECK(view->alertView()->title() == "Debug Creative Info");
    CHECK(view->alertView()->message() == "Creative information is not available");
    CHECK(view->alertView()->numberOfButtons() == 2);
    recorder.setScriptAnswer([](const std::string& script) {
        return script == "document.body.innerHTML" ? std::string("<p>ad</p>") : std::string();
    });
    CHECK(UIAlertView::pressButton("Publisher Toolbar"));
    CHECK(scope.openers.back()->calls == std::vector<std::string>{"openPublisherToolbar nil <p>ad</p>"});
    view->setAdDebugDialog("creative 42");
    view->handleGesture();
    CHECK(view->alertView()->buttonTitleAtIndex(3) == "Report");
    CHECK(UIAlertView::pressButton("Report"));
    CHECK(reports->texts == std::vector<std::string>{"creative 42"});
    AKBadAdUtil::setSharedInstance(nullptr);

    // The debug gesture through real touches on a banner that also pans (a swipe
    // ad's): its delegate lets the zig-zag recognise alongside the pan, though
    // not alongside another zig-zag; without it the pan that began excludes it.
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto banner = std::make_shared<UIView>(CGRectMake(0, 100, 320, 50));
    window->addSubview(banner);
    view->setFrame(CGRectMake(0, 0, 320, 50));
    banner->addSubview(view);
    CHECK(view->gesture()->delegate() == view->gestureDelegate());
    std::vector<UIGestureRecognizerState> panned;
    auto pan = std::make_shared<UIPanGestureRecognizer>();
    pan->addTarget(nullptr, [&](UIGestureRecognizer& r) { panned.push_back(r.state()); });
    int outerZigZags = 0;
    auto outerZigZag = std::make_shared<AKImpressionTicketTouchRecognizer>(
        nullptr, [&](UIGestureRecognizer&) { ++outerZigZags; });
    struct Row {
        const char* name;
        bool withDelegate, withPan, withOuterZigZag;
        bool dialog;
    };
    for (const Row& row : {Row{"beside a pan", true, true, false, true},
                           Row{"beside a pan, no delegate", false, true, false, false},
                           Row{"inside another zig-zag", true, false, true, true}}) {
        CAPTURE(row.name);
        view->gesture()->setDelegate(row.withDelegate ? view->gestureDelegate() : nullptr);
        if (row.withPan) banner->addGestureRecognizer(pan);
        if (row.withOuterZigZag) banner->addGestureRecognizer(outerZigZag);
        UIAlertView::removeAllForTesting();
        const auto dialogBefore = view->alertView();
        panned.clear();
        // Right 20, left 20, right 20, left 5, lift: one finger, 5 points a move.
        double x = 100;
        auto touch = window->touchBegan(CGPointMake(x, 125));
        REQUIRE(touch);
        for (const double move : {20.0, -20.0, 20.0, -5.0}) {
            for (double done = 0; std::fabs(done) < std::fabs(move); done += move > 0 ? 5 : -5) {
                x += move > 0 ? 5 : -5;
                window->touchMoved(touch, CGPointMake(x, 125));
            }
        }
        window->touchEnded(touch, CGPointMake(x, 125));
        CHECK((view->alertView() != dialogBefore) == row.dialog);  // a new "Debug Creative Info"
        if (row.withPan) {
            CHECK(panned.front() == UIGestureRecognizerStateBegan);
            CHECK(panned.back() == UIGestureRecognizerStateEnded);
            banner->removeGestureRecognizer(pan);
        }
        CHECK(outerZigZags == 0);  // the web view's own recognised first
        if (row.withOuterZigZag) banner->removeGestureRecognizer(outerZigZag);
    }
    view->gesture()->setDelegate(view->gestureDelegate());
    UIAlertView::removeAllForTesting();
    window->setHidden(true);
    UIApplication::sharedApplication()->setKeyWindow(nullptr);

    auto browser = AKBrowserWebView::make(CGRectMake(0, 0, 10, 10));
    auto browserController = std::make_shared<AKBrowserViewController>();
    browser->setViewController(browserController);
    browser->setViewController(std::make_shared<UIViewController>());
    CHECK(browser->browserViewController() == browserController);
}
