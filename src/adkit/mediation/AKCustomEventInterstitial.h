#pragma once
// Custom-event interstitials: the protocol a publisher's own interstitial
// class implements to serve a mediation entry, and the delegate protocol
// through which it reports (implemented by the custom-event adapter,
// AKMAdapterCustomEvents.h).
//
// A class serves interstitials when it registers with ClassRegistry declaring
// kAKCustomEventInterstitialProtocol (itself or through a superclass) and its
// instances derive from AKCustomEventInterstitial. Call order: the adapter
// sets the delegate, calls requestInterstitialAd once (the event may report
// inside that call), and presentFromRootViewController when the publisher
// shows the ad. The delegate is held weakly and cleared when the adapter
// stops. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class AKCustomEventRequest;
class AKCustomEventInterstitial;
class UIViewController;

inline constexpr const char* kAKCustomEventInterstitialProtocol = "AKCustomEventInterstitial";

// What a custom-event interstitial reports to (all required).
class AKCustomEventInterstitialDelegate {
public:
    virtual ~AKCustomEventInterstitialDelegate() = default;
    // `ad` is the event's own interstitial object, handed on unread.
    virtual void customEventInterstitialDidReceiveAd(AKCustomEventInterstitial& event,
                                                     const std::shared_ptr<NSObject>& ad) = 0;
    virtual void customEventInterstitialDidFailAd(AKCustomEventInterstitial& event, const NSErrorPtr& error) = 0;
    virtual void customEventInterstitialWillPresent(AKCustomEventInterstitial& event) = 0;
    virtual void customEventInterstitialWillDismiss(AKCustomEventInterstitial& event) = 0;
    virtual void customEventInterstitialDidDismiss(AKCustomEventInterstitial& event) = 0;
    virtual void customEventInterstitialWillLeaveApplication(AKCustomEventInterstitial& event) = 0;
};

// What a publisher's interstitial class implements (all required).
class AKCustomEventInterstitial {
public:
    virtual ~AKCustomEventInterstitial() = default;
    virtual void requestInterstitialAd(const std::optional<std::string>& parameter,
                                       const std::optional<std::string>& label,
                                       const std::shared_ptr<AKCustomEventRequest>& request) = 0;
    virtual void presentFromRootViewController(const std::shared_ptr<UIViewController>& root) = 0;
    // The delegate (named for its kind, so that one class can implement both
    // custom-event protocols); held weakly, null clears it.
    virtual std::shared_ptr<AKCustomEventInterstitialDelegate> interstitialDelegate() const = 0;
    virtual void setDelegate(const std::shared_ptr<AKCustomEventInterstitialDelegate>& delegate) = 0;
};
