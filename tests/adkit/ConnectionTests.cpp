// Protects the ad connection against the loopback server: cache headers on the
// virtual clock, "slotname" keying, the 25 entries the cache keeps, refused
// redirects, failing statuses, starts that cannot load, the user agent and POST
// bodies.
#include "AdkitTestSupport.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/AKURLConnection.h"
#include "platform/foundation/HTTPDate.h"
#include "support/LoopbackHttpServer.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Recorder : AKURLConnectionDelegate {
    bool useCache = true;
    NSErrorPtr refuseRedirect;
    int finishes = 0, failures = 0, cachedHits = 0, redirects = 0;
    std::optional<std::string> text;
    NSURLPtr baseURL;
    NSErrorPtr error;
    long status = 0;
    NSErrorPtr connectionShouldRedirectToURL(AKURLConnection&, const NSURLPtr&) override { return refuseRedirect; }
    void connectionLoadDidReceiveRedirectResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {
        ++redirects;
    }
    bool connectionLoadShouldUseCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {
        return useCache;
    }
    void connectionLoadDidReceiveCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) override {
        ++cachedHits;
    }
    void connectionLoadDidFinish(AKURLConnection&, const std::optional<std::string>& t, const NSURLPtr& base) override {
        ++finishes;
        text = t;
        baseURL = base;
    }
    void connectionLoadDidFail(AKURLConnection&, const NSErrorPtr& e, long s) override {
        ++failures;
        error = e;
        status = s;
    }
    int outcomes() const { return finishes + failures; }
};

std::string httpDate(double secondsFromNow) { return HTTPDate::formatRFC1123(Date{Clock::now() + secondsFromNow}); }

// The asctime form of now ("Tue Nov 14 22:13:20 2023"), rearranged from the RFC 1123 one.
std::string asctimeNow() {
    const std::string rfc = httpDate(0);  // "Tue, 14 Nov 2023 22:13:20 GMT"
    std::string day = rfc.substr(5, 2);
    if (day[0] == '0') day[0] = ' ';
    return rfc.substr(0, 3) + " " + rfc.substr(8, 3) + " " + day + " " + rfc.substr(17, 8) + " " + rfc.substr(12, 4);
}

// One load through a fresh connection; returns its recorder once an outcome arrived.
std::shared_ptr<Recorder> load(const std::string& url, bool consultCacheAtStart = true) {
    auto recorder = std::make_shared<Recorder>();
    auto connection = std::make_shared<AKURLConnection>();
    connection->setAllowCache(consultCacheAtStart);
    REQUIRE(connection->startWithURL(NSURL::URLWithString(url), recorder));
    adkittest::waitFor([&] { return recorder->outcomes() > 0; }, "the load of " + url);
    return recorder;
}

struct NoConnections : AKMConnectionFactory {
    NSURLConnectionPtr connectionWithRequest(const std::shared_ptr<NSURLRequest>&,
                                             const std::shared_ptr<NSURLConnectionDelegate>&, bool) override {
        return nullptr;
    }
};

}  // namespace

TEST_CASE("ad connection: cache headers decide what is replayed and for how long") {
    adkittest::VirtualTime time;
    LoopbackHttpServer server;
    struct Row {
        const char* name;
        std::function<Headers()> headers;  // made when the row runs
        std::optional<double> lifetime;  // seconds from now, nullopt: not stored
    };
    const std::vector<Row> rows = {
        {"max-age against a Date a minute old", [] { return Headers{{"Cache-Control", "max-age=300"}, {"Date", httpDate(-60)}}; }, 240},
        {"Expires two minutes after Date", [] { return Headers{{"Expires", httpDate(120)}, {"Date", httpDate(0)}}; }, 120},
        {"Pragma no-cache wins", [] { return Headers{{"Pragma", "no-cache"}, {"Cache-Control", "max-age=300"}}; }, std::nullopt},
        {"no-store wins", [] { return Headers{{"Cache-Control", "no-store, max-age=300"}}; }, std::nullopt},
        {"max-age=abc falls back to Expires", [] { return Headers{{"Cache-Control", "max-age=abc"}, {"Expires", httpDate(100)}, {"Date", httpDate(0)}}; }, 100},
        {"max-age=0", [] { return Headers{{"Cache-Control", "max-age=0"}}; }, std::nullopt},
        {"Expires not after Date", [] { return Headers{{"Expires", httpDate(0)}, {"Date", httpDate(0)}}; }, std::nullopt},
        {"a Date nobody can read", [] { return Headers{{"Cache-Control", "max-age=300"}, {"Date", "yesterday"}}; }, std::nullopt},
        {"asctime Date", [] { return Headers{{"Cache-Control", "max-age=50"}, {"Date", asctimeNow()}}; }, 50},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::string rowName = row.name;
        CAPTURE(rowName);
        const std::string path = "/ad/" + std::to_string(i);
        Reply reply = Reply::text("body " + std::to_string(i));
        for (const auto& [name, value] : row.headers()) reply.header(name, value);
        server.route("GET", path, reply);
        AKURLConnection::clearCache();
        const std::size_t before = server.requestCount();
        auto first = load(server.url(path), false);
        REQUIRE(first->finishes == 1);
        CHECK(first->text == std::optional<std::string>("body " + std::to_string(i)));
        auto second = load(server.url(path));
        CHECK(second->text == first->text);
        if (!row.lifetime) {
            CHECK(server.requestCount() == before + 2);
            CHECK(second->cachedHits == 0);
            continue;
        }
        CHECK(server.requestCount() == before + 1);
        CHECK(second->cachedHits == 1);
        Clock::advance(*row.lifetime - 1);
        (void)load(server.url(path));
        CHECK(server.requestCount() == before + 1);
        Clock::advance(2);
        auto expired = load(server.url(path));
        CHECK(expired->cachedHits == 0);
        CHECK(server.requestCount() == before + 2);
    }
}

TEST_CASE("ad connection: slotname keys, failing statuses, refused redirects and starts that cannot load") {
    LoopbackHttpServer server;
    AKURLConnection::clearCache();
    server.route("GET", "/ad", Reply::text("ad").header("Cache-Control", "max-age=600"));
    server.route("GET", "/missing", Reply::withStatus(404, "no").header("Cache-Control", "max-age=600"));
    server.route("GET", "/broken", Reply::withStatus(500, "down").header("Cache-Control", "max-age=600"));
    server.route("GET", "/hop", Reply::redirect(302, "/ad"));

    // Same host, path and slotname: one entry, whatever the other parameters.
    (void)load(server.url("/ad?slotname=s1&x=1"), false);
    auto again = load(server.url("/ad?x=2&slotname=s1"));
    CHECK(again->cachedHits == 1);
    CHECK(server.requestCount() == 1);
    (void)load(server.url("/ad?x=3"));
    auto whole = load(server.url("/ad?x=4"));  // keyed by the whole text: another entry
    CHECK(whole->cachedHits == 0);
    CHECK(server.requestCount() == 3);
    CHECK(AKURLConnection::cacheKeyForURL(*NSURL::URLWithString("http://h/p?slotname=a%20b")) ==
          *ak_MD5String("h/pa%20b"));

    // The cache keeps 25 entries: a 26th slot's pushes out the least recently used.
    AKURLConnection::clearCache();
    const auto slotURL = [&](int slot) { return server.url("/ad?slotname=c" + std::to_string(slot)); };
    for (int slot = 0; slot <= 25; ++slot) (void)load(slotURL(slot), false);
    const std::size_t stored = server.requestCount();
    for (int slot = 1; slot <= 25; ++slot) {
        CAPTURE(slot);
        CHECK(load(slotURL(slot))->cachedHits == 1);
    }
    CHECK(server.requestCount() == stored);
    CHECK(load(slotURL(0))->cachedHits == 0);
    CHECK(server.requestCount() == stored + 1);

    // Failing statuses: reported with their status, never cached.
    for (const char* path : {"/missing", "/broken"}) {
        const std::size_t before = server.requestCount();
        auto failed = load(server.url(path));
        CHECK(failed->failures == 1);
        CHECK(failed->finishes == 0);
        CHECK(failed->status == (std::string(path) == "/missing" ? 404 : 500));
        REQUIRE(failed->error);
        CHECK(failed->error->userInfo()["HttpStatus"].isString());
        (void)load(server.url(path));
        CHECK(server.requestCount() == before + 2);
    }

    // A refused redirect: that failure alone, and the target is never asked for.
    auto recorder = std::make_shared<Recorder>();
    recorder->refuseRedirect = NSError::make("test", 7, "no redirects");
    auto connection = std::make_shared<AKURLConnection>();
    const std::size_t before = server.requestCount();
    REQUIRE(connection->startWithURL(NSURL::URLWithString(server.url("/hop?slotname=zz")), recorder));
    adkittest::waitFor([&] { return recorder->outcomes() > 0; }, "the refused redirect");
    testsupport::runMainUntil([] { return false; }, 0.3);
    CHECK(recorder->failures == 1);
    CHECK(recorder->finishes == 0);
    CHECK(recorder->redirects == 0);
    CHECK(recorder->error == recorder->refuseRedirect);
    CHECK(recorder->status == -1);
    CHECK(server.requestCount() == before + 1);
    CHECK_FALSE(connection->isInProgress());

    // A followed redirect reports the final URL.
    auto followed = load(server.url("/hop?x=9"), false);
    CHECK(followed->redirects == 1);
    CHECK(followed->baseURL->absoluteString() == server.url("/ad"));

    // Two starts in a row: the second is refused with code 2.
    auto busy = std::make_shared<AKURLConnection>();
    auto r1 = std::make_shared<Recorder>();
    REQUIRE(busy->startWithURL(NSURL::URLWithString(server.url("/ad?x=10")), r1));
    NSErrorPtr refused;
    CHECK_FALSE(busy->startWithURL(NSURL::URLWithString(server.url("/ad?x=11")), r1, &refused));
    REQUIRE(refused);
    CHECK(refused->code() == 2);
    CHECK(refused->localizedDescription() == "Ignoring -- Currently loading " + server.url("/ad?x=10"));
    adkittest::waitFor([&] { return r1->outcomes() == 1; }, "the first load");

    // No connection can be made: NO, one failure, idle.
    AKMNSURLConnectionFactory::setSharedFactory(std::make_shared<NoConnections>());
    auto idle = std::make_shared<AKURLConnection>();
    auto r2 = std::make_shared<Recorder>();
    CHECK_FALSE(idle->startWithURL(NSURL::URLWithString(server.url("/ad?x=12")), r2));
    AKMNSURLConnectionFactory::setSharedFactory(nullptr);
    CHECK(r2->failures == 1);
    CHECK(r2->status == -1);
    CHECK_FALSE(idle->isInProgress());
}

TEST_CASE("ad connection: user agent, POST bodies, non-UTF-8 bodies and the 16 MiB limit") {
    LoopbackHttpServer server;
    AKURLConnection::clearCache();
    server.route("*", "/echo", [](const testsupport::RecordedRequest& r) { return Reply::text(r.method + ":" + r.body); });
    server.route("GET", "/binary", Reply::text(std::string("\xFF\xFE", 2)));
    server.route("GET", "/huge", Reply::text(std::string(kAKMaximumBodyLength + 1, 'x')));
    auto device = AKDevice::currentDevice();
    (void)load(server.url("/echo?1"), false);
    CHECK(server.lastRequest()->headers.get("User-Agent") != "AdTest/1");
    device->setUserAgentString(std::string("AdTest/1"));
    device->setUserAgentString(std::string(""));  // ignored
    (void)load(server.url("/echo?2"), false);
    CHECK(server.lastRequest()->headers.get("User-Agent") == "AdTest/1");

    auto recorder = std::make_shared<Recorder>();
    auto connection = std::make_shared<AKURLConnection>();
    REQUIRE(connection->startWithURL(NSURL::URLWithString(server.url("/echo")), dataFromString("a=1"),
                                     std::string("application/x-www-form-urlencoded"), recorder));
    adkittest::waitFor([&] { return recorder->outcomes() > 0; }, "the POST");
    CHECK(recorder->text == std::optional<std::string>("POST:a=1"));
    CHECK(server.lastRequest()->headers.get("Content-Type") == "application/x-www-form-urlencoded");
    auto withoutType = std::make_shared<Recorder>();
    auto second = std::make_shared<AKURLConnection>();
    REQUIRE(second->startWithURL(NSURL::URLWithString(server.url("/echo")), dataFromString("a=1"), std::nullopt, withoutType));
    adkittest::waitFor([&] { return withoutType->outcomes() > 0; }, "the body without type");
    CHECK(withoutType->text == std::optional<std::string>("GET:"));

    auto binary = load(server.url("/binary"), false);
    CHECK(binary->finishes == 1);
    CHECK_FALSE(binary->text.has_value());
    auto huge = load(server.url("/huge"), false);
    CHECK(huge->failures == 1);
    CHECK(huge->finishes == 0);
    CHECK(huge->status == 200);
}
