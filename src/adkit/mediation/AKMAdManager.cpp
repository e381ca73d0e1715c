#include "adkit/mediation/AKMAdManager.h"

#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKWeakTimer.h"
#include "adkit/mediation/AKMUtilities.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSThread.h"

namespace {
constexpr long kExitDelivered = 0, kExitNoFill = 1, kExitError = 2, kExitTimeout = 3, kExitNoAdapter = 4;

// A connector the waterfall lets go of may be inside a call of its own adapter
// (a failure reported from inside getBannerWithSize:): it is released on a
// later turn of the main run loop, after that call returned.
void releaseLater(std::shared_ptr<AKMAdNetworkConnector> connector) {
    if (connector) NSRunLoop::mainRunLoop()->performBlock([connector = std::move(connector)]() mutable { connector.reset(); });
}
}  // namespace

std::shared_ptr<AKMAdManager> AKMAdManager::make() { return std::make_shared<AKMAdManager>(); }

AKMAdManager::~AKMAdManager() {
    invalidateTimeoutTimer();
    detach(requestingConnector_);
    detach(receivedConnector_);
}

// ---- The waterfall -------------------------------------------------------------------------

void AKMAdManager::mediateForAdType(const AKAdTypePtr& adType, const AKMMediationConfigPtr& config) {
    QV_ASSERT_MAIN_THREAD();
    adType_ = adType;
    config_ = config;
    if (requestInProgress_) return;
    adNetworkConfigQueue_.clear();
    if (config_) adNetworkConfigQueue_.assign(config_->adNetworkConfigs().begin(), config_->adNetworkConfigs().end());
    if (auto d = delegate()) d->resetTimingAdapters();
    makeAdRequest();
}

void AKMAdManager::makeAdRequest() {
    if (!NSThread::isMainThread()) {
        dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<AKMAdManager>()] {
            if (auto manager = weak.lock()) manager->makeAdRequest();
        });
        return;
    }
    const auto entry = dequeueAdNetworkConfig();
    if (!entry) {
        invalidateTimeoutTimer();
        reportNoFill();
        notifyDelegateOfFailureToReceiveWithError(AKRequestError::errorWithCode(9));
        return;
    }
    requestInProgress_ = true;
    // Held for the call: an adapter may answer, and be let go of, inside it.
    const auto connector = AKMAdNetworkConnector::make(adType_, config_, entry);
    connector->setGadmDelegate(delegate());
    connector->setAdManager(self<AKMAdManager>());
    releaseLater(std::exchange(requestingConnector_, connector));
    startTimeoutTimer();
    connector->getAdFromAdapterWithType(adType_);
}

AKMAdNetworkConfigPtr AKMAdManager::dequeueAdNetworkConfig() {
    const auto d = delegate();
    const bool nestedTooDeep = d && d->mediationNestingDepth() >= kMaximumNestingDepth;
    while (!adNetworkConfigQueue_.empty()) {
        auto entry = std::move(adNetworkConfigQueue_.front());
        adNetworkConfigQueue_.pop_front();
        if (d) d->startTimingAdapter();
        const auto& adapterClass = entry->adapterClass();
        if (adapterClass && !(nestedTooDeep && *adapterClass == AKMAdNetworkAdapter::kAdKitAdapterClassName))
            return entry;
        endTiming(kExitNoAdapter);
    }
    return nullptr;
}

void AKMAdManager::startTimeoutTimer() {
    invalidateTimeoutTimer();
    const double interval = config_ ? config_->adNetworkTimeout() : AKMMediationConfig::kDefaultAdNetworkTimeout;
    adNetworkTimeoutTimer_ = ak_scheduledTimerWithTimeInterval(
        interval, self(),
        [connector = std::weak_ptr(requestingConnector_)](const std::shared_ptr<NSObject>& target, NSTimer&) {
            if (auto manager = std::dynamic_pointer_cast<AKMAdManager>(target))
                manager->adNetworkTimeoutHandler(connector.lock());
        },
        Value(), false);
}

void AKMAdManager::invalidateTimeoutTimer() {
    if (adNetworkTimeoutTimer_) adNetworkTimeoutTimer_->invalidate();
    adNetworkTimeoutTimer_.reset();
}

void AKMAdManager::adNetworkTimeoutHandler(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    QV_ASSERT_MAIN_THREAD();
    if (!connector || connector != requestingConnector_) return;  // a timer of an attempt already over
    endTiming(kExitTimeout);
    resetRequestingState();
    connector->askAdapterToStopBeingDelegate();
    if (connector != receivedConnector_) detach(connector);
    releaseLater(std::move(requestingConnector_));
    makeAdRequest();
}

void AKMAdManager::resetRequestingState() {
    invalidateTimeoutTimer();
    requestInProgress_ = false;
}

// ---- Answers of connectors -----------------------------------------------------------------

bool AKMAdManager::acceptsAnswersFrom(const AKMAdNetworkConnector& connector) const {
    // While an attempt runs, only its own connector is heard: a refresh of the
    // ad shown before must not end, time or detach the newer attempt.
    if (requestInProgress_) return &connector == requestingConnector_.get();
    return &connector == requestingConnector_.get() || &connector == receivedConnector_.get();
}

bool AKMAdManager::shouldProcessResponseFromConnector(const AKMAdNetworkConnector& connector) {
    if (!acceptsAnswersFrom(connector)) return false;
    if (&connector == requestingConnector_.get()) resetRequestingState();
    return true;
}

void AKMAdManager::adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector& connector,
                                                         const std::shared_ptr<UIView>& view) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldProcessResponseFromConnector(connector)) return;
    endTiming(kExitDelivered);
    if (&connector != receivedConnector_.get()) {
        detach(receivedConnector_);
        releaseLater(std::exchange(receivedConnector_, connector.self<AKMAdNetworkConnector>()));
    }
    if (auto d = delegate()) d->akmDidReceiveAd(view);
}

void AKMAdManager::adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector& connector,
                                                                 const std::shared_ptr<NSObject>& interstitial) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldProcessResponseFromConnector(connector)) return;
    if (&connector != receivedConnector_.get()) {
        endTiming(kExitDelivered);
        detach(receivedConnector_);
        releaseLater(std::exchange(receivedConnector_, connector.self<AKMAdNetworkConnector>()));
    }
    if (auto d = delegate()) d->akmDidReceiveInterstitial(interstitial);
    if (&connector == requestingConnector_.get()) releaseLater(std::move(requestingConnector_));
}

void AKMAdManager::adRequestFailedFromConnectorWithError(AKMAdNetworkConnector& connector, const NSErrorPtr& error) {
    QV_ASSERT_MAIN_THREAD();
    if (!shouldProcessResponseFromConnector(connector)) return;
    const bool hadDelivered = connector.didNetworkRefresh();
    if (&connector == requestingConnector_.get()) {
        if (requestingConnector_ != receivedConnector_) detach(requestingConnector_);
        releaseLater(std::move(requestingConnector_));
    }
    if (!(adType_ && adType_->isInterstitial()) && hadDelivered) {
        // A network that had delivered failed to refresh its banner: the ad stays, no other network is tried.
        const auto refreshError =
            AKRequestError::errorWithCode(3, error ? std::optional(error->localizedDescription()) : std::nullopt);
        if (auto d = delegate()) d->akmBannerAdRefreshFailedWithError(refreshError);
        return;
    }
    updateAdapterTimingsForError(error);
    scheduleNextStep();
}

void AKMAdManager::scheduleNextStep() {
    // On the main queue, not a timer: a step must not wait for the clock to move.
    dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<AKMAdManager>(), step = ++pendingStep_] {
        if (auto manager = weak.lock(); manager && manager->pendingStep_ == step) manager->makeAdRequest();
    });
}

void AKMAdManager::updateAdapterTimingsForError(const NSErrorPtr& error) {
    const bool noFill = error && error->domain() == "com.adkit.ads" && error->code() == 1;
    endTiming(noFill ? kExitNoFill : kExitError);
}

void AKMAdManager::endTiming(long exitCode) {
    if (auto d = delegate()) d->endTimingAdapterWithExitCode(exitCode);
}

void AKMAdManager::notifyDelegateOfFailureToReceiveWithError(const NSErrorPtr& error) {
    if (auto d = delegate()) d->akmDidFailToReceiveAdWithError(error);
}

void AKMAdManager::reportNoFill() {
    const auto d = delegate();
    const auto durations = d ? d->adapterDurationsParameter() : std::nullopt;
    const auto exitCodes = d ? d->adapterExitCodesParameter() : std::nullopt;
    if (d) d->resetTimingAdapters();
    if (!config_) return;
    AKMUtilities::trackMediationURLsFromTemplates({config_->noFillURLs(), AKMUtilities::defaultNoFillTemplate(),
                                                   std::nullopt, std::nullopt, config_->qdata(), config_->appKey(),
                                                   false, durations, exitCodes});
}

// ---- The glue's side -----------------------------------------------------------------------

bool AKMAdManager::changeAdTypeTo(const AKAdTypePtr& type) {
    adType_ = type;
    const auto adapter = receivedConnector_ ? receivedConnector_->adapter() : nullptr;
    const auto& className = receivedConnector_ ? receivedConnector_->networkConfig()->adapterClass() : std::nullopt;
    if (!adapter || !className || !ClassRegistry::instancesRespondTo(*className, kAKMChangeAdSizeOperation))
        return false;
    adapter->changeAdSizeTo(type ? type->adSize() : AKAdSize{CGSizeZero, 0});
    return true;
}

bool AKMAdManager::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    const auto adapter = receivedConnector_ ? receivedConnector_->adapter() : nullptr;
    if (!adapter) return false;
    adapter->presentInterstitialFromRootViewController(root);
    return true;
}

void AKMAdManager::setDelegate(const std::shared_ptr<AKMDelegate>& delegate) {
    delegate_ = delegate;
    if (requestingConnector_) requestingConnector_->setGadmDelegate(delegate);
    if (receivedConnector_) receivedConnector_->setGadmDelegate(delegate);
}

void AKMAdManager::cancelPendingActions() {
    ++pendingStep_;
    invalidateTimeoutTimer();
}

void AKMAdManager::cancel() {
    QV_ASSERT_MAIN_THREAD();
    cancelPendingActions();
    for (const auto& connector : {requestingConnector_, receivedConnector_}) {
        if (!connector) continue;
        connector->askAdapterToStopBeingDelegate();
        detach(connector);
    }
    // Idle again: the next response starts a waterfall of its own.
    requestInProgress_ = false;
    adNetworkConfigQueue_.clear();
    releaseLater(std::move(requestingConnector_));
}

void AKMAdManager::detach(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    if (!connector) return;
    connector->setGadmDelegate(nullptr);
    connector->setAdManager(nullptr);
}
