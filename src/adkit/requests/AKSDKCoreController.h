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
// Road of one build (buildAdURL):
// 1. The page reloads when it is idle or failed, or when more than
//    kRefreshInterval ms (AKAbsoluteTime) passed since its last (re)load.
// 2. The slot waits until the page's current load ends (at once when it has
//    ended already). A failed page tells it failedJavaScriptFile.
// 3. On a loaded page the slot gets the next request id (decimal, from 1) and
//    gives its parameters, in one synchronous hop from the request-URL queue
//    to the main thread. A slot gone by then causes no request and uses no id.
//    Parameters that cannot be JSON fail the build at once (code 0); others go
//    to the page as "ADNET_buildAdURL(<JSON>);".
// 4. The page's answer for that id reaches the slot: loadAdURL, loadAd,
//    invalidRequest; an answer that cannot be used fails it (code 13), no
//    answer within kBuildAnswerLimit seconds of Clock time fails it (code 5)
//    and a later answer for that id reaches nobody.
// The first loaded page after each reload is asked for the constants
// ("ADNET_getSdkConstants({"js": <SDK version>});"), applied as they come.
//
// A document that goes away loses what it was asked: when the library's web
// process ends (the engine's watchdog ending a silent process, a crash) the
// platform brings the page back in a new process, and a reload replaces the
// document too. Builds (and the constants request) sent and not yet answered
// are then sent again, with the same request id and parameters, to the new
// document once it has loaded, still under their first time limit (see
// AKSDKCoreWebView's answer keys). Sending again is sound: the page's answer
// depends only on the parameters, a document gone can no longer answer, and
// should an answer of the old document still arrive it is the one taken and
// the repeat is dropped (or, when it already ran, answers an id nobody waits
// for). A new document that fails to load leaves them to their time limit.
//
// Threads: any caller. The fields live on the lock queue
// "com.adkit.adnet.sdk-core-controller"; request ids on the request-URL queue
// "com.adkit.adnet.sdk-core-controller-url"; the page and every slot call on
// the main thread. Synchronous hops go one way only: request-URL queue → main
// thread → lock queue → the page's lock queue; the main thread never waits on
// the request-URL queue.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/requests/AKSDKCoreAMSGHandler.h"
#include "adkit/requests/AKSDKCoreControllerDelegate.h"
#include "adkit/requests/AKSDKCoreWebView.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// The pass key of resetForTesting: only the tests' own access struct makes one.
class AKSDKCoreControllerTestingKey {
    AKSDKCoreControllerTestingKey() = default;
    friend struct AKSDKCoreControllerTesting;
};

class AKSDKCoreController : public NSObject,
                            public AKSDKCoreAMSGHandlerDelegate,
                            public AKSDKCoreWebViewObserver {
public:
    static constexpr std::uint64_t kRefreshInterval = 3600000;  // milliseconds
    static constexpr double kBuildAnswerLimit = 10;              // seconds of Clock time
    static constexpr std::size_t kViewabilityCacheSize = 4;

    static std::shared_ptr<AKSDKCoreController> sharedInstance();
    AKSDKCoreController();

    // buildAdURL: (the slot is held weakly).
    void buildAdURL(const std::shared_ptr<AKSDKCoreControllerDelegate>& slot);

    std::shared_ptr<AKSDKCoreWebView> activeSDKCoreWebView() const;
    // Viewability's extra core pages (main thread). nextSDKCoreWebView: a new
    // page, its web view made, loading; finishedUsingSDKCoreWebView keeps a page
    // until it sent "untrackViewabilityUnit" (at most kViewabilityCacheSize, the newest).
    std::shared_ptr<AKSDKCoreWebView> nextSDKCoreWebView();
    void finishedUsingSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page);
    void cacheRunningViewabilityWebView(const std::shared_ptr<AKSDKCoreWebView>& page);
    std::vector<std::shared_ptr<AKSDKCoreWebView>> viewabilitySDKCoreWebViews() const;
    std::vector<double> viewabilityMonitorRefreshIntervals() const;
    void setViewabilityMonitorRefreshIntervals(std::vector<double> intervals);
    // AKAbsoluteTime milliseconds of the last reload decision (0: none yet, or
    // the page never loaded).
    std::uint64_t lastWebViewRefreshTimestamp() const;
    // Builds sent to the page and not yet answered.
    std::size_t pendingBuildCount() const;

    // The JSON text of the parameters ("" for none, or when they cannot be
    // JSON): values of "extras" that are URLs become their absolute strings,
    // others that cannot be JSON their descriptions.
    static std::string adRequestParameterJSONFromParameters(const Value& parameters);
    // "%@(%@);" of a function name and a JSON text.
    static std::string JavaScriptCommand(const std::string& function, const std::string& JSON);

    // Starts afresh (tests): a new idle page, nothing waiting, ids from 1,
    // constants to be asked for. Main thread.
    void resetForTesting(AKSDKCoreControllerTestingKey);

    // AKSDKCoreWebViewObserver (main thread).
    void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page) override;
    // AKSDKCoreAMSGHandlerDelegate (main thread).
    void SDKCoreAMSGHandlerLoadAdParameters(AKSDKCoreAMSGHandler& handler, const Value& parameters,
                                            const std::string& requestID) override;
    void SDKCoreAMSGHandlerLoadAd(AKSDKCoreAMSGHandler& handler, const std::shared_ptr<AKAd>& ad,
                                  const Value& headers, const std::string& requestID) override;
    void SDKCoreAMSGHandlerDidReceiveInvalidAdParameters(AKSDKCoreAMSGHandler& handler, const Value& parameters,
                                                         const std::string& requestID) override;
    void SDKCoreAMSGHandlerDidReceiveUnusableAnswer(AKSDKCoreAMSGHandler& handler, const std::string& reason,
                                                    const std::string& requestID) override;
    void SDKCoreAMSGHandlerLoadSDKConstants(AKSDKCoreAMSGHandler& handler, const Value& constants) override;

private:
    using SlotRef = std::weak_ptr<AKSDKCoreControllerDelegate>;
    struct PendingBuild {
        SlotRef slot;
        std::uint64_t token = 0;  // tells this build from a later one of the same id
        std::weak_ptr<AKSDKCoreWebView> page;  // the page it was sent to
    };
    static constexpr const char* kConstantsCommandKey = "constants";
    static std::string buildCommandKey(std::uint64_t token);
    void forgetBuildCommandLocked(const PendingBuild& build);

    std::shared_ptr<AKSDKCoreWebView> makeActivePage();
    void refreshActiveWebViewSDKCoreLocked();
    void asynchronouslyRequestURLForDelegate(SlotRef slot);
    void sendBuild(const SlotRef& slot, const std::string& requestID, const std::string& JSON);
    SlotRef takePendingBuild(const AKSDKCoreAMSGHandler& handler, const std::string& requestID);
    void removeFinishedViewabilityWebViews();
    void applySDKConstants(const Value& constants);
    static void failBuild(const SlotRef& slot, std::int64_t code, const std::string& reason);

    const dispatch_queue_t lockQueue_;
    const dispatch_queue_t requestURLQueue_;

    // Request-URL queue.
    std::uint64_t requestID_ = 1;

    // Lock queue.
    std::shared_ptr<AKSDKCoreWebView> activeSDKCoreWebView_;
    std::vector<SlotRef> pendingActiveWebViewLoadDelegates_;
    std::map<std::string, PendingBuild> pendingBuildAdURLDelegates_;
    std::uint64_t nextBuildToken_ = 1;
    bool SDKConstantsNeedReload_ = true;
    bool SDKConstantsRequested_ = false;  // asked for since the last reload decision
    std::uint64_t lastWebViewRefreshTimestamp_ = 0;
    std::optional<std::vector<double>> viewabilityMonitorRefreshIntervals_;
    std::vector<std::shared_ptr<AKSDKCoreWebView>> viewabilitySDKCoreWebViews_;
};
