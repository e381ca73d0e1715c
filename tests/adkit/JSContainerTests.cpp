// Protects the JavaScript container: on the real web engine, expressions sent
// before the page loaded run in order (the last fifty) before the client hears
// the finish, later pages are the client's to veto and to hear, and a remote
// page that cannot be had (unreachable, answered 500 or 404, not a web URL)
// is replaced by the fallback under the remote URL, the client hearing only
// that finish; on the recording engine, the container's own loads ask nobody,
// a replaced load changes nothing, and after a failed fallback expressions are
// dropped instead of kept for ever.
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "adkit/rendering/AKJSContainer.h"
#include "platform/WebViewSupport.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NSURLError.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/AdPeer.h"

using adkittest::waitFor;
using testsupport::Reply;

namespace {

// Logs "ask <url>", "start" and "finish <location.href> <window.sent>" (read
// inside the finish call); refuses the URLs in `refuse`.
struct RecordingClient : AKJSContainerDelegate {
    std::vector<std::string> log;
    std::vector<std::string> refuse;
    void didStartLoadInJSContainer(AKJSContainer&) override { log.push_back("start"); }
    void didFinishLoadInJSContainer(AKJSContainer& container) override {
        log.push_back("finish " + container.stringByEvaluatingJavaScriptFromString("location.href") + " " +
                      container.stringByEvaluatingJavaScriptFromString("JSON.stringify(window.sent)"));
    }
    bool shouldStartLoadWithRequest(AKJSContainer&, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType) override {
        log.push_back("ask " + request->URL());
        return std::find(refuse.begin(), refuse.end(), request->URL()) == refuse.end();
    }
    std::size_t finishes() const {
        return static_cast<std::size_t>(
            std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("finish", 0) == 0; }));
    }
};

Data bytes(const std::string& text) { return Data(text.begin(), text.end()); }

constexpr const char* kFallback = "<html><head><script>window.sent = ['fallback'];</script></head><body></body></html>";

// A container on the engine with its client, expressions sent before anything ran.
struct EngineContainer {
    testsupport::TempHome home;
    struct OnEngine {
        OnEngine() { UIWebView::useBackingFactory(nullptr); }
        ~OnEngine() { UIWebView::useBackingFactory(UIWebViewRecorder::factory()); }
    } onEngine;
    std::shared_ptr<RecordingClient> client = std::make_shared<RecordingClient>();
    std::shared_ptr<AKJSContainer> container;

    explicit EngineContainer(const NSURLPtr& URL, const std::vector<std::string>& expressions = {}) {
        container = AKJSContainer::initWithURL(URL, bytes(kFallback));
        REQUIRE(container);
        container->setDelegate(client);
        for (const auto& expression : expressions) CHECK_FALSE(container->invokeJavaScriptFromString(expression));
    }
    void waitForFinishes(std::size_t n, const std::string& what) {
        waitFor([&] { return client->finishes() >= n; }, what);
    }
};

}  // namespace

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

TEST_CASE("JavaScript container: the last fifty expressions sent early run in order before the finish is heard") {
    testsupport::AdPeer peer;
    peer.route("/page.html", Reply::text("<html><body><script>window.sent = [];</script></body></html>",
                                         "text/html; charset=utf-8"));
    peer.route("/second.html", Reply::text("<html><body>second</body></html>", "text/html; charset=utf-8"));
    std::vector<std::string> expressions;
    for (int i = 1; i <= 55; ++i) expressions.push_back("window.sent.push(" + std::to_string(i) + ")");
    EngineContainer engine(NSURL::URLWithString(peer.url("/page.html")), expressions);
    auto& container = *engine.container;
    CHECK(container.pendingExpressionCount() == AKJSContainer::kMaxPendingExpressions);
    CHECK(container.initialLoadSequence());
    // Evaluated at once, before any page: the blank page answers.
    CHECK(container.stringByEvaluatingJavaScriptFromString("6 * 7") == "42");
    const auto& request = container.webView()->webView()->loadedRequest();
    REQUIRE(request);
    CHECK(request->timeoutInterval() == AKJSContainer::kLoadTimeout);
    CHECK(container.webView()->isHidden());

    engine.waitForFinishes(1, "the remote page's finish");
    std::string sent;
    for (int i = 6; i <= 55; ++i) sent += (sent.empty() ? "" : ",") + std::to_string(i);
    CHECK(webtest::joined(engine.client->log) == "finish " + peer.url("/page.html") + " [" + sent + "]");
    CHECK(container.loaded());
    CHECK(container.pendingExpressionCount() == 0);
    CHECK(container.invokeJavaScriptFromString("window.sent.push('now')"));
    // From another thread too, evaluated on the main thread.
    std::atomic<int> answered{-1};
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
        answered = engine.container->invokeJavaScriptFromString("window.sent.push('elsewhere')") ? 1 : 0;
    });
    waitFor([&] { return answered >= 0; }, "an expression sent from another thread");
    CHECK(answered == 1);
    CHECK(container.stringByEvaluatingJavaScriptFromString("window.sent.slice(-2).join()") == "now,elsewhere");

    // Later pages are the client's: a refused one does not load, an allowed one is heard.
    engine.client->log.clear();
    engine.client->refuse = {peer.url("/second.html?refused")};
    (void)container.stringByEvaluatingJavaScriptFromString("location.href = '/second.html?refused'");
    waitFor([&] { return !engine.client->log.empty(); }, "the client asked about the refused page");
    (void)container.stringByEvaluatingJavaScriptFromString("location.href = '/second.html'");
    engine.waitForFinishes(1, "the second page's finish");
    CHECK(webtest::joined(engine.client->log) == "ask " + peer.url("/second.html?refused") + " | ask " +
                                                     peer.url("/second.html") + " | start | finish " +
                                                     peer.url("/second.html") + " ");
    CHECK(peer.requestsFor("/second.html").size() == 1);
}

TEST_CASE("JavaScript container: a remote page that cannot be had is replaced by the fallback under its URL") {
    testsupport::AdPeer peer;
    peer.route("/page.html", Reply::text("<html><body><script>window.sent = ['remote'];</script></body></html>",
                                         "text/html; charset=utf-8"));
    testsupport::AdPeer gone;
    const std::string unreachable = gone.url("/page.html");
    gone.stop();
    struct Case {
        const char* name;
        std::string URL;
        std::string base;  // the fallback's location
    };
    const std::vector<Case> cases = {
        {"unreachable", unreachable, unreachable},
        {"answered 500", peer.url("/500.html"), peer.url("/500.html")},
        {"answered 404", peer.url("/404.html"), peer.url("/404.html")},
        {"not a web URL", "file:///etc/hostname", "about:blank"},
    };
    peer.setFault("/500.html", testsupport::AdPeer::Fault::withStatus(500));
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        EngineContainer engine(NSURL::URLWithString(c.URL), {"window.sent.push('early')"});
        engine.waitForFinishes(1, std::string("the fallback's finish, ") + c.name);
        CHECK(webtest::joined(engine.client->log) == "finish " + c.base + " [\"fallback\",\"early\"]");
        CHECK(engine.container->loaded());
        CHECK(engine.container->invokeJavaScriptFromString("window.sent.push('late')"));
        CHECK(engine.container->stringByEvaluatingJavaScriptFromString("window.sent.join()") == "fallback,early,late");
    }
    CHECK(peer.requestsFor("/500.html").size() == 1);
}

TEST_SUITE_END();

TEST_CASE("JavaScript container: its own loads ask nobody, and after a failed fallback expressions are dropped") {
    adkittest::RenderingScope scope;
    adkittest::QuietLog quiet;
    auto client = std::make_shared<RecordingClient>();
    const std::string remote = "http://pages.example/controller.html";
    auto container = AKJSContainer::initWithURL(NSURL::URLWithString(remote), bytes(kFallback));
    REQUIRE(container);
    container->setDelegate(client);
    auto& recorder = UIWebViewRecorder::of(*container->webView()->webView());
    for (int i = 0; i < 3; ++i) CHECK_FALSE(container->invokeJavaScriptFromString("e" + std::to_string(i)));

    // A load replaced by the page's own navigation (allowed unasked) changes
    // nothing; a failed one brings the fallback under the remote URL.
    CHECK(recorder.navigate("http://pages.example/other.html", UIWebViewNavigationTypeOther));
    CHECK(container->initialLoadSequence());
    recorder.failLoad(*NSURLErrorMake(NSURLErrorCannotConnectToHost, remote, "refused"));
    CHECK(container->failureLoadSequence());
    const auto& fallback = container->webView()->webView()->loadedData();
    REQUIRE(fallback);
    CHECK(fallback->data == bytes(kFallback));
    CHECK(fallback->MIMEType == "text/html");
    CHECK(fallback->textEncodingName == "UTF-8");
    CHECK(fallback->baseURL == remote);
    CHECK(container->pendingExpressionCount() == 3);

    // The fallback fails too: what waited is dropped, and so is what comes.
    recorder.failLoad(*NSURLErrorMake(NSURLErrorResourceUnavailable, remote, "broken"));
    CHECK(container->state() == AKJSContainerState::fallbackFailed);
    CHECK(container->pendingExpressionCount() == 0);
    CHECK(quiet.contains("the fallback page did not load either"));
    CHECK_FALSE(container->invokeJavaScriptFromString("later"));
    CHECK(container->pendingExpressionCount() == 0);
    CHECK(recorder.evaluatedScripts().empty());
    CHECK(client->log.empty());
    CHECK_FALSE(container->loaded());
}
