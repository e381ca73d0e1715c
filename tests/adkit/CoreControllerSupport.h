#pragma once
// The core controller's tests: a slot that records what the controller told
// it (on which thread), the controller started afresh around each test, and
// the page's answers written as page messages.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/base/MainThread.h"

// Makes the controller's pass key for its reset.
struct AKSDKCoreControllerTesting {
    static void reset() { AKSDKCoreController::sharedInstance()->resetForTesting({}); }
};

namespace coretest {

// Each call as one entry: "id <id>", "url <url>", "errors <text>", "ad",
// "invalid", "no core page", "error <code>"; every call on the main thread.
struct RecordingSlot : AKSDKCoreControllerDelegate {
    Value parameters;  // what requestParameters answers, with "request_id" as a slot adds it
    std::string requestID;
    std::vector<std::string> calls;
    Value lastParameters, lastHeaders;
    std::shared_ptr<AKAd> lastAd;
    int offMainCalls = 0;

    explicit RecordingSlot(Value answer) : parameters(std::move(answer)) {}
    static std::shared_ptr<RecordingSlot> forUnit(const std::string& unit) {
        return std::make_shared<RecordingSlot>(Value({{"slotname", unit}, {"js", "adnet-sdk-i-v6.12.2"}}));
    }
    void note(std::string entry) {
        offMainCalls += !isProcessMainThread();
        calls.push_back(std::move(entry));
    }
    // The calls after the request id.
    std::vector<std::string> answers() const {
        std::vector<std::string> out;
        for (const auto& call : calls)
            if (call.rfind("id ", 0) != 0) out.push_back(call);
        return out;
    }
    void setRequestID(const std::string& id) override {
        requestID = id;
        note("id " + id);
    }
    Value requestParameters() override {
        offMainCalls += !isProcessMainThread();
        Value answer = parameters.copy();
        if (answer.isDictionary()) answer.setObject("request_id", Value(requestID));
        return answer;
    }
    void loadAdURLWithParameters(const Value& p) override {
        lastParameters = p;
        note(p["errors"] ? "errors " + p["errors"].stringValue() : "url " + p["url"].stringValue());
    }
    void loadAdHeaders(const std::shared_ptr<AKAd>& ad, const Value& headers) override {
        lastAd = ad;
        lastHeaders = headers;
        note("ad");
    }
    void invalidJavaScriptRequest() override { note("invalid"); }
    void failedJavaScriptFile() override { note("no core page"); }
    void buildAdURLFailedWithError(const AKRequestErrorPtr& error) override {
        note("error " + std::to_string(error ? error->code() : -1));
    }
};

// The controller afresh while it lives (and again after), with nothing of a
// previous test left on the main queue.
struct FreshController {
    FreshController() { AKSDKCoreControllerTesting::reset(); }
    ~FreshController() { AKSDKCoreControllerTesting::reset(); }
    std::shared_ptr<AKSDKCoreController> operator->() const { return AKSDKCoreController::sharedInstance(); }
};

// Waits until the slot has `count` answers.
inline void waitForAnswers(const RecordingSlot& slot, std::size_t count, const std::string& what) {
    adkittest::waitFor([&] { return slot.answers().size() >= count; }, what);
}

}  // namespace coretest
