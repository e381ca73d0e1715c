#include "adkit/mediation/AKMToAKGlue.h"

#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKSlotStatistics.h"
#include "adkit/rendering/AKViewController.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"

std::shared_ptr<AKMWaterfallGlue> AKMWaterfallGlue::make() {
    auto glue = std::make_shared<AKMWaterfallGlue>();
    glue->mediationManager_->setDelegate(glue);
    return glue;
}

AKMWaterfallGlue::~AKMWaterfallGlue() {
    mediationManager_->setDelegate(nullptr);
    mediationManager_->cancelPendingActions();
}

// ---- The slot's side -----------------------------------------------------------------------

void AKMWaterfallGlue::requestAdWithType(const AKAdTypePtr& type, const std::shared_ptr<AKMConfig>& config) {
    QV_ASSERT_MAIN_THREAD();
    mediationConfig_ = std::dynamic_pointer_cast<AKMMediationConfig>(config);
    mediationManager_->setDelegate(std::dynamic_pointer_cast<AKMDelegate>(self()));
    if (hasConsistentMediationConfigForAdType(type)) mediationManager_->mediateForAdType(type, mediationConfig_);
}

bool AKMWaterfallGlue::hasConsistentMediationConfigForAdType(const AKAdTypePtr& requested) {
    const AKAdTypePtr configured = mediationConfig_ ? mediationConfig_->adType() : nullptr;
    NSErrorPtr error;
    if (!requested) {
        error = AKRequestError::errorWithCode(0, format("Invalid requested AKAdType: %@.", nullptr));
    } else if (!configured) {
        error = AKRequestError::errorWithCode(7, format("Invalid mediation configuration AKAdType: %@.", nullptr));
    } else if (requested->isInterstitial() && !configured->isInterstitial()) {
        error = AKRequestError::errorWithCode(
            10, format("Unable to request an interstitial when mediation configuration was for %@.",
                       AKAdSizeDescription(configured->adSize())));
    } else if (!requested->isInterstitial() && configured->isInterstitial()) {
        error = AKRequestError::errorWithCode(
            10, format("Unable to request %@ when mediation configuration was for an interstitial.",
                       AKAdSizeDescription(requested->adSize())));
    } else if (!requested->isInterstitial() && !AKAdSizeIsValid(requested->adSize())) {
        error = AKRequestError::errorWithCode(
            10, format("Unable to request ad with invalid size: %@.", AKAdSizeDescription(requested->adSize())));
    }
    if (!error) return true;
    if (auto s = slot()) s->didFailToReceiveAdWithError(error, true, false);
    return false;
}

bool AKMWaterfallGlue::changeAdTypeTo(const AKAdTypePtr& type) {
    const auto s = slot();
    const bool slotInterstitial = s && s->adType() && s->adType()->isInterstitial();
    if (slotInterstitial || (type && type->isInterstitial())) return false;
    return mediationManager_->changeAdTypeTo(type);
}

void AKMWaterfallGlue::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) {
    const auto s = slot();
    if (!s || !s->adType() || !s->adType()->isInterstitial()) return;
    if (!mediationManager_->presentInterstitialFromRootViewController(root))
        s->adFailedToReceiveContentWithError(AKRequestError::errorWithCode(11));
}

void AKMWaterfallGlue::cancel() {
    mediationManager_->setDelegate(nullptr);
    mediationManager_->cancel();
}

std::optional<std::string> AKMWaterfallGlue::receivedAdapterClassName() const {
    const auto& received = mediationManager_->receivedConnector();
    return received ? received->networkConfig()->adapterClass() : std::nullopt;
}

// ---- Results and user events ---------------------------------------------------------------

std::shared_ptr<UIViewController> AKMWaterfallGlue::viewControllerForPresentingModalView() {
    const auto s = slot();
    const auto delegate = s ? s->slotDelegate() : nullptr;
    return delegate ? delegate->rootViewController() : nullptr;
}

void AKMWaterfallGlue::akmDidReceiveAd(const std::shared_ptr<UIView>& view) {
    const auto s = slot();
    if (!s) return;
    s->setViewForAdUsingView(view);
    s->didReceiveValidAd();
    s->adFinishedLoadingContent();
}

void AKMWaterfallGlue::akmDidReceiveInterstitial(const std::shared_ptr<NSObject>& interstitial) {
    mediatedInterstitial_ = interstitial;
    const auto s = slot();
    if (!s) return;
    s->didReceiveValidAd();
    s->adFinishedLoadingContent();
}

void AKMWaterfallGlue::akmDidFailToReceiveAdWithError(const NSErrorPtr& error) {
    if (auto s = slot()) s->didFailToReceiveAdWithError(error, false, false);
}

void AKMWaterfallGlue::akmBannerAdRefreshFailedWithError(const NSErrorPtr& error) {
    const auto s = slot();
    if (!s) return;
    s->mediatedAdNetworkAutoRefreshed();
    s->adFailedToReceiveContentWithError(error);
}

void AKMWaterfallGlue::akmWillPresentFullScreenModal() {
    NSNotificationCenter::defaultCenter()->postNotificationName(kAdModalViewControllerWillPresentFullScreen);
    if (auto s = slot()) s->adWillPresentScreen();
}

void AKMWaterfallGlue::akmWillDismissFullScreenModal() {
    if (auto s = slot()) s->adWillDismissScreen();
}

void AKMWaterfallGlue::akmDidDismissFullScreenModal() {
    NSNotificationCenter::defaultCenter()->postNotificationName(kAdModalViewControllerDidDismissFullScreen);
    if (auto s = slot()) s->adDidDismissScreen(true);
}

void AKMWaterfallGlue::akmWillPresentInterstitial() { akmWillPresentFullScreenModal(); }
void AKMWaterfallGlue::akmWillDismissInterstitial() { akmWillDismissFullScreenModal(); }
void AKMWaterfallGlue::akmDidDismissInterstitial() { akmDidDismissFullScreenModal(); }

void AKMWaterfallGlue::akmWillLeaveApplication() {
    const auto s = slot();
    if (!s) return;
    s->adWillLeaveApplication();
    s->willLeaveAppDueToClick();
}

// ---- Targeting -----------------------------------------------------------------------------

std::shared_ptr<AKRequest> AKMWaterfallGlue::slotRequest() const {
    const auto s = slot();
    return s ? s->request() : nullptr;
}

bool AKMWaterfallGlue::akmTestMode() {
    const auto request = slotRequest();
    return request && request->isATestDevice();
}

std::shared_ptr<AKAdNetworkExtras> AKMWaterfallGlue::networkExtrasFor(const std::string& extrasClass) {
    const auto request = slotRequest();
    return request ? request->adNetworkExtrasFor(extrasClass) : nullptr;
}

std::int64_t AKMWaterfallGlue::userGender() {
    const auto request = slotRequest();
    return request ? request->gender() : 0;
}

std::optional<Date> AKMWaterfallGlue::userBirthday() {
    const auto request = slotRequest();
    return request ? request->birthday() : std::nullopt;
}

AKLocationPtr AKMWaterfallGlue::userLocation() {
    const auto request = slotRequest();
    return request ? request->location() : nullptr;
}

Value AKMWaterfallGlue::userKeywords() {
    const auto request = slotRequest();
    return request ? request->keywords() : Value();
}

std::optional<bool> AKMWaterfallGlue::childDirectedTreatment() {
    const auto request = slotRequest();
    return request ? request->childDirectedTreatment() : std::nullopt;
}

int AKMWaterfallGlue::mediationNestingDepth() {
    const auto s = slot();
    return s ? s->mediationNestingDepth() : 0;
}

// ---- Timings -------------------------------------------------------------------------------

std::shared_ptr<AKSlotStatistics> AKMWaterfallGlue::slotStatistics() const {
    const auto s = slot();
    return s ? s->slotStats() : nullptr;
}

void AKMWaterfallGlue::startTimingAdapter() {
    if (auto stats = slotStatistics()) stats->startTimingAdapter();
}

void AKMWaterfallGlue::endTimingAdapterWithExitCode(long exitCode) {
    if (auto stats = slotStatistics()) stats->endTimingAdapterWithExitCode(exitCode);
}

void AKMWaterfallGlue::resetTimingAdapters() {
    if (auto stats = slotStatistics()) stats->resetTimingAdapters();
}

std::optional<std::string> AKMWaterfallGlue::adapterDurationsParameter() {
    const auto stats = slotStatistics();
    return stats ? stats->adapterDurationsParameter() : std::nullopt;
}

std::optional<std::string> AKMWaterfallGlue::adapterExitCodesParameter() {
    const auto stats = slotStatistics();
    return stats ? stats->adapterExitCodesParameter() : std::nullopt;
}
