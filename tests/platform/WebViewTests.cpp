// Web views over the real engine: pages painted into the layer and the window
// (transparent with a clear background, a wide page zoomed out to the view's
// width with scalesPageToFit, the view's background and never the engine's
// white before a page's first frame), the delegate asked for every
// navigation in order with its type, one start and one end per load (-999
// when replaced or stopped, none for a stopped one the host replaced, -1001
// on time-out, 404 still finishing, an error page failing at once where the
// view asks for that), taps through the window as link clicks, new windows
// in the same view, the device tree, and a view hidden from the engine (a
// hidden page that still runs its scripts).
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/display/DeviceTree.h"
#include "platform/net/NSURLError.h"
#include "platform/net/NSURLRequest.h"
#include "platform/uikit/UIApplication.h"
#include "support/LoopbackHttpServer.h"
#include "WebViewSupport.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;
using webtest::joined;
using webtest::WindowedWebView;

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

// A web view that keeps every frame put into its layer (null: the layer let
// its frame go).
struct FrameRecordingWebView : UIWebView {
    using UIWebView::UIWebView;
    std::vector<CGImageRef> frames;
    void backingDidReceiveFrame(CGImageRef image, double scale) override {
        frames.push_back(image);
        UIWebView::backingDidReceiveFrame(std::move(image), scale);
    }
};

TEST_CASE("web views paint their page into the layer and the window, transparent when clear, fitted to their width "
          "when asked, and show their background, not the engine's white, until the page's first frame") {
    // A page four times the view's width (and five its height), red but for
    // its right quarter, blue.
    const char* const wide = "<div style='display:flex;width:480px'>"
                             "<div style='width:360px;height:400px;background:rgb(255,0,0)'></div>"
                             "<div style='width:120px;height:400px;background:rgb(0,0,255)'></div></div>";
    struct Case {
        const char* name;
        bool clear;
        bool fits;   // scalesPageToFit
        const char* style;
        const char* content;
        double x;  // where the page's colour is read
        CGPixel expected;
    };
    const Case cases[] = {
        {"an opaque red page", false, false, "background:rgb(255,0,0)", "", 60, {255, 0, 0, 255}},
        {"a clear view with no page background", true, false, "", "", 60, {0, 0, 0, 0}},
        {"a page wider than the view, not fitted: its left part shows", false, false, "", wide, 110, {255, 0, 0, 255}},
        {"a page wider than the view, fitted: its whole width shows", false, true, "", wide, 110, {0, 0, 255, 255}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        WindowedWebView web;
        if (c.clear) {
            web.view->setOpaque(false);
            web.view->setBackgroundColor(CGColorCreateSRGB(0, 0, 0, 0));
        }
        web.view->setScalesPageToFit(c.fits);
        web.view->loadHTMLString(std::string("<body style='margin:0;") + c.style + "'>" + c.content +
                                     "<div id=d></div></body>", "");
        web.waitForEnd("the page");
        CHECK(web.delegate->log.back() == "finish");
        // The first frame after a load may be blank: mark a corner of the page
        // and wait for a frame that shows the mark.
        web.view->stringByEvaluatingJavaScriptFromString(
            "document.getElementById('d').style.cssText="
            "'position:absolute;left:0;top:0;width:16px;height:16px;background:rgb(0,0,255)'");
        INFO("waited for a frame showing the corner mark");
        REQUIRE(testsupport::runMainUntil(
            [&] { return web.view->layer()->contents() && web.layerPixel(1, 1) == CGPixel{0, 0, 255, 255}; }, 15));
        CHECK(web.layerPixel(c.x, 40) == c.expected);
        if (!c.clear) {
            auto snapshot = web.window->snapshotImage(1);
            REQUIRE(snapshot);
            CHECK(snapshot->pixelAt(static_cast<std::size_t>(c.x), 40) == c.expected);
        }
    }

    // A page whose body the server withholds until the load has started: the
    // engine paints a new document white until it has a body and was laid
    // out, whatever the view's background. No frame put into the layer before
    // the page's own (blue) is that white; the view shows its background
    // (green) meanwhile.
    LoopbackHttpServer server;
    server.route("GET", "/withheld",
                 Reply::text("<body style='margin:0;background:rgb(0,0,255)'></body>", "text/html").stall(0));
    WindowedWebView web;
    auto view = std::make_shared<FrameRecordingWebView>(web.view->frame());
    web.view->removeFromSuperview();
    web.view = view;
    view->setDelegate(web.delegate);
    view->setBackgroundColor(CGColorCreateSRGB(0, 1, 0, 1));
    web.window->addSubview(view);
    view->loadRequest(NSURLRequest::requestWithURL(server.url("/withheld")));
    INFO("waited for the load to start with its body held");
    REQUIRE(runMainUntil([&] { return web.delegate->count("start") == 1 && server.stalledCount() == 1; }, 15));
    auto held = web.window->snapshotImage(1);
    REQUIRE(held);
    CHECK(held->pixelAt(60, 40) == CGPixel{0, 255, 0, 255});
    server.releaseStalls();
    web.waitForEnd("the withheld page");
    CHECK(web.delegate->log.back() == "finish");
    INFO("waited for the page's own frame");
    REQUIRE(runMainUntil([&] { return view->layer()->contents() && web.layerPixel(60, 40) == CGPixel{0, 0, 255, 255}; },
                         15));
    auto shown = web.window->snapshotImage(1);
    REQUIRE(shown);
    CHECK(shown->pixelAt(60, 40) == CGPixel{0, 0, 255, 255});
    std::size_t whiteFrames = 0, pageFrames = 0;
    for (const auto& frame : view->frames) {
        if (!frame) continue;
        bool white = false;
        for (int i = 1; i < 5; ++i)
            for (int j = 1; j < 5; ++j)
                white = white || frame->pixelAt(frame->width() * i / 5, frame->height() * j / 5) ==
                                     CGPixel{255, 255, 255, 255};
        whiteFrames += white;
        pageFrames += frame->pixelAt(frame->width() / 2, frame->height() / 2) == CGPixel{0, 0, 255, 255};
    }
    CHECK(pageFrames >= 1);
    CHECK(whiteFrames == 0);

    // A page that really is white shows, even though the engine paints nothing after its end.
    view->loadHTMLString("<body style='margin:0;background:#fff'></body>", "");
    INFO("waited for the white page's frame");
    CHECK(runMainUntil([&] { return web.layerPixel(60, 40) == CGPixel{255, 255, 255, 255}; }, 15));
}

TEST_CASE("web views ask before every navigation of every frame, in order, and report one end per load") {
    LoopbackHttpServer server;
    server.route("GET", "/page", Reply::text("<iframe src='/frame'></iframe>"
                                             "<a id=link href='/linked'>link</a>"
                                             "<form id=form action='/posted'><input name=q value=1></form>",
                                             "text/html"));
    server.route("GET", "/frame", Reply::text("<p>frame</p>", "text/html"));
    server.route("GET", "/linked", Reply::text("<p>linked</p>", "text/html"));
    server.route("GET", "/posted", Reply::text("<p>posted</p>", "text/html"));
    server.route("GET", "/scripted", Reply::text("<p>scripted</p>", "text/html"));
    server.route("GET", "/refused", Reply::text("<p>refused</p>", "text/html"));
    server.route("GET", "/missing", [] { auto r = Reply::text("<p>not here</p>", "text/html"); r.status = 404; return r; }());
    server.route("GET", "/gone", [] {
        auto r = Reply::text("<iframe src='/frame'></iframe><script>location.href = '/scripted'</script>", "text/html");
        r.status = 500;
        return r;
    }());
    WindowedWebView web;
    auto& log = web.delegate->log;
    web.delegate->allow = [](const std::string& URL, UIWebViewNavigationType) {
        return URL.find("/refused") == std::string::npos;
    };
    auto step = [&](const char* what, const std::function<void()>& act, std::vector<std::string> expected) {
        CAPTURE(what);
        log.clear();
        act();
        web.waitForEnd(what);
        CHECK(joined(log) == joined(expected));
    };
    const std::string page = server.url("/page");
    step("a host load with an iframe", [&] { web.view->loadRequest(NSURLRequest::requestWithURL(page)); },
         {"ask 5 " + page, "start", "ask 5 " + server.url("/frame"), "finish"});
    CHECK(web.view->mainDocumentStatusCode() == 200);
    step("a link the page clicks", [&] {
        web.view->stringByEvaluatingJavaScriptFromString("document.getElementById('link').click()");
    }, {"ask 0 " + server.url("/linked"), "start", "finish"});
    step("a script navigation", [&] {
        web.view->stringByEvaluatingJavaScriptFromString("location.href='/scripted'");
    }, {"ask 5 " + server.url("/scripted"), "start", "finish"});
    step("a reload", [&] { web.view->reload(); }, {"ask 3 " + server.url("/scripted"), "start", "finish"});
    step("a form submitted", [&] { web.view->loadRequest(NSURLRequest::requestWithURL(page)); },
         {"ask 5 " + page, "start", "ask 5 " + server.url("/frame"), "finish"});
    log.clear();
    web.view->stringByEvaluatingJavaScriptFromString("document.getElementById('form').submit()");
    web.waitForEnd("the form's page");
    CHECK(joined(log) == joined({"ask 1 " + server.url("/posted?q=1"), "start", "finish"}));
    step("a 404 page", [&] { web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/missing"))); },
         {"ask 5 " + server.url("/missing"), "start", "finish"});
    CHECK(web.view->mainDocumentStatusCode() == 404);
    // A view that fails loads on error statuses: the page fails on its headers, nothing of it shows or runs.
    web.view->setFailsLoadOnErrorStatus(true);
    step("an error page refused", [&] { web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/gone"))); },
         {"ask 5 " + server.url("/gone"), "start", "fail " + std::to_string(NSURLErrorBadServerResponse)});
    CHECK(web.view->mainDocumentStatusCode() == 500);
    step("a page after it", [&] { web.view->loadRequest(NSURLRequest::requestWithURL(page)); },
         {"ask 5 " + page, "start", "ask 5 " + server.url("/frame"), "finish"});
    web.view->setFailsLoadOnErrorStatus(false);

    // A refused navigation makes no load callbacks, and no request.
    log.clear();
    web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/refused")));
    REQUIRE(runMainUntil([&] { return !log.empty(); }, 10));
    web.view->loadRequest(NSURLRequest::requestWithURL(page));
    web.waitForEnd("the page after a refused one");
    CHECK(log.front() == "ask 5 " + server.url("/refused"));
    CHECK(log[1] == "ask 5 " + page);
    CHECK(web.delegate->count("start") == 1);
    for (const auto& request : server.requests()) CHECK(request.path() != "/refused");

    // A request's header fields are sent; the engine's User-Agent unless it names one.
    for (const char* agent : {"", "QuorvaneTest/1"}) {
        CAPTURE(std::string(agent));
        auto request = NSMutableURLRequest::requestWithURL(server.url("/linked"));
        request->setValue("yes", "X-Quorvane");
        if (*agent) request->setValue(agent, "User-Agent");
        log.clear();
        web.view->loadRequest(request);
        web.waitForEnd("the request with header fields");
        auto sent = server.lastRequest();
        REQUIRE(sent);
        CHECK(sent->headers.get("X-Quorvane") == "yes");
        if (*agent)
            CHECK(sent->headers.get("User-Agent") == agent);
        else
            CHECK(sent->headers.get("User-Agent").find("AppleWebKit") != std::string::npos);
    }
}

TEST_CASE("web views fail a replaced load with -999 and a late main document with -1001") {
    LoopbackHttpServer server;
    server.route("GET", "/stalled", Reply::text("<p>late</p>", "text/html").stallFirst());
    server.route("GET", "/quick", Reply::text("<p>quick</p>", "text/html"));
    WindowedWebView web;
    auto& log = web.delegate->log;
    web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/stalled")));
    REQUIRE(runMainUntil(server.stalledConnections(1), 10));
    REQUIRE(runMainUntil([&] { return web.delegate->count("start") == 1; }, 10));
    web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/quick")));
    REQUIRE(runMainUntil([&] { return web.delegate->count("finish") == 1; }, 10));
    // The engine ends the replaced load as the new one is asked for.
    CHECK(joined(log) == joined({"ask 5 " + server.url("/stalled"), "start", "fail -999",
                                 "ask 5 " + server.url("/quick"), "start", "finish"}));
    server.releaseStalls();

    log.clear();
    auto request = NSMutableURLRequest::requestWithURL(server.url("/stalled"));
    request->setTimeoutInterval(0.5);
    web.view->loadRequest(request);
    web.waitForEnd("the time-out");
    CHECK(joined(log) == joined({"ask 5 " + server.url("/stalled"), "start", "fail -1001"}));
    server.releaseStalls();

    // A load the host stops fails with -999; one it stops and then replaces
    // with a load of its own ends unheard, however late the engine ends it:
    // the delegate by then may be the new load's.
    server.route("GET", "/held", Reply::text("<p>held</p>", "text/html").stallFirst());
    for (const bool replaced : {false, true}) {
        CAPTURE(replaced);
        log.clear();
        web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/held")));
        REQUIRE(runMainUntil([&] { return web.delegate->count("start") == 1; }, 10));
        web.view->stopLoading();
        if (replaced) web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/quick")));
        REQUIRE(runMainUntil([&] { return web.delegate->count(replaced ? "finish" : "fail -999") == 1; }, 10));
        const std::string held = "ask 5 " + server.url("/held");
        CHECK(joined(log) == (replaced ? joined({held, "start", "ask 5 " + server.url("/quick"), "start", "finish"})
                                       : joined({held, "start", "fail -999"})));
        server.releaseStalls();
    }
}

TEST_CASE("web views take taps through the window as the user's link clicks, open new windows in place and show in the tree") {
    LoopbackHttpServer server;
    server.route("GET", "/page", Reply::text("<title>Tap page</title><body style='margin:0'>"
                                             "<a id=link href='/tapped' style='display:block;height:40px'>tap</a>"
                                             "<a id=blank href='/blank' target=_blank>blank</a></body>",
                                             "text/html"));
    server.route("GET", "/auto", Reply::text("<a id=link href='/tapped'>auto</a><script>onload = () => "
                                             "setTimeout(() => document.getElementById('link').click(), 10)</script>",
                                             "text/html"));
    for (const char* path : {"/tapped", "/blank", "/opened"})
        server.route("GET", path, Reply::text("<p>page</p>", "text/html"));
    WindowedWebView web;
    web.window->makeKeyAndVisible();
    auto& log = web.delegate->log;
    const std::string page = server.url("/page");
    web.view->loadRequest(NSURLRequest::requestWithURL(page));
    web.waitForEnd("the page");
    auto tree = DeviceTree::describe().dump();
    CHECK(tree.find("\"url\":\"" + page + "\"") != std::string::npos);
    // The node names the document's title, and follows the page when it renames itself.
    INFO("waited for the title in the tree");
    CHECK(runMainUntil([] { return DeviceTree::describe().dump().find("\"title\":\"Tap page\"") != std::string::npos; }, 10));
    web.view->stringByEvaluatingJavaScriptFromString("document.title = 'Renamed'");
    INFO("waited for the new title in the tree");
    CHECK(runMainUntil([] { return DeviceTree::describe().dump().find("\"title\":\"Renamed\"") != std::string::npos; }, 10));

    // Each decision notes whether it answers the user.
    std::vector<std::string> gestures;
    web.delegate->allow = [&](const std::string& URL, UIWebViewNavigationType) {
        gestures.push_back(URL.substr(URL.rfind('/')) + (web.view->navigationIsUserGesture() ? " user" : " page"));
        return true;
    };
    log.clear();
    REQUIRE(web.window->tap(CGPointMake(20, 20)));
    web.waitForEnd("the tapped link");
    CHECK(joined(log) == joined({"ask 0 " + server.url("/tapped"), "start", "finish"}));
    // A page's own timer clicking a link: a link click, but not the user's.
    log.clear();
    web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/auto")));
    INFO("waited for the page's own click to load");
    REQUIRE(runMainUntil([&] { return web.delegate->count("finish") == 2; }, 10));
    CHECK(web.delegate->count("ask 0 " + server.url("/tapped")) == 1);
    CHECK(joined(gestures) == "/tapped user | /auto page | /tapped page");
    web.delegate->allow = nullptr;

    struct Case {
        const char* name;
        const char* script;
        const char* path;
        int type;
    };
    // The page's own navigation is asked with its type; the load in place is not asked again.
    const Case cases[] = {
        {"a target=_blank link", "document.getElementById('blank').click()", "/blank", 0},
        {"window.open", "window.open('/opened')", "/opened", 5},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        log.clear();
        web.view->loadRequest(NSURLRequest::requestWithURL(page));
        web.waitForEnd("the page again");
        log.clear();
        web.view->stringByEvaluatingJavaScriptFromString(c.script);
        CHECK(runMainUntil([&] { return web.delegate->count("finish") == 1; }, 10));
        CHECK(joined(log) == joined({"ask " + std::to_string(c.type) + " " + server.url(c.path), "start", "finish"}));
        CHECK(web.view->request()->URL() == server.url(c.path));
    }
}

TEST_CASE("a view hidden from the engine is a hidden page whose scripts run, and paints again when shown") {
    WindowedWebView web;
    web.view->loadHTMLString("<script>var ticks = 0; setInterval(() => ++ticks, 10);</script>"
                             "<div style='width:4px;height:4px;background:blue;"
                             "animation:k 0.2s infinite alternate'></div>"
                             "<style>@keyframes k{from{opacity:0}to{opacity:1}}</style>",
                             "");
    web.waitForEnd("the page");
    auto evaluate = [&](const char* script) { return web.view->stringByEvaluatingJavaScriptFromString(script); };
    CHECK(evaluate("document.visibilityState") == "visible");
    web.view->setEngineVisible(false);
    INFO("waited for the page to be hidden");
    REQUIRE(runMainUntil([&] { return evaluate("document.visibilityState") == "hidden"; }, 10));
    const int ticks = std::stoi(evaluate("String(ticks)"));
    INFO("waited for the hidden page's timer");
    CHECK(runMainUntil([&] { return std::stoi(evaluate("String(ticks)")) > ticks + 5; }, 10));
    web.view->setEngineVisible(true);
    CHECK(runMainUntil([&] { return evaluate("document.visibilityState") == "visible"; }, 10));
    web.waitForFrames(2, "frames once shown again");
}

TEST_SUITE_END();
