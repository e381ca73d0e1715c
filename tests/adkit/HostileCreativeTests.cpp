// Protects the application from hostile creatives on the real web engine, seen
// through ad web views, their banner delegate and a recording slot: a creative
// that hangs its process fails its ad while the screen, the library's pages
// and the other creatives go on; file navigation, new windows, alerts, sound
// and full screen change nothing outside the page; a certificate of a host
// not trusted fails the ad; the pool hands a wiped engine view (one never
// loaded, as it is) to the next ad.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "RenderingScope.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/net/NSURLError.h"
#include "platform/DeviceScreenTestSupport.h"
#include "platform/WebViewSupport.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestPKI.h"

using namespace adkittest;
using devicescreentest::fetch;
using devicescreentest::Json;
using renderingtest::RecordingOpener;
using renderingtest::RecordingSlot;
using testsupport::AdPeer;
using webtest::joined;

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

namespace {

// The banner delegate, logging the load callbacks it is given ("start",
// "finish", "fail <code>").
struct LoggedBannerDelegate : AKBannerWebViewDelegate {
    using AKBannerWebViewDelegate::AKBannerWebViewDelegate;
    std::vector<std::string> log;
    void webViewDidStartLoad(AKWebView& webView) override {
        log.push_back("start");
        AKBannerWebViewDelegate::webViewDidStartLoad(webView);
    }
    void webViewDidFinishLoad(AKWebView& webView) override {
        log.push_back("finish");
        AKBannerWebViewDelegate::webViewDidFinishLoad(webView);
    }
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override {
        log.push_back("fail " + std::to_string(error.code()));
        AKBannerWebViewDelegate::didFailLoadWithError(webView, error);
    }
};

// Ad web views on the engine, with recording openers: the pool is emptied
// before, and after the wipes of the web views given back have ended.
struct EngineAds {
    testsupport::TempHome home;
    EngineAds() {
        RenderingScope::emptyPool();
        UIWebView::useBackingFactory(nullptr);
        AKOpener::setFactory([] { return std::make_shared<RecordingOpener>(); });
    }
    ~EngineAds() {
        auto pool = AKWebView::webViewCache();
        // The wipes start from the main queue: what was queued runs first.
        bool queued = false;
        dispatch_async(dispatch_get_main_queue(), [&] { queued = true; });
        const bool settled = testsupport::runMainUntil([&] { return queued && pool->clearingWebViews().empty(); }, 20);
        CHECK_MESSAGE(settled, "waited for the pool's wipes to end");
        pool->removeAllObjects();
        UIWebView::useBackingFactory(UIWebViewRecorder::factory());
        AKOpener::setFactory(nullptr);
    }
};

std::string creativeHTML(const std::string& file) {
    std::ifstream in(AdPeer::creativesRoot() + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One banner ad of a recording slot, rendering, in a parent view.
struct EngineAd {
    std::shared_ptr<RecordingSlot> slot = std::make_shared<RecordingSlot>();
    std::shared_ptr<LoggedBannerDelegate> delegate;
    std::shared_ptr<AKWebView> view;

    EngineAd(UIView& parent, CGRect frame, bool interstitial = false) {
        slot->slotState = AKSlotStateRendering;
        slot->interstitial = interstitial;
        delegate = std::make_shared<LoggedBannerDelegate>(slot);
        view = AKWebView::make(frame);
        if (interstitial) view->configureAsInterstitialAdView();
        else view->configureAsBannerAdView();
        view->setDelegate(delegate);
        slot->adWebView = view;
        parent.addSubview(view);
    }
    ~EngineAd() {
        if (view) view->removeFromSuperview();
    }
    // As the slot loads an ad: the creative's HTML with its URL as the base.
    void load(const AdPeer& peer, const std::string& file) { view->loadHTMLString(creativeHTML(file), peer.creativeURL(file)); }
    void waitForEnd(const std::string& what) {
        const std::size_t ends = delegate->log.size();
        waitFor([&] {
            for (std::size_t i = ends; i < delegate->log.size(); ++i)
                if (delegate->log[i] != "start") return true;
            return false;
        }, what + " to end", 20);
    }
    std::string evaluate(const std::string& script) { return view->stringByEvaluatingJavaScriptFromString(script); }
    RecordingOpener& opener() const { return dynamic_cast<RecordingOpener&>(*delegate->opener()); }
    bool failed() const { return slot->joined().find("failWithError") != std::string::npos; }
    // Waits until the painted picture's pixel at (x, y) points is the colour
    // (a page that changes no more may have painted its last frame already).
    void waitForColour(double x, double y, CGPixel colour, const std::string& what) {
        auto webView = view->webView();
        waitFor([&] {
            auto image = webView->layer()->contents();
            if (!image) return false;
            const double scale = static_cast<double>(image->width()) / webView->bounds().size.width;
            return devicescreentest::near(
                image->pixelAt(static_cast<std::size_t>(x * scale), static_cast<std::size_t>(y * scale)), colour);
        }, "a frame painted " + what);
    }
};

// The key window, served by an in-process device screen whose main loop must
// answer each request within 2 s.
struct Screen {
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    std::unique_ptr<DeviceScreenServer> server;
    int port = 0;
    Screen() {
        window->makeKeyAndVisible();
        DeviceScreenServerOptions options;
        options.port = 0;
        options.mainQueueTimeout = 2;
        std::string error;
        server = DeviceScreenServer::start(options, error);
        REQUIRE_MESSAGE(server, error);
        server->input().setTarget(std::make_shared<DeviceDefaultInputTarget>());
        port = server->port();
    }
    ~Screen() {
        server.reset();
        UIAlertView::removeAllForTesting();
        UIApplication::sharedApplication()->setKeyWindow(nullptr);
    }
    Json tree() {
        auto reply = fetch(port, "GET", "/api/tree");
        REQUIRE_MESSAGE(reply.status == 200, "the screen's tree was not answered within 2 s: " << reply.status);
        return reply.json();
    }
    void tap(CGPoint point) {
        auto reply = devicescreentest::post(port, "/api/tap", Json{{"x", point.x}, {"y", point.y}});
        REQUIRE_MESSAGE(reply.status == 200, reply.body);
    }
};

// The tree's nodes that show a web page, depth first.
void webNodes(const Json& node, std::vector<Json>& found) {
    if (node.contains("url")) found.push_back(node);
    if (node.contains("children"))
        for (const auto& child : node["children"]) webNodes(child, found);
}
std::vector<Json> webNodes(const Json& tree) {
    std::vector<Json> found;
    for (const auto& view : tree["views"]) webNodes(view, found);
    return found;
}

constexpr CGPixel kBannerGreen{0, 160, 80, 255};

}  // namespace

TEST_CASE("a hung creative fails its ad while the screen, library pages and the other creatives go on") {
    EngineAds ads;
    AdPeer peer;
    Screen screen;
    EngineAd bystander(*screen.window, CGRectMake(0, 0, 320, 50));
    bystander.load(peer, "banner-320x50.html");
    bystander.waitForEnd("the bystander's banner");
    auto libraryLog = std::make_shared<webtest::LoggingDelegate>();
    auto library = std::make_shared<UIWebView>(CGRectMake(0, 400, 320, 100), UIWebViewProcessGroup::Library);
    library->setDelegate(libraryLog);
    screen.window->addSubview(library);
    library->loadHTMLString("<title>library</title>", "");
    waitFor([&] { return libraryLog->ended(); }, "the library page");

    EngineAd hung(*screen.window, CGRectMake(0, 100, 320, 50));
    const std::size_t engineViews = UIWebView::engineViewsMade();
    hung.load(peer, "hang.html");
    // Until the ad fails, the screen's tree and the library page answer in turn
    // (each tree request runs the main loop, so the watchdog too).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::size_t turns = 0;
    while (!hung.failed()) {
        REQUIRE_MESSAGE(std::chrono::steady_clock::now() < deadline, "waited for the hung ad to fail");
        CHECK(webNodes(screen.tree()).size() == 2);
        CHECK(library->stringByEvaluatingJavaScriptFromString("document.title") == "library");
        ++turns;
    }
    CHECK(turns > 0);
    CHECK(joined(hung.delegate->log) == "start | fail -1008");
    CHECK(hung.slot->joined().starts_with("failWithError 2 reload=0 cancel=0"));
    CHECK_FALSE(bystander.failed());
    CHECK(library->stringByEvaluatingJavaScriptFromString("document.title") == "library");
    CHECK(libraryLog->count("start") == 1);

    // The slot lets the hung ad go; the next creative loads and paints in a new process.
    hung.view->removeFromSuperview();
    hung.view.reset();
    EngineAd next(*screen.window, CGRectMake(0, 100, 320, 50));
    next.load(peer, "banner-320x50.html");
    next.waitForEnd("the next creative");
    CHECK(next.delegate->log.back() == "finish");
    next.waitForColour(100, 25, kBannerGreen, "by the next creative");
    CHECK(UIWebView::engineViewsMade() > engineViews);
    // The creative stalled with the hung one loads again.
    bystander.load(peer, "banner-320x50.html");
    bystander.waitForEnd("the bystander's next load");
    CHECK(joined(bystander.delegate->log) == "start | finish | start | finish");
    CHECK(bystander.evaluate("document.readyState") == "complete");
    bystander.waitForColour(100, 25, kBannerGreen, "by the bystander again");
    CHECK_FALSE(bystander.failed());
    CHECK(webNodes(screen.tree()).size() == 3);
}

TEST_CASE("file navigation, new windows, alerts, sound and full screen of a creative change nothing outside its page") {
    const webtest::LongTurnsAllowed longTurns;  // a media player starting is busy, not hung
    EngineAds ads;
    AdPeer peer;
    Screen screen;
    const CGRect frame = CGRectMake(0, 200, 320, 50);
    const std::string clicks = "openApp http://clicks.test/c?to=";
    struct Row {
        const char* creative;
        const char* settled;    // the page is waited on until this gives "true"
        bool tap;               // then a tap on the middle of the ad
        const char* hostLoad;   // then the host loads this URL in the ad (nullptr: none)
        const char* hostScript;  // then the host evaluates this (nullptr: none), giving "false"
        std::vector<std::string> asked;  // the navigations routed after the creative's own (routing's web actions)
        std::vector<std::string> openerCalls;  // what reached the opener meanwhile
        const char* pageCheck;            // at last this gives "true"
        bool interstitial = false;        // a banner unless set
    };
    const char* passwd = "file:///etc/passwd";
    const std::string blank = "http://127.0.0.1/blank?ai=5", opened = "http://127.0.0.1/opened?ai=4";
    const Row rows[] = {
        // The engine keeps the page's own way there (load and link) from asking at all.
        {"file-navigation.html", "document.readyState === 'complete'", true, passwd, nullptr, {passwd}, {},
         "location.pathname === '/creatives/file-navigation.html' && document.body.innerText.indexOf('root:') < 0"},
        // window.open without a gesture gets null; the tapped link and a window.open
        // with the host's gesture are clicks that never load in the ad.
        {"window-open.html", "window.openResult !== 'not yet'", true, nullptr, "String(openWindow())", {blank, opened},
         {clicks + blank, clicks + opened}, "window.openResult === 'null'"},
        {"alert.html", "window.alertsDone === 3", false, nullptr, nullptr, {}, {}, "true"},
        // A banner's media waits for a user action; an interstitial's may start
        // by itself, but never with its sound.
        {"video-sound.html", "window.videoState !== 'waiting'", false, nullptr, nullptr, {}, {},
         "window.videoState === 'blocked' && (clip.paused || clip.muted)"},
        {"video-sound.html", "window.videoState !== 'waiting'", false, nullptr, nullptr, {}, {},
         "window.videoState === 'blocked' && (clip.paused || clip.muted)", true},
        {"fullscreen.html", "window.fullscreenState !== 'not yet'", false, nullptr, nullptr, {}, {},
         "!document.webkitFullscreenElement && window.fullscreenState !== 'entered'"},
    };
    for (const auto& row : rows) {
        const std::string creative = row.creative;
        CAPTURE(creative);
        CAPTURE(row.interstitial);
        const auto windowViews = screen.window->subviews().size();
        EngineAd ad(*screen.window, frame, row.interstitial);
        std::vector<std::string> asked;
        auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
            kDidReceiveWebActionNotification, ad.view, nullptr,
            [&](const NSNotification& note) { asked.push_back(note.userInfo()["u"].stringValue()); });
        ad.load(peer, row.creative);
        ad.waitForEnd(row.creative);
        REQUIRE(ad.delegate->log.back() == "finish");
        // As the slot does once the ad shows (loaded at least the click delay ago).
        ad.slot->slotState = AKSlotStateValidAd;
        ad.slot->loadedAt = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds()) -
                            static_cast<std::int64_t>(AKBannerWebViewDelegate::kMinimumClickDelayMilliseconds);
        waitFor([&] { return ad.evaluate(row.settled) == "true"; }, std::string("the page: ") + row.settled);
        if (row.tap) screen.tap(CGPointMake(160, 225));
        if (row.hostLoad) ad.view->loadRequest(NSURLRequest::requestWithURL(row.hostLoad));
        if (row.hostScript) CHECK(ad.evaluate(row.hostScript) == "false");
        // The tap and the host's acts reach the engine by different ways: their order is not kept.
        auto sorted = [](std::vector<std::string> lines) {
            std::sort(lines.begin(), lines.end());
            return joined(lines);
        };
        std::vector<std::string> expected{peer.creativeURL(row.creative)};
        expected.insert(expected.end(), row.asked.begin(), row.asked.end());
        waitFor([&] { return asked.size() >= expected.size() && sorted(ad.opener().calls) == sorted(row.openerCalls); },
                "the navigations routed: " + joined(expected));
        CHECK(sorted(asked) == sorted(expected));
        CHECK(ad.evaluate(row.pageCheck) == "true");
        CHECK(joined(ad.delegate->log) == "start | finish");
        CHECK_FALSE(ad.failed());
        // Nothing outside the page: no alert, no other view or window, the ad in its place.
        CHECK(UIAlertView::visibleAlerts().empty());
        CHECK(screen.window->subviews().size() == windowViews + 1);
        CHECK(ad.view->superview() == screen.window);
        CHECK(UIApplication::sharedApplication()->keyWindow() == screen.window);
        const auto shown = webNodes(screen.tree());
        REQUIRE(shown.size() == 1);
        CHECK(shown[0]["url"] == peer.creativeURL(row.creative));
        CHECK(CGRectEqualToRect(devicescreentest::rectOf(shown[0]["frame"]), frame));
        NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    }
}

TEST_CASE("an ad page from a host whose certificate is not trusted fails the ad") {
    EngineAds ads;
    const auto& pki = testsupport::testPKI();
    AdPeer peer(testsupport::tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem), "https");
    const std::string authority = ads.home.path() + "/test-root.pem";
    std::ofstream(authority) << pki.root.pem;
    UIWebView::trustCertificateAuthorityForHosts(authority, {"127.0.0.1"});
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 100));
    window->setHidden(false);

    // The same certificate names localhost, which the authority is not trusted for.
    EngineAd ad(*window, CGRectMake(0, 0, 320, 50));
    ad.view->loadRequest(NSURLRequest::requestWithURL("https://localhost:" + std::to_string(peer.server().port()) +
                                                      "/creatives/banner-320x50.html"));
    ad.waitForEnd("the page of a host not trusted");
    CHECK(ad.delegate->log.back() == "fail " + std::to_string(NSURLErrorServerCertificateUntrusted));
    CHECK(ad.slot->joined().starts_with("failWithError 2 reload=0 cancel=0"));
    CHECK(peer.requests().empty());

    // The host it is trusted for shows the ad.
    EngineAd trusted(*window, CGRectMake(0, 50, 320, 50));
    trusted.view->loadRequest(NSURLRequest::requestWithURL(peer.creativeURL("banner-320x50.html")));
    trusted.waitForEnd("the page of the trusted host");
    // The first end is the page's: the ad is shown when its page is.
    CHECK(trusted.evaluate("document.body.innerHTML.length > 0 && location.href") == peer.creativeURL("banner-320x50.html"));
    trusted.waitForColour(100, 25, kBannerGreen, "by the trusted host's ad");
    CHECK(joined(trusted.delegate->log) == "start | finish");
    CHECK(trusted.slot->joined().starts_with("didReceiveValidAd"));
    CHECK_FALSE(trusted.failed());
}

TEST_CASE("an engine view given back to the pool is wiped blank (one never loaded is pooled as it is) and reused by the next ad without a new one") {
    EngineAds ads;
    AdPeer peer;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 100));
    window->setHidden(false);
    auto pool = AKWebView::webViewCache();

    // An ad's web view that never loaded is blank: it is pooled without a wipe
    // and without an engine view, and the next ad takes it.
    const std::size_t madeBefore = UIWebView::engineViewsMade();
    auto unused = std::make_unique<EngineAd>(*window, CGRectMake(0, 0, 320, 50));
    const std::weak_ptr<UIWebView> blank = unused->view->webView();
    unused.reset();
    waitFor([&] { return pool->count() == 1; }, "the unused ad's web view pooled");
    CHECK(pool->clearingWebViews().empty());
    CHECK(UIWebView::engineViewsMade() == madeBefore);
    CHECK_FALSE(blank.lock()->hasPage());

    auto first = std::make_unique<EngineAd>(*window, CGRectMake(0, 0, 320, 50));
    CHECK(first->view->webView() == blank.lock());
    first->load(peer, "banner-320x50.html");
    first->waitForEnd("the first ad");
    first->waitForColour(100, 25, kBannerGreen, "by the first ad");
    const std::weak_ptr<UIWebView> wrapped = first->view->webView();
    const std::size_t engineViews = UIWebView::engineViewsMade();
    first.reset();
    waitFor([&] { return pool->count() == 1; }, "the first ad's web view wiped into the pool");

    EngineAd second(*window, CGRectMake(0, 50, 320, 50));
    CHECK(second.view->webView() == wrapped.lock());
    CHECK(UIWebView::engineViewsMade() == engineViews);
    CHECK(second.evaluate("location.href + ' [' + document.body.innerHTML + ']'") == "about:blank []");
    second.load(peer, "window-open.html");
    second.waitForEnd("the second ad in the reused web view");
    CHECK(joined(second.delegate->log) == "start | finish");
    second.waitForColour(100, 25, CGPixel{0, 120, 160, 255}, "by the second ad in the reused web view");
    CHECK(UIWebView::engineViewsMade() == engineViews);
}

TEST_SUITE_END();
