// Protects the ad fetcher against the real ad server over HTTPS: every answer
// (tracking headers in any letter case, statuses, refused connections, empty,
// cut or non-UTF-8 bodies, mediation, native and custom-rendering types,
// redirect chains with their own headers, non-http URLs) reaches the delegate
// once with the ad or the right error (a cached answer only for mediation);
// an ad that brings its HTML completes
// on the main queue's next turn without a request; a fetcher serves one fetch
// and a cancelled one tells nobody.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/foundation/AKURLConnection.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdFetcher.h"
#include "adkit/requests/AKRequest.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/security/SecTrust.h"
#include "support/AdServerProcess.h"

using adkittest::waitFor;
using Json = nlohmann::json;

namespace {

struct Outcomes : AKAdFetcherDelegate {
    int fetched = 0, failed = 0;
    std::shared_ptr<AKAd> ad;
    NSErrorPtr error;
    void adFetcherDidFetchAd(AKAdFetcher&, const std::shared_ptr<AKAd>& a) override {
        ++fetched;
        ad = a;
    }
    void adFetcherDidFailToFetchAdWithError(AKAdFetcher&, const NSErrorPtr& e) override {
        ++failed;
        error = e;
    }
    int count() const { return fetched + failed; }
};

struct LogLines : AKLogChecker {
    std::vector<std::string> lines;
    void message(const std::string& text) override { lines.push_back(text); }
};

// Runs the main queue until a block queued now has run.
void runLaterTurn() {
    bool ran = false;
    NSOperationQueue::mainQueue()->addOperationWithBlock([&] { ran = true; });
    waitFor([&] { return ran; }, "a later turn of the main queue");
}

// A port bound on 127.0.0.1 without listening: connections to it are refused.
struct RefusingPort {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    RefusingPort() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        REQUIRE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        REQUIRE(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        port = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd); }
};

// The ad server with its units, its authority trusted, a fresh home for the user defaults.
struct FetchScope {
    testsupport::TempHome home;
    testtools::AdServerProcess server;
    std::shared_ptr<LogLines> log = std::make_shared<LogLines>();
    adkittest::QuietLog quiet;

    explicit FetchScope(const Json& units) {
        NSUserDefaults::resetStandardUserDefaults();
        REQUIRE(server.started());
        REQUIRE(server.order("units", {{"units", units}}) == 200);
        std::ifstream in(server.caFile());
        const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SecTrustSetAdditionalSystemAnchors(SecCertificatesFromPEM(pem));
        AKMacros::setLogChecker(log);
    }
    ~FetchScope() {
        AKMacros::setLogChecker(nullptr);
        SecTrustSetAdditionalSystemAnchors({});
        NSUserDefaults::resetStandardUserDefaults();
    }
    std::string adURL(const std::string& unit) const { return server.origin("https") + "/adnet/ad?slotname=" + unit; }
    std::size_t adRequests() const {
        std::size_t n = 0;
        for (const auto& entry : server.log()) n += entry["path"] == "/adnet/ad";
        return n;
    }
};

struct Fetch {
    std::shared_ptr<AKAdFetcher> fetcher = std::make_shared<AKAdFetcher>();
    std::shared_ptr<Outcomes> outcomes = std::make_shared<Outcomes>();
    std::shared_ptr<AKAd> ad = std::make_shared<AKAd>();
    bool started = false;
    NSErrorPtr startError;

    // Fetches the ad and waits for the one outcome (and one more turn, in which no second may come).
    explicit Fetch(const std::string& url, const std::function<void(AKAd&)>& prepare = {}) {
        ad->adURL = NSURL::URLWithString(url);
        if (prepare) prepare(*ad);
        started = fetcher->fetchRemainingContentForAd(ad, Value(), outcomes, AKRequest::request(), &startError);
        waitFor([&] { return outcomes->count() > 0; }, "the fetch of " + url);
        runLaterTurn();
        CHECK(outcomes->count() == 1);
    }
};

std::vector<std::string> texts(const std::vector<NSURLPtr>& urls) {
    std::vector<std::string> out;
    for (const auto& url : urls) out.push_back(url->absoluteString());
    return out;
}

Value defaultsValue(const std::string& key) { return NSUserDefaults::standardUserDefaults()->objectForKey(key); }

const Json kUnits = {
    {"html",
     {{"headers",
       {{"x-adnet-CLICK-tracking-urls", "{origin}/adnet/ping/click?n=1   {origin}/adnet/ping/click?n=2"},
        {"X-ADNET-TRACKING-URLS", "{origin}/adnet/ping/impression?n=1"},
        {"x-adnet-manual-tracking-urls", "{origin}/adnet/ping/manual-impression?n=1"},
        {"x-Adnet-Refresh-Rate", "0"},
        {"X-Adnet-Orientation", "landscape"},
        {"X-Adnet-Ad-Size", "320x50"},
        {"x-adnet-debug-dialog", "dialog text"},
        {"X-Adnet-Viewability", R"({"sampling": [1, 2]})"},
        {"X-Adnet-Disable-Activation-And-Scroll", "yes"},
        {"X-Adnet-Interstitial-Timeout", "12.5"},
        {"x-adnet-use-https", "true"},
        {"Cache-Control", "max-age=300"}}},
      {"body", "<p>ad</p>"}}},
    {"odd-values",
     {{"headers",
       {{"X-Adnet-Refresh-Rate", "inf"},
        {"X-Adnet-Interstitial-Timeout", "nan"},
        {"X-Adnet-Orientation", "sideways"},
        {"X-Adnet-Swipe-To-View-Controller", R"({"app_store_product_id": 42})"}}},
      {"body", "<p>ad</p>"}}},
    {"bad-request", {{"status", 400}, {"body", "no"}}},
    {"unauthorized", {{"status", 401}, {"body", "no"}}},
    {"broken", {{"status", 500}, {"body", "down"}}},
    {"empty", Json::object()},
    {"mediation-html", {{"headers", {{"X-Adnet-Mediation", "1"}}}, {"body", "<p>not json</p>"}}},
    {"mediation",
     {{"headers", {{"x-adnet-mediation", "true"}, {"Cache-Control", "max-age=300"}}},
      {"json", {{"ad_networks", Json::array()}}}}},
    {"native", {{"headers", {{"X-Adnet-Native", "YES"}}}, {"json", {{"native", 1}}}}},
    {"custom", {{"headers", {{"X-Adnet-Custom-Rendering-Allowed", "1"}}}, {"body", "<p>custom</p>"}}},
    {"chain",
     {{"headers", {{"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?at=final"}}},
      {"body", "<p>end of the chain</p>"},
      {"redirects",
       {{{"headers", {{"X-Adnet-Click-Tracking-Urls", "{origin}/adnet/ping/click?at=0"}}}},
        {{"status", 307}, {"headers", {{"x-adnet-tracking-urls", "{origin}/adnet/ping/impression?at=1"}}}}}}}},
    {"to-ftp", {{"body", "<p>never</p>"}, {"redirects", {{{"location", "ftp://127.0.0.1/ad.html"}}}}}},
};

}  // namespace

TEST_CASE("ad fetcher: every answer of the ad server reaches the delegate once, as the ad or its error") {
    FetchScope scope(kUnits);
    AKURLConnection::clearCache();
    const std::string origin = scope.server.origin("https");
    RefusingPort refusing;
    struct Row {
        const char* name;
        std::string url;
        std::optional<Json> fault;           // ordered for the row's request
        std::optional<std::uint64_t> type;   // delivered with this type, or...
        std::int64_t code = -1;              // ...failed with this code
        long status = 0;                     // and this status ("HttpStatus")
        std::function<void(const AKAd&)> check = {};
        std::function<void(AKAd&)> prepare = {};
    };
    const std::vector<Row> rows = {
        {"HTML with tracking headers in odd letter case", scope.adURL("html"), {}, 1, -1, 0,
         [&](const AKAd& ad) {
             CHECK(*ad.adHTML == "<p>ad</p>");
             CHECK(ad.adBaseURL->absoluteString() == scope.adURL("html"));
             CHECK(texts(ad.clickURLs()) == std::vector<std::string>{origin + "/adnet/ping/click?n=1",
                                                                      origin + "/adnet/ping/click?n=2"});
             CHECK(texts(ad.impressionURLs()) == std::vector<std::string>{origin + "/adnet/ping/impression?n=1"});
             CHECK(texts(ad.manualImpressionURLs()) ==
                   std::vector<std::string>{origin + "/adnet/ping/manual-impression?n=1"});
             CHECK(ad.reloadInterval == 0);
             CHECK(ad.supportedOrientations == 3);
             CHECK(ad.customAdSizeString == std::optional<std::string>("320x50"));
             CHECK(ad.debugDialog == std::optional<std::string>("dialog text"));
             CHECK(ad.viewabilityConfigurations == Value({{"sampling", Value::array({1, 2})}}));
             CHECK_FALSE(ad.scrollEnabled);
             CHECK(ad.swipeToViewControllerConfigurations == nullptr);  // no header, no configuration
             CHECK(defaultsValue("applicationTimeout") == Value(12.5));
             CHECK(defaultsValue("adkit_ak_use_https") == Value(true));
         },
         [](AKAd& ad) { ad.reloadInterval = 99; }},
        {"infinite, not-a-number and unknown values are ignored", scope.adURL("odd-values"), {}, 1, -1, 0,
         [](const AKAd& ad) {
             CHECK(ad.reloadInterval == 7);
             CHECK(ad.supportedOrientations == 2);
             CHECK(defaultsValue("applicationTimeout") == Value(12.5));  // the previous row's
             REQUIRE(ad.swipeToViewControllerConfigurations);
             CHECK(ad.swipeToViewControllerConfigurations->swipeableInAppStoreProductID() == Value(42));
         },
         [](AKAd& ad) {
             ad.reloadInterval = 7;
             ad.supportedOrientations = 2;
         }},
        {"400", scope.adURL("bad-request"), {}, {}, 0},
        {"401", scope.adURL("unauthorized"), {}, {}, 3, 401},
        {"500", scope.adURL("broken"), {}, {}, 3, 500},
        {"404 of an unknown unit", scope.adURL("nobody"), {}, {}, 3, 404},
        {"a refused connection", "http://127.0.0.1:" + std::to_string(refusing.port) + "/adnet/ad", {}, {}, 2},
        {"a body cut short", scope.adURL("html"), Json{{"kind", "close"}}, {}, 2, 200},
        {"an empty body", scope.adURL("empty"), {}, {}, 1},
        {"a body that is not UTF-8", scope.adURL("html"), Json{{"kind", "invalid-utf8"}}, {}, 1},
        {"mediation on text/html", scope.adURL("mediation-html"), {}, {}, 3},
        {"mediation on JSON", scope.adURL("mediation"), {}, 2},
        // Both answers may be cached (max-age=300); only a mediation response is taken from the cache.
        {"mediation again, its body lost: the cached answer", scope.adURL("mediation"), Json{{"kind", "empty"}}, 2, -1,
         0, [](const AKAd& ad) { CHECK(Json::parse(ad.adHTML.value_or("null")) == Json{{"ad_networks", Json::array()}}); }},
        {"HTML again, its body lost: never from the cache", scope.adURL("html"), Json{{"kind", "empty"}}, {}, 1},
        {"native on JSON", scope.adURL("native"), {}, 3},
        {"custom rendering", scope.adURL("custom"), {}, 4},
        {"a redirect chain whose hops carry headers", scope.adURL("chain"), {}, 1, -1, 0,
         [&](const AKAd& ad) {
             CHECK(texts(ad.clickURLs()) == std::vector<std::string>{origin + "/adnet/ping/click?at=0",
                                                                      origin + "/adnet/ping/click?at=final"});
             CHECK(texts(ad.impressionURLs()) == std::vector<std::string>{origin + "/adnet/ping/impression?at=1"});
             CHECK(ad.adBaseURL->absoluteString() == scope.adURL("chain") + "&hop=2");
         }},
        {"a redirect to ftp", scope.adURL("to-ftp"), {}, {}, 13},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.name));
        if (row.fault) {
            Json fault = *row.fault;
            fault["path"] = "/adnet/ad";
            REQUIRE(scope.server.order("fault", fault) == 200);
        }
        scope.log->lines.clear();
        Fetch fetch(row.url, row.prepare);
        CHECK(fetch.started);
        const Outcomes& out = *fetch.outcomes;
        if (row.type) {
            REQUIRE(out.fetched == 1);
            CHECK(out.ad == fetch.ad);
            CHECK(out.ad->responseType == *row.type);
            if (row.check) row.check(*out.ad);
            CHECK(fetch.fetcher->timer()->endTimestamp() > 0);
            continue;
        }
        REQUIRE(out.failed == 1);
        CHECK(out.error->domain() == AKErrorDomain);
        CHECK(out.error->code() == row.code);
        CHECK(out.error->userInfo()["HttpStatus"].isString() == (row.status > 0));
        if (row.status > 0)
            CHECK(out.error->userInfo()["HttpStatus"].string()->rfind("HTTP status " + std::to_string(row.status), 0) == 0);
        CHECK(scope.log->lines == (row.code == 0 ? std::vector<std::string>{"Server rejected ad parameters. Typically this is because the ad unit ID is incorrect."}
                                                 : std::vector<std::string>{}));
        CHECK(fetch.ad->adHTML.value_or("").empty());
    }
    AKURLConnection::clearCache();
}

TEST_CASE("ad fetcher: use of HTTPS is recorded as no only while nothing is recorded") {
    FetchScope scope(Json{{"plain", {{"body", "<p>ad</p>"}}}});
    REQUIRE(defaultsValue("adkit_ak_use_https").isNull());
    CHECK(Fetch(scope.adURL("plain")).outcomes->fetched == 1);
    CHECK(defaultsValue("adkit_ak_use_https") == Value(false));
    NSUserDefaults::standardUserDefaults()->setBool(true, "adkit_ak_use_https");
    CHECK(Fetch(scope.adURL("plain")).outcomes->fetched == 1);
    CHECK(defaultsValue("adkit_ak_use_https") == Value(true));
}

TEST_CASE("ad fetcher: an ad with its HTML, reuse, non-http URLs and cancelling") {
    FetchScope scope(Json{{"plain", {{"body", "<p>ad</p>"}}}});

    // The HTML is there: no request, the completion on the main queue's next turn;
    // header names in any case, values that are not strings are missing.
    auto fetcher = std::make_shared<AKAdFetcher>();
    auto outcomes = std::make_shared<Outcomes>();
    auto ad = std::make_shared<AKAd>();
    ad->adHTML = "<p>inline</p>";
    ad->adURL = NSURL::URLWithString(scope.adURL("plain"));
    const Value headers{{"x-adnet-refresh-rate", "30"}, {"X-ADNET-MEDIATION", 1}, {"X-Adnet-Debug-Dialog", 5}};
    REQUIRE(fetcher->fetchRemainingContentForAd(ad, headers, outcomes, AKRequest::request()));
    CHECK(outcomes->count() == 0);
    runLaterTurn();
    REQUIRE(outcomes->fetched == 1);
    CHECK(scope.adRequests() == 0);
    CHECK(outcomes->ad->responseType == 1);
    CHECK(outcomes->ad->reloadInterval == 30);
    CHECK_FALSE(outcomes->ad->debugDialog.has_value());
    CHECK(fetcher->timer()->category() == format("AKAdFetcher (%p)", static_cast<unsigned long long>(
                                                                         reinterpret_cast<std::uintptr_t>(fetcher.get()))));

    // Reused: refused at once in the out-parameter, the delegate not told again.
    NSErrorPtr reused;
    CHECK_FALSE(fetcher->fetchRemainingContentForAd(ad, Value(), outcomes, AKRequest::request(), &reused));
    REQUIRE(reused);
    CHECK(reused->code() == 2);
    CHECK(reused->localizedDescription() == "Could not start fetch. This object has already been used to fetch.");
    runLaterTurn();
    CHECK(outcomes->count() == 1);

    // A cancelled fetcher tells nobody: neither the queued completion...
    auto cancelled = std::make_shared<AKAdFetcher>();
    auto silent = std::make_shared<Outcomes>();
    REQUIRE(cancelled->fetchRemainingContentForAd(ad, Value(), silent, AKRequest::request()));
    cancelled->cancel();
    runLaterTurn();
    CHECK(silent->count() == 0);
    // ...nor the answer to a request the server holds until after the cancel
    // (it goes out before the answer of the next fetch is asked for).
    testsupport::AdPeer peer;
    peer.route("/adnet/ad", testsupport::Reply::text("<p>ad</p>", "text/html"));
    peer.setFault("/adnet/ad", testsupport::AdPeer::Fault::hanging());
    auto loading = std::make_shared<AKAdFetcher>();
    auto networkAd = std::make_shared<AKAd>();
    networkAd->adURL = NSURL::URLWithString(peer.url("/adnet/ad?slotname=held"));
    REQUIRE(loading->fetchRemainingContentForAd(networkAd, Value(), silent, AKRequest::request()));
    waitFor([&] { return peer.hangingCount() == 1; }, "the ad request held at the peer");
    loading->cancel();
    peer.clearFault("/adnet/ad");
    peer.releaseHangs();
    CHECK(Fetch(peer.url("/adnet/ad?slotname=next")).outcomes->fetched == 1);
    CHECK(silent->count() == 0);

    // An ad URL that is not http or https is not fetched.
    const std::size_t before = scope.adRequests();
    Fetch other("ftp://127.0.0.1/adnet/ad?slotname=plain");
    CHECK_FALSE(other.started);
    REQUIRE(other.startError);
    CHECK(other.startError->code() == 2);
    CHECK(other.startError->localizedDescription() == "Failed to start ad connection.");
    REQUIRE(other.outcomes->error);
    CHECK(other.outcomes->error->code() == 13);
    CHECK(scope.adRequests() == before);
}
