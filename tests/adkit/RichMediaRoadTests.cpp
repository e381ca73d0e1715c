// Protects rich media end to end through the web engine against the ad peer:
// which script each page's "mraid.js" becomes (and that a failing or hanging
// script fires the page's onerror), what a loaded banner hears (features, then
// ready, then one screen change per rotation that moves it), picture saving
// with consent, and the commands that reach the opener.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UISavedPhotosAlbum.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

using adkittest::waitFor;
using renderingtest::RecordingOpener;
using renderingtest::RecordingSlot;
using testsupport::AdPeer;

namespace {

const std::string kBannerScript = AKMRAIDInterceptor::kBannerScriptPath;
const std::string kInterstitialScript = AKMRAIDInterceptor::kInterstitialScriptPath;
const std::string kExpandedScript = AKMRAIDInterceptor::kExpandedBannerScriptPath;

// Engine web views for ad views, the interceptor's scripts at the peer and
// interception on; the interceptor, the pool, the device and the key window
// as they were afterwards.
struct EngineScope {
    struct DefaultPathsAfterwards {
        ~DefaultPathsAfterwards() { AKMRAIDInterceptor::resetToDefaultPaths(); }
    };
    testsupport::TempHome home;
    DefaultPathsAfterwards defaultPaths;  // reset once the servers point back
    AdPeer peer;
    adkittest::ServersAtPeer servers{peer};

    EngineScope() {
        adkittest::RenderingScope::emptyPool();  // what tests before left
        UIWebView::useBackingFactory(nullptr);
        AKOpener::setFactory([] { return std::make_shared<RecordingOpener>(); });
        AKMRAIDInterceptor::registerClass();
        AKMRAIDInterceptor::resetToDefaultPaths();
        AKMRAIDInterceptor::enableCanInitWithRequest();
    }
    ~EngineScope() {
        adkittest::RenderingScope::emptyPool();
        AKMRAIDInterceptor::resetCanInitWithRequestCounter();
        AKOpener::setFactory(nullptr);
        UIWebView::useBackingFactory(UIWebViewRecorder::factory());
        UIAlertView::removeAllForTesting();
        UIDevice::currentDevice()->setOrientation(UIDeviceOrientationPortrait);
        UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        UIApplication::sharedApplication()->setKeyWindow(nullptr);
    }
};

// One ad view at the top of a full-screen key window (its width follows the
// window), its delegate, its slot (rendering) and the probe's messages.
struct RichMediaAd {
    enum class Delegate { banner, interstitial, plain };

    std::shared_ptr<RecordingSlot> slot = std::make_shared<RecordingSlot>();
    std::shared_ptr<AKWebViewDelegateProtocol> delegate;
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(UIScreen::mainScreen()->bounds());
    std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
    std::shared_ptr<AKWebView> view = AKWebView::make(CGRectMake(0, 0, 320, 50));
    std::shared_ptr<NSObject> observer = std::make_shared<NSObject>();
    std::vector<Value> probes;  // the user info of each "mraidProbe" message, in order

    explicit RichMediaAd(Delegate kind) {
        slot->slotState = AKSlotStateRendering;
        slot->interstitial = kind == Delegate::interstitial;
        slot->adWebView = view;
        if (kind == Delegate::plain) delegate = std::make_shared<AKWebViewDelegate>();
        else delegate = std::make_shared<AKBannerWebViewDelegate>(slot);
        view->setDelegate(delegate);
        view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        window->setRootViewController(root);
        root->view()->addSubview(view);
        window->makeKeyAndVisible();
        NSNotificationCenter::defaultCenter()->addObserver(
            observer, [this](const NSNotification& note) { probes.push_back(note.userInfo()); }, "mraidProbe", view);
    }
    ~RichMediaAd() {
        slot->didUnloadMRAIDAd();
        view->removeFromSuperview();
        view->setDelegate({});
    }
    RecordingOpener& opener() const {
        return dynamic_cast<RecordingOpener&>(*std::dynamic_pointer_cast<AKWebViewDelegate>(delegate)->opener());
    }

    void load(const std::string& URL) { view->loadRequest(NSURLRequest::requestWithURL(URL)); }
    // Waits for a probe message of the step (with the field at the value when
    // given) at index `from` or later; its index.
    std::size_t waitForProbe(const std::string& step, std::size_t from = 0,
                             std::optional<std::pair<std::string, std::string>> field = std::nullopt) {
        std::size_t at = from;
        auto found = [&] {
            for (; at < probes.size(); ++at) {
                if (probes[at]["step"].stringValue() != step) continue;
                if (!field || probes[at][field->first].stringValue() == field->second) return true;
            }
            return false;
        };
        waitFor(found, "the creative's \"" + step + "\" report" + (field ? " with " + field->first + "=" + field->second : ""));
        return at;
    }
    // Runs what the main queue holds (a frame check a rotation queued), then
    // what that queued (its event), then sends the page an event behind it and
    // waits for the creative to report it: every event sent before has been
    // reported by then.
    std::size_t waitForEventsSoFar() {
        adkittest::drainMainQueue();
        adkittest::drainMainQueue();
        AKNotificationCenter::postJSNotification("marker", std::nullopt, view);
        return waitForProbe("event", probes.size(), std::pair<std::string, std::string>{"name", "marker"});
    }
    // The names of the library's events the creative reported from `from` on, one blank apart.
    std::string events(std::size_t from = 0) const {
        std::string names;
        for (std::size_t i = from; i < probes.size(); ++i) {
            if (probes[i]["step"].stringValue() != "event") continue;
            names += (names.empty() ? "" : " ") + probes[i]["name"].stringValue();
        }
        return names;
    }
    // Loads the creative and waits until it is ready.
    std::size_t loadUntilReady(const std::string& URL) {
        load(URL);
        return waitForProbe("ready");
    }
    void run(const std::string& script) { (void)view->stringByEvaluatingJavaScriptFromString(script); }
};

std::string contentsOf(const std::string& path) {
    const auto data = dataWithContentsOfFile(path);
    REQUIRE(data);
    return stringFromData(*data);
}

// A 3 x 2 opaque picture of six colours, and its PNG.
CGImageRef sixColours() {
    const Data rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255, 0, 255, 255, 255, 40, 40, 40, 255};
    return CGImageCreateWithRGBA(3, 2, rgba, false);
}
std::string pngOf(const CGImageRef& image) {
    const auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(image));
    REQUIRE(png);
    return stringFromData(*png);
}

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("rich media road: each page gets its own script from the peer, and one that fails or hangs fires onerror") {
    EngineScope scope;
    AdPeer& peer = scope.peer;
    enum class Fault { none, status404, hang };
    struct Row {
        const char* name;
        RichMediaAd::Delegate delegate;
        const char* creative;
        std::string script;
        Fault fault;
        bool asHTML = false;  // loaded as the slot loads an ad: its HTML with the page's URL as base
    };
    const std::vector<Row> rows = {
        {"a banner's page", RichMediaAd::Delegate::banner, "mraid-banner.html", kBannerScript, Fault::none},
        {"a banner's HTML", RichMediaAd::Delegate::banner, "mraid-banner.html", kBannerScript, Fault::none, true},
        {"an interstitial's page", RichMediaAd::Delegate::interstitial, "mraid-interstitial.html", kInterstitialScript,
         Fault::none},
        {"a page whose delegate is no banner delegate", RichMediaAd::Delegate::plain, "mraid-expanded.html",
         kExpandedScript, Fault::none},
        {"a banner whose script answers 404", RichMediaAd::Delegate::banner, "mraid-banner.html",
         kBannerScript, Fault::status404},
        {"a banner whose script hangs", RichMediaAd::Delegate::banner, "mraid-banner.html", kBannerScript,
         Fault::hang},
    };
    for (const Row& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        const std::size_t banner = peer.requestsFor(kBannerScript).size();
        const std::size_t interstitial = peer.requestsFor(kInterstitialScript).size();
        const std::size_t expanded = peer.requestsFor(kExpandedScript).size();
        std::optional<adkittest::VirtualTime> time;
        if (row.fault == Fault::status404) peer.setFault(row.script, AdPeer::Fault::withStatus(404));
        if (row.fault == Fault::hang) {
            time.emplace();
            peer.setFault(row.script, AdPeer::Fault::hanging());
        }
        RichMediaAd ad(row.delegate);
        const std::string page = peer.creativeURL(row.creative);
        if (row.asHTML) ad.view->loadHTMLString(contentsOf(AdPeer::creativesRoot() + "/" + row.creative), page);
        else ad.load(page);
        if (row.fault == Fault::hang) {
            waitFor([&] { return peer.hangingCount() == 1; }, "the script request held by the peer");
            Clock::advance(AKMRAIDInterceptor::kScriptDownloadLimit);
        }
        const std::size_t first = ad.waitForProbe(row.fault == Fault::none ? "loaded" : "no-mraid");
        if (row.fault == Fault::none) {
            CHECK(ad.probes[first]["state"].stringValue() == "loading");
            CHECK(ad.probes[first]["placement"].stringValue() ==
                  (row.delegate == RichMediaAd::Delegate::interstitial ? "interstitial" : "inline"));
        } else {
            CHECK(ad.probes[first]["scriptError"].stringValue() == "1");
        }
        CHECK(peer.requestsFor(kBannerScript).size() == banner + (row.script == kBannerScript));
        CHECK(peer.requestsFor(kInterstitialScript).size() == interstitial + (row.script == kInterstitialScript));
        CHECK(peer.requestsFor(kExpandedScript).size() == expanded + (row.script == kExpandedScript));
        CHECK(ad.slot->richMedia == (row.delegate != RichMediaAd::Delegate::plain));
        peer.clearFault(row.script);
        peer.releaseHangs();
    }
    CHECK(peer.requestsFor("/creatives/mraid.js").empty());
}

TEST_CASE("rich media road: a loaded banner hears its features, then ready, and one screen change per rotation that moves it") {
    EngineScope scope;
    RichMediaAd ad(RichMediaAd::Delegate::banner);
    const std::size_t ready = ad.loadUntilReady(scope.peer.creativeURL("mraid-banner.html"));
    CHECK(ad.probes[ready]["state"].stringValue() == "default");
    CHECK(ad.probes[ready]["placement"].stringValue() == "inline");
    for (const char* feature : {"storePicture", "inlineVideo"}) CHECK(ad.probes[ready][feature].stringValue() == "true");
    for (const char* feature : {"calendar", "sms", "tel"}) CHECK(ad.probes[ready][feature].stringValue() == "false");
    const std::size_t loaded = ad.waitForEventsSoFar();
    // The first frame differs from the empty start: one screen change at load.
    CHECK(ad.events() == "onScreenInfoChanged onDeviceFeaturesReceived onReadyEventReceived marker");
    CHECK(ad.probes[ready - 1]["name"].stringValue() == "onDeviceFeaturesReceived");
    CHECK(ad.slot->isListeningToDeviceOrientationChangeEvent());

    struct Turn {
        UIDeviceOrientation to;
        const char* landscape;  // "" when no screen change is due
        bool elsewhere;         // the device turns on another thread (the interface follows on main)
    };
    const std::vector<Turn> turns = {
        {UIDeviceOrientationLandscapeLeft, "1", false},  // the banner widens with the window
        {UIDeviceOrientationLandscapeRight, "", false},  // the other landscape: same frame in the window
        {UIDeviceOrientationFaceUp, "", false},          // the interface stays
        {UIDeviceOrientationPortrait, "0", true},
        {UIDeviceOrientationPortraitUpsideDown, "", false},  // refused by the root controller
    };
    std::size_t from = loaded + 1;
    for (const Turn& turn : turns) {
        CAPTURE(turn.to);
        if (turn.elsewhere) std::thread([&] { UIDevice::currentDevice()->setOrientation(turn.to); }).join();
        else UIDevice::currentDevice()->setOrientation(turn.to);
        const std::size_t marker = ad.waitForEventsSoFar();
        const std::string events = ad.events(from);
        if (*turn.landscape == '\0') {
            CHECK(events == "marker");
        } else {
            REQUIRE(events == "onScreenInfoChanged marker");
            const Value screen = Value::fromJSON(ad.probes[marker - 1]["payload"].stringValue()).value_or(Value());
            CHECK(screen["isOrientationLandscape"].stringValue() == turn.landscape);
            CHECK(screen["width"].doubleValue() == 320);  // the screen in portrait terms
            CHECK(screen["height"].doubleValue() == 568);
        }
        from = marker + 1;
    }
    CHECK(ad.view->frame() == CGRectMake(0, 0, 320, 50));
}

TEST_CASE("rich media road: a picture is saved pixel for pixel after Save, a 20 MiB one is refused, resize is an error") {
    EngineScope scope;
    adkittest::QuietLog quiet;
    std::vector<std::string> logged;
    setLogHook([&](const std::string& line) { logged.push_back(line); });
    UISavedPhotosAlbum::resetForTesting();
    const CGImageRef picture = sixColours();
    const std::string png = pngOf(picture);
    std::string twentyMiB = png;
    twentyMiB.resize(20 * 1024 * 1024, '\0');
    scope.peer.route("/creatives/poster.png", testsupport::Reply::text(png, "image/png"));
    scope.peer.route("/creatives/huge.png", testsupport::Reply::text(twentyMiB, "image/png"));
    RichMediaAd ad(RichMediaAd::Delegate::banner);
    ad.loadUntilReady(scope.peer.creativeURL("mraid-banner.html"));

    struct Row {
        const char* picture;  // as the creative names it, relative to its page
        bool stored;
    };
    for (const Row row : {Row{"poster.png", true}, Row{"huge.png", false}}) {
        const std::string URL = scope.peer.creativeURL(row.picture);
        CAPTURE(URL);
        logged.clear();
        ad.run("probe.storePicture('" + std::string(row.picture) + "')");
        waitFor([] { return UIAlertView::visibleAlerts().size() == 1; }, "the alert asking for consent");
        const auto alert = UIAlertView::visibleAlerts().front();
        CHECK(alert->title() == "Permission");
        CHECK(alert->message() == "The ad is requesting to save an image in your photo album.");
        REQUIRE(UIAlertView::pressButton("Save"));
        if (row.stored) {
            waitFor([] { return UISavedPhotosAlbum::images().size() == 1; }, "the picture in the album");
            const CGImageRef saved = UISavedPhotosAlbum::images().front()->CGImage();
            REQUIRE(saved);
            REQUIRE(saved->width() == 3);
            REQUIRE(saved->height() == 2);
            for (std::size_t y = 0; y < 2; ++y)
                for (std::size_t x = 0; x < 3; ++x) CHECK(saved->pixelAt(x, y) == picture->pixelAt(x, y));
            CHECK(logged.empty());
        } else {
            waitFor([&] { return !logged.empty(); }, "the refusal of the large picture");
            CHECK(logged == std::vector<std::string>{"Failed to load " + URL + ". Error: The picture is larger than 16 MiB."});
            CHECK(UISavedPhotosAlbum::images().size() == 1);
        }
        CHECK(scope.peer.requestsFor(std::string("/creatives/") + row.picture).size() == 1);
    }

    const std::size_t from = ad.probes.size();
    ad.run("probe.resize()");
    const std::size_t error = ad.waitForProbe("error", from);
    CHECK(ad.probes[error]["action"].stringValue() == "resize");
    ad.waitForEventsSoFar();
    CHECK(ad.opener().joined() == "");  // nothing is opened at a size the creative was told fails
    UISavedPhotosAlbum::resetForTesting();
}

TEST_CASE("rich media road: expand, open, useCustomClose and close reach the opener as the creative asks") {
    EngineScope scope;
    RichMediaAd ad(RichMediaAd::Delegate::banner);
    ad.loadUntilReady(scope.peer.creativeURL("mraid-banner.html"));
    struct Row {
        const char* script;
        std::string opened;       // what the opener was asked, "" for nothing
        const char* errorAction;  // the creative's error, "" for none
    };
    const std::vector<Row> rows = {
        {"probe.expand()", "expand o=1 cc=0", ""},
        {"probe.useCustomClose(true); mraid.setExpandProperties({forceOrientation: 'portrait'}); probe.expand()",
         "expand o=2 cc=1", ""},
        {"probe.useCustomClose(false); mraid.setExpandProperties({forceOrientation: 'landscape'}); "
         "probe.expand('mraid-expanded.html')",
         "openWebApp " + scope.peer.creativeURL("mraid-expanded.html") + " o=3 cc=0", ""},
        {"probe.open('https://landing.example/page?x=1')", "openBrowser https://landing.example/page?x=1 o=1", ""},
        {"probe.close()", "", "close"},  // a banner in its default state has nothing to close
    };
    for (const Row& row : rows) {
        CAPTURE(row.script);
        ad.opener().calls.clear();
        const std::size_t from = ad.probes.size();
        ad.run(row.script);
        ad.waitForEventsSoFar();
        CHECK(ad.opener().joined() == row.opened);
        std::string errors;
        for (std::size_t i = from; i < ad.probes.size(); ++i) {
            if (ad.probes[i]["step"].stringValue() == "error") errors += ad.probes[i]["action"].stringValue();
        }
        CHECK(errors == row.errorAction);
        CHECK(ad.probes.back()["state"].stringValue() == "default");
    }
}

TEST_SUITE_END();
