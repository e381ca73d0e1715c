// The slot's life and its load road: construction and configuration, the
// request through the core page or the request's extras, the fetch, the
// core page's and the fetcher's answers, cancelling and tear-down.
#include <cmath>
#include <cstdio>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKSlotStatistics.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKAdNetworkJavasSciptWebViewDelegate.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"

// ---- Life -------------------------------------------------------------------------

void AKAdSlot::initialize() {
    AKSlotServicesRegisterDefaults();
    AKSlotSwipeExtensionsRegister();
    AKApplication::sharedApplication()->runEarlyActivities();
}

std::shared_ptr<AKAdSlot> AKAdSlot::make(CGRect frame) {
    QV_ASSERT_MAIN_THREAD();
    initialize();
    auto slot = std::make_shared<AKAdSlot>(PassKey{});
    slot->setUp(frame);
    return slot;
}

void AKAdSlot::setUp(CGRect frame) {
    const auto me = self<AKAdSlot>();
    adResponseDelegate_ = std::static_pointer_cast<AKSlotAdResponseDelegate>(me);
    webView_ = AKWebView::make(frame);
    webViewDelegate_ = std::make_shared<AKBannerWebViewDelegate>(me);
    webView_->setDelegate(webViewDelegate_);
    observeApplication();
    adType_ = AKAdType::interstitialAdType();
    slotStats_ = std::make_shared<AKSlotStatistics>();
    adMediationGlue_ = AKMToAKGlue::make();
    adMediationGlue_->setSlot(me);
    viewabilityMonitoredView_ = webView_;
}

void AKAdSlot::observeApplication() {
    using Action = void (AKAdSlot::*)();
    const std::pair<const char*, Action> observed[] = {
        {UIApplicationWillResignActiveNotification, &AKAdSlot::appWillBecomeInactive},
        {UIApplicationDidBecomeActiveNotification, &AKAdSlot::appDidBecomeActive},
        {kAdModalViewControllerWillPresentFullScreen, &AKAdSlot::adWillPresentFullScreen},
        {kAdModalViewControllerDidDismissFullScreen, &AKAdSlot::adDidRelinquishFullScreen},
    };
    const auto center = NSNotificationCenter::defaultCenter();
    for (const auto& [name, action] : observed) {
        center->addObserver(
            self(),
            [weak = weakSelf<AKAdSlot>(), action = action](const NSNotification&) {
                if (const auto slot = weak.lock()) ((*slot).*action)();
            },
            name);
    }
}

AKAdSlot::~AKAdSlot() {
    finishViewabilityReporting();  // the run's last report; its page runs on until it answers
    didUnloadMRAIDAd();
    if (adFetcher_) adFetcher_->cancel();
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (webViewDelegate_) webViewDelegate_->opener()->setSlot(nullptr);
    if (adMediationGlue_) adMediationGlue_->setSlot(nullptr);
    // A web view shown full screen (an interstitial let go while up) keeps its controller's delegate.
    if (webView_ && webView_->delegate() == webViewDelegate_) webView_->setDelegate({});
    if (reloadTimer_) reloadTimer_->invalidate();
    if (renderingWatchdog_) renderingWatchdog_->invalidate();
    releaseInterceptorCount();
    AKApplication::sharedApplication()->didNotSendAdStatistics(pendingAdStatistics_);
}

std::string AKAdSlot::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return format("<%@: %@>\nad unit ID:%@", className(), std::string(address),
                  adUnitID_ ? Value(*adUnitID_) : Value());
}

void AKAdSlot::setAdUnitID(const std::optional<std::string>& adUnitID) {
    adUnitID_ = adUnitID;
    slotStats_->setIdentifier(adUnitID.value_or(""));
}

void AKAdSlot::setAdTypeAndReloadRequest(const AKAdTypePtr& type, bool reload) {
    QV_ASSERT_MAIN_THREAD();
    if (!type || (adType_ && adType_->isEqual(type))) return;
    adType_ = type;
    if (newAdSize_ == CGSizeZero && reload && webView_) webView_->setHidden(true);
    if (isMediating()) {
        if (adMediationGlue_->changeAdTypeTo(type)) return;
        if (const auto delegate = slotDelegate()) delegate->slotDidReceiveAdView(*this, nullptr);
    }
    if (!reload) return;
    if (isMakingRequest()) cancelPendingActions();
    if (request_) loadRequest(request_, false);
}

// ---- The load road --------------------------------------------------------------------

void AKAdSlot::loadRequest(const std::shared_ptr<AKRequest>& given, bool autoRefresh) {
    QV_ASSERT_MAIN_THREAD();
    const auto request = given ? given : AKRequest::request();
    if (!shouldMakeRequest(request.get())) return;
    willRequestAdURL();
    // The one read that consumes "_useOnce" extras: this load keeps what it took.
    loadExtras_ = request->takeExtrasForLoad();
    request_ = request->copy();
    hasAutoRefreshed_ = autoRefresh;
    if (loadExtras_.ad.isDictionary()) {
        std::shared_ptr<AKAd> ad;
        if (isInterstitial()) ad = AKAdInterstitial::initWithDictionary(loadExtras_.ad);
        else ad = AKAdBanner::initWithDictionary(loadExtras_.ad);
        if (ad && loadExtras_.orientation != 0) ad->supportedOrientations = loadExtras_.orientation;
        loadAd(ad, loadExtras_.adHeaders);
        return;
    }
    if (loadExtras_.requestURL) {
        AKMRAIDInterceptor::allow();
        auto ad = std::make_shared<AKAd>();
        ad->adURL = loadExtras_.requestURL;
        if (loadExtras_.orientation != 0) ad->supportedOrientations = loadExtras_.orientation;
        loadAd(ad, Value());
        return;
    }
    AKSDKCoreController::sharedInstance()->buildAdURL(self<AKAdSlot>());
}

void AKAdSlot::loadAd(const std::shared_ptr<AKAd>& ad, const Value& headers) {
    QV_ASSERT_MAIN_THREAD();
    if (adFetcher_) adFetcher_->cancel();
    adFetcher_.reset();
    resetRequestState();
    loadingAd_ = ad;
    willFetchAdContent();
    if (!ad) {
        didFailToReceiveAdWithError(AKRequestError::errorWithCode(13, request_.get()), false, false);
        return;
    }
    if (ad->hasAdNetworkJavaScript()) {
        loadAdNetworkJavaScriptRequest(ad);
        return;
    }
    if (!isInterstitial()) {
        if (const auto banner = std::dynamic_pointer_cast<AKAdBanner>(ad)) {
            newAdSize_ = banner->size.size;
            reloadInterval_ = std::isfinite(banner->refreshInterval) ? banner->refreshInterval : reloadInterval_;
        }
    }
    adFetcher_ = std::make_shared<AKAdFetcher>();
    const auto request = request_ ? request_ : AKRequest::request();
    // The fetcher reports every outcome to its delegate; its answer adds nothing.
    (void)adFetcher_->fetchRemainingContentForAd(ad, headers, self<AKAdSlot>(), request, nullptr);
}

void AKAdSlot::loadAdNetworkJavaScriptRequest(const std::shared_ptr<AKAd>& ad) {
    const std::string baseURL = ad->adBaseURL ? ad->adBaseURL->absoluteString() : std::string();
    std::optional<std::string> passback;
    if (ad->adNetworkPassbackURL()) passback = ad->adNetworkPassbackURL()->absoluteString();
    // Empty HTML fails the load through failWithError ("Empty ad HTML.", code 2).
    auto delegate = AKAdNetworkJavasSciptWebViewDelegate::loadAdHTML(self<AKSlot>(), ad->adHTML.value_or(""),
                                                                   baseURL, std::move(passback));
    if (delegate) webViewDelegate_ = std::move(delegate);
}

void AKAdSlot::resetRequestState() {
    finishViewabilityReporting();
    disableSwipeToViewController();
    AKSlotExtensions::shared()->slotWillResetRequestState(*this);
    if (isMRAIDEnabled()) didUnloadMRAIDAd();
    ad_.reset();
    resetState();
}

void AKAdSlot::cancelPendingActions() {
    QV_ASSERT_MAIN_THREAD();
    NSRunLoop::mainRunLoop()->cancelPerforms(this, "");
    deactivateReloadTimer();
    if (adFetcher_) adFetcher_->cancel();
    adFetcher_.reset();
    loadingAd_.reset();
    if (adMediationGlue_) adMediationGlue_->cancel();
    releaseInterceptorCount();
    resetState();
}

void AKAdSlot::cancelPendingAndFutureActions() {
    cancelPendingActions();
    slotDelegate_.reset();
    reloadable_ = false;
    invalidateState();
}

// ---- The core page's answers (each expected only while the slot waits for it) ----------

void AKAdSlot::setRequestID(const std::string& requestID) {
    QV_ASSERT_MAIN_THREAD();
    requestID_ = requestID;
}

void AKAdSlot::loadAdURLWithParameters(const Value& parameters) {
    QV_ASSERT_MAIN_THREAD();
    if (state_ != AKSlotStateRequestingAdURL) return;
    didReceiveAdURL();
    if (!parameters["errors"].isNull()) {
        didFailToReceiveAdWithError(AKRequestError::errorWithCode(0, request_.get()), false, false);
        return;
    }
    countRequestScenario(parameters);
    if (parameters["enable_auto_click_protection"].stringValue() == "1" && webViewDelegate_) {
        webViewDelegate_->opener()->setAutoClickProtected(true);
    }
    // Only an http(s) URL is fetched.
    const Value url = parameters["url"];
    const NSURLPtr adURL = url.isString() ? AKHTTPURLFromString(url.stringValue()) : nullptr;
    if (!adURL) {
        didFailToReceiveAdWithError(AKRequestError::errorWithCode(13, request_.get()), false, false);
        return;
    }
    auto ad = std::make_shared<AKAd>();
    ad->adURL = adURL;
    loadAd(ad, Value());
}

void AKAdSlot::loadAdHeaders(const std::shared_ptr<AKAd>& ad, const Value& headers) {
    QV_ASSERT_MAIN_THREAD();
    if (state_ != AKSlotStateRequestingAdURL) return;
    loadAd(ad, headers);
}

void AKAdSlot::countRequestScenario(const Value& parameters) {
    const std::string scenario = parameters["request_scenario"].stringValue();
    const auto& statistics = AKApplication::sharedApplication()->statistics();
    const bool offlineEmpty = scenario == "offline_empty";
    const bool offlineBuffer = scenario == "offline_buffer";
    if (offlineBuffer) statistics->incrementNumberForKey("bas_off", false);
    if (offlineEmpty || offlineBuffer) {
        statistics->incrementNumberForKey("oar", false);
        statistics->setObject(statistics->objectForKey("seq_num"), "losn");
    }
    if (scenario == "online_buffer") statistics->incrementNumberForKey("bas_on", false);
}

void AKAdSlot::invalidJavaScriptRequest() {
    QV_ASSERT_MAIN_THREAD();
    if (state_ != AKSlotStateRequestingAdURL) return;
    didFailToReceiveAdWithError(AKRequestError::errorWithCode(0, request_.get()), false, false);
}

void AKAdSlot::failedJavaScriptFile() {
    QV_ASSERT_MAIN_THREAD();
    if (state_ != AKSlotStateRequestingAdURL) return;
    didFailToRetrieveSDKCoreWithError(AKRequestError::errorWithCode(2));
}

void AKAdSlot::buildAdURLFailedWithError(const AKRequestErrorPtr& error) {
    QV_ASSERT_MAIN_THREAD();
    if (state_ != AKSlotStateRequestingAdURL) return;
    // The core page not answering in time (code 5) is passing: a refreshing
    // slot tries again after its interval instead of stopping for good. Every
    // other failure of the build keeps the timer stopped.
    const bool timedOut = error && error->code() == 5;
    didFailToReceiveAdWithError(error, timedOut && reloadInterval_ > 0, false);
}

// ---- The fetcher's answers ---------------------------------------------------------------

void AKAdSlot::adFetcherDidFetchAd(AKAdFetcher& fetcher, const std::shared_ptr<AKAd>& ad) {
    QV_ASSERT_MAIN_THREAD();
    if (&fetcher != adFetcher_.get()) return;
    didFetchAdContent();
    const auto delegate = adResponseDelegate();
    if (!delegate || !delegate->slotDidReceiveAd(*this, ad)) adFetcherDidFailToFetchAdWithError(fetcher, nullptr);
}

void AKAdSlot::adFetcherDidFailToFetchAdWithError(AKAdFetcher& fetcher, const NSErrorPtr& error) {
    QV_ASSERT_MAIN_THREAD();
    if (&fetcher != adFetcher_.get()) return;
    didFailToReceiveAdWithError(error, false, false);
    if (const auto delegate = adResponseDelegate()) delegate->slotDidFailToReceiveAdWithError(*this, error);
}
