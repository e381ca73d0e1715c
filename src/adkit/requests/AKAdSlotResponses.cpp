// The slot's handling of each response type, the sizes a response announces,
// the refresh timer with its pauses, the slot's own request parameters and
// its queries.
#include <cmath>
#include <utility>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "adkit/foundation/AKWeakTimer.h"
#include "adkit/rendering/AKBannerWebViewDelegate.h"
#include "adkit/rendering/AKPublisherToolbarCredentials.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKSlotServices.h"
#include "adkit/requests/AKViewabilityMonitor.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIScrollView.h"

// ---- Responses ------------------------------------------------------------------------

bool AKAdSlot::slotDidReceiveAd(AKAdSlot& /*slot*/, const std::shared_ptr<AKAd>& ad) {
    if (!ad) return false;
    switch (ad->responseType) {
    case AKAdResponseTypeHTML: processAdResponse(ad); return true;
    case AKAdResponseTypeMediation: processMediationAdResponse(ad); return true;
    case AKAdResponseTypeCustomRendering: processCustomRenderingAdResponse(ad); return true;
    default: return false;  // errors; native ads only for an ad loader
    }
}

// A failed load is retried after the stored interval.
void AKAdSlot::slotDidFailToReceiveAdWithError(AKAdSlot& /*slot*/, const NSErrorPtr& /*error*/) {
    scheduleAdReloadTimer();
}

void AKAdSlot::processAdResponse(const std::shared_ptr<AKAd>& ad) {
    QV_ASSERT_MAIN_THREAD();
    loadingAd_ = ad;
    if (std::isfinite(ad->reloadInterval) && ad->reloadInterval > 0) reloadInterval_ = ad->reloadInterval;
    scheduleAdReloadTimer();
    if (ad->customAdSizeString) {
        newAdSize_ = isInterstitial() ? CGSizeZero : AKAdSizeFromResponseString(*ad->customAdSizeString);
    }
    if (const auto scroll = webView_->scrollView()) scroll->setScrollEnabled(ad->scrollEnabled);
    const std::string html = stringByTrimmingWhitespaceAndNewlines(ad->adHTML.value_or(""));
    if (html.empty()) {
        didFailToReceiveAdWithError(AKRequestError::errorWithCode(1, request_.get()), false, false);
        return;
    }
    webView_->setAdDebugDialog(ad->debugDialog);
    // An ad of another network may have left its own delegate on the web view,
    // a hung page none.
    if (!webViewDelegate_ || typeid(*webViewDelegate_) != typeid(AKBannerWebViewDelegate)) {
        webViewDelegate_ = std::make_shared<AKBannerWebViewDelegate>(self<AKSlot>());
    }
    webView_->setDelegate(webViewDelegate_);
    willLoadAdHTMLInWebView();
    startRenderingWatchdog();  // the page's load must end; script-rendered ads have their own check
    webView_->loadHTMLString(html, ad->adBaseURL ? ad->adBaseURL->absoluteString() : std::string());
    setViewForAdUsingView(webView_);
}

void AKAdSlot::processMediationAdResponse(const std::shared_ptr<AKAd>& ad) {
    QV_ASSERT_MAIN_THREAD();
    willProcessMediationResponse();
    const auto configDict = AKMacros::readJsonIntoDictionary(ad->adHTML.value_or(""));
    NSErrorPtr error;
    const auto config = AKMConfig::initWithAppKey(adUnitID_.value_or(""), configDict.value_or(Value()), &error);
    if (!config) {
        didFailToReceiveAdWithError(error ? error : AKRequestError::errorWithCode(7, request_.get()), false, false);
        return;
    }
    finishedLoadingAdResponse(ad);
    AKAdTypePtr type = adType_;
    if (!isInterstitial() && newAdSize_ != CGSizeZero) type = AKAdType::bannerAdTypeForSize(AKAdSizeFromCGSize(newAdSize_));
    if (!config->adType() || !config->adType()->isValid()) {
        AKMacros::pubLog(format("Warning: mediated ad type is unknown or invalid. Resetting type to %@.",
                                type->description()));
        config->setAdType(type);
    }
    adMediationGlue_->requestAdWithType(type, config);
    if (!isInterstitial()) scheduleReloadTimer(config->refreshInterval());
}

void AKAdSlot::processCustomRenderingAdResponse(const std::shared_ptr<AKAd>& ad) {
    const auto delegate = slotDelegate();
    // An ad the owner renders is the current ad from the moment it is offered:
    // the publisher's reports (impression, manual impression, clicks) ping its
    // URLs, and may come from inside the owner's answer.
    const auto previous = std::exchange(ad_, ad);
    if (delegate && delegate->slotShouldUseCustomRenderingForAd(*this, ad)) {
        reloadable_ = false;
        deactivateReloadTimer();
        return;
    }
    ad_ = previous;
    ad->responseType = AKAdResponseTypeHTML;
    processAdResponse(ad);
}

void AKAdSlot::finishedLoadingAdResponse(const std::shared_ptr<AKAd>& ad) {
    ad_ = ad;
    loadingAd_.reset();
}

// ---- Sizes ----------------------------------------------------------------------------

void AKAdSlot::setViewForAdUsingView(const std::shared_ptr<UIView>& view) {
    const auto delegate = slotDelegate();
    if (delegate) delegate->slotDidReceiveAdView(*this, view);
    if (newAdSize_ == CGSizeZero) return;
    if (delegate) resizeForNewAdSize(view, delegate);
    newAdSize_ = CGSizeZero;
}

void AKAdSlot::resizeForNewAdSize(const std::shared_ptr<UIView>& view, const std::shared_ptr<AKSlotDelegate>& delegate) {
    const AKAdSize size = AKAdSizeFromCGSize(newAdSize_);
    if (!validateAdResponseWithAdSize(size, delegate->validAdSizes())) return;
    const NSValue boxed = NSValueFromAKAdSize(size);
    if (AKAdSizeToCGSize(adType_->adSize()) != newAdSize_) delegate->slotWillResizeToAdSize(*this, boxed);
    delegate->setAdSizeAndReload(boxed, false);
    if (view.get() == static_cast<UIView*>(webView_.get()) && delegate->respondsToBounds()) {
        webView_->setFrame(delegate->bounds());
    }
}

bool AKAdSlot::validateAdResponseWithAdSize(AKAdSize size, const Value& validAdSizes) {
    for (std::size_t i = 0; i < validAdSizes.count(); ++i) {
        const Value element = validAdSizes[i];
        const NSValue* boxed = element.boxed();
        if (!boxed) continue;
        if (const auto valid = AKAdSizeFromNSValue(*boxed); valid && AKAdSizeIsEqual(*valid, size)) return true;
    }
    return false;
}

std::string AKAdSlot::multipleAdSizeParameterFromSizes(const Value& sizes) {
    std::string joined;
    for (std::size_t i = 0; i < sizes.count(); ++i) {
        const Value element = sizes[i];
        const NSValue* boxed = element.boxed();
        const auto size = boxed ? AKAdSizeFromNSValue(*boxed) : std::nullopt;
        if (!size) continue;
        const CGSize points = AKAdSizeToCGSize(*size);
        if (!std::isfinite(points.width) || !std::isfinite(points.height)) continue;  // counts as missing
        const auto dimension = [](CGFloat value) { return static_cast<unsigned long>(value > 0 ? value : 0); };
        if (!joined.empty()) joined += "|";
        joined += format("%lux%lu", dimension(points.width), dimension(points.height));
    }
    return joined;
}

// ---- Refresh --------------------------------------------------------------------------

void AKAdSlot::scheduleReloadTimer(double interval) {
    QV_ASSERT_MAIN_THREAD();
    deactivateReloadTimer();
    if (!reloadable_) return;
    if (const auto delegate = slotDelegate(); delegate && delegate->createdOnMediationRequest()) return;
    if (!std::isfinite(interval)) interval = reloadInterval_;  // a number that is not finite counts as missing
    if (interval > 0) {
        reloadTimer_ = ak_scheduledTimerWithTimeInterval(
            interval, self(),
            [](const std::shared_ptr<NSObject>& target, NSTimer&) {
                if (auto slot = std::dynamic_pointer_cast<AKAdSlot>(target)) slot->reloadCurrentRequestWithTimer();
            },
            Value(), false);
        reloadInterval_ = interval;
    } else {
        reloadInterval_ = 0;
    }
}

void AKAdSlot::deactivateReloadTimer() {
    if (reloadTimer_) reloadTimer_->invalidate();
    reloadTimer_.reset();
    refreshDue_ = false;  // a new schedule, a pause or a cancel supersedes a refresh waiting for its load
}

void AKAdSlot::reloadCurrentRequestWithTimer() {
    reloadTimer_.reset();
    if (state_ != AKSlotStateInvalidated && isMakingRequest()) {
        refreshDue_ = true;  // runs when the load under way ends
        return;
    }
    reloadCurrentRequest();
}

void AKAdSlot::reloadCurrentRequest() {
    if (!reloadable_) return;
    const auto delegate = slotDelegate();
    if (delegate && delegate->slotShouldReloadCurrentRequest(*this)) loadRequest(request_, true);
}

void AKAdSlot::appWillBecomeInactive() {
    deactivateReloadTimer();
    sampleViewability();
}

void AKAdSlot::appDidBecomeActive() {
    scheduleAdReloadTimer();
    sampleViewability();
}

void AKAdSlot::adWillPresentFullScreen() { deactivateReloadTimer(); }

void AKAdSlot::adDidRelinquishFullScreen() { scheduleAdReloadTimer(); }

// ---- Request parameters ------------------------------------------------------------------

Value AKAdSlot::requestParameters() {
    QV_ASSERT_MAIN_THREAD();
    if (!request_) return Value();
    Value parameters = request_->parametersWithExtras(loadExtras_.parameters);
    if (!parameters.isDictionary()) return Value();
    addSlotParameters(parameters);
    return parameters;
}

void AKAdSlot::addSlotParameters(Value& parameters) {
    Value signals = Value::dictionary();
    if (applicationStatistics_.count() > 0) signals.setObject("app", applicationStatistics_);
    const auto application = AKApplication::sharedApplication();
    if (const Value slots = application->slotStatisticsDictionary(); slots.count() > 0) signals.setObject("slots", slots);
    if (const Value extras = request_->privateMediationExtras(); extras.count() > 0) signals.setObject("request", extras);
    pendingAdStatistics_ = application->pendingAdStatistics();
    Value ads = Value::array();
    for (const auto& statistics : pendingAdStatistics_) ads.append(statistics->dictionary());
    if (ads.count() > 0) signals.setObject("ads", ads);
    // Statistics count in decimal numbers: the parameters travel as JSON.
    if (signals.count() > 0) parameters.setObject("quality_signals", ak_JSONReady(signals));

    if (adUnitID_ && !adUnitID_->empty()) parameters.setObject("slotname", *adUnitID_);
    const auto delegate = slotDelegate();
    if (isInterstitial()) {
        parameters.setObject("format", "interstitial_mb");
    } else {
        const std::string sizes = delegate ? multipleAdSizeParameterFromSizes(delegate->validAdSizes()) : std::string();
        if (!sizes.empty()) parameters.setObject("sz", sizes);
        const CGRect frame = delegate && delegate->respondsToFrame() ? delegate->frame() : webView_->frame();
        const CGRect bounds = delegate && delegate->respondsToBounds() ? delegate->bounds() : webView_->bounds();
        parameters.setObject("ad_frame", AKViewabilityDictionaryFromRect(frame));
        parameters.setObject("ad_bounds", AKViewabilityDictionaryFromRect(bounds));
    }
    const AKAdSize typeSize = adType_->adSize();
    if (AKAdSizeIsFullWidth(typeSize)) {
        parameters.setObject("smart_w", "full");
        if (AKAdSizeIsSmartHeight(typeSize)) parameters.setObject("smart_h", "auto");
    }
    if (requestID_) parameters.setObject("request_id", *requestID_);
    if (delegate) {
        if (Value position = delegate->coordinatesOfContentInScreen()) parameters.setObject("ad_pos", position);
    }
    if (AKPublisherToolbarCredentials::hasToolbarCredentials()) parameters.setObject("dpt", "1");
    if (manualImpressionsEnabled_) parameters.setObject("d_imp_hdr", "1");
    if (inAppPurchaseDelegate()) parameters.setObject("iap_set", "1");
    const Value useHTTPS = NSUserDefaults::standardUserDefaults()->objectForKey("adkit_ak_use_https");
    if (useHTTPS.isNull() || useHTTPS.boolValue()) parameters.setObject("force_https", "1");
}

// ---- Queries ----------------------------------------------------------------------------

bool AKAdSlot::isMediating() const { return ad_ && ad_->responseType == AKAdResponseTypeMediation; }

bool AKAdSlot::isMRAIDEnabled() const { return ad_ && ad_->MRAIDEnabled; }

void AKAdSlot::setMRAIDEnabledOnAds(bool enabled) {
    if (loadingAd_) loadingAd_->MRAIDEnabled = enabled;
    if (ad_) ad_->MRAIDEnabled = enabled;
}

std::shared_ptr<NSObject> AKAdSlot::mediatedInterstitial() const {
    return adMediationGlue_ ? adMediationGlue_->mediatedInterstitial() : nullptr;
}

void AKAdSlot::presentMediatedInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    if (isMediating() && isInterstitial()) adMediationGlue_->presentInterstitialFromRootViewController(root);
}

std::optional<std::string> AKAdSlot::adNetworkClassName() const {
    if (state_ != AKSlotStateValidAd) return std::nullopt;
    if (isMediating()) return adMediationGlue_->receivedAdapterClassName();
    return std::string(AKMAdNetworkAdapter::kAdKitAdapterClassName);
}

std::shared_ptr<AKSwipeToViewControllerConfiguration> AKAdSlot::swipeToViewControllerConfigurations() const {
    return ad_ ? std::static_pointer_cast<AKSwipeToViewControllerConfiguration>(ad_->swipeToViewControllerConfigurations)
               : nullptr;
}
