#pragma once
// What the core-page controller needs of a slot that asked it to build an ad
// URL (buildAdURL:). The controller holds the slot weakly: a slot that went
// away hears nothing and causes no later request.
//
// Threads: `setRequestID` and then `requestParameters` are called together in
// one synchronous hop to the main thread (the controller makes it from its
// request-URL queue), so the slot reads and writes its fields on main only.
// Every other call arrives on the main thread, at most one answer per build:
// a page answer, a refusal, a core-page failure or a build failure.
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKRequestError.h"
#include "platform/foundation/Value.h"

class AKAd;

class AKSDKCoreControllerDelegate {
public:
    virtual ~AKSDKCoreControllerDelegate() = default;

    // The id of the build that starts now (decimal, from 1 in the process).
    virtual void setRequestID(const std::string& requestID) = 0;
    // The request parameter dictionary of the build (null: nothing to send).
    virtual Value requestParameters() = 0;

    // "loadAdURL": the page's parameters ("url", "errors", "request_scenario",
    // "enable_auto_click_protection", ...), keys as the page wrote them.
    virtual void loadAdURLWithParameters(const Value& parameters) = 0;
    // "loadAd": the ad made from the page's "ad" and its decoded "header" (null when none).
    virtual void loadAdHeaders(const std::shared_ptr<AKAd>& ad, const Value& headers) = 0;
    // "invalidRequest".
    virtual void invalidJavaScriptRequest() = 0;
    // The core page failed to load (or has not loaded): the slot's state 1.
    virtual void failedJavaScriptFile() = 0;
    // The build ended without a usable answer: parameters that cannot be JSON
    // (code 0), no answer in time (code 5), an answer that cannot be used
    // (code 13). The slot fails the load with this error (state 7); after a
    // time-out a slot with a refresh interval restarts its refresh timer.
    virtual void buildAdURLFailedWithError(const AKRequestErrorPtr& error) = 0;
};
