// Page messages from a real page to the handlers: a page sends 1,000 messages
// in one script turn (each through a new hidden frame), timed from the host's
// call that starts the burst to the last message reaching a handler of an ad
// web view's delegate. The reference is the engine's bare policy callback for
// the same page: a plain web view whose delegate only counts (and refuses)
// the navigations it is asked about.
// Both sides keep the numbers of the messages they received ("n"); in every
// burst ours must have received the very sequence the reference received,
// 0 to 999 in order, else the run fails.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebView.h"
#include "support/TestEnvironment.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

constexpr int kMessages = 1000;  // the engine keeps at most 1,000 frames in a page
constexpr int kRounds = 15;
constexpr const char* kBaseURL = "http://bench.invalid/messages.html";

// burst(n) sends n messages in one turn; the frames go on the next turn.
constexpr const char* kPage = R"(<!DOCTYPE html><html><body><script>
function burst(n) {
    var frames = [];
    for (var i = 0; i < n; i++) {
        var frame = document.createElement("iframe");
        frame.style.display = "none";
        frame.src = "amsg://x/seq?n=" + i;
        document.body.appendChild(frame);
        frames.push(frame);
    }
    setTimeout(function () { frames.forEach(function (frame) { frame.remove(); }); }, 0);
    return n;
}
</script></body></html>)";

// Counts the "seq" messages that reach it.
class CountingHandler : public AKAMSGHandler {
public:
    int count = 0;
    std::vector<std::string> numbers;  // of the messages, in arrival order
    CountingHandler() : AKAMSGHandler(table()) {}
    static std::shared_ptr<const ActionSelectorDictionary> table() {
        static const auto shared = makeActionTable({{"seq", action<CountingHandler, &CountingHandler::seq>()}});
        return shared;
    }
    void seq(const AKAMSGHandlerArguments& arguments) {
        ++count;
        numbers.push_back(arguments.parameter("n").value_or("?"));
    }
};

struct HandlerDelegate : AKWebViewDelegate {
    explicit HandlerDelegate(std::shared_ptr<AKAMSGHandler> handler) { addAMSGHandler(std::move(handler)); }
};

// The bare policy callback: counts the page's messages and refuses them.
struct CountingDelegate : UIWebViewDelegate {
    int count = 0;
    std::vector<std::string> numbers;  // of the messages, in arrival order
    bool shouldStartLoadWithRequest(UIWebView&, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType) override {
        const std::string url = request->URL();
        if (url.rfind("amsg:", 0) != 0) return true;
        ++count;
        const auto n = url.find("?n=");
        numbers.push_back(n == std::string::npos ? "?" : url.substr(n + 3));
        return false;
    }
};

// One burst: seconds from the call that starts it to the count reaching
// kMessages; negative on a failure. Waits for the frames to go afterwards.
double burst(const std::function<std::string(const std::string&)>& evaluate, const int& count) {
    const int from = count;
    const auto start = bench::SteadyClock::now();
    if (evaluate("burst(" + std::to_string(kMessages) + ")") != std::to_string(kMessages)) return -1;
    if (!testsupport::runMainUntil([&] { return count - from >= kMessages; }, 60)) return -1;
    const double elapsed = bench::seconds(start);
    if (!testsupport::runMainUntil([&] { return evaluate("document.querySelectorAll('iframe').length") == "0"; }, 10))
        return -1;
    return elapsed;
}

bool loaded(const std::function<bool()>& finished) { return testsupport::runMainUntil(finished, 30); }

void report(const char* what, double seconds) {
    std::printf("%-58s %9.2f ms   %7.2f us a message\n", what, seconds * 1e3, seconds / kMessages * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    testsupport::TempHome home;
    std::printf("bench_page_messages (%s build): %d page messages in one turn, median of %d rounds\n",
                QUORVANE_BUILD_TYPE, kMessages, kRounds);
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->makeKeyAndVisible();

    // Ours: an ad web view whose delegate hands each message to its handlers.
    auto handler = std::make_shared<CountingHandler>();
    auto delegate = std::make_shared<HandlerDelegate>(handler);
    auto ad = AKWebView::make(CGRectMake(0, 0, 320, 50));
    ad->setDelegate(delegate);
    window->addSubview(ad);
    ad->loadHTMLString(kPage, kBaseURL);
    // Reference: a plain web view, the engine's policy callback only.
    auto bareDelegate = std::make_shared<CountingDelegate>();
    auto bare = std::make_shared<UIWebView>(CGRectMake(0, 60, 320, 50));
    bare->setDelegate(bareDelegate);
    window->addSubview(bare);
    bare->loadHTMLString(kPage, kBaseURL);
    if (!loaded([&] { return ad->webView()->stringByEvaluatingJavaScriptFromString("typeof burst") == "function" &&
                             bare->stringByEvaluatingJavaScriptFromString("typeof burst") == "function"; })) {
        std::fprintf(stderr, "the pages did not load\n");
        return 1;
    }

    auto ours = [&] {
        return burst([&](const std::string& s) { return ad->stringByEvaluatingJavaScriptFromString(s); },
                     handler->count);
    };
    auto reference = [&] {
        return burst([&](const std::string& s) { return bare->stringByEvaluatingJavaScriptFromString(s); },
                     bareDelegate->count);
    };
    if (ours() < 0 || reference() < 0) {  // warm-up
        std::fprintf(stderr, "a warm-up burst did not arrive\n");
        return 1;
    }
    std::vector<std::string> expected;
    for (int i = 0; i < kMessages; ++i) expected.push_back(std::to_string(i));
    std::vector<double> oursTimes, referenceTimes;
    for (int round = 0; round < kRounds; ++round) {  // alternating, so both see the same machine
        handler->numbers.clear();
        bareDelegate->numbers.clear();
        const double a = ours();
        const double b = reference();
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "round %d: a burst did not arrive\n", round);
            return 1;
        }
        if (bareDelegate->numbers != expected || handler->numbers != bareDelegate->numbers) {
            std::printf("FAIL: round %d: the handlers received %zu messages, not the reference's %zu in order\n",
                        round, handler->numbers.size(), bareDelegate->numbers.size());
            return 1;
        }
        oursTimes.push_back(a);
        referenceTimes.push_back(b);
    }
    const double oursMedian = bench::median(oursTimes);
    const double referenceMedian = bench::median(referenceTimes);
    report("ad web view: page to the handlers", oursMedian);
    report("reference: plain web view, policy callback count only", referenceMedian);
    std::printf("%-58s %9.2f x\n", "ours / reference", oursMedian / referenceMedian);
    return 0;
}
