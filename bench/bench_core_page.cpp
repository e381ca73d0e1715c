// Builds through the core page: 200 slots ask the core controller at once,
// timed from the first buildAdURL to the last slot's loadAdURL answer (each a
// request-URL hop for the slot's id and parameters, an "ADNET_buildAdURL"
// evaluated in the page, the page's answer as a page message matched by id).
// The reference is 200 bare round trips in that same page: evaluations that
// each make the page send one message, timed until the 200th reaches its
// observer through the same web view and delegates.
// Every answer must be the slot's own: an ad URL naming the slot's unit and
// carrying its request id, else the run fails; the reference must hear each of
// its 200 messages.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/webkit/UIWebView.h"
#include "support/AdPeer.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

constexpr int kBuilds = 200;
constexpr int kRounds = 9;

// Counts its answers, and those that are not its own ad URL.
int wrongAnswers = 0;
struct BenchSlot : AKSDKCoreControllerDelegate {
    int& answers;
    std::string id;
    explicit BenchSlot(int& counter) : answers(counter) {}
    void check(const Value& url) {
        const std::string text = url.isString() ? url.stringValue() : std::string();
        if (id.empty() || text.find("slotname=bench-unit") == std::string::npos ||
            text.find("request_id=" + id) == std::string::npos) {
            if (wrongAnswers++ == 0) std::printf("an answer that is not the slot's (%s): %s\n", id.c_str(), text.c_str());
        }
    }
    void setRequestID(const std::string& requestID) override { id = requestID; }
    Value requestParameters() override { return Value({{"slotname", "bench-unit"}, {"request_id", id}, {"sz", "320x50"}}); }
    void loadAdURLWithParameters(const Value& parameters) override {
        answers += parameters["url"].isString();
        check(parameters["url"]);
    }
    void loadAdHeaders(const std::shared_ptr<AKAd>&, const Value&) override {}
    void invalidJavaScriptRequest() override {}
    void failedJavaScriptFile() override {}
    void buildAdURLFailedWithError(const AKRequestErrorPtr&) override {}
};

// Seconds for kBuilds builds answered; negative on a failure.
double builds(AKSDKCoreController& controller) {
    int answers = 0;
    std::vector<std::shared_ptr<BenchSlot>> slots;
    for (int i = 0; i < kBuilds; ++i) slots.push_back(std::make_shared<BenchSlot>(answers));
    const auto start = bench::SteadyClock::now();
    for (auto& slot : slots) controller.buildAdURL(slot);
    if (!testsupport::runMainUntil([&] { return answers == kBuilds; }, 60)) return -1;
    return bench::seconds(start);
}

// Seconds for kBuilds evaluations each answered by one page message; negative on a failure.
double roundTrips(AKWebView& view, const int& heard) {
    const int from = heard;
    const auto start = bench::SteadyClock::now();
    for (int i = 0; i < kBuilds; ++i) {
        view.stringByEvaluatingJavaScriptFromString(
            "(function(){var f=document.createElement('iframe');f.style.display='none';f.className='echo';"
            "f.src='amsg://core/benchEcho?n=" + std::to_string(i) + "';document.body.appendChild(f);})();");
    }
    if (!testsupport::runMainUntil([&] { return heard - from >= kBuilds; }, 60)) return -1;
    const double elapsed = bench::seconds(start);
    view.stringByEvaluatingJavaScriptFromString(
        "document.querySelectorAll('iframe.echo').forEach(function(f){f.remove();});");
    return elapsed;
}

void report(const char* what, double seconds) {
    std::printf("%-58s %9.2f ms   %7.1f us each\n", what, seconds * 1e3, seconds / kBuilds * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    testsupport::TempHome home;
    std::printf("bench_core_page (%s build): %d builds at once next to %d bare page round trips, median of %d rounds\n",
                QUORVANE_BUILD_TYPE, kBuilds, kBuilds, kRounds);
    testsupport::AdPeer peer;
    AKAdHosts::ScopedOrigin content(AKAdHost::staticContent, AKAdOrigin::parse(peer.origin(), "http").value());
    auto controller = AKSDKCoreController::sharedInstance();
    if (builds(*controller) < 0) {  // loads the page; warm-up
        std::fprintf(stderr, "the first builds were not answered\n");
        return 1;
    }
    auto page = controller->activeSDKCoreWebView();
    int heard = 0;
    if (!page->webView()) return 1;
    // A message no handler takes goes to the observers of its web view.
    auto observer = NSNotificationCenter::defaultCenter()->addObserverForName(
        "benchEcho", page->webView(), nullptr, [&](const NSNotification&) { ++heard; });
    if (roundTrips(*page->webView(), heard) < 0) {
        std::fprintf(stderr, "the page's messages did not arrive\n");
        return 1;
    }
    std::vector<double> ours, reference;
    for (int round = 0; round < kRounds; ++round) {  // alternating, so both see the same machine
        const double a = builds(*controller);
        const double b = roundTrips(*page->webView(), heard);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "round %d: an answer did not arrive\n", round);
            return 1;
        }
        ours.push_back(a);
        reference.push_back(b);
    }
    NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
    if (wrongAnswers != 0) {
        std::printf("FAIL: %d answers were not the slot's own ad URL\n", wrongAnswers);
        return 1;
    }
    const double oursMedian = bench::median(ours);
    const double referenceMedian = bench::median(reference);
    report("core controller: buildAdURL to the slot's answer", oursMedian);
    report("reference: evaluate and page message, same page", referenceMedian);
    std::printf("%-58s %9.2f x\n", "ours / reference", oursMedian / referenceMedian);
    return 0;
}
