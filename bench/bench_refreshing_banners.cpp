// Six banners on a visible window refreshing every 0.25 s, 100 refreshes
// each: every refresh a real load (a build in the core page, the ad request
// over HTTPS to the ad server, the creative into the engine) and a Viewability
// measurement page of its own, the refresh timers driven on the virtual clock
// one interval per round. Measured over the run: the peak memory (PSS of this
// process and its web engine processes, the ad server left out) and the peak
// number of live engine web views, which must stay within the banners, their
// current measurement pages, the measurement pages kept for their last answer,
// the core page and the web-view pool (the bench fails past it). The
// reference, in the same run before ours: six bare engine web views on the
// same window loading the same creative as often. Figure: ours / reference.
// Also printed: the rounds in which every banner received its ad, the ad
// requests served and the web processes the engine's watchdog ended; a run in
// which a load failed or hung fails the bench too, after printing its figures.
// Each banner must end showing what the reference's views show (the creative's
// title and text, read from the page), else the run fails.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#define DOCTEST_CONFIG_IMPLEMENT  // the ad server's runner asserts through doctest
#include <doctest/doctest.h>

#include "BenchProcessMemory.h"
#include "BenchSupport.h"
#include "RefreshingBanner.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/rendering/AKWebViewCacheSet.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/security/SecTrust.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebView.h"
#include "support/AdServerProcess.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

constexpr int kBanners = 6;
constexpr int kRefreshes = 100;
constexpr double kRefreshSeconds = 0.25;
constexpr const char* kUnit = "bench-refreshing";
constexpr const char* kCreativeFile = "adnet/static/creatives/banner.html";
constexpr double kRoundLimit = 3;            // real seconds for one round of six banners' loads
constexpr double kReferenceRoundLimit = 30;  // real seconds for six bare loads (a failure ends the run)
// The ad server's memory is not ours.
const std::set<std::string> kNotOurs = {"ad-server"};

// The live web views a run may hold at most: per banner its own and its
// current measurement page; the measurement pages kept until they answer;
// the core page; the pool and the wipes on their way into it.
std::size_t liveWebViewBound() {
    return kBanners * 2 + AKSDKCoreController::kViewabilityCacheSize + 1 +
           AKWebViewCacheSet::kDefaultCapacity + AKWebViewCacheSet::kMaximumWipes;
}

// The peaks over a run: live engine web views at every pass of the wait,
// memory at most every 50 ms of real time and at the end of every round.
struct Peaks {
    std::size_t liveWebViews = 0;
    bench::TreeMemory memory;
    bench::SteadyClock::time_point lastMemorySample{};

    void sampleWebViews() { liveWebViews = std::max(liveWebViews, UIWebView::liveEngineViewCount()); }
    void sampleMemory() {
        lastMemorySample = bench::SteadyClock::now();
        const bench::TreeMemory now = bench::treeMemory(kNotOurs);
        if (now.totalMiB > memory.totalMiB) memory = now;
    }
    void sample() {
        sampleWebViews();
        if (bench::seconds(lastMemorySample) >= 0.05) sampleMemory();
    }
    // Runs the main run loop until `done`, sampling all the while.
    bool runUntil(const std::function<bool()>& done, double limit = kRoundLimit) {
        const bool held = testsupport::runMainUntil([&] {
            sample();
            return done();
        }, limit);
        sampleWebViews();
        sampleMemory();
        return held;
    }
};

struct Finishing : UIWebViewDelegate {
    int finished = 0;
    int failed = 0;
    void webViewDidFinishLoad(UIWebView&) override { ++finished; }
    void didFailLoadWithError(UIWebView&, const NSError&) override { ++failed; }
};

// The reference: six bare engine web views on the window, each loading the
// creative kRefreshes + 1 times, a round at a time.
// What a loaded creative shows: its title and its text.
constexpr const char* kShownScript = "document.title + ' | ' + document.body.innerText.trim()";

bool runReference(UIWindow& window, const std::string& html, const std::string& baseURL, Peaks& peaks,
                  std::string& shown) {
    std::vector<std::shared_ptr<UIWebView>> views;
    std::vector<std::shared_ptr<Finishing>> delegates;
    for (int i = 0; i < kBanners; ++i) {
        auto view = std::make_shared<UIWebView>(CGRectMake(0, 60.0 * i, 320, 50));
        auto delegate = std::make_shared<Finishing>();
        view->setDelegate(delegate);
        window.addSubview(view);
        views.push_back(view);
        delegates.push_back(delegate);
    }
    for (int round = 1; round <= kRefreshes + 1; ++round) {
        for (auto& view : views) view->loadHTMLString(html, baseURL);
        const bool done = peaks.runUntil([&] {
            for (const auto& d : delegates)
                if (d->finished + d->failed < round) return false;
            return true;
        }, kReferenceRoundLimit);
        for (const auto& d : delegates)
            if (!done || d->failed > 0) {
                std::fprintf(stderr, "reference round %d: a bare view did not finish its load\n", round);
                return false;
            }
    }
    shown = views.front()->stringByEvaluatingJavaScriptFromString(kShownScript);
    for (auto& view : views) {
        if (view->stringByEvaluatingJavaScriptFromString(kShownScript) != shown) shown.clear();
        view->removeFromSuperview();
    }
    return !shown.empty();
}

// Ours: six banners loaded once, then one refresh interval of the clock per
// round, kRefreshes rounds. A round ends when every banner's load ended (an ad
// or a failure) or after kRoundLimit real seconds (a load that hangs ends by
// the library's own limits as the clock moves on). Answers the rounds in which
// every banner received its ad (kRefreshes + 1 for a sound run).
int runBanners(UIWindow& window, const std::shared_ptr<UIViewController>& root, Peaks& peaks,
               std::vector<std::string>& shown) {
    std::vector<std::shared_ptr<RefreshingBanner>> banners;
    for (int i = 0; i < kBanners; ++i)
        banners.push_back(RefreshingBanner::make(window, root, CGPointMake(0, 60.0 * i), kUnit));
    for (auto& banner : banners) banner->load();
    int soundRounds = 0;
    for (int round = 0; round <= kRefreshes; ++round) {
        if (round > 0) Clock::advance(kRefreshSeconds);
        std::vector<int> received, ended;
        for (const auto& banner : banners) {
            received.push_back(banner->received());
            ended.push_back(banner->received() + banner->failed());
        }
        peaks.runUntil([&] {
            for (std::size_t i = 0; i < banners.size(); ++i)
                if (banners[i]->received() + banners[i]->failed() == ended[i]) return false;
            return true;
        });
        bool sound = true;
        for (std::size_t i = 0; i < banners.size(); ++i)
            sound = sound && banners[i]->received() == received[i] + 1 && banners[i]->failed() == ended[i] - received[i];
        soundRounds += sound;
        if (!sound) {
            std::fprintf(stderr, "round %d: not every banner received its ad:", round);
            for (const auto& banner : banners) std::fprintf(stderr, " %s", banner->describe().c_str());
            std::fprintf(stderr, "\n");
        }
    }
    for (const auto& banner : banners) {
        const auto view = banner->slot()->webView();
        shown.push_back(view ? view->stringByEvaluatingJavaScriptFromString(kShownScript) : "(no web view)");
    }
    return soundRounds;
}

// The ad server with the refreshing unit (the shipped 320 x 50 creative,
// measured by Viewability) and sampling intervals, trusted by the engine and
// by the library's connections.
struct Peer {
    testtools::AdServerProcess server;
    std::optional<AKAdHosts::ScopedOrigin> content, media;

    bool start() {
        if (!server.started()) return false;
        const nlohmann::json headers = {{"X-Adnet-Refresh-Rate", "0.25"},
                                        {"X-Adnet-Use-HTTPS", "1"},
                                        {"X-Adnet-Viewability", R"({"vendor":"bench"})"}};
        const nlohmann::json order = {
            {"units", {{kUnit, {{"status", 200}, {"headers", headers}, {"file", kCreativeFile}}}}},
            {"constants", {{"active_view_sampling_intervals", "[1,2]"}}}};
        if (server.order("units", order) != 200) return false;
        server.trustAuthority();
        const auto origin = AKAdOrigin::parse(server.origin("https"), "https").value();
        content.emplace(AKAdHost::staticContent, origin);
        media.emplace(AKAdHost::staticMedia, origin);
        return true;
    }
    ~Peer() { SecTrustSetAdditionalSystemAnchors({}); }
    std::size_t logged(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& entry : server.log()) count += entry["path"] == path;
        return count;
    }
};

void printMemory(const char* what, const bench::TreeMemory& memory) {
    std::printf("%-52s %9.1f MiB   this process %.1f", what, memory.totalMiB, memory.hostMiB);
    for (const auto& [name, mib] : memory.byNameMiB)
        if (name != "(this process)") std::printf(", %s %.1f", name.c_str(), mib);
    std::printf("\n");
}

// Console lines kept off the console (the slot's state moves are many); the
// engine's ends of silent web processes counted.
struct ConsoleLines {
    std::vector<std::string> lines;
    int processesEnded = 0;
    ConsoleLines() {
        setLogHook([this](const std::string& line) {
            if (line.find("stopped answering") != std::string::npos) ++processesEnded;
            if (line.rfind("AKSlot: state", 0) != 0) lines.push_back(line);
        });
    }
    ~ConsoleLines() { setLogHook(nullptr); }
};

}  // namespace

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    // The ad server's runner checks its start with doctest's assertions: a failed one ends the run.
    doctest::Context assertions;
    bench::exitOnFailedAssertions(assertions);
    testsupport::TempHome home;
    std::printf("bench_refreshing_banners (%s build): %d banners refreshing every %.2f s, %d refreshes each, "
                "next to %d bare engine views loading the same creative as often\n",
                QUORVANE_BUILD_TYPE, kBanners, kRefreshSeconds, kRefreshes, kBanners);
    Peer peer;
    if (!peer.start()) return 1;
    const auto creative = peer.server.get(peer.server.origin("https") + "/" + kCreativeFile);
    if (creative.status != 200 || creative.body.empty()) return 1;

    ConsoleLines console;
    UIApplication::sharedApplication()->setApplicationState(UIApplicationStateActive);
    Clock::useVirtualTime(0);  // from the real now
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    const bench::TreeMemory before = bench::treeMemory(kNotOurs);

    Peaks reference;
    std::string referenceShows;
    if (!runReference(*window, creative.body, peer.server.origin("https") + "/", reference, referenceShows)) {
        std::printf("FAIL: the reference's views did not all show the creative\n");
        return 1;
    }
    const int referenceEnds = console.processesEnded;
    // The bare views' engine views end before ours start, so every live one is ours.
    if (!testsupport::runMainUntil([] { return UIWebView::liveEngineViewCount() == 0; }, 30)) {
        std::fprintf(stderr, "the reference's engine views were not freed\n");
        return 1;
    }
    Peaks ours;
    std::vector<std::string> bannersShow;
    const int rounds = runBanners(*window, root, ours, bannersShow);
    const bool complete = rounds == kRefreshes + 1;

    const std::size_t bound = liveWebViewBound();
    printMemory("PSS before any web view", before);
    printMemory("peak PSS, reference (bare engine views)", reference.memory);
    printMemory("peak PSS, ours (refreshing banners)", ours.memory);
    std::printf("%-52s %9.2f x%s\n", "peak memory, ours / reference", ours.memory.totalMiB / reference.memory.totalMiB,
                complete ? "" : "   (not every load succeeded: see below)");
    std::printf("%-52s %9zu   reference %zu, bound %zu\n", "peak live web views, ours", ours.liveWebViews,
                reference.liveWebViews, bound);
    std::printf("%-52s %9d   of %d\n", "rounds with every banner's ad received", rounds, kRefreshes + 1);
    std::printf("%-52s %9zu   (one per load: %d)\n", "ad requests served", peer.logged("/adnet/ad"),
                kBanners * (kRefreshes + 1));
    std::printf("%-52s %9d   reference %d\n", "web processes ended for silence, ours",
                console.processesEnded - referenceEnds, referenceEnds);
    window->setHidden(true);
    Clock::useRealTime();
    std::size_t showingTheCreative = 0;
    for (const auto& shows : bannersShow) showingTheCreative += shows == referenceShows;
    std::printf("%-52s %9zu   of %d\n", "banners showing what the reference shows", showingTheCreative, kBanners);
    if (showingTheCreative != bannersShow.size()) {
        for (const auto& shows : bannersShow)
            if (shows != referenceShows)
                std::printf("FAIL: a banner shows \"%s\", the reference \"%s\"\n", shows.c_str(),
                            referenceShows.c_str());
        return 1;
    }
    if (!complete) {
        std::map<std::string, int> seen;  // each line once, with its count
        for (const auto& line : console.lines) ++seen[line];
        for (const auto& [line, count] : seen) std::fprintf(stderr, "console (%d x): %s\n", count, line.c_str());
        return 1;
    }
    if (ours.liveWebViews > bound) {
        std::fprintf(stderr, "the live web views went past their bound: %zu > %zu\n", ours.liveWebViews, bound);
        return 1;
    }
    return 0;
}
