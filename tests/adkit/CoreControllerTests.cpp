// Protects the core controller's bookkeeping and threads on a recorded page
// (so the thread-checked build runs it too): builds made while the page loads
// wait for it, get consecutive ids and each its own answer, whatever the order
// of the answers; a slot gone meanwhile causes no build; a reload replacing the
// load under way does not fail the page, and one replacing the loaded page
// sends its unanswered builds again; the 51st waiting command pushes out
// the first and a failed page drops new ones; the Viewability cache keeps the
// four newest running pages and lets the others go.
#include <memory>
#include <string>
#include <vector>

#include "CoreControllerSupport.h"
#include "RenderingScope.h"
#include "platform/net/NSURLError.h"
#include "platform/webkit/UIWebViewRecorder.h"

using adkittest::waitFor;
using coretest::RecordingSlot;

namespace {

constexpr const char* kOrigin = "https://core.test";

struct RecordedCore {
    testsupport::TempHome home;
    adkittest::RenderingScope scope;
    AKAdHosts::ScopedOrigin content{AKAdHost::staticContent, AKAdOrigin::parse(kOrigin, "https").value()};
    coretest::FreshController controller;

    // The recorder behind the page's web view, once the page made it.
    static UIWebViewRecorder& recorder(const std::shared_ptr<AKSDKCoreWebView>& page) {
        waitFor([&] { return page->webView() != nullptr; }, "the core page's web view");
        return UIWebViewRecorder::of(*page->webView()->webView());
    }
    // The scripts given to the page that start with the prefix (the plain
    // delegate gives it the orientation too).
    static std::vector<std::string> scripts(const UIWebViewRecorder& recorder, const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& script : recorder.evaluatedScripts())
            if (script.rfind(prefix, 0) == 0) out.push_back(script);
        return out;
    }
    // The parameters of each "ADNET_buildAdURL" the page was given.
    static std::vector<Value> builds(const UIWebViewRecorder& recorder) {
        const std::string head = "ADNET_buildAdURL(";
        std::vector<Value> out;
        for (const auto& script : recorder.evaluatedScripts()) {
            if (script.rfind(head, 0) != 0) continue;
            auto parameters = Value::fromJSON(script.substr(head.size(), script.size() - head.size() - 2));
            REQUIRE_MESSAGE(parameters, script);
            out.push_back(*parameters);
        }
        return out;
    }
};

}  // namespace

TEST_CASE("core controller: builds during the load get consecutive ids and their own answers, a slot gone causes none") {
    RecordedCore core;
    std::vector<std::shared_ptr<RecordingSlot>> slots;
    for (int i = 0; i < 5; ++i) {
        slots.push_back(RecordingSlot::forUnit("unit-" + std::to_string(i)));
        core.controller->buildAdURL(slots.back());
        if (i == 2) {  // a slot that goes away while it waits
            auto gone = RecordingSlot::forUnit("unit-gone");
            core.controller->buildAdURL(gone);
        }
    }
    auto page = core.controller->activeSDKCoreWebView();
    UIWebViewRecorder& recorder = RecordedCore::recorder(page);
    CHECK(page->state() == AKSDKCoreWebViewState::loading);
    // A reload replaces the load under way (which ends cancelled): still one page to wait for.
    page->refreshSDKCore();
    waitFor([&] { return page->webView()->webView()->loadCount() == 2; }, "the reload to start");
    recorder.finishLoad(200);
    waitFor([&] { return RecordedCore::builds(recorder).size() == slots.size(); }, "a build for each slot");

    const auto commands = RecordedCore::scripts(recorder, "ADNET_");
    REQUIRE(commands.size() == slots.size() + 1);
    CHECK(commands.front() == R"(ADNET_getSdkConstants({"js":"adnet-sdk-i-v6.12.2"});)");
    const auto builds = RecordedCore::builds(recorder);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        CHECK(builds[i]["request_id"] == Value(std::to_string(i + 1)));
        CHECK(builds[i]["slotname"] == Value("unit-" + std::to_string(i)));
        CHECK(slots[i]->requestID == std::to_string(i + 1));
    }
    // Answers in reverse order, one for an id nobody waits for.
    recorder.navigate("amsg://core/loadAdURL?request_id=99&url=https%3A%2F%2Fads.test%2Fnobody",
                      UIWebViewNavigationTypeOther, false);
    const auto answer = [&](std::size_t i) {
        recorder.navigate("amsg://core/loadAdURL?request_id=" + std::to_string(i + 1) +
                              "&url=https%3A%2F%2Fads.test%2F" + std::to_string(i),
                          UIWebViewNavigationTypeOther, false);
    };
    for (std::size_t i = slots.size(); i-- > 2;) answer(i);
    waitFor([&] { return slots[2]->answers().size() == 1; }, "the answers of the last three");
    // A reload replaces the document: the two builds it left unanswered go to the next one, as they were.
    page->refreshSDKCore();
    waitFor([&] { return page->webView()->webView()->loadCount() == 3; }, "the second reload to start");
    recorder.finishLoad(200);
    waitFor([&] { return RecordedCore::builds(recorder).size() == slots.size() + 2; }, "the unanswered builds again");
    const auto again = RecordedCore::builds(recorder);
    CHECK(again[slots.size()] == builds[0]);
    CHECK(again[slots.size() + 1] == builds[1]);
    answer(1);
    answer(0);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        coretest::waitForAnswers(*slots[i], 1, "the answer of slot " + std::to_string(i));
        CHECK(slots[i]->answers() == std::vector<std::string>{"url https://ads.test/" + std::to_string(i)});
        CHECK(slots[i]->offMainCalls == 0);
    }
    CHECK(page->state() == AKSDKCoreWebViewState::loaded);
    CHECK(core.controller->pendingBuildCount() == 0);
}

TEST_CASE("core page: the 51st waiting command pushes out the first, and a failed page drops new ones") {
    RecordedCore core;
    auto page = AKSDKCoreWebView::make();
    page->refreshSDKCore();
    UIWebViewRecorder& recorder = RecordedCore::recorder(page);
    for (int i = 1; i <= 51; ++i) page->executeJavaScriptCommand("c" + std::to_string(i) + ";");
    CHECK(page->pendingJSCommandCount() == AKSDKCoreWebView::kMaxPendingJSCommands);
    CHECK(RecordedCore::scripts(recorder, "c").empty());
    recorder.finishLoad(200);
    waitFor([&] { return RecordedCore::scripts(recorder, "c").size() == 50; }, "the waiting commands to run");
    CHECK(RecordedCore::scripts(recorder, "c").front() == "c2;");
    CHECK(RecordedCore::scripts(recorder, "c").back() == "c51;");

    page->refreshSDKCore();
    waitFor([&] { return page->webView()->webView()->loadCount() == 2; }, "the reload to start");
    recorder.failLoad(*NSURLErrorMake(NSURLErrorCannotConnectToHost, AKSDKCoreWebView::SDKCoreURL()));
    CHECK(page->state() == AKSDKCoreWebViewState::failed);
    page->executeJavaScriptCommand("late;");
    CHECK(page->pendingJSCommandCount() == 0);
}

TEST_CASE("core controller: the Viewability cache keeps the four newest running pages and lets the others go") {
    RecordedCore core;
    auto done = core.controller->nextSDKCoreWebView();
    RecordedCore::recorder(done);
    done->webView()->setViewabilityUnloadPingReceived(true);
    core.controller->finishedUsingSDKCoreWebView(done);  // its unload ping came: simply let go
    CHECK(core.controller->viewabilitySDKCoreWebViews().empty());

    std::vector<std::shared_ptr<AKSDKCoreWebView>> pages;
    for (int i = 0; i < 5; ++i) {
        pages.push_back(core.controller->nextSDKCoreWebView());
        UIWebViewRecorder& recorder = RecordedCore::recorder(pages.back());
        CHECK(pages.back()->state() == AKSDKCoreWebViewState::loading);
        recorder.finishLoad(200);
    }
    for (auto& page : pages) core.controller->finishedUsingSDKCoreWebView(page);
    const std::vector<std::shared_ptr<AKSDKCoreWebView>> newest(pages.begin() + 1, pages.end());
    CHECK(core.controller->viewabilitySDKCoreWebViews() == newest);
    CHECK(pages[0]->webView()->viewabilityUnloadPingReceived());
    for (auto& page : newest) CHECK_FALSE(page->webView()->viewabilityUnloadPingReceived());
    // A finished page of the cache makes room without pushing out a running one.
    pages[2]->webView()->setViewabilityUnloadPingReceived(true);
    auto next = core.controller->nextSDKCoreWebView();
    CHECK(core.controller->viewabilitySDKCoreWebViews() ==
          std::vector<std::shared_ptr<AKSDKCoreWebView>>{pages[1], pages[3], pages[4]});
    CHECK(next->state() == AKSDKCoreWebViewState::loading);
}
