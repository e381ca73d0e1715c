#pragma once
// The two parties a mediation network connector reports to:
//   - AKMDelegate, the slot's mediation glue: user events, the targeting of
//     the slot's request and the per-attempt timings;
//   - AKMAdManaging, the waterfall (AKMAdManager): the result of the
//     connector's attempt.
// Connectors hold both without owning them. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKLocation.h"
#include "adkit/requests/AKAdNetExtras.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

class AKMAdNetworkConnector;
class UIView;
class UIViewController;

class AKMDelegate {
public:
    virtual ~AKMDelegate() = default;

    virtual std::shared_ptr<UIViewController> viewControllerForPresentingModalView() = 0;
    // The waterfall's results (from AKMAdManager).
    virtual void akmDidReceiveAd(const std::shared_ptr<UIView>& view) = 0;
    virtual void akmDidReceiveInterstitial(const std::shared_ptr<NSObject>& interstitial) = 0;
    virtual void akmDidFailToReceiveAdWithError(const NSErrorPtr& error) = 0;
    virtual void akmBannerAdRefreshFailedWithError(const NSErrorPtr& error) = 0;
    virtual void akmWillPresentFullScreenModal() = 0;
    virtual void akmWillDismissFullScreenModal() = 0;
    virtual void akmDidDismissFullScreenModal() = 0;
    virtual void akmWillPresentInterstitial() = 0;
    virtual void akmWillDismissInterstitial() = 0;
    virtual void akmDidDismissInterstitial() = 0;
    virtual void akmWillLeaveApplication() = 0;
    virtual bool akmTestMode() = 0;
    virtual std::shared_ptr<AKAdNetworkExtras> networkExtrasFor(const std::string& extrasClass) = 0;
    virtual std::int64_t userGender() = 0;
    virtual std::optional<Date> userBirthday() = 0;
    virtual AKLocationPtr userLocation() = 0;
    virtual Value userKeywords() = 0;
    virtual std::optional<bool> childDirectedTreatment() = 0;
    // The per-attempt timings: one started per entry taken from the queue,
    // ended with the attempt's exit code.
    virtual void startTimingAdapter() = 0;
    virtual void endTimingAdapterWithExitCode(long exitCode) = 0;
    virtual void resetTimingAdapters() = 0;
    // The attempts' durations and exit codes, comma-joined; nullopt when none was timed.
    virtual std::optional<std::string> adapterDurationsParameter() = 0;
    virtual std::optional<std::string> adapterExitCodesParameter() = 0;
    // How deep the slot's ads are nested in mediation (see AKAdSlot).
    virtual int mediationNestingDepth() { return 0; }
};

// What connectors see of the waterfall.
class AKMAdManaging {
public:
    virtual ~AKMAdManaging() = default;
    // The glue the waterfall reports to (null once cleared).
    virtual std::shared_ptr<AKMDelegate> delegate() const = 0;
    // Whether a result of this connector is taken now; when not, the connector
    // forwards nothing and pings nothing for it.
    virtual bool acceptsAnswersFrom(const AKMAdNetworkConnector& /*connector*/) const { return true; }
    virtual void adRequestReturnsFromConnectorWithView(AKMAdNetworkConnector& connector,
                                                       const std::shared_ptr<UIView>& view) = 0;
    virtual void adRequestReturnsFromConnectorWithInterstitial(AKMAdNetworkConnector& connector,
                                                               const std::shared_ptr<NSObject>& interstitial) = 0;
    virtual void adRequestFailedFromConnectorWithError(AKMAdNetworkConnector& connector, const NSErrorPtr& error) = 0;
};
