#pragma once
// The custom-event adapter: serves a mediation entry with a class of the
// publisher's own. The entry's credentials name the class ("class_name") and
// give a "parameter" and a "label" (each used only when it is text). For a
// banner attempt the class must declare AKCustomEventBanner, for an
// interstitial attempt AKCustomEventInterstitial (itself or through a
// superclass, ClassRegistry); the adapter makes an instance, becomes its
// delegate, hands it the parameter, the label and a targeting snapshot
// (AKCustomEventRequest) and relays its reports to the connector.
//
// Failures (domain kAKMCustomEventErrorDomain, code 1, sent as the attempt's
// failure to the connector; the last two also as publisher log lines):
//   "No class name for the Custom Event."
//   "Cannot find Custom Event class named <name>."
//   "Custom Event class <name> does not conform to the <protocol> protocol."
// A class that declares neither custom-event protocol is never made.
//
// Lifetime: the adapter owns the custom event and is the event's (weak)
// delegate; stopBeingDelegate (also run on destruction) clears the event's
// delegate, and the adapter relays nothing afterwards. An event may report
// inside its request call: that report is relayed like a later one, and the
// adapter keeps itself alive until the call returns. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/mediation/AKCustomEventBanner.h"
#include "adkit/mediation/AKCustomEventInterstitial.h"
#include "adkit/mediation/AKMAdNetworkAdapter.h"

inline constexpr const char* kAKMCustomEventErrorDomain = "ad_mediation";

class AKMAdapterCustomEvents : public AKMAdNetworkAdapting,
                               public AKCustomEventBannerDelegate,
                               public AKCustomEventInterstitialDelegate {
public:
    ~AKMAdapterCustomEvents() override;

    // ---- AKMAdNetworkAdapting ----
    void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) override;
    void getBannerWithSize(AKAdSize size) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int64_t animationType) override;
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) override;

    // ---- AKCustomEventBannerDelegate ----
    void customEventBannerDidReceiveAd(AKCustomEventBanner& event, const std::shared_ptr<UIView>& view) override;
    void customEventBannerDidFailAd(AKCustomEventBanner& event, const NSErrorPtr& error) override;
    void customEventBannerClickDidOccurInAd(AKCustomEventBanner& event, const std::shared_ptr<UIView>& view) override;
    void customEventBannerWillPresentModal(AKCustomEventBanner& event) override;
    void customEventBannerWillDismissModal(AKCustomEventBanner& event) override;
    void customEventBannerDidDismissModal(AKCustomEventBanner& event) override;
    void customEventBannerWillLeaveApplication(AKCustomEventBanner& event) override;
    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() override;

    // ---- AKCustomEventInterstitialDelegate ----
    void customEventInterstitialDidReceiveAd(AKCustomEventInterstitial& event,
                                             const std::shared_ptr<NSObject>& ad) override;
    void customEventInterstitialDidFailAd(AKCustomEventInterstitial& event, const NSErrorPtr& error) override;
    void customEventInterstitialWillPresent(AKCustomEventInterstitial& event) override;
    void customEventInterstitialWillDismiss(AKCustomEventInterstitial& event) override;
    void customEventInterstitialDidDismiss(AKCustomEventInterstitial& event) override;
    void customEventInterstitialWillLeaveApplication(AKCustomEventInterstitial& event) override;

private:
    // One attempt's class, texts, targeting snapshot and new custom event.
    struct Attempt {
        std::string className;
        std::optional<std::string> parameter;
        std::optional<std::string> label;
        std::shared_ptr<AKCustomEventRequest> request;
        std::shared_ptr<NSObject> object;
    };
    // nullopt when the attempt already failed (or the connector is gone).
    std::optional<Attempt> prepareAttempt(bool isInterstitial);
    // The attempt's object as the protocol; null (the attempt failed) when it does not conform.
    template <class Protocol>
    std::shared_ptr<Protocol> conformingEvent(const Attempt& attempt, const char* protocol, bool isInterstitial);
    // A new instance of the credentials' class when it declares a custom-event
    // protocol; otherwise the attempt fails and the answer is null.
    std::shared_ptr<NSObject> customEventWithCredentials(bool isInterstitial);
    void callBackToConnectorWithError(const std::string& message, bool isInterstitial);
    void failNotConforming(const std::string& className, const char* protocol, bool isInterstitial);
    // The connector while the adapter has not stopped.
    std::shared_ptr<AKMAdNetworkConnector> activeConnector() const;
    // The connector a report of `event` goes to: null when the event is not
    // this adapter's or the adapter stopped.
    std::shared_ptr<AKMAdNetworkConnector> relayTo(const AKCustomEventBanner& event) const;
    std::shared_ptr<AKMAdNetworkConnector> relayTo(const AKCustomEventInterstitial& event) const;

    std::weak_ptr<AKMAdNetworkConnector> connector_;
    std::shared_ptr<AKCustomEventBanner> customEventBanner_;
    std::shared_ptr<AKCustomEventInterstitial> customEventInterstitial_;
    bool stopped_ = false;
};

// Registers AKMAdapterCustomEvents as an adapter class, and the two
// custom-event protocols.
void AKMAdapterCustomEventsRegister();
