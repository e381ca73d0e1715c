// Web views and their pages' processes: a view that never loads starts none
// (its first load keeps what it was told before), synchronous evaluation (also inside
// the delegate's decision), a creative that hangs its process ended without
// stalling the main thread while library pages go on (or reload) and a load
// allowed meanwhile starts in the next process, media that
// autoplays only without sound, full-screen requests that change nothing, and
// views let go by their delegate inside its calls.
#include <doctest/doctest.h>

#include <atomic>

#include <cmath>
#include <cstdint>
#include <string>

#include "platform/net/NSURLRequest.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/WebProcesses.h"
#include "WebViewSupport.h"

using testsupport::runMainUntil;
using webtest::joined;
using webtest::WindowedWebView;

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

// First in the file: in a full run no page has loaded in this process yet, so
// a process started by the view alone would show in the count.
TEST_CASE("a web view made, laid out and configured but never loaded starts no web process") {
    const std::size_t processes = testsupport::webProcessCount();
    const std::size_t made = UIWebView::engineViewsMade();
    const std::size_t live = UIWebView::liveEngineViewCount();
    WindowedWebView web(CGSizeMake(200, 120));
    web.view->setFrame(CGRectMake(0, 0, 160, 100));
    web.view->setOpaque(true);
    web.view->setBackgroundColor(CGColorCreateSRGB(0, 0, 1, 1));
    web.view->setMediaPlaybackRequiresUserAction(false);
    web.view->setEngineVisible(false);
    web.view->setEngineVisible(true);
    web.window->layoutIfNeeded();
    web.view->stopLoading();
    CHECK_FALSE(web.view->canGoBack());
    CHECK(web.view->documentTitle().empty());
    CHECK_FALSE(web.view->hasPage());
    CHECK(UIWebView::engineViewsMade() == made);
    CHECK(UIWebView::liveEngineViewCount() == live);
    CHECK(testsupport::webProcessCount() == processes);

    // The first load makes the page with the size and background told before
    // (the page's body has none: the view's blue shows).
    web.view->loadHTMLString("<style>body{margin:0}</style><title>first</title>", "");
    web.waitForEnd("the first load");
    CHECK(joined(web.delegate->log) == "ask 5 about:blank | start | finish");
    CHECK(UIWebView::engineViewsMade() == made + 1);
    CHECK(web.view->hasPage());
    CHECK(testsupport::webProcessCount() >= 1);
    auto blueFrame = [&] { return web.view->layer()->contents() && web.layerPixel(150, 90) == CGPixel{0, 0, 255, 255}; };
    REQUIRE_MESSAGE(runMainUntil(blueFrame, 15), "a frame of the page on the view's blue");
    const double scale = web.view->layer()->contentsScale();
    CHECK(web.view->layer()->contents()->width() == static_cast<std::size_t>(160 * scale));
    CHECK(web.view->layer()->contents()->height() == static_cast<std::size_t>(100 * scale));
    CHECK(web.view->stringByEvaluatingJavaScriptFromString("innerWidth + 'x' + innerHeight") == "160x100");

    // A script evaluation is a first need too: it reaches a blank page (in a
    // process that may still be starting).
    auto blank = std::make_shared<UIWebView>(CGRectMake(0, 0, 40, 40), UIWebViewProcessGroup::Library);
    CHECK(UIWebView::engineViewsMade() == made + 1);
    CHECK(blank->stringByEvaluatingJavaScriptFromString("6 * 7") == "42");
    CHECK(UIWebView::engineViewsMade() == made + 2);
}

TEST_CASE("synchronous evaluation answers the string of the result, empty for what has none") {
    WindowedWebView web;
    web.view->loadHTMLString("<title>first</title><p id=p>text</p>", "");
    web.waitForEnd("the page");
    struct Case {
        const char* script;
        const char* expected;
    };
    const Case cases[] = {
        {"6 * 7", "42"},
        {"1.5", "1.5"},
        {"document.getElementById('p').textContent", "text"},
        {"true", "true"},
        {"undefined", ""},
        {"null", ""},
        {"Promise.resolve(5)", ""},
        {"throw new Error('no')", ""},
        {"({a: 1}).a + ''", "1"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.script));
        CHECK(web.view->stringByEvaluatingJavaScriptFromString(c.script) == c.expected);
    }

    // Inside the delegate's decision: the answer comes, and what the engine
    // reports meanwhile follows the decision in order.
    std::vector<std::string> answers;
    web.delegate->allow = [&](const std::string&, UIWebViewNavigationType) {
        answers.push_back(web.view->stringByEvaluatingJavaScriptFromString("document.title"));
        return true;
    };
    web.delegate->log.clear();
    web.view->loadHTMLString("<title>second</title>", "");
    web.waitForEnd("the second page");
    CHECK(joined(web.delegate->log) == "ask 5 about:blank | start | finish");
    CHECK(joined(answers) == "first");
    CHECK(web.view->stringByEvaluatingJavaScriptFromString("document.title") == "second");
}

TEST_CASE("a creative that hangs its process fails within the watchdog's limit, the main thread and library pages go on") {
    WindowedWebView creative;
    WindowedWebView library(CGSizeMake(120, 80), UIWebViewProcessGroup::Library);
    library.view->loadHTMLString("<title>library</title>", "");
    library.waitForEnd("the library page");
    // A creative of the same process showing a red page on a green view.
    WindowedWebView bystander;
    bystander.view->setBackgroundColor(CGColorCreateSRGB(0, 1, 0, 1));
    bystander.view->loadHTMLString("<body style='margin:0;background:rgb(255,0,0)'></body>", "");
    bystander.waitForEnd("the bystander's page");
    {
        INFO("waited for the bystander's red frame");
        REQUIRE(runMainUntil([&] {
            return bystander.view->layer()->contents() && bystander.layerPixel(60, 40) == CGPixel{255, 0, 0, 255};
        }, 15));
    }

    // The main thread keeps running timers while the creative's process spins.
    std::size_t ticks = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.05, [&](NSTimer&) { ++ticks; }, true);
    creative.view->loadHTMLString("<p>spin</p><script>while (true) {}</script>", "");
    REQUIRE(runMainUntil([&] { return creative.delegate->count("start") == 1; }, 10));
    const std::size_t ticksAtStart = ticks;
    creative.waitForEnd("the hung creative's end", 10);
    CHECK(creative.delegate->log.back() == "fail -1008");
    CHECK(ticks > ticksAtStart);
    timer->invalidate();
    CHECK(library.view->stringByEvaluatingJavaScriptFromString("document.title") == "library");
    // The ended process's views show their background, not their last frame.
    {
        INFO("waited for the bystander to let its last frame go");
        REQUIRE(runMainUntil([&] { return !bystander.view->layer()->contents(); }, 10));
    }
    auto snapshot = bystander.window->snapshotImage(1);
    REQUIRE(snapshot);
    CHECK(snapshot->pixelAt(60, 40) == CGPixel{0, 255, 0, 255});
    CHECK(bystander.delegate->log.back() == "finish");  // a finished page does not fail

    // The next load of the group gets a new process.
    creative.delegate->log.clear();
    creative.view->loadHTMLString("<title>after</title>", "");
    creative.waitForEnd("the load after the hang");
    CHECK(creative.delegate->log.back() == "finish");
    CHECK(creative.view->stringByEvaluatingJavaScriptFromString("document.title") == "after");

    // A load allowed while its process hangs (the delegate's own evaluation
    // spins it) starts in the next process, asked once.
    WindowedWebView waiting;
    bool spun = false;
    waiting.delegate->allow = [&](const std::string&, UIWebViewNavigationType) {
        if (!spun) spun = true, waiting.view->stringByEvaluatingJavaScriptFromString("while (true) {}");
        return true;
    };
    waiting.view->loadHTMLString("<title>waiting</title>", "");
    waiting.waitForEnd("the load allowed while its process hung");
    CHECK(joined(waiting.delegate->log) == "ask 5 about:blank | start | finish");
    CHECK(waiting.view->stringByEvaluatingJavaScriptFromString("document.title") == "waiting");
}

TEST_CASE("a hung library page reloads in a new process") {
    testsupport::LoopbackHttpServer server;
    std::atomic<int> served{0};  // counted on the server's thread
    server.route("GET", "/library", [&](const testsupport::RecordedRequest&) {
        // The first visit hangs; the reload after the process ended does not.
        return testsupport::Reply::text(++served == 1 ? "<script>while (true) {}</script>" : "<title>back</title>",
                                        "text/html");
    });
    WindowedWebView library(CGSizeMake(120, 80), UIWebViewProcessGroup::Library);
    library.view->loadRequest(NSURLRequest::requestWithURL(server.url("/library")));
    INFO("waited for the library page to come back");
    REQUIRE(runMainUntil([&] { return library.delegate->count("finish") == 1; }, 15));
    CHECK(joined(library.delegate->log) == "ask 5 " + server.url("/library") + " | start | fail -999 | ask 5 " +
                                               server.url("/library") + " | start | finish");
    CHECK(served == 2);
    CHECK(library.view->stringByEvaluatingJavaScriptFromString("document.title") == "back");
}

namespace {
// One second of a 440 Hz tone, 8 kHz mono 16-bit WAV.
std::string toneWav() {
    const std::uint32_t rate = 8000, samples = rate;
    std::string wav;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) wav.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    wav += "RIFF";
    put(36 + samples * 2, 4);
    wav += "WAVEfmt ";
    put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
    wav += "data";
    put(samples * 2, 4);
    for (std::uint32_t i = 0; i < samples; ++i)
        put(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))), 2);
    return wav;
}
}  // namespace

TEST_CASE("media autoplays only without sound and full-screen requests change nothing") {
    const webtest::LongTurnsAllowed longTurns;  // a media player starting is busy, not hung
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/tone.wav", testsupport::Reply::text(toneWav(), "audio/wav"));
    server.route("GET", "/page", testsupport::Reply::text("<video id=loud autoplay src='/tone.wav'></video>"
                                                          "<video id=quiet autoplay muted src='/tone.wav'></video>"
                                                          "<div id=d>d</div>",
                                                          "text/html"));
    WindowedWebView web;
    web.view->loadRequest(NSURLRequest::requestWithURL(server.url("/page")));
    web.waitForEnd("the media page");
    auto evaluate = [&](const std::string& script) { return web.view->stringByEvaluatingJavaScriptFromString(script); };
    INFO("waited for both media elements to have their data");
    REQUIRE(runMainUntil([&] {
        return evaluate("[...document.querySelectorAll('video')].every(v => v.readyState >= 4)") == "true";
    }, 15));
    CHECK(evaluate("document.getElementById('loud').paused") == "true");
    CHECK(evaluate("document.getElementById('quiet').paused") == "false");
    evaluate("document.getElementById('d').webkitRequestFullscreen()");
    CHECK(evaluate("String(!!document.webkitFullscreenElement)") == "false");
    web.waitForFrames(1, "a frame after the media and full-screen requests");
}

TEST_CASE("a view let go inside its delegate's calls is safe while its engine events keep coming") {
    // The view is let go in the call that logs an entry starting so.
    const char* const cases[] = {"ask", "start", "fail"};
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    server.route("GET", "/stalled", testsupport::Reply::text("<p>late</p>", "text/html").stallFirst());
    for (const std::string dropAt : cases) {
        CAPTURE(dropAt);
        auto view = std::make_shared<UIWebView>(CGRectMake(0, 0, 50, 50));
        std::weak_ptr<UIWebView> weak = view;
        auto delegate = std::make_shared<webtest::LoggingDelegate>();
        delegate->then = [&](const std::string& entry) {
            if (entry.rfind(dropAt, 0) == 0) view.reset();
        };
        view->setDelegate(delegate);
        view->loadRequest(NSURLRequest::requestWithURL(server.url("/stalled")));
        if (dropAt == "fail") {
            REQUIRE(runMainUntil([&] { return delegate->count("start") == 1; }, 10));
            view->loadHTMLString("<p>replacing</p>", "");
        }
        INFO("waited for the view to be let go");
        REQUIRE(runMainUntil([&] { return weak.expired(); }, 10));
        server.releaseStalls();
        // The engine goes on: another view's page loads.
        WindowedWebView other;
        other.view->loadHTMLString("<p>other</p>", "");
        other.waitForEnd("another view's page");
        CHECK(other.delegate->log.back() == "finish");
    }
}

TEST_SUITE_END();
