// Protects the rich-media script interception: canonical page URLs, which
// "mraid.js" requests are claimed (flag, counter, implementation scripts,
// referers), which script a page's view gets and which slot hears of it (on the
// main thread), and how the script download ends (served, failed, too slow).
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "AdkitTestSupport.h"
#include "adkit/rendering/AKAdURLStash.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/base/MainThread.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/net/NSURLError.h"
#include "platform/runloop/NSThread.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/LoopbackHttpServer.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;

namespace {

// A slot that records being marked as rich media, and on which thread.
class TestSlot : public AKSlot {
public:
    explicit TestSlot(bool interstitial) : interstitial_(interstitial) {}
    AKSlotState state() const override { return AKSlotStateRendering; }
    std::int64_t timeLastLoaded() const override { return 0; }
    std::shared_ptr<AKWebView> webView() const override { return nullptr; }
    bool isInterstitial() const override { return interstitial_; }
    bool isMRAIDAd() const override { return marks > 0; }
    void setMRAIDEnabledOnAds(bool) override {
        markedOffMain = markedOffMain || !isProcessMainThread();
        ++marks;
    }
    std::shared_ptr<AKSlotDelegate> slotDelegate() const override { return nullptr; }
    std::shared_ptr<AKSwipeToViewControllerConfiguration> swipeToViewControllerConfigurations() const override {
        return nullptr;
    }
    const AKRequestParametersSource* currentRequest() const override { return nullptr; }
    void adWasClicked() override {}
    std::string spamClickURLWithURL(const std::string& URL) override { return URL; }
    void pingClickURLs() override {}
    void adWillLeaveApplication() override {}
    void willLeaveAppDueToClick() override {}
    void willLoadAdHTMLInWebView() override {}
    void didReceiveValidAd() override {}
    void didLoadAdHTMLInWebView() override {}
    void didMakeAdImpression() override {}
    void adFinishedLoadingContent() override {}
    void startViewabilityForLoadedAd() override {}
    void failWithError(const AKRequestErrorPtr&, bool, bool) override {}
    void enableSwipeToViewController() override {}
    void disableSwipeToViewController() override {}
    void incrementAdStatistic(const std::string&) override {}
    void setAdStatistic(const std::string&, const Value&, bool) override {}
    Value adStatistic(const std::string&) const override { return Value(); }
    void addAdStatisticToArray(const std::string&, const Value&) override {}
    void adWillPresentScreen() override {}
    void adWillDismissScreen() override {}
    void adDidDismissScreen(bool) override {}
    void interstitialViewWillAppear() override {}
    void interstitialViewWillDisappear() override {}

    std::atomic<int> marks{0};
    std::atomic<bool> markedOffMain{false};

private:
    bool interstitial_;
};

struct BannerDelegate : AKWebViewDelegateProtocol, AKMRAIDSlotSource {
    std::shared_ptr<AKSlot> slot;
    std::shared_ptr<AKSlot> slotForMRAID() const override { return slot; }
};
struct PlainDelegate : AKWebViewDelegateProtocol {};

// What an interceptor told its client, and on which thread.
class RecordingClient : public NSURLProtocolClient {
public:
    void didReceiveResponse(NSURLProtocol&, const std::shared_ptr<NSURLResponse>& r, NSURLCacheStoragePolicy p) override {
        std::lock_guard lock(mutex_);
        response = r;
        policy = p;
    }
    void didLoadData(NSURLProtocol&, const Data& d) override {
        std::lock_guard lock(mutex_);
        data.insert(data.end(), d.begin(), d.end());
    }
    void didFinishLoading(NSURLProtocol&) override { end(nullptr); }
    void didFailWithError(NSURLProtocol&, const NSError& e) override {
        end(NSError::errorWithDomain(e.domain(), e.code()));
    }
    bool ended() const { return endings > 0; }

    std::mutex mutex_;
    std::shared_ptr<NSURLResponse> response;
    NSURLCacheStoragePolicy policy = NSURLCacheStorageNotAllowed;
    Data data;
    NSErrorPtr error;
    std::thread::id endedOn;
    std::atomic<int> endings{0};

private:
    void end(NSErrorPtr e) {
        std::lock_guard lock(mutex_);
        error = std::move(e);
        endedOn = std::this_thread::get_id();
        ++endings;
    }
};

// An ad web view over the recording backing: interception never needs the engine.
std::shared_ptr<AKWebView> recordedAdWebView() {
    UIWebView::useBackingFactory(UIWebViewRecorder::factory());
    return AKWebView::make(CGRectZero);
}

// A page shown by a view in the stash; removed again at the end.
struct StashedPage {
    StashedPage(std::string pageURL, std::shared_ptr<AKWebViewDelegateProtocol> viewDelegate)
        : URL(std::move(pageURL)), delegate(std::move(viewDelegate)), view(recordedAdWebView()) {
        view->setDelegate(delegate);
        AKAdURLStash::add(URL, view);
    }
    ~StashedPage() { AKAdURLStash::remove(URL); }
    std::string URL;
    std::shared_ptr<AKWebViewDelegateProtocol> delegate;
    std::shared_ptr<AKWebView> view;
};

// Interception as a process has it while one slot is between the start of a
// request and the end of its load.
struct InterceptionOn {
    InterceptionOn() {
        AKMRAIDInterceptor::registerClass();
        AKMRAIDInterceptor::resetToDefaultPaths();
        AKMRAIDInterceptor::allow();
        AKMRAIDInterceptor::resetCanInitWithRequestCounter();
        AKMRAIDInterceptor::enableCanInitWithRequest();
    }
    ~InterceptionOn() {
        AKMRAIDInterceptor::resetCanInitWithRequestCounter();
        AKMRAIDInterceptor::resetToDefaultPaths();
        AKMRAIDInterceptor::allow();
    }
};

std::shared_ptr<NSURLRequest> scriptRequest(const std::string& URL, const std::optional<std::string>& referer) {
    auto request = NSMutableURLRequest::requestWithURL(URL);
    request->setValue(referer, "Referer");
    return request;
}

// The interceptor the URL loading system makes for a request it claims.
std::shared_ptr<NSURLProtocol> interceptorFor(const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<RecordingClient>& client) {
    return AKMRAIDInterceptor::protocolClass().make(request, nullptr, client);
}

void serveScripts(LoopbackHttpServer& server) {
    server.route("GET", "/mraid/v1/mraid_app_banner.js", Reply::text("var kind = 'banner';", "text/javascript"));
    server.route("GET", "/mraid/v1/mraid_app_interstitial.js", Reply::text("var kind = 'interstitial';"));
    server.route("GET", "/mraid/v1/mraid_app_expanded_banner.js", Reply::text("var kind = 'expanded';"));
    AKMRAIDInterceptor::setBannerImplementationPath(server.url(AKMRAIDInterceptor::kBannerScriptPath));
    AKMRAIDInterceptor::setInterstitialImplementationPath(server.url(AKMRAIDInterceptor::kInterstitialScriptPath));
    AKMRAIDInterceptor::setExpandedBannerImplementationPath(server.url(AKMRAIDInterceptor::kExpandedBannerScriptPath));
}

constexpr const char* kPage = "http://ads.example/creative/";
constexpr const char* kReferer = "http://ads.example:80/creative#top";

}  // namespace

TEST_CASE("rich-media interception: canonical page URLs") {
    const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
        {"http://ads.example/creative/", "http://ads.example:80/creative"},
        {"http://ads.example:80/creative#top", "http://ads.example:80/creative"},
        {"HTTPS://ads.example/a/b/?q=1/#f", "HTTPS://ads.example:443/a/b/?q=1"},
        {"http://ads.example:8080/p/#x", "http://ads.example:8080/p"},
        // Only the authority gets the port, not text elsewhere that repeats the host.
        {"http://ads.example/ads.example/?via=ads.example", "http://ads.example:80/ads.example/?via=ads.example"},
        {"http://user@ads.example/x", "http://user@ads.example:80/x"},
        {"ftp://ads.example/x/", "ftp://ads.example/x"},
        {"file:///tmp/page/", "file:///tmp/page"},
        {"not a url", std::nullopt},
    };
    for (const auto& [URL, canonical] : rows) {
        CAPTURE(URL);
        CHECK(AKAdURLStash::canonicalURLForURL(URL) == canonical);
    }
}

TEST_CASE("rich-media interception: which script requests are claimed") {
    struct Row {
        const char* name;
        std::function<void()> setUp;
        std::string URL;
        std::optional<std::string> referer;
        bool claimed;
    };
    const std::string scriptInPlace = "http://static.example/v1/mraid.js";
    const std::vector<Row> rows = {
        {"a page with :80, no final slash and a fragment matches", [] {}, "http://cdn.example/mraid.js", kReferer, true},
        {"a relative include resolved against the page", [] {}, "http://ads.example/creative/mraid.js", kPage, true},
        {"a query is not part of the last component", [] {}, "http://cdn.example/mraid.js?x=1", kReferer, true},
        {"another script", [] {}, "http://cdn.example/other.js", kReferer, false},
        {"no referer", [] {}, "http://cdn.example/mraid.js", std::nullopt, false},
        {"an empty referer", [] {}, "http://cdn.example/mraid.js", "", false},
        {"a page nobody stashed", [] {}, "http://cdn.example/mraid.js", "http://other.example/", false},
        {"the implementation script itself",
         [&] { AKMRAIDInterceptor::setBannerImplementationPath(scriptInPlace); }, scriptInPlace, kReferer, false},
        {"the counter at 0", [] { AKMRAIDInterceptor::disableCanInitWithRequest(); }, "http://cdn.example/mraid.js",
         kReferer, false},
        {"disallowed", [] { AKMRAIDInterceptor::disallow(); }, "http://cdn.example/mraid.js", kReferer, false},
        // The end of a load that never counted leaves the counter at 0, so the next start counts.
        {"the counter never goes below 0",
         [] {
             AKMRAIDInterceptor::resetCanInitWithRequestCounter();
             AKMRAIDInterceptor::disableCanInitWithRequest();
             AKMRAIDInterceptor::enableCanInitWithRequest();
         },
         "http://cdn.example/mraid.js", kReferer, true},
    };
    StashedPage page(kPage, std::make_shared<PlainDelegate>());
    for (const auto& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        InterceptionOn on;
        row.setUp();
        const auto request = scriptRequest(row.URL, row.referer);
        CHECK(AKMRAIDInterceptor::canInitWithRequest(*request) == row.claimed);
        // The URL loading system asks the registered class.
        const auto claimedBy = NSURLProtocol::classForRequest(*request);
        CHECK((claimedBy && claimedBy->name == AKMRAIDInterceptor::kProtocolClassName) == row.claimed);
    }
    InterceptionOn on;
    AKAdURLStash::remove(kPage);
    CHECK_FALSE(AKMRAIDInterceptor::canInitWithRequest(*scriptRequest("http://cdn.example/mraid.js", kReferer)));
}

TEST_CASE("rich-media interception: a view that went away is not stashed") {
    auto view = recordedAdWebView();
    AKAdURLStash::add("http://gone.example/page", view);
    CHECK(AKAdURLStash::viewForURL("http://gone.example:80/page/") == view);
    CHECK(AKAdURLStash::hasStashedURLs());
    view.reset();
    CHECK(AKAdURLStash::viewForURL("http://gone.example/page") == nullptr);
    CHECK_FALSE(AKAdURLStash::hasStashedURLs());
}

TEST_CASE("rich-media interception: the script a page gets and the slot that hears of it") {
    LoopbackHttpServer server;
    InterceptionOn on;
    serveScripts(server);
    struct Row {
        const char* name;
        std::function<std::shared_ptr<AKWebViewDelegateProtocol>(const std::shared_ptr<TestSlot>&)> delegate;
        bool interstitial;
        std::string script;
        int marks;
    };
    // The library's own banner delegate stands for its slot.
    const auto banner = [](const std::shared_ptr<TestSlot>& slot) -> std::shared_ptr<AKWebViewDelegateProtocol> {
        return std::make_shared<AKBannerWebViewDelegate>(slot);
    };
    const std::vector<Row> rows = {
        {"a banner's page", banner, false, AKMRAIDInterceptor::kBannerScriptPath, 1},
        {"an interstitial's page", banner, true, AKMRAIDInterceptor::kInterstitialScriptPath, 1},
        {"a banner delegate without a slot", [](const auto&) { return std::make_shared<BannerDelegate>(); }, false,
         AKMRAIDInterceptor::kBannerScriptPath, 0},
        {"a page whose delegate is not a banner delegate",
         [](const auto&) { return std::make_shared<PlainDelegate>(); }, false,
         AKMRAIDInterceptor::kExpandedBannerScriptPath, 0},
    };
    const std::map<std::string, std::string> bodies = {
        {AKMRAIDInterceptor::kBannerScriptPath, "var kind = 'banner';"},
        {AKMRAIDInterceptor::kInterstitialScriptPath, "var kind = 'interstitial';"},
        {AKMRAIDInterceptor::kExpandedBannerScriptPath, "var kind = 'expanded';"},
    };
    for (const auto& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        const auto slot = std::make_shared<TestSlot>(row.interstitial);
        StashedPage page(kPage, row.delegate(slot));
        const auto request = scriptRequest("http://ads.example/creative/mraid.js", kReferer);
        REQUIRE(NSURLProtocol::classForRequest(*request));
        const auto client = std::make_shared<RecordingClient>();
        const auto interceptor = interceptorFor(request, client);
        interceptor->startLoading();
        adkittest::waitFor([&] { return client->ended(); }, "the script of " + name);
        REQUIRE(client->error == nullptr);
        CHECK(server.lastRequest()->path() == row.script);
        CHECK(std::dynamic_pointer_cast<AKMRAIDInterceptor>(interceptor)->mraidLocationToLoad() ==
              server.url(row.script));
        CHECK(stringFromData(client->data) == bodies.at(row.script));
        REQUIRE(client->response);
        CHECK(client->response->URL() == server.url(row.script));
        CHECK(client->response->MIMEType() == std::optional<std::string>(AKMRAIDInterceptor::kScriptMIMEType));
        CHECK(client->response->expectedContentLength() == static_cast<std::int64_t>(client->data.size()));
        CHECK(client->response->textEncodingName() == std::nullopt);
        CHECK(client->policy == NSURLCacheStorageAllowed);
        CHECK(slot->marks == row.marks);
        CHECK(slot->isMRAIDAd() == (row.marks > 0));
    }
}

// The slot is a main-thread object: a request loaded on another thread tells it
// on the main thread, and the client hears on the loading thread.
TEST_CASE("rich-media interception: a script loaded on a loading thread tells the slot on the main thread") {
    LoopbackHttpServer server;
    InterceptionOn on;
    serveScripts(server);
    const auto slot = std::make_shared<TestSlot>(false);
    auto delegate = std::make_shared<BannerDelegate>();
    delegate->slot = slot;
    StashedPage page(kPage, delegate);
    const auto client = std::make_shared<RecordingClient>();
    std::atomic<bool> done{false};
    std::thread::id loadingThread;
    auto thread = std::make_shared<NSThread>([&] {
        loadingThread = std::this_thread::get_id();
        const auto interceptor = interceptorFor(scriptRequest("http://cdn.example/mraid.js", kReferer), client);
        interceptor->startLoading();
        NSRunLoop::currentRunLoop()->runUntil([&] { return client->ended(); }, 20);
        done = true;
    });
    thread->start();
    adkittest::waitFor([&] { return done.load(); }, "the script loaded on the loading thread");
    REQUIRE(client->ended());
    CHECK(client->error == nullptr);
    CHECK(stringFromData(client->data) == "var kind = 'banner';");
    CHECK(client->endedOn == loadingThread);
    CHECK(slot->marks == 1);
    CHECK_FALSE(slot->markedOffMain);
}

TEST_CASE("rich-media interception: a script that cannot be had fails the script request") {
    LoopbackHttpServer server;
    InterceptionOn on;
    serveScripts(server);
    server.route("GET", "/missing.js", Reply::withStatus(404, "no such script"));
    server.route("GET", "/empty.js", Reply::text(""));
    LoopbackHttpServer closed;
    const std::string closedURL = closed.url("/mraid.js");
    closed.stop();
    struct Row {
        const char* name;
        std::string script;
        std::optional<std::string> referer;
        std::optional<std::pair<std::string, long>> error;
    };
    const std::vector<Row> rows = {
        {"a script the server does not have", server.url("/missing.js"), kReferer,
         std::pair<std::string, long>{NSURLErrorDomain, NSURLErrorBadServerResponse}},
        {"a server that is not there", closedURL, kReferer,
         std::pair<std::string, long>{NSURLErrorDomain, NSURLErrorCannotConnectToHost}},
        {"a request without a page", server.url("/empty.js"), std::nullopt,
         std::pair<std::string, long>{NSCocoaErrorDomain, -1000}},
        {"an empty script is still a script", server.url("/empty.js"), kReferer, std::nullopt},
    };
    StashedPage page(kPage, std::make_shared<PlainDelegate>());
    for (const auto& row : rows) {
        const std::string name = row.name;
        CAPTURE(name);
        AKMRAIDInterceptor::setExpandedBannerImplementationPath(row.script);
        const auto client = std::make_shared<RecordingClient>();
        const auto interceptor = interceptorFor(scriptRequest("http://cdn.example/mraid.js", row.referer), client);
        interceptor->startLoading();
        adkittest::waitFor([&] { return client->ended(); }, "the end of " + name);
        CHECK(client->endings == 1);
        if (!row.error) {
            CHECK(client->error == nullptr);
            REQUIRE(client->response);
            CHECK(client->response->expectedContentLength() == 0);
            continue;
        }
        REQUIRE(client->error);
        CHECK(client->error->domain() == row.error->first);
        CHECK(client->error->code() == row.error->second);
        CHECK(client->response == nullptr);
        CHECK(client->data.empty());
    }
}

TEST_CASE("rich-media interception: a script download is given up after its time limit") {
    adkittest::VirtualTime time;
    LoopbackHttpServer server;
    InterceptionOn on;
    server.route("GET", "/slow.js", Reply::text("var late = true;").stallFirst());
    AKMRAIDInterceptor::setExpandedBannerImplementationPath(server.url("/slow.js"));
    StashedPage page(kPage, std::make_shared<PlainDelegate>());
    const auto client = std::make_shared<RecordingClient>();
    const auto interceptor = interceptorFor(scriptRequest("http://cdn.example/mraid.js", kReferer), client);
    interceptor->startLoading();
    adkittest::waitFor(server.stalledConnections(1), "the script request held by the server");
    CHECK_FALSE(client->ended());
    Clock::advance(AKMRAIDInterceptor::kScriptDownloadLimit);
    adkittest::waitFor([&] { return client->ended(); }, "the script request to be given up");
    REQUIRE(client->error);
    CHECK(client->error->domain() == NSURLErrorDomain);
    CHECK(client->error->code() == NSURLErrorTimedOut);
    server.releaseStalls();
    interceptor->stopLoading();
    CHECK(client->endings == 1);
}
