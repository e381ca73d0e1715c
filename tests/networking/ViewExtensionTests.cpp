// The HTTP library's view extensions over real request operations: a replaced
// load never shows (image view, button, web view), a view destroyed mid-load
// is safe, button failures without a response are reported, progress reaches
// 1.0, the indicator and refresh control follow a real operation, a 404 raises
// an alert, and web pages are decoded in their charset (or fail, never blank).
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "networking/NLImageCache.h"
#include "networking/UIActivityIndicatorViewNetline.h"
#include "networking/UIAlertViewNetline.h"
#include "networking/UIButtonNetline.h"
#include "networking/UIImageViewNetline.h"
#include "networking/UIProgressViewNetline.h"
#include "networking/UIRefreshControlNetline.h"
#include "networking/UIWebViewNetline.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/net/NSURLSession.h"
#include "platform/uikit/UIApplication.h"
#include "platform/webkit/UIWebViewRecorder.h"
#include "support/LoopbackHttpServer.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

namespace {

Reply pngReply(std::size_t side) {
    Data png = sampleimages::png(side, side, sampleimages::pattern);
    return Reply::text(std::string(png.begin(), png.end()), "image/png");
}

std::size_t widthOf(const UIImagePtr& image) { return image ? CGImageGetWidth(image->CGImage()) : 0; }

// A URL on which nothing listens: the connection is refused.
std::string refusedURL() {
    std::string url;
    {
        LoopbackHttpServer closed;
        url = closed.url("/gone.png");
    }
    return url;
}

// The web view tests look at what the views were asked to show, not at pages.
struct RecordingWebViews {
    RecordingWebViews() { UIWebView::useBackingFactory(UIWebViewRecorder::factory()); }
    ~RecordingWebViews() { UIWebView::useBackingFactory(nullptr); }
};

struct FreshCache {
    std::shared_ptr<NLImageCache> cache = std::make_shared<NLImageCache>();
    FreshCache() { nl_setImageViewSharedImageCache(cache); }
    ~FreshCache() { nl_setImageViewSharedImageCache(nullptr); }
};

}  // namespace

TEST_CASE("image views: a replaced load never shows, a view gone mid-load is safe, the cache serves and empties") {
    FreshCache fresh;
    LoopbackHttpServer server;
    server.route("GET", "/slow.png", pngReply(3).stallFirst());
    server.route("GET", "/fast.png", pngReply(5));
    server.route("GET", "/missing.png", Reply::withStatus(404, "no"));

    auto view = std::make_shared<UIImageView>();
    int slowCalls = 0, fastCalls = 0;
    auto placeholder = UIImage::imageWithCGImage(CGImageCreateWithRGBA(7, 7, Data(7 * 7 * 4, 0xff)), 1);
    nl_setImageWithURLRequest(
        view, NSURLRequest::requestWithURL(server.url("/slow.png")), placeholder,
        [&](auto&, auto&, auto&) { ++slowCalls; }, [&](auto&, auto&, auto&) { ++slowCalls; });
    CHECK(widthOf(view->image()) == 7);
    auto replaced = nl_imageRequestOperation(*view);
    REQUIRE(replaced);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the slow image to be asked for");
    nl_setImageWithURLRequest(
        view, NSURLRequest::requestWithURL(server.url("/fast.png")), nullptr,
        [&](auto& request, auto& response, const UIImagePtr& image) {
            ++fastCalls;
            CHECK(request->URL() == server.url("/fast.png"));
            CHECK(response->statusCode() == 200);
            view->setImage(image);
        },
        nullptr);
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return fastCalls == 1 && replaced->isFinished(); }),
                    "waited for the second load and the end of the first");
    runMainUntil([] { return false; }, 0.2);  // the first's callbacks would come now
    CHECK(slowCalls == 0);
    CHECK(widthOf(view->image()) == 5);
    CHECK(nl_imageRequestOperation(*view) == nullptr);

    // Cached now: set before the call returns.
    auto other = std::make_shared<UIImageView>();
    nl_setImageWithURL(other, server.url("/fast.png"));
    CHECK(widthOf(other->image()) == 5);
    const std::size_t asked = server.requestCount();

    // A request that ignores cached data loads again, and still stores what it got.
    auto reload = NSURLRequest::requestWithURL(server.url("/fast.png"), NSURLRequestReloadIgnoringLocalCacheData, 60);
    CHECK(fresh.cache->cachedImageForRequest(*reload) == nullptr);
    bool reloaded = false;
    nl_setImageWithURLRequest(other, reload, nullptr, [&](auto&, auto&, auto&) { reloaded = true; }, nullptr);
    REQUIRE_MESSAGE(runMainUntil([&] { return reloaded; }), "waited for the reload");
    CHECK(server.requestCount() == asked + 1);

    // A view that goes away mid-load: the load ends, the image is cached, nothing breaks.
    server.route("GET", "/orphan.png", pngReply(4).stallFirst());
    auto doomed = std::make_shared<UIImageView>();
    nl_setImageWithURL(doomed, server.url("/orphan.png"));
    auto orphan = nl_imageRequestOperation(*doomed);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the orphan's request");
    doomed.reset();
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return orphan->isFinished(); }), "waited for the orphan's load");
    REQUIRE_MESSAGE(runMainUntil([&] {
                        return fresh.cache->cachedImageForRequest(*NSURLRequest::requestWithURL(
                                   server.url("/orphan.png"))) != nullptr;
                    }),
                    "waited for the orphan's image in the cache");

    // Failures reach the failure callback with the response.
    long failedStatus = 0;
    nl_setImageWithURLRequest(view, NSURLRequest::requestWithURL(server.url("/missing.png")), nullptr, nullptr,
                              [&](auto&, const std::shared_ptr<NSHTTPURLResponse>& response, const NSErrorPtr& error) {
                                  failedStatus = response ? response->statusCode() : -1;
                                  CHECK(error->code() == -1011);
                              });
    REQUIRE_MESSAGE(runMainUntil([&] { return failedStatus != 0; }), "waited for the 404 failure");
    CHECK(failedStatus == 404);

    // A memory warning empties the default cache.
    auto defaults = NLImageCache::defaultCache();
    defaults->cacheImage(placeholder, NSURLRequest::requestWithURL("http://example.invalid/p.png"));
    CHECK(defaults->count() == 1);
    NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    REQUIRE_MESSAGE(runMainUntil([&] { return defaults->count() == 0; }), "waited for the memory warning to empty it");
}

TEST_CASE("buttons: slots by state, a replaced load never acts, failures without a response are reported") {
    FreshCache fresh;
    LoopbackHttpServer server;
    server.route("GET", "/slow.png", pngReply(3).stallFirst());
    server.route("GET", "/fast.png", pngReply(5));
    server.route("GET", "/back.png", pngReply(6));

    auto button = std::make_shared<UIButton>();
    int slowFailures = 0;
    nl_setImageForState(button, UIControlStateNormal, NSURLRequest::requestWithURL(server.url("/slow.png")), nullptr,
                        nullptr, [&](const NSErrorPtr&) { ++slowFailures; });
    auto replaced = nl_imageRequestOperationForState(*button, UIControlStateNormal);
    REQUIRE(replaced);
    CHECK(nl_imageRequestOperationForState(*button, 3) == replaced);  // 3 shares the normal slot
    CHECK(nl_imageRequestOperationForState(*button, 8) == replaced);
    CHECK(nl_imageRequestOperationForState(*button, UIControlStateSelected) == nullptr);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the slow image to be asked for");
    nl_setImageForState(button, 8, server.url("/fast.png"));  // replaces the slow load
    nl_setBackgroundImageForState(button, UIControlStateSelected, server.url("/back.png"));
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] {
                        return replaced->isFinished() && button->imageForState(8) &&
                               button->backgroundImageForState(UIControlStateSelected);
                    }),
                    "waited for the new loads");
    runMainUntil([] { return false; }, 0.2);
    CHECK(slowFailures == 0);
    CHECK(widthOf(button->imageForState(8)) == 5);
    CHECK(widthOf(button->backgroundImageForState(UIControlStateSelected)) == 6);
    // Background images are not cached; foreground ones are.
    CHECK(fresh.cache->cachedImageForRequest(*NSURLRequest::requestWithURL(server.url("/back.png"))) == nullptr);
    CHECK(fresh.cache->cachedImageForRequest(*NSURLRequest::requestWithURL(server.url("/fast.png"))) != nullptr);

    // Refused: no response at all, and the failure is still reported.
    NSErrorPtr refused;
    nl_setBackgroundImageForState(button, UIControlStateHighlighted, NSURLRequest::requestWithURL(refusedURL()),
                                  nullptr, nullptr, [&](const NSErrorPtr& error) { refused = error; });
    REQUIRE_MESSAGE(runMainUntil([&] { return refused != nullptr; }), "waited for the refused load's failure");
    CHECK(refused->domain() == NSURLErrorDomain);
    CHECK(nl_backgroundImageRequestOperationForState(*button, UIControlStateHighlighted) == nullptr);

    // A button gone mid-load is safe.
    server.route("GET", "/orphan.png", pngReply(4).stallFirst());
    auto doomed = std::make_shared<UIButton>();
    nl_setImageForState(doomed, UIControlStateNormal, server.url("/orphan.png"));
    auto orphan = nl_imageRequestOperationForState(*doomed, UIControlStateNormal);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the orphan's request");
    doomed.reset();
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return orphan->isFinished(); }), "waited for the orphan's load");
}

TEST_CASE("web views: replaced loads never show, pages decode in their charset, undecodable ones fail") {
    RecordingWebViews recording;
    LoopbackHttpServer server;
    server.route("GET", "/slow", Reply::text("<p>slow</p>", "text/html; charset=utf-8").stallFirst());
    server.route("GET", "/fast", Reply::text("<p>fast</p>", "text/html; charset=utf-8"));
    server.route("GET", "/latin", Reply::text("<p>caf\xe9</p>", "text/html; charset=iso-8859-1"));
    server.route("GET", "/plain", Reply::text("<p>\xc3\xa9t\xc3\xa9</p>", "text/html"));
    server.route("GET", "/broken", Reply::text("<p>\xff\xfe\xc3</p>", "text/html; charset=utf-8"));

    auto view = std::make_shared<UIWebView>();
    int slowCalls = 0;
    nl_loadRequest(
        view, NSURLRequest::requestWithURL(server.url("/slow")), nullptr,
        [&](auto&, const std::string& html) {
            ++slowCalls;
            return html;
        },
        [&](const NSErrorPtr&) { ++slowCalls; });
    auto replaced = nl_HTTPRequestOperation(*view);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the slow page to be asked for");
    nl_loadRequest(view, NSURLRequest::requestWithURL(server.url("/fast")), nullptr, nullptr, nullptr);
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return view->loadCount() == 1 && replaced->isFinished(); }),
                    "waited for the fast page");
    runMainUntil([] { return false; }, 0.2);
    CHECK(slowCalls == 0);
    CHECK(view->loadCount() == 1);
    auto shown = [&] { return std::string(view->loadedData()->data.begin(), view->loadedData()->data.end()); };
    CHECK(shown() == "<p>fast</p>");
    CHECK(view->loadedData()->MIMEType == "text/html");
    CHECK(view->loadedData()->baseURL == server.url("/fast"));

    // Latin-1: the text arrives decoded and goes back in Latin-1.
    std::string seen;
    nl_loadRequest(
        view, NSURLRequest::requestWithURL(server.url("/latin")), nullptr,
        [&](auto&, const std::string& html) {
            seen = html;
            return html + "\xc3\xa0";  // "à"
        },
        nullptr);
    REQUIRE_MESSAGE(runMainUntil([&] { return view->loadCount() == 2; }), "waited for the Latin-1 page");
    CHECK(seen == "<p>caf\xc3\xa9</p>");
    CHECK(shown() == "<p>caf\xe9</p>\xe0");
    CHECK(view->loadedData()->textEncodingName == "iso-8859-1");

    // No charset named: UTF-8.
    nl_loadRequest(view, NSURLRequest::requestWithURL(server.url("/plain")), nullptr,
                   [&](auto&, const std::string& html) { return html; }, nullptr);
    REQUIRE_MESSAGE(runMainUntil([&] { return view->loadCount() == 3; }), "waited for the page without a charset");
    CHECK(shown() == "<p>\xc3\xa9t\xc3\xa9</p>");

    // Not UTF-8 though it says so: a failure, nothing loaded.
    NSErrorPtr failure;
    nl_loadRequest(view, NSURLRequest::requestWithURL(server.url("/broken")), nullptr, nullptr,
                   [&](const NSErrorPtr& error) { failure = error; });
    REQUIRE_MESSAGE(runMainUntil([&] { return failure != nullptr; }), "waited for the undecodable page's failure");
    CHECK(failure->domain() == "com.netline.error.serialization.response");
    CHECK(failure->code() == -1016);
    CHECK(view->loadCount() == 3);

    // The data form: given MIME type and encoding name win; a web view gone mid-load is safe.
    bool dataSeen = false;
    nl_loadRequest(view, NSURLRequest::requestWithURL(server.url("/fast")), std::string("text/plain"),
                   std::string("us-ascii"), nullptr,
                   [&](auto&, const Data& data) {
                       dataSeen = true;
                       return data;
                   },
                   nullptr);
    REQUIRE_MESSAGE(runMainUntil([&] { return view->loadCount() == 4; }), "waited for the data form");
    CHECK(dataSeen);
    CHECK(view->loadedData()->MIMEType == "text/plain");
    CHECK(view->loadedData()->textEncodingName == "us-ascii");

    server.route("GET", "/orphan", Reply::text("<p>orphan</p>", "text/html").stallFirst());
    auto doomed = std::make_shared<UIWebView>();
    nl_loadRequest(doomed, NSURLRequest::requestWithURL(server.url("/orphan")), nullptr, nullptr, nullptr);
    auto orphan = nl_HTTPRequestOperation(*doomed);
    REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the orphan page's request");
    doomed.reset();
    server.releaseStalls();
    REQUIRE_MESSAGE(runMainUntil([&] { return orphan->isFinished(); }), "waited for the orphan page's load");
}

TEST_CASE("progress, indicator, refresh control and alert follow real operations") {
    LoopbackHttpServer server;
    const std::string body(200000, 'x');
    server.route("GET", "/big", Reply::text(body, "application/octet-stream"));
    // Held after every piece until the client has seen it: the progress moves in steps, however loaded the machine.
    server.route("GET", "/pieces", Reply::text(body, "application/octet-stream").inPieces(16384));
    server.route("GET", "/held", Reply::text("ok").stallFirst());
    server.route("GET", "/missing", Reply::withStatus(404, "none here"));

    SUBCASE("progress reaches 1.0, the earlier callback still runs, a view gone is left alone") {
        auto operation = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(server.url("/pieces")));
        int earlier = 0;
        operation->setDownloadProgressBlock([&](std::uint64_t, std::int64_t, std::int64_t) { ++earlier; });
        auto view = std::make_shared<UIProgressView>();
        auto doomed = std::make_shared<UIProgressView>();
        nl_setProgressWithDownloadProgressOfOperation(view, operation, true);
        nl_setProgressWithDownloadProgressOfOperation(doomed, operation, false);
        doomed.reset();
        float lowest = 2;
        ObservationToken token = view->observeValueForKey("progress", [&](const std::string&) {
            lowest = std::min(lowest, view->progress());
        });
        operation->start();
        REQUIRE_MESSAGE(server.deliverPieces([&] { return operation->isFinished() && view->progress() == 1.0f; },
                                             [&] { return std::size_t(earlier); }),
                        "waited for the download to reach 1.0, piece by piece");
        CHECK(lowest < 1.0f);
        CHECK(earlier > 1);
        CHECK(view->lastChangeAnimated());
    }

    SUBCASE("a task's download progress reaches 1.0; observation ends with the task's completion or the view") {
        auto session = NSURLSession::sessionWithConfiguration(NSURLSessionConfiguration::defaultSessionConfiguration());
        auto task = session->dataTaskWithRequest(NSURLRequest::requestWithURL(server.url("/pieces")));
        REQUIRE(task);
        auto view = std::make_shared<UIProgressView>();
        auto doomed = std::make_shared<UIProgressView>();
        nl_setProgressWithDownloadProgressOfTask(view, task, true);
        nl_setProgressWithDownloadProgressOfTask(doomed, task, false);
        CHECK(nl_downloadProgressAnimated(*view));
        CHECK_FALSE(nl_uploadProgressAnimated(*view));
        CHECK(nl_isObservingDownloadProgress(*view));
        const std::size_t observers = task->observerCount("countOfBytesReceived");
        doomed.reset();  // its observation ends with it
        CHECK(task->observerCount("countOfBytesReceived") == observers - 1);
        task->resume();
        REQUIRE_MESSAGE(server.deliverPieces(
                            [&] {
                                return task->state() == NSURLSessionTaskStateCompleted && view->progress() == 1.0f &&
                                       !nl_isObservingDownloadProgress(*view);
                            },
                            [&] { return static_cast<std::size_t>(task->countOfBytesReceived()); }),
                        "waited for the task to complete at 1.0 and the observation to end");
        CHECK(task->observerCount("countOfBytesReceived") == 0);
        CHECK(task->observerCount("state") == 0);
        session->invalidateAndCancel();
    }

    SUBCASE("the indicator and the refresh control run while the operation runs") {
        auto operation = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(server.url("/held")));
        auto indicator = std::make_shared<UIActivityIndicatorView>();
        auto control = std::make_shared<UIRefreshControl>();
        control->beginRefreshing();
        indicator->startAnimating();
        nl_setAnimatingWithStateOfOperation(indicator, operation);  // ready: stopped
        nl_setRefreshingWithStateOfOperation(control, operation);
        CHECK_FALSE(indicator->isAnimating());
        CHECK_FALSE(control->isRefreshing());
        operation->start();
        REQUIRE_MESSAGE(runMainUntil([&] { return indicator->isAnimating() && control->isRefreshing(); }),
                        "waited for both to follow the start");
        REQUIRE_MESSAGE(runMainUntil(server.stalledConnections(1)), "waited for the held request");
        server.releaseStalls();
        REQUIRE_MESSAGE(runMainUntil([&] { return !indicator->isAnimating() && !control->isRefreshing(); }),
                        "waited for both to follow the finish");
        // A finished operation binds nothing and changes nothing.
        indicator->startAnimating();
        nl_setAnimatingWithStateOfOperation(indicator, operation);
        CHECK(indicator->isAnimating());
        // A suspended task ends refreshing and binds nothing; the indicator stops and follows it.
        auto task = std::make_shared<NSURLSessionDataTask>(NSURLSessionTask::Kind::Data, 1,
                                                           NSURLRequest::requestWithURL(server.url("/held")));
        control->beginRefreshing();
        nl_setRefreshingWithStateOfTask(control, task);
        CHECK_FALSE(control->isRefreshing());
        nl_setAnimatingWithStateOfTask(indicator, task);
        CHECK_FALSE(indicator->isAnimating());
        CHECK(NSNotificationCenter::defaultCenter()->observerCount("com.netline.networking.task.resume") >= 1);
    }

    SUBCASE("a 404 raises one alert; a success raises none") {
        UIAlertView::removeAllForTesting();
        auto missing = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(server.url("/missing")));
        auto found = NLHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(server.url("/big")));
        nl_showAlertViewForRequestOperationWithErrorOnCompletion(missing, {});
        nl_showAlertViewForRequestOperationWithErrorOnCompletion(found, {}, std::string("Close"), {"Retry", "Later"});
        found->start();
        missing->start();
        REQUIRE_MESSAGE(runMainUntil([&] { return !UIAlertView::visibleAlerts().empty() && found->isFinished(); }),
                        "waited for the 404's alert and the other load");
        runMainUntil([] { return false; }, 0.2);
        auto alerts = UIAlertView::visibleAlerts();
        REQUIRE(alerts.size() == 1);
        CHECK(alerts[0]->title() == "Error");
        CHECK(alerts[0]->message() == missing->error()->localizedDescription());
        CHECK(alerts[0]->message().find("404") != std::string::npos);
        CHECK(alerts[0]->buttonTitleAtIndex(0) == "Dismiss");
        CHECK(alerts[0]->numberOfButtons() == 1);
        UIAlertView::removeAllForTesting();
    }
}
