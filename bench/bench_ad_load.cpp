// One ad load through a slot with the core page loaded and the web-view pool
// warm: from loadRequest to state 6 (a build in the core page, the ad request
// over HTTPS to the ad server, the creative loaded in the slot's pooled web
// view). The reference is the bare work underneath: a libcurl GET of the same
// ad URL over HTTPS, then the engine loading that HTML in a pooled web view,
// timed to its did-finish-load; once trusting the test authority alone, once
// the system's roots as well (as the library's connections do). All alternate
// over the rounds; medians.
// After the warm-up and after the last round, the page in the slot's web view
// must show what the reference's engine load shows (its title and its text),
// else the run fails.
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#define DOCTEST_CONFIG_IMPLEMENT  // the ad server's runner asserts through doctest
#include <doctest/doctest.h>

#include "BenchSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "platform/security/SecTrust.h"
#include "platform/webkit/UIWebView.h"
#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

constexpr int kRounds = 15;
constexpr const char* kCreative =
    "<html><head><title>bench</title></head><body style=\"margin:0\">"
    "<div style=\"width:320px;height:50px;background:#2a6\">bench creative</div></body></html>";

struct Finishing : AKWebViewDelegateProtocol {
    int finished = 0;
    void webViewDidFinishLoad(AKWebView&) override { ++finished; }
};

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The body of a GET over libcurl trusting the server's authority; empty on a failure.
std::string curlGet(const std::string& url, const std::string& caFile) {
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl) return body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK ||
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
        body.clear();
    curl_easy_cleanup(curl);
    return body;
}

// Seconds for one slot load to state 6; negative on a failure.
double slotLoad(AKAdSlot& slot) {
    const auto start = bench::SteadyClock::now();
    slot.loadRequest(AKRequest::request());
    const bool ended = testsupport::runMainUntil(
        [&] { return slot.state() == AKSlotStateValidAd || slot.state() == AKSlotStateFailed; }, 30);
    const double elapsed = bench::seconds(start);
    return ended && slot.state() == AKSlotStateValidAd ? elapsed : -1;
}

// Seconds for the GET and the engine's load of its HTML; negative on a failure.
double bareLoad(AKWebView& view, Finishing& delegate, const std::string& url, const std::string& caFile) {
    const auto start = bench::SteadyClock::now();
    const std::string html = curlGet(url, caFile);
    if (html.empty()) return -1;
    const int before = delegate.finished;
    view.loadHTMLString(html, url);
    if (!testsupport::runMainUntil([&] { return delegate.finished > before; }, 30)) return -1;
    return bench::seconds(start);
}

// What a loaded creative shows: its title and its text.
std::string shown(AKWebView& view) {
    return view.stringByEvaluatingJavaScriptFromString("document.title + ' | ' + document.body.innerText.trim()");
}

// False (with the two printed) when the slot's creative differs from the reference's.
bool sameCreative(AKAdSlot& slot, AKWebView& reference, const char* when) {
    const auto ours = slot.webView();
    const std::string oursShows = ours ? shown(*ours) : std::string("(no web view)");
    const std::string referenceShows = shown(reference);
    if (oursShows == referenceShows && !referenceShows.empty()) return true;
    std::printf("FAIL: %s, the slot shows \"%s\" and the reference \"%s\"\n", when, oursShows.c_str(),
                referenceShows.c_str());
    return false;
}

void report(const char* what, double seconds) { std::printf("%-60s %9.2f ms\n", what, seconds * 1e3); }

}  // namespace

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    // The ad server's runner checks its start with doctest's assertions: a failed one ends the run.
    doctest::Context assertions;
    bench::exitOnFailedAssertions(assertions);
    testsupport::TempHome home;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::printf("bench_ad_load (%s build): a slot's load to a valid ad next to a libcurl GET and an engine load, "
                "median of %d rounds\n", QUORVANE_BUILD_TYPE, kRounds);
    testtools::AdServerProcess server;
    if (!server.started()) return 1;
    // The response asks for HTTPS, so every ad request of the slot goes over it, as the GET does.
    const nlohmann::json unit = {{"status", 200},
                                 {"headers", {{"X-Adnet-Use-HTTPS", "1"}}},
                                 {"contentType", "text/html; charset=utf-8"},
                                 {"body", kCreative}};
    if (server.order("units", {{"units", {{"bench-unit", unit}}}}) != 200) return 1;
    server.trustAuthority();
    const auto origin = AKAdOrigin::parse(server.origin("https"), "https").value();
    AKAdHosts::ScopedOrigin content(AKAdHost::staticContent, origin);
    AKAdHosts::ScopedOrigin media(AKAdHost::staticMedia, origin);

    auto slot = AKAdSlot::make(CGRectMake(0, 0, 320, 50));
    slot->setAdTypeAndReloadRequest(AKAdType::bannerAdTypeForSize(kAKAdSizeBanner), false);
    slot->setAdUnitID("bench-unit");
    auto view = AKWebView::make(CGRectMake(0, 0, 320, 50));
    auto finishing = std::make_shared<Finishing>();
    view->setDelegate(finishing);
    const std::string adURL = server.origin("https") + "/adnet/ad?slotname=bench-unit";
    // Warm-up: the core page loads, both web views have shown a page.
    if (slotLoad(*slot) < 0 || bareLoad(*view, *finishing, adURL, server.caFile()) < 0) {
        std::fprintf(stderr, "the warm-up loads failed\n");
        return 1;
    }
    if (!sameCreative(*slot, *view, "after the warm-up")) return 1;
    // The system's bundle and the test authority in one file.
    const std::string bothAuthorities = server.scratch() + "/system-and-test.pem";
    {
        std::ifstream system("/etc/ssl/certs/ca-certificates.crt"), test(server.caFile());
        std::ofstream out(bothAuthorities);
        out << system.rdbuf() << test.rdbuf();
    }
    std::vector<double> ours, reference, referenceWithRoots;
    for (int round = 0; round < kRounds; ++round) {  // alternating, so all see the same machine
        const double a = slotLoad(*slot);
        const double b = bareLoad(*view, *finishing, adURL, server.caFile());
        const double c = bareLoad(*view, *finishing, adURL, bothAuthorities);
        if (a < 0 || b < 0 || c < 0) {
            std::fprintf(stderr, "round %d: a load failed\n", round);
            return 1;
        }
        ours.push_back(a);
        reference.push_back(b);
        referenceWithRoots.push_back(c);
    }
    if (!sameCreative(*slot, *view, "after the last round")) return 1;
    const double oursMedian = bench::median(ours);
    const double referenceMedian = bench::median(reference);
    const double rootsMedian = bench::median(referenceWithRoots);
    report("slot: loadRequest to a valid ad (core page, HTTPS, engine)", oursMedian);
    report("reference: libcurl GET over HTTPS, then the engine's load", referenceMedian);
    report("reference, libcurl trusting the system's roots too", rootsMedian);
    std::printf("%-60s %9.2f x\n", "ours / reference", oursMedian / referenceMedian);
    std::printf("%-60s %9.2f x\n", "ours / reference trusting the system's roots", oursMedian / rootsMedian);
    slot.reset();
    view.reset();
    SecTrustSetAdditionalSystemAnchors({});
    curl_global_cleanup();
    return 0;
}
