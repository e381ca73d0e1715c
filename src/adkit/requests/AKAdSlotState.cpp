// The slot's state machine: the one writer of the state, the transition of
// each step of a load with its bookkeeping, the guards, the interceptor count
// a load holds, and the limit on rendering.
#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/foundation/AKWeakTimer.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKWebView.h"
#include "adkit/requests/AKAdSlot.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSDecimalNumber.h"
#include "platform/foundation/NSLog.h"

namespace {
bool endsLoad(AKSlotState state) {
    return state == AKSlotStateCorePageFailed || state == AKSlotStateValidAd || state == AKSlotStateFailed ||
           state == AKSlotStateInvalidated;
}

Value nowInMilliseconds() { return Value(AKAbsoluteTime::absoluteTimeInMilliseconds()); }
}  // namespace

void AKAdSlot::setState(AKSlotState state) {
    QV_ASSERT_MAIN_THREAD();
    if (state == state_ || state_ == AKSlotStateInvalidated) return;
#ifndef NDEBUG
    NSLog("%@: state %lld -> %lld", className(), static_cast<long long>(state_), static_cast<long long>(state));
#endif
    const AKSlotState previous = state_;
    willChangeValueForKey("state");
    state_ = state;
    didChangeValueForKey("state");
    if (state == AKSlotStateRequestingAdURL) acquireInterceptorCount();
    if (previous == AKSlotStateRendering && renderingWatchdog_) {
        renderingWatchdog_->invalidate();
        renderingWatchdog_.reset();
    }
    if (endsLoad(state)) loadEnded();
}

// A load holds one count from its start; any end gives it back once.
void AKAdSlot::acquireInterceptorCount() {
    if (interceptorCounted_) return;
    interceptorCounted_ = true;
    AKMRAIDInterceptor::enableCanInitWithRequest();
}

void AKAdSlot::releaseInterceptorCount() {
    if (!interceptorCounted_) return;
    interceptorCounted_ = false;
    AKMRAIDInterceptor::disableCanInitWithRequest();
}

void AKAdSlot::loadEnded() {
    releaseInterceptorCount();
    if (!refreshDue_) return;
    // The refresh that came due during the load runs after the caller's turn,
    // unless a cancel or a new schedule superseded it meanwhile.
    dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<AKAdSlot>()] {
        if (const auto slot = weak.lock()) slot->runDueRefresh();
    });
}

void AKAdSlot::runDueRefresh() {
    if (!refreshDue_ || isMakingRequest()) return;  // another load under way keeps it due
    refreshDue_ = false;
    reloadCurrentRequest();
}

void AKAdSlot::startRenderingWatchdog() {
    if (renderingWatchdog_) renderingWatchdog_->invalidate();
    renderingWatchdog_ = ak_scheduledTimerWithTimeInterval(
        kRenderingLimitSeconds, self(),
        [](const std::shared_ptr<NSObject>& target, NSTimer&) {
            if (auto slot = std::dynamic_pointer_cast<AKAdSlot>(target)) slot->renderingLimitReached();
        },
        Value(), false);
}

// A page that never finishes (a hung sub-resource) must not hold the slot.
void AKAdSlot::renderingLimitReached() {
    renderingWatchdog_.reset();
    if (state_ != AKSlotStateRendering) return;
    if (webView_) {
        webView_->setDelegate({});  // the hung page's own end, if it ever comes, reports nothing
        webView_->stopLoading();
    }
    didFailToReceiveAdWithError(AKRequestError::errorWithCode(5, request_.get()), true, false);
}

bool AKAdSlot::isMakingRequest() const {
    switch (state_) {
    case AKSlotStateIdle:
    case AKSlotStateCorePageFailed:
    case AKSlotStateValidAd:
    case AKSlotStateFailed: return false;
    default: return true;
    }
}

bool AKAdSlot::shouldMakeRequest(const AKRequest* /*request*/) const {
    if (state_ == AKSlotStateInvalidated || isMakingRequest()) return false;
    if (!AKApplication::sharedApplication()->isAppActive()) return false;
    return AKDevice::OSIsSupported();
}

void AKAdSlot::willRequestAdURL() {
    setState(AKSlotStateRequestingAdURL);
    applicationStatistics_ = AKApplication::sharedApplication()->nextRequestStatisticsDictionaryForSlot(*this);
}

void AKAdSlot::didReceiveAdURL() { setState(AKSlotStateReceivedAdURL); }

void AKAdSlot::willFetchAdContent() {
    setState(AKSlotStateFetchingAdContent);
    if (!loadingAd_) return;
    const Value now = nowInMilliseconds();
    const auto& statistics = loadingAd_->statistics();
    const Value current = applicationStatistics_.isDictionary() ? applicationStatistics_["currts"] : Value();
    statistics->setObject(current ? current : now, "treq");
    statistics->setObject(now, "tfetch");
    if (adUnitID_ && !adUnitID_->empty()) statistics->setObject(*adUnitID_, "slotid");
    if (applicationStatistics_.isDictionary()) {
        if (const Value sequence = applicationStatistics_["seq_num"]) statistics->setObject(sequence, "seq_num");
    }
}

void AKAdSlot::didFetchAdContent() {
    if (loadingAd_) loadingAd_->statistics()->setObject(nowInMilliseconds(), "tresponse");
    const auto& application = AKApplication::sharedApplication()->statistics();
    for (const char* key : {"oar", "bas_on", "bas_off"}) application->setObject(Value(NSDecimalNumber::zero()), key);
}

void AKAdSlot::willProcessMediationResponse() {
    setState(AKSlotStateFetchingAdContent);
    if (loadingAd_) loadingAd_->statistics()->setObject(Value(true), "ismediation", true);
}

void AKAdSlot::willStartAdRendering() { setState(AKSlotStateRendering); }

void AKAdSlot::willLoadAdHTMLInWebView() { willStartAdRendering(); }

void AKAdSlot::didReceiveValidAd() {
    setState(AKSlotStateValidAd);
    pendingAdStatistics_.clear();
}

void AKAdSlot::didLoadAdHTMLInWebView() {
    finishedLoadingAdResponse(loadingAd_);
    if (webView_) webView_->setTouched(false);
    const std::uint64_t now = AKAbsoluteTime::absoluteTimeInMilliseconds();
    if (ad_) ad_->statistics()->setObject(Value(now), "tload", true);
    timeLastLoaded_ = static_cast<std::int64_t>(now);
}

void AKAdSlot::didMakeAdImpression() {
    AKApplication::sharedApplication()->statistics()->incrementNumberForKey("pimp", false);
    pingImpressionURLs();
}

void AKAdSlot::willLeaveAppDueToClick() {
    if (ad_) ad_->statistics()->setObject(Value(true), "pclb");
}

void AKAdSlot::didFailToRetrieveSDKCoreWithError(const NSErrorPtr& error) {
    setState(AKSlotStateCorePageFailed);
    adFailedToReceiveContentWithError(error);
}

void AKAdSlot::didFailToReceiveAdWithError(const NSErrorPtr& error, bool shouldReloadTimer,
                                           bool shouldCancelPendingActions) {
    setState(AKSlotStateFailed);
    loadingAd_.reset();
    AKApplication::sharedApplication()->didNotSendAdStatistics(pendingAdStatistics_);
    if (shouldReloadTimer) scheduleAdReloadTimer();
    if (shouldCancelPendingActions) cancelPendingActions();
    adFailedToReceiveContentWithError(error ? error : AKRequestError::errorWithCode(11));
}
