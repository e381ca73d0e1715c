#pragma once
// The process-wide owner of the core page: a hidden web page of the static
// content server that turns a slot's request parameters into the ad URL (or
// the ad itself) and supplies the library's remote constants. Matches page
// answers to waiting slots by request id, reloads the page when it failed or
// is older than an hour, and keeps a few extra core pages for Viewability.
//
// Slots are held weakly throughout. Every build ends, on the main thread, in
// exactly one call to its slot (see AKSDKCoreControllerDelegate.h), unless the
// slot went away.
//
// Threads: any caller; state lives on the lock queue, request ids on the
// request-URL queue, the page on the main thread.
#include <memory>
#include <vector>

#include "adkit/requests/AKSDKCoreControllerDelegate.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKSDKCoreWebView;

class AKSDKCoreController : public NSObject {
public:
    static std::shared_ptr<AKSDKCoreController> sharedInstance();

    // buildAdURL: (the slot is held weakly).
    void buildAdURL(const std::shared_ptr<AKSDKCoreControllerDelegate>& slot);

    std::shared_ptr<AKSDKCoreWebView> activeSDKCoreWebView() const;
    // Viewability's extra core pages.
    std::shared_ptr<AKSDKCoreWebView> nextSDKCoreWebView();
    void finishedUsingSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page);
    std::vector<double> viewabilityMonitorRefreshIntervals() const;
    void setViewabilityMonitorRefreshIntervals(std::vector<double> intervals);
};
