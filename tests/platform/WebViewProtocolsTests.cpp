// Web views over the real engine with URL protocols and a test authority: an
// https page of a host the authority is trusted for loads (its sub-resources
// too, also in a page loaded from text, and from another trusted server once
// met) and no other host or certificate does; a page's script whose name a
// registered class claims is answered by that class (which sees the original
// URL and the page as referer, and the server never does), an unclaimed one
// comes from the server unchanged, a failing one fires the page's onerror, and
// a claimed request whose view goes away is stopped.
#include <doctest/doctest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ScriptedURLProtocol.h"
#include "platform/net/NSURLError.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTlsConnection.h"
#include "support/TestPKI.h"
#include "WebViewSupport.h"

using protocoltest::Plan;
using protocoltest::Registered;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;
using testsupport::testPKI;
using webtest::WindowedWebView;

// These drive the web engine.
TEST_SUITE_BEGIN("engine");

namespace {

// A test authority as a PEM file, trusted for `hosts` alone.
void trustTestAuthority(const std::string& folder, const testsupport::TestPKI& pki = testPKI(),
                        const std::vector<std::string>& hosts = {"127.0.0.1"}) {
    const std::string path = folder + "/" + std::to_string(std::hash<std::string>{}(pki.root.pem)) + ".pem";
    std::ofstream(path) << pki.root.pem;
    UIWebView::trustCertificateAuthorityForHosts(path, hosts);
}

// What became of a page's script and image ("loaded" or "failed" each), once
// its load ended.
std::string subresourcesOutcome(WindowedWebView& web, const char* what) {
    std::string last;
    const bool done = runMainUntil([&] {
        if (web.view->isLoading() || !web.delegate->ended()) return false;
        last = web.view->stringByEvaluatingJavaScriptFromString("window.script + ' ' + window.image");
        return last.find("undefined") == std::string::npos;
    });
    INFO("waited for the page's script and image to load or fail: " << std::string(what) << "; it gave \"" << last
                                                                       << "\"");
    REQUIRE(done);
    return last;
}

// Loads `url` and waits until the page's `expression` gives `expected` with
// no load under way; the delegate saw the load asked for, started and
// finished once (a certificate allowed on the way continues the same load).
void loadPage(WindowedWebView& web, const std::string& url, const std::string& expression, const std::string& expected,
              const char* what) {
    std::string last;
    web.view->loadRequest(NSURLRequest::requestWithURL(url));
    const bool done = runMainUntil([&] {
        if (web.view->isLoading() || !web.delegate->ended()) return false;
        last = web.view->stringByEvaluatingJavaScriptFromString(expression);
        return last == expected;
    });
    INFO("waited for the page: " << std::string(what) << "; it gave \"" << last << "\"");
    CHECK(webtest::joined(web.delegate->log) == "ask 5 " + url + " | start | finish");
    REQUIRE(done);
}

std::set<std::string> servedPaths(const LoopbackHttpServer& server) {
    std::set<std::string> paths;
    for (const auto& request : server.requests()) paths.insert(request.path());
    return paths;
}

}  // namespace

TEST_CASE("web view trust: a test authority trusted for 127.0.0.1 alone") {
    const auto& pki = testPKI();
    LoopbackHttpServer trusted(testsupport::tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem), "https");
    LoopbackHttpServer otherHost(testsupport::tlsConnectionFactory(pki.otherHostChainPem(), pki.otherHostLeaf.keyPem),
                                 "https");
    for (auto* server : {&trusted, &otherHost}) {
        server->route("GET", "/page",
                      Reply::text("<title>trusted</title><script src='/sub.js'></script>", "text/html"));
        server->route("GET", "/sub.js", Reply::text("window.subresource = 'loaded';", "text/javascript"));
    }
    WindowedWebView web;
    trustTestAuthority(web.home.path());

    struct Case {
        std::string name, url;
        bool loads;
    };
    const std::string localhost = "https://localhost:" + std::to_string(trusted.port()) + "/page";
    const std::vector<Case> cases{
        {"a host the authority is trusted for", trusted.url("/page"), true},
        {"a host the authority is not trusted for, same certificate", localhost, false},
        {"a certificate of the authority that names another host", otherHost.url("/page"), false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        web.delegate->log.clear();
        if (c.loads) {
            loadPage(web, c.url, "document.title + ' ' + window.subresource", "trusted loaded", c.name.c_str());
        } else {
            web.view->loadRequest(NSURLRequest::requestWithURL(c.url));
            web.waitForEnd(c.name.c_str());
            CHECK(web.delegate->log.back() == "fail " + std::to_string(NSURLErrorServerCertificateUntrusted));
        }
    }
    CHECK(otherHost.requestCount() == 0);
    CHECK(servedPaths(trusted) == std::set<std::string>{"/page", "/sub.js"});
}

TEST_CASE("web view trust: sub-resources of a page loaded from text, and from another trusted server") {
    // Certificates no earlier load of this process met, so none is allowed yet.
    const auto fresh = testsupport::makeTestPKI();
    const auto second = testsupport::makeTestPKI();
    const auto stranger = testsupport::makeTestPKI();  // trusted for no host
    LoopbackHttpServer trusted(testsupport::tlsConnectionFactory(fresh.leafChainPem(), fresh.leaf.keyPem), "https");
    LoopbackHttpServer other(testsupport::tlsConnectionFactory(second.leafChainPem(), second.leaf.keyPem), "https");
    LoopbackHttpServer strange(testsupport::tlsConnectionFactory(stranger.leafChainPem(), stranger.leaf.keyPem),
                               "https");
    const std::string subresources = "<script src='sub.js' onerror=\"window.script = 'failed'\"></script>"
                                     "<img src='dot.svg' onload=\"window.image = 'loaded'\" "
                                     "onerror=\"window.image = 'failed'\">";
    const std::string localhostOther = "https://localhost:" + std::to_string(other.port()) + "/";
    for (auto* server : {&trusted, &other, &strange}) {
        for (const std::string folder : {"/", "/first/", "/second/"}) {
            server->route("GET", folder + "sub.js", Reply::text("window.script = 'loaded';", "text/javascript"));
            server->route("GET", folder + "dot.svg",
                          Reply::text("<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>", "image/svg+xml"));
        }
    }
    // Pages whose script and image come from the other server, named as localhost.
    for (const std::string page : {"first", "second"})
        trusted.route("GET", "/" + page,
                      Reply::text("<base href='" + localhostOther + page + "/'>" + subresources, "text/html"));
    WindowedWebView web;
    trustTestAuthority(web.home.path(), fresh, {"127.0.0.1"});

    struct Case {
        std::string name, base, outcome;
    };
    const std::vector<Case> cases{
        {"a host named with the authority", trusted.url("/"), "loaded loaded"},
        {"a host not named, the same certificate", "https://localhost:" + std::to_string(trusted.port()) + "/",
         "failed failed"},
        {"a certificate of an authority trusted for no host", strange.url("/"), "failed failed"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        web.delegate->log.clear();
        web.view->loadHTMLString(subresources, c.base);
        CHECK(subresourcesOutcome(web, c.name.c_str()) == c.outcome);
        CHECK(webtest::joined(web.delegate->log) == "ask 5 " + c.base + " | start | finish");
    }
    CHECK(servedPaths(trusted) == std::set<std::string>{"/sub.js", "/dot.svg"});
    CHECK(strange.requestCount() == 0);

    // Pages loaded by URL whose sub-resources come from another trusted
    // server: the first page's fail (they never ask; those asked for after
    // that server's certificate was allowed may load), the next page gets them.
    trustTestAuthority(web.home.path(), second, {"localhost"});
    web.delegate->log.clear();
    web.view->loadRequest(NSURLRequest::requestWithURL(trusted.url("/first")));
    CHECK(subresourcesOutcome(web, "the first page with the other server's sub-resources").find("failed") !=
          std::string::npos);
    web.delegate->log.clear();
    web.view->loadRequest(NSURLRequest::requestWithURL(trusted.url("/second")));
    CHECK(subresourcesOutcome(web, "the next page with the other server's sub-resources") == "loaded loaded");
    CHECK(servedPaths(other).count("/second/sub.js") == 1);
}

TEST_CASE("web view protocols: claimed scripts answered by the class, others from the server") {
    const auto& pki = testPKI();
    LoopbackHttpServer server(testsupport::tlsConnectionFactory(pki.leafChainPem(), pki.leaf.keyPem), "https");
    const std::string page = "<script>window.results = [];</script>"
                             "<script src='/lib/mraid.js'></script>"
                             "<script src='/unclaimed/mraid.js'></script>"
                             "<script src='/failing/mraid.js' onerror=\"results.push('onerror')\"></script>"
                             "<script src='/missing/mraid.js' onerror=\"results.push('missing')\"></script>"
                             "<script src='/plain.js'></script>";
    server.route("GET", "/ad.html", Reply::text(page, "text/html"));
    server.route("GET", "/unclaimed/mraid.js", Reply::text("results.push('server');", "text/javascript"));
    server.route("GET", "/plain.js", Reply::text("results.push('plain');", "text/javascript"));
    Registered registered({{"/lib/mraid.js", Plan::Answer}, {"/failing/mraid.js", Plan::Fail}}, {"mraid.js"});
    WindowedWebView web;
    trustTestAuthority(web.home.path());

    // Scripts run in page order, whichever way they came.
    loadPage(web, server.url("/ad.html"), "window.results && results.join(',')",
             "protocol,server,onerror,missing,plain", "the page with claimed scripts");
    // The class saw the original URLs with the page as referer, and each
    // instance was stopped once its load ended (the engine may ask for a
    // script more than once: its preload scanner asks ahead of the parser).
    std::set<std::string> started;
    std::size_t starts = 0, stops = 0;
    for (const auto& event : registered.log->events) {
        CAPTURE(event);
        if (event.rfind("stop ", 0) == 0) {
            ++stops;
            continue;
        }
        ++starts;
        const auto referer = event.find(" referer ");
        REQUIRE(referer != std::string::npos);
        CHECK(event.substr(referer + 9) == server.url("/ad.html"));
        started.insert(event.substr(6, referer - 6));
    }
    CHECK(started == std::set<std::string>{server.url("/lib/mraid.js"), server.url("/failing/mraid.js")});
    CHECK(stops == starts);
    // The server never saw what the class answered; the unclaimed script came
    // from it with the page as referer.
    for (const auto& request : server.requests())
        if (request.path() == "/unclaimed/mraid.js") CHECK(request.headers.get("referer") == server.url("/ad.html"));
    CHECK(servedPaths(server) ==
          std::set<std::string>{"/ad.html", "/unclaimed/mraid.js", "/missing/mraid.js", "/plain.js"});
}

// The view's engine view is freed with it (and with it the page's requests).
TEST_CASE("web view protocols: a claimed request whose view goes away is stopped") {
    LoopbackHttpServer server;
    Registered registered({{"/hang/mraid.js", Plan::Hang}}, {"mraid.js"});
    const std::size_t engineViews = UIWebView::liveEngineViewCount();
    WindowedWebView web;
    web.view->loadHTMLString("<script src='/hang/mraid.js'></script>", server.url("/"));
    CHECK(UIWebView::liveEngineViewCount() == engineViews + 1);
    REQUIRE_MESSAGE(runMainUntil([&] { return !registered.log->events.empty(); }), "the hanging script to start");
    web.view->removeFromSuperview();
    web.view.reset();
    auto stopped = [&] {
        const auto& events = registered.log->events;
        return std::count(events.begin(), events.end(), "stop /hang/mraid.js") * 2 == static_cast<long>(events.size());
    };
    REQUIRE_MESSAGE(runMainUntil(stopped, 5), "the hanging script to stop");
    REQUIRE_MESSAGE(runMainUntil([&] { return UIWebView::liveEngineViewCount() == engineViews; }, 5),
                    "the engine view of the view let go to be freed");
}

TEST_SUITE_END();
