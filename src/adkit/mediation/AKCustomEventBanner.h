#pragma once
// Custom-event banners: the protocol a publisher's own banner class implements
// to serve a mediation entry, and the delegate protocol through which it
// reports (implemented by the custom-event adapter, AKMAdapterCustomEvents.h).
//
// A class serves banners when it registers with ClassRegistry declaring
// kAKCustomEventBannerProtocol (itself or through a superclass) and its
// instances derive from AKCustomEventBanner. Call order: the adapter sets the
// delegate, then calls requestBannerAd once; the event then reports one
// result (received or failed), later user events, and may report further
// banners (its own refreshes). It may report inside requestBannerAd already.
// The delegate is held weakly and cleared when the adapter stops; an event
// with no delegate reports nothing. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKAdSize.h"
#include "platform/foundation/NSError.h"

class AKCustomEventRequest;
class AKCustomEventBanner;
class UIView;
class UIViewController;

inline constexpr const char* kAKCustomEventBannerProtocol = "AKCustomEventBanner";

// What a custom-event banner reports to (all required).
class AKCustomEventBannerDelegate {
public:
    virtual ~AKCustomEventBannerDelegate() = default;
    virtual void customEventBannerDidReceiveAd(AKCustomEventBanner& event, const std::shared_ptr<UIView>& view) = 0;
    virtual void customEventBannerDidFailAd(AKCustomEventBanner& event, const NSErrorPtr& error) = 0;
    virtual void customEventBannerClickDidOccurInAd(AKCustomEventBanner& event, const std::shared_ptr<UIView>& view) = 0;
    virtual void customEventBannerWillPresentModal(AKCustomEventBanner& event) = 0;
    virtual void customEventBannerWillDismissModal(AKCustomEventBanner& event) = 0;
    virtual void customEventBannerDidDismissModal(AKCustomEventBanner& event) = 0;
    virtual void customEventBannerWillLeaveApplication(AKCustomEventBanner& event) = 0;
    virtual std::shared_ptr<UIViewController> viewControllerForPresentingModalView() = 0;
};

// What a publisher's banner class implements (all required).
class AKCustomEventBanner {
public:
    virtual ~AKCustomEventBanner() = default;
    // `parameter` and `label` are the entry's texts (nullopt when absent or not text).
    virtual void requestBannerAd(AKAdSize adSize, const std::optional<std::string>& parameter,
                                 const std::optional<std::string>& label,
                                 const std::shared_ptr<AKCustomEventRequest>& request) = 0;
    // The delegate (named for its kind, so that one class can implement both
    // custom-event protocols); held weakly, null clears it.
    virtual std::shared_ptr<AKCustomEventBannerDelegate> bannerDelegate() const = 0;
    virtual void setDelegate(const std::shared_ptr<AKCustomEventBannerDelegate>& delegate) = 0;
};
