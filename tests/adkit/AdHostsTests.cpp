// Protects the ad servers as origins (parsing, equality, URL building and
// matching, where each server's origin comes from) and the ad peer that the
// ad tests point those origins at.
#include <cstdlib>
#include <thread>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "support/AdPeer.h"
#include "support/HttpFetch.h"

using testsupport::AdPeer;

namespace {

// Sets (or, with nullptr, removes) an environment variable while it lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::string shown(const std::optional<AKAdOrigin>& origin) {
    if (!origin) return "<none>";
    return origin->scheme + " " + origin->host + " " + (origin->port ? std::to_string(*origin->port) : "-");
}

bool matches(const char* origin, const char* url) {
    return AKAdOrigin::parse(origin, "https")->matchesURL(*NSURL::URLWithString(url));
}

bool matchesHost(const char* origin, const char* url) {
    return AKAdOrigin::parse(origin, "https")->matchesHostOf(*NSURL::URLWithString(url));
}

}  // namespace

TEST_CASE("ad origins: parsing, the URLs they build, and equality with default ports") {
    struct Row {
        const char* text;
        const char* bareScheme;
        const char* parsed;    // scheme host port, or <none>
        const char* pageURL;   // URLString("/p?q=1")
    };
    const Row rows[] = {
        {"ads.example", "https", "https ads.example -", "https://ads.example/p?q=1"},
        {"ads.example", "http", "http ads.example -", "http://ads.example/p?q=1"},
        {"127.0.0.1:8080", "https", "https 127.0.0.1 8080", "https://127.0.0.1:8080/p?q=1"},
        {"http://127.0.0.1:8080", "https", "http 127.0.0.1 8080", "http://127.0.0.1:8080/p?q=1"},
        {"HTTPS://Ads.Example:443/", "http", "https Ads.Example 443", "https://Ads.Example/p?q=1"},
        {"http://ads.example:443", "http", "http ads.example 443", "http://ads.example:443/p?q=1"},
        {"[::1]:9000", "http", "http ::1 9000", "http://[::1]:9000/p?q=1"},
        {"ftp://ads.example", "https", "<none>", ""},
        {"https://ads.example/path", "https", "<none>", ""},
        {"https://ads.example?q", "https", "<none>", ""},
        {"https://ads.example#f", "https", "<none>", ""},
        {"https://user@ads.example", "https", "<none>", ""},
        {"ads.example:0", "https", "<none>", ""},
        {"ads.example:99999", "https", "<none>", ""},
        {"https://", "https", "<none>", ""},
        {"", "https", "<none>", ""},
        {"ads example", "https", "<none>", ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        const auto origin = AKAdOrigin::parse(row.text, row.bareScheme);
        CHECK(shown(origin) == row.parsed);
        if (origin) CHECK(origin->URLString("/p?q=1") == row.pageURL);
    }
    CHECK(AKAdOrigin::parse("ads.example", "https")->URLString("p") == "https://ads.example/p");

    struct Pair {
        const char* a;
        const char* b;
        bool equal;
    };
    const Pair pairs[] = {
        {"https://ads.example", "https://ADS.example:443", true},
        {"HTTP://ads.example:80", "http://ads.example", true},
        {"http://ads.example", "https://ads.example", false},
        {"http://ads.example:443", "https://ads.example", false},
        {"https://ads.example:8443", "https://ads.example", false},
        {"https://ads.example", "https://ads.example.net", false},
    };
    for (const Pair& pair : pairs) {
        CAPTURE(pair.a);
        CAPTURE(pair.b);
        CHECK((*AKAdOrigin::parse(pair.a, "https") == *AKAdOrigin::parse(pair.b, "https")) == pair.equal);
    }
}

TEST_CASE("ad origins: a URL matches its origin, and a host with a port matches only on that port") {
    CHECK(matches("https://ads.example", "https://ADS.EXAMPLE:443/x?y"));
    CHECK(matches("http://127.0.0.1:8080", "http://127.0.0.1:8080/creatives/a.html"));
    CHECK_FALSE(matches("http://127.0.0.1:8080", "http://127.0.0.1:8081/creatives/a.html"));
    CHECK_FALSE(matches("http://127.0.0.1:8080", "https://127.0.0.1:8080/"));
    CHECK_FALSE(matches("https://ads.example", "https://ads.example.net/"));
    CHECK_FALSE(matches("https://ads.example", "/relative"));
    CHECK(matchesHost("ads.example", "http://Ads.Example:9999/gampad"));
    CHECK(matchesHost("127.0.0.1:8080", "http://127.0.0.1:8080/gampad"));
    CHECK(matchesHost("127.0.0.1:443", "https://127.0.0.1/gampad"));
    CHECK_FALSE(matchesHost("127.0.0.1:8080", "http://127.0.0.1:9090/gampad"));
    CHECK_FALSE(matchesHost("127.0.0.1:8080", "http://127.0.0.1/gampad"));
    CHECK_FALSE(matchesHost("ads.example", "mailto:someone"));
}

TEST_CASE("ad hosts: a scope wins over the environment, which wins over Info.json, and a value with a port compares") {
    ScopedEnvironment noContent("QUORVANE_ADKIT_STATIC_HOST", nullptr);
    ScopedEnvironment noMedia("QUORVANE_ADKIT_STATIC_MEDIA_HOST", nullptr);
    ScopedEnvironment badReach("QUORVANE_ADKIT_REACHABILITY_HOST", "https://reach.example/not-an-origin");
    CHECK(AKAdHosts::staticContentOrigin().description() == "https://static.adkit.quorvane.net");
    CHECK(AKAdHosts::staticMediaOrigin().description() == "http://media.adkit.quorvane.net");
    CHECK(AKAdHosts::reachabilityOrigin().host == "reach.adkit.quorvane.net");  // the unusable value is passed over
    ScopedEnvironment noReports("QUORVANE_ADKIT_MEDIATION_HOST", nullptr);
    ScopedEnvironment exchange("QUORVANE_ADKIT_EXCHANGE_HOST", "creatives.example:81");
    CHECK(AKAdHosts::mediationReportsOrigin().description() == "http://mediation.adkit.quorvane.net");
    CHECK(AKAdHosts::exchangeCreativeOrigin().description() == "http://creatives.example:81");
    CHECK(ak_SDKJavaScriptURLString() == "https://static.adkit.quorvane.net/adnet/static/sdk/native/sdk-core-v40.html");

    // A publisher-managed host given with its port: its URLs are recognised on that port only.
    ScopedEnvironment pma("QUORVANE_ADKIT_PMA_HOST", "127.0.0.1:8080");
    CHECK(ak_isXFPURL(*NSURL::URLWithString("http://127.0.0.1:8080/gampad/ads?x=1")));
    CHECK_FALSE(ak_isXFPURL(*NSURL::URLWithString("http://127.0.0.1:9090/gampad/ads?x=1")));

    ScopedEnvironment content("QUORVANE_ADKIT_STATIC_HOST", "127.0.0.1:8443");
    CHECK(ak_SDKJavaScriptURLString() == "https://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.html");
    const char* corePages[][2] = {
        {"https://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.html", "yes"},
        {"HTTPS://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.html", "yes"},
        {"https://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.html#f", "no"},
        {"https://127.0.0.1:8444/adnet/static/sdk/native/sdk-core-v40.html", "no"},
        {"http://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.html", "no"},
        {"https://127.0.0.1:8443/adnet/static/sdk/native/sdk-core-v40.htm", "no"},
    };
    for (const auto& [page, expected] : corePages) {
        CAPTURE(page);
        CHECK(ak_isSDKJavaScriptURL(*NSURL::URLWithString(page)) == (std::string(expected) == "yes"));
    }

    {
        AKAdHosts::ScopedOrigin outer(AKAdHost::staticContent, *AKAdOrigin::parse("http://127.0.0.1:1000", "https"));
        {
            AKAdHosts::ScopedOrigin inner(AKAdHost::staticContent, *AKAdOrigin::parse("http://127.0.0.1:2000", "https"));
            CHECK(AKAdHosts::staticContentOrigin().port == 2000);
        }
        CHECK(AKAdHosts::staticContentOrigin().port == 1000);
        CHECK(AKAdHosts::staticMediaOrigin().description() == "http://media.adkit.quorvane.net");
    }
    CHECK(AKAdHosts::staticContentOrigin().description() == "https://127.0.0.1:8443");
}

TEST_CASE("ad peer: serves the creatives and the ad server's root, logs requests, and plays its faults") {
    AdPeer peer;
    adkittest::ServersAtPeer servers(peer);
    const AKAdOrigin media = AKAdHosts::staticMediaOrigin();
    CHECK(media.description() == peer.origin());

    const auto banner = testtools::httpGet(media.URLString("/creatives/banner-320x50.html"),
                                           {"Referer: http://127.0.0.1/page.html"});
    CHECK(banner.status == 200);
    CHECK(banner.header("content-type") == "text/html; charset=utf-8");
    CHECK(banner.body.find("rgb(0,160,80)") != std::string::npos);
    const auto readme = testtools::httpGet(AKAdHosts::staticContentOrigin().URLString("/README.md"));
    CHECK(readme.status == 200);
    CHECK(readme.body.find("document root") != std::string::npos);
    CHECK(testtools::httpGet(media.URLString("/mraid/v1/absent.js")).status == 404);
    CHECK(testtools::httpGet(media.URLString("/creatives/")).status == 404);

    const std::string clip = "/creatives/sound-clip.webm";
    const auto range = testtools::httpGet(media.URLString(clip), {"Range: bytes=0-3"});
    CHECK(range.status == 206);
    CHECK(range.body == "\x1a\x45\xdf\xa3");  // the EBML signature
    CHECK(range.header("content-type") == "video/webm");

    peer.setFault(clip, AdPeer::Fault::withStatus(503));
    CHECK(testtools::httpGet(media.URLString(clip)).status == 503);
    peer.setFault(clip, AdPeer::Fault::droppedAfter(100));
    const auto dropped = testtools::httpGet(media.URLString(clip));
    CHECK(dropped.curlCode != 0);
    CHECK(dropped.body.size() <= 100);
    peer.setFault(clip, AdPeer::Fault::hanging());
    testtools::HttpReply held;
    std::thread fetcher([&] { held = testtools::httpGet(media.URLString(clip)); });
    adkittest::waitFor([&] { return peer.hangingCount() == 1; }, "the hanging reply to hold");
    CHECK(held.status == 0);
    peer.clearFault(clip);
    peer.releaseHangs();
    fetcher.join();
    CHECK(held.status == 200);
    CHECK(held.body.size() > 1000);

    const auto requests = peer.requestsFor("/creatives/banner-320x50.html");
    REQUIRE(requests.size() == 1);
    CHECK(requests[0].headers.get("Referer") == "http://127.0.0.1/page.html");
    const std::vector<std::string> order{"/creatives/banner-320x50.html", "/README.md", "/mraid/v1/absent.js",
                                         "/creatives/", clip, clip, clip, clip};
    CHECK(peer.requestedPaths() == order);
    CHECK(peer.receivedRequestFor(clip, 4)());
    CHECK_FALSE(peer.receivedRequestFor(clip, 5)());
}
