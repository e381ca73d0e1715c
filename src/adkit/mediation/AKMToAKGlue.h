#pragma once
// The slot's side of mediation: AKMWaterfallGlue, the glue a slot gets once
// mediation is installed (AKMToAKGlue::make, AKSlotServices.h). It owns one
// waterfall (AKMAdManager) and is its delegate: it checks that a mediation
// response fits the requested ad type before the waterfall starts, turns the
// waterfall's results and the networks' user events into slot events, answers
// adapters' targeting questions from the slot's AKRequest, and keeps the
// per-attempt timings in the slot's statistics.
//
// Every requestAdWithType makes the glue the waterfall's delegate again, so a
// cancelled mediation (a type change mid-load, a failure that cancels pending
// actions) does not leave later responses of the slot unheard. An interstitial
// that cannot be presented (no network delivered it, or its adapter is gone)
// reports AKRequestError code 11 to the slot.
//
// Main thread only. The slot owns the glue; the glue holds the slot and the
// mediated interstitial weakly.
#include <memory>

#include "adkit/mediation/AKMAdManager.h"
#include "adkit/requests/AKSlotServices.h"

class AKRequest;
class AKSlotStatistics;

class AKMWaterfallGlue : public AKMToAKGlue, public AKMDelegate {
public:
    static std::shared_ptr<AKMWaterfallGlue> make();
    ~AKMWaterfallGlue() override;
    std::string className() const override { return "AKMToAKGlue"; }

    // ---- The slot's side ----
    void requestAdWithType(const AKAdTypePtr& type, const std::shared_ptr<AKMConfig>& config) override;
    bool changeAdTypeTo(const AKAdTypePtr& type) override;
    void cancel() override;
    std::shared_ptr<NSObject> mediatedInterstitial() const override { return mediatedInterstitial_.lock(); }
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) override;
    std::optional<std::string> receivedAdapterClassName() const override;
    const std::shared_ptr<AKMAdManager>& mediationManager() const { return mediationManager_; }
    const AKMMediationConfigPtr& mediationConfig() const { return mediationConfig_; }

    // The consistency of the configuration's type with the requested one; a
    // mismatch fails the slot's load (reload timer rescheduled).
    bool hasConsistentMediationConfigForAdType(const AKAdTypePtr& requested);

    // ---- AKMDelegate ----
    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() override;
    void akmDidReceiveAd(const std::shared_ptr<UIView>& view) override;
    void akmDidReceiveInterstitial(const std::shared_ptr<NSObject>& interstitial) override;
    void akmDidFailToReceiveAdWithError(const NSErrorPtr& error) override;
    void akmBannerAdRefreshFailedWithError(const NSErrorPtr& error) override;
    void akmWillPresentFullScreenModal() override;
    void akmWillDismissFullScreenModal() override;
    void akmDidDismissFullScreenModal() override;
    void akmWillPresentInterstitial() override;
    void akmWillDismissInterstitial() override;
    void akmDidDismissInterstitial() override;
    void akmWillLeaveApplication() override;
    bool akmTestMode() override;
    std::shared_ptr<AKAdNetworkExtras> networkExtrasFor(const std::string& extrasClass) override;
    std::int64_t userGender() override;
    std::optional<Date> userBirthday() override;
    AKLocationPtr userLocation() override;
    Value userKeywords() override;
    std::optional<bool> childDirectedTreatment() override;
    void startTimingAdapter() override;
    void endTimingAdapterWithExitCode(long exitCode) override;
    void resetTimingAdapters() override;
    std::optional<std::string> adapterDurationsParameter() override;
    std::optional<std::string> adapterExitCodesParameter() override;
    int mediationNestingDepth() override;

private:
    std::shared_ptr<AKRequest> slotRequest() const;
    std::shared_ptr<AKSlotStatistics> slotStatistics() const;

    std::weak_ptr<NSObject> mediatedInterstitial_;
    std::shared_ptr<AKMAdManager> mediationManager_ = AKMAdManager::make();
    AKMMediationConfigPtr mediationConfig_;
};

// Installs mediation: the configuration factory, the glue, the library's three
// adapters and the list of available adapters. Runs once, at start-up.
void AKMediationInstall();
