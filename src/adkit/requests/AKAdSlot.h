#pragma once
// The ad slot behind every banner, interstitial and ad loader ("AKSlot" in its
// description and logs). The owner makes one (make), configures it (ad unit,
// ad type, delegates) and loads requests; the slot runs each load through the
// core page (AKSDKCoreController), the fetcher (AKAdFetcher) and the handling
// of the response type, renders HTML ads in its web view, drives the refresh
// timer and reports to its owner:
//   slot delegate (AKSlotDelegate, rendering/AKSlot.h)  - the owner's view facts and answers;
//   ad event delegate (AKSlotAdEventDelegate)           - what happens to the shown ad;
//   ad response delegate (AKSlotAdResponseDelegate)     - each fetched ad (the slot itself
//                                                          unless an ad loader replaces it).
// All are held weakly; so are the slot by the controller, the fetcher, the
// web-view delegate and the refresh timer: a slot released in the middle of a
// load is destroyed at once, hears nothing more and causes no later request
// (pings it started still arrive: the click-tracker collection owns them).
//
// States (AKSlotState): setState is the only writer (key-value observable as
// "state"); 8 is final. A load takes 0/1/6/7 -> 2 -> (3) -> 0 -> 4 -> 5 -> 6, or
// ends in 7 (failed) or 1 (core page failed); cancelPendingActions returns to 0. Each load counts once in the
// rich-media interceptor's counter, from entering 2 to its end (1, 6, 7, a
// cancel, invalidation or the slot's end). An HTML ad page that has not loaded
// 20 s (Clock) after it was handed to the web view fails the load with code 5
// (ads of other networks rendered from script have their own render check).
//
// Refresh: one weak-target timer on the main run loop; paused while the
// application is inactive or a full-screen ad is up, restarted with the whole
// interval. A refresh that comes due during a load runs once that load ends.
//
// Viewability (AKAdSlotViewability.cpp): every ad page that loads starts a
// measurement run when the ad asks for one (a Viewability configuration, rich
// media or a swipe configuration) and the core page gave sampling intervals:
// a new monitor of the web view, the next sequence number ("hashCode") and a
// measurement page of its own (AKSDKCoreController::nextSDKCoreWebView). After
// every sample the page gets "ADNET_updateViewability(<report>)"; the run ends
// (finishViewabilityReporting) with a last report carrying "doneReasonCode"
// "u" when the next load starts, and when the slot goes away; its page then
// runs on until it answers "untrackViewabilityUnit" (the controller keeps it).
//
// Threads: main thread only (the core-page controller and the fetcher call
// back there, requestParameters included).
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "adkit/foundation/AKRequestParameters.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdFetcher.h"
#include "adkit/requests/AKAdType.h"
#include "adkit/requests/AKRequest.h"
#include "adkit/requests/AKSDKCoreControllerDelegate.h"
#include "adkit/requests/AKSlotDelegates.h"
#include "adkit/requests/AKViewabilityMonitor.h"
#include "platform/runloop/NSRunLoop.h"

class AKBannerWebViewDelegate;
class AKInAppPurchase;
class AKMConfig;
class AKMToAKGlue;
class AKSDKCoreWebView;
class AKSlotStatistics;
class AKStatisticDictionary;
class UIView;
class UIViewController;

class AKAdSlot final : public AKSlot,
                       public AKSDKCoreControllerDelegate,
                       public AKAdFetcherDelegate,
                       public AKSlotMediationState,
                       public AKSlotAdResponseDelegate,
                       public AKViewabilityMonitorDelegate,
                       public AKWebViewViewabilityMonitoring {
public:
    static constexpr double kRenderingLimitSeconds = 20;
    using StatisticsSet = std::set<std::shared_ptr<AKStatisticDictionary>>;

    // initWithFrame: (init: the zero rectangle). Runs the class initialisation first.
    static std::shared_ptr<AKAdSlot> make(CGRect frame = CGRectZero);
    // Class initialisation: the services' defaults, then AKApplication's early activities.
    static void initialize();
    ~AKAdSlot() override;

    std::string className() const override { return "AKSlot"; }
    std::string description() const override;

    // ---- Configuration ----
    void setSlotDelegate(const std::shared_ptr<AKSlotDelegate>& delegate) { slotDelegate_ = delegate; }
    std::shared_ptr<AKSlotAdEventDelegate> adEventDelegate() const { return adEventDelegate_.lock(); }
    void setAdEventDelegate(const std::shared_ptr<AKSlotAdEventDelegate>& d) { adEventDelegate_ = d; }
    std::shared_ptr<AKSlotAdResponseDelegate> adResponseDelegate() const { return adResponseDelegate_.lock(); }
    void setAdResponseDelegate(const std::shared_ptr<AKSlotAdResponseDelegate>& d) { adResponseDelegate_ = d; }
    const std::optional<std::string>& adUnitID() const override { return adUnitID_; }
    void setAdUnitID(const std::optional<std::string>& adUnitID);
    const AKAdTypePtr& adType() const { return adType_; }
    void setAdType(const AKAdTypePtr& type) { setAdTypeAndReloadRequest(type, true); }
    void setAdTypeAndReloadRequest(const AKAdTypePtr& type, bool reload);
    const std::shared_ptr<AKRequest>& request() const { return request_; }
    const std::shared_ptr<AKAd>& ad() const { return ad_; }
    const std::shared_ptr<AKAd>& loadingAd() const { return loadingAd_; }
    const std::shared_ptr<AKSlotStatistics>& slotStats() const { return slotStats_; }
    const std::shared_ptr<AKAdFetcher>& adFetcher() const { return adFetcher_; }
    const std::shared_ptr<AKMToAKGlue>& adMediationGlue() const { return adMediationGlue_; }
    const std::shared_ptr<AKBannerWebViewDelegate>& webViewDelegate() const { return webViewDelegate_; }
    const Value& applicationStatistics() const { return applicationStatistics_; }
    const StatisticsSet& pendingAdStatistics() const { return pendingAdStatistics_; }
    const std::optional<std::string>& requestID() const { return requestID_; }
    bool manualImpressionsEnabled() const { return manualImpressionsEnabled_; }
    void setManualImpressionsEnabled(bool enabled) { manualImpressionsEnabled_ = enabled; }
    bool hasAutoRefreshed() const { return hasAutoRefreshed_; }
    bool isReloadable() const { return reloadable_; }
    void setReloadable(bool reloadable) { reloadable_ = reloadable; }
    bool isAdCustomRendered() const { return adCustomRendered_; }
    void setAdCustomRendered(bool rendered) { adCustomRendered_ = rendered; }
    double reloadInterval() const { return reloadInterval_; }
    bool hasReloadTimer() const { return reloadTimer_ != nullptr; }
    CGSize newAdSize() const { return newAdSize_; }
    // The interstitial that owns this slot, if any (held weakly).
    std::shared_ptr<NSObject> interstitial() const { return interstitial_.lock(); }
    void setInterstitial(const std::shared_ptr<NSObject>& interstitial) { interstitial_ = interstitial; }
    // How deep in mediation this slot's ads are nested: 0 for the publisher's
    // own slots, one more for each ad the library's own network adapter makes
    // on a mediating slot's behalf.
    int mediationNestingDepth() const { return mediationNestingDepth_; }
    void setMediationNestingDepth(int depth) { mediationNestingDepth_ = depth; }

    // ---- State machine (AKAdSlotState.cpp) ----
    AKSlotState state() const override { return state_; }
    void setState(AKSlotState state);
    bool isMakingRequest() const;
    bool shouldMakeRequest(const AKRequest* request) const;
    void willRequestAdURL();
    void didReceiveAdURL();
    void willFetchAdContent();
    void didFetchAdContent();
    void willProcessMediationResponse();
    void willStartAdRendering();
    void willLoadAdHTMLInWebView() override;
    void didReceiveValidAd() override;
    void didLoadAdHTMLInWebView() override;
    void didMakeAdImpression() override;
    void willLeaveAppDueToClick() override;
    void didFailToRetrieveSDKCoreWithError(const NSErrorPtr& error);
    void didFailToReceiveAdWithError(const NSErrorPtr& error, bool shouldReloadTimer, bool shouldCancelPendingActions);
    void resetState() { setState(AKSlotStateIdle); }
    void invalidateState() { setState(AKSlotStateInvalidated); }
    // Whether this slot's current load holds a count of the rich-media interceptor.
    bool holdsInterceptorCount() const { return interceptorCounted_; }

    // ---- Loading (AKAdSlotLoading.cpp) ----
    void loadRequest(const std::shared_ptr<AKRequest>& request) { loadRequest(request, false); }
    void loadRequest(const std::shared_ptr<AKRequest>& request, bool autoRefresh);
    void loadAd(const std::shared_ptr<AKAd>& ad, const Value& headers);
    void loadAdNetworkJavaScriptRequest(const std::shared_ptr<AKAd>& ad);
    void resetRequestState();
    void cancelPendingActions();
    void cancelPendingAndFutureActions();
    // AKSDKCoreControllerDelegate
    void setRequestID(const std::string& requestID) override;
    Value requestParameters() override;
    void loadAdURLWithParameters(const Value& parameters) override;
    void loadAdHeaders(const std::shared_ptr<AKAd>& ad, const Value& headers) override;
    void invalidJavaScriptRequest() override;
    void failedJavaScriptFile() override;
    void buildAdURLFailedWithError(const AKRequestErrorPtr& error) override;
    // AKAdFetcherDelegate
    void adFetcherDidFetchAd(AKAdFetcher& fetcher, const std::shared_ptr<AKAd>& ad) override;
    void adFetcherDidFailToFetchAdWithError(AKAdFetcher& fetcher, const NSErrorPtr& error) override;

    // ---- Responses and refresh (AKAdSlotResponses.cpp) ----
    // AKSlotAdResponseDelegate (the slot as its own response delegate)
    bool slotDidReceiveAd(AKAdSlot& slot, const std::shared_ptr<AKAd>& ad) override;
    void slotDidFailToReceiveAdWithError(AKAdSlot& slot, const NSErrorPtr& error) override;
    void processAdResponse(const std::shared_ptr<AKAd>& ad);
    void processMediationAdResponse(const std::shared_ptr<AKAd>& ad);
    void processCustomRenderingAdResponse(const std::shared_ptr<AKAd>& ad);
    // finishedLoadingAdResponse: the ad becomes the current ad.
    void finishedLoadingAdResponse(const std::shared_ptr<AKAd>& ad);
    void setViewForAdUsingView(const std::shared_ptr<UIView>& view);
    static bool validateAdResponseWithAdSize(AKAdSize size, const Value& validAdSizes);
    static std::string multipleAdSizeParameterFromSizes(const Value& sizes);
    void scheduleReloadTimer(double interval);
    void scheduleAdReloadTimer() { scheduleReloadTimer(reloadInterval_); }
    void deactivateReloadTimer();
    void reloadCurrentRequest();
    void appWillBecomeInactive();
    void appDidBecomeActive();
    void adWillPresentFullScreen();
    void adDidRelinquishFullScreen();
    // Queries.
    bool isMediating() const override;
    bool isMRAIDEnabled() const;
    std::shared_ptr<NSObject> mediatedInterstitial() const;
    void presentMediatedInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root);
    std::optional<std::string> adNetworkClassName() const;

    // ---- Events, clicks and pings (AKAdSlotEvents.cpp) ----
    void adFinishedLoadingContent() override;
    void adFailedToReceiveContentWithError(const NSErrorPtr& error);
    void adWillPresentScreen() override;
    void adWillDismissScreen() override;
    // Only a screen announced by a will-present reaches the owner: each of its
    // will-presents is paired with one did-dismiss.
    void adDidDismissScreen(bool announced) override;
    void adWillLeaveApplication() override;
    void adWasClicked() override;
    void pingClickURLs() override;
    void pingImpressionURLs();
    void pingManualTrackingURLs();
    void mediatedAdNetworkAutoRefreshed() { hasAutoRefreshed_ = true; }
    std::string spamClickURLWithURL(const std::string& URL) override;
    static bool isAdKitAdURL(const NSURL& URL);
    // The built-in ad-server domain suffixes of isAdKitAdURL (comma-separated).
    static const char* const kBuiltInAdDomains;
    std::shared_ptr<AKInAppPurchaseDelegate> inAppPurchaseDelegate() const;
    void didReceiveInAppPurchase(const std::shared_ptr<AKInAppPurchase>& purchase) override;
    void bannerDidMoveToWindow(bool hasWindow);
    void interstitialViewWillAppear() override;
    void interstitialViewWillDisappear() override;

    // ---- Viewability (AKAdSlotViewability.cpp) ----
    bool canEnableViewabilityMonitoring() const;
    void resetViewabilityReporting();
    void finishViewabilityReporting();
    bool monitoredViewIsSubviewOfDeviceScreen() const;
    // AKViewabilityMonitorDelegate: the swipe eligibility report, then a report.
    void didRefreshViewabilityMonitor(AKViewabilityMonitor& monitor) override;
    // The last report of the current run.
    void viewabilityMonitorWillUnload();
    // The report object ({"units": [unit]}) for a sample of the monitor.
    Value viewabilityParameters(AKViewabilityMonitor& monitor, bool viewabilityUnloaded) const;
    // "ADNET_updateViewability(<compact JSON>)"; none for null or what cannot be JSON.
    static std::optional<std::string> viewabilityJSCommandWithParams(const Value& params);
    // "top", "bottom", "left", "right" of the standardized rectangle (zeros when not finite).
    static Value dictionaryForBounds(CGRect bounds);
    std::string adFormat() const;
    // A sample of the current monitor, when there is one.
    void sampleViewability();
    // AKWebViewViewabilityMonitoring: the measurement page's visibility to a rich-media creative.
    void webViewDidChangeViewabilityVisibility(AKWebView& webView) override;
    const std::shared_ptr<AKViewabilityMonitor>& viewabilityMonitor() const { return viewabilityMonitor_; }
    std::uint64_t viewabilityMonitorSequenceNumber() const { return viewabilityMonitorSequenceNumber_; }
    const std::shared_ptr<AKSDKCoreWebView>& SDKCoreWebView() const { return SDKCoreWebView_; }
    std::shared_ptr<UIView> viewabilityMonitoredView() const { return viewabilityMonitoredView_.lock(); }
    void setViewabilityMonitoredView(const std::shared_ptr<UIView>& view) { viewabilityMonitoredView_ = view; }

    // ---- What rendering asks (AKSlot) ----
    std::int64_t timeLastLoaded() const override { return timeLastLoaded_; }
    std::shared_ptr<AKWebView> webView() const override { return webView_; }
    bool isInterstitial() const override { return adType_ && adType_->isInterstitial(); }
    bool isMRAIDAd() const override { return isMRAIDEnabled(); }
    void setMRAIDEnabledOnAds(bool enabled) override;
    std::shared_ptr<AKSlotDelegate> slotDelegate() const override { return slotDelegate_.lock(); }
    std::shared_ptr<AKSwipeToViewControllerConfiguration> swipeToViewControllerConfigurations() const override;
    const AKRequestParametersSource* currentRequest() const override { return request_.get(); }
    void startViewabilityForLoadedAd() override;
    void failWithError(const AKRequestErrorPtr& error, bool reloadRefreshTimer, bool cancel) override {
        didFailToReceiveAdWithError(error, reloadRefreshTimer, cancel);
    }
    void enableSwipeToViewController() override;
    void disableSwipeToViewController() override;
    void incrementAdStatistic(const std::string& key) override;
    void setAdStatistic(const std::string& key, const Value& value, bool onlyWhenAbsent) override;
    Value adStatistic(const std::string& key) const override;
    void addAdStatisticToArray(const std::string& key, const Value& value) override;

    // Only make() constructs.
    struct PassKey {
    private:
        friend class AKAdSlot;
        PassKey() = default;
    };
    explicit AKAdSlot(PassKey) {}

private:
    void setUp(CGRect frame);
    void observeApplication();
    void acquireInterceptorCount();
    void releaseInterceptorCount();
    void loadEnded();
    void runDueRefresh();
    void startRenderingWatchdog();
    void renderingLimitReached();
    void reloadCurrentRequestWithTimer();
    void countRequestScenario(const Value& parameters);
    void addSlotParameters(Value& parameters);
    void resizeForNewAdSize(const std::shared_ptr<UIView>& view, const std::shared_ptr<AKSlotDelegate>& delegate);

    AKSlotState state_ = AKSlotStateIdle;
    std::weak_ptr<AKSlotDelegate> slotDelegate_;
    std::weak_ptr<AKSlotAdEventDelegate> adEventDelegate_;
    std::weak_ptr<AKSlotAdResponseDelegate> adResponseDelegate_;
    std::weak_ptr<NSObject> interstitial_;
    std::optional<std::string> adUnitID_;
    std::shared_ptr<AKAd> ad_;
    std::shared_ptr<AKAd> loadingAd_;
    AKAdTypePtr adType_;
    std::shared_ptr<AKRequest> request_;
    AKRequestLoadExtras loadExtras_;  // taken once at the start of the current load
    std::int64_t timeLastLoaded_ = 0;
    std::shared_ptr<AKWebView> webView_;
    std::shared_ptr<AKBannerWebViewDelegate> webViewDelegate_;
    std::shared_ptr<AKSlotStatistics> slotStats_;
    bool manualImpressionsEnabled_ = false;
    bool hasAutoRefreshed_ = false;
    bool reloadable_ = true;
    bool adCustomRendered_ = false;
    std::shared_ptr<AKAdFetcher> adFetcher_;
    Value applicationStatistics_;
    StatisticsSet pendingAdStatistics_;
    double reloadInterval_ = 0;
    std::shared_ptr<NSTimer> reloadTimer_;
    bool refreshDue_ = false;  // a timed refresh came due while a load was under way
    std::optional<std::string> requestID_;
    CGSize newAdSize_ = CGSizeZero;
    std::shared_ptr<AKMToAKGlue> adMediationGlue_;
    int mediationNestingDepth_ = 0;
    bool interceptorCounted_ = false;
    std::shared_ptr<NSTimer> renderingWatchdog_;
    // Viewability.
    std::shared_ptr<AKViewabilityMonitor> viewabilityMonitor_;
    std::uint64_t viewabilityMonitorSequenceNumber_ = 0;
    std::shared_ptr<AKSDKCoreWebView> SDKCoreWebView_;
    std::weak_ptr<UIView> viewabilityMonitoredView_;  // the slot's web view unless set
};
