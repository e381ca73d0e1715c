// Protects the application from hostile creatives on the real web engine, seen
// through ad web views, their banner delegate and a recording slot: a creative
// that hangs its process fails its ad while the screen, the library's pages
// and the other creatives go on; file navigation, new windows, alerts, sound
// and full screen change nothing outside the page; a certificate of a host
// not trusted fails the ad; the pool hands a wiped engine view to the next ad.
#include <chrono>
#include <fstream>
#include <sstream>

#include "RenderingScope.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
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
        const bool settled = testsupport::runMainUntil([&] { return pool->clearingWebViews().empty(); }, 20);
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

    EngineAd(UIView& parent, CGRect frame) {
        slot->slotState = AKSlotStateRendering;
        delegate = std::make_shared<LoggedBannerDelegate>(slot);
        view = AKWebView::make(frame);
        view->configureAsBannerAdView();
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
    // Waits for a painted frame whose pixel at (x, y) points is the colour.
    void waitForColour(double x, double y, CGPixel colour, const std::string& what) {
        auto webView = view->webView();
        const std::size_t from = webView->paintedFrameCount();
        waitFor([&] {
            auto image = webView->layer()->contents();
            if (!image || webView->paintedFrameCount() == from) return false;
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
