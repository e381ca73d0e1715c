#pragma once
// The mediation adapter of the library's own ad network. For a banner attempt
// it makes an AKBannerView of the asked size, for an interstitial attempt an
// AKInterstitial, loads it with a request built from the connector's targeting
// and the entry's data, and turns that ad object's delegate calls into
// connector events.
//
// The request (`request`): test devices "Simulator" and the device identifier
// in test mode; the child-directed flag, gender, birthday; the location (the
// precise one, else its description); a copy of the keywords; additional
// parameters: the publisher's AKAdNetExtras parameters, then "mad_hac" (text
// only), "gw" = "1", the entry's "extras" pairs whose key and value are both
// text, and the entry's "ad" under "_ad" (the nested slot then renders it
// without asking the core page); private mediation extras "man" (each entry's
// adapter-name list in waterfall order, null for an entry without one) and
// "mcan" (this class's name).
//
// The nested ad object: its ad unit is the entry's "pubid" (text only), its
// delegate this adapter, its root view controller the connector's; a banner is
// marked as made on a mediation request (its slot never refreshes). Its slot
// takes the auto-click protection of the mediating slot's opener and a
// mediation nesting depth one more than the mediating slot's (1 when the
// mediating slot is unknown), which lets the waterfall stop nesting.
//
// Lifetime: the connector owns the adapter (held weakly here), the adapter
// owns the ad object it made. A report to the connector may make the waterfall
// drop the connector and with it this adapter: every call that may report
// keeps the adapter alive until it returns. After stopBeingDelegate (also run
// on destruction) the ad object's calls no longer reach the adapter.
//
// Main thread only.
#include <functional>
#include <memory>

#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/requests/AKBannerViewDelegate.h"
#include "adkit/requests/AKInterstitialDelegate.h"

class AKAdSlot;
class AKBannerView;
class AKInterstitial;
class AKRequest;

class AKMAdapterAdKitAdNetAds : public AKMAdNetworkAdapting, public AKBannerViewDelegate, public AKInterstitialDelegate {
public:
    static constexpr const char* kNetworkExtrasClassName = "AKAdNetExtras";
    static constexpr const char* kMediationFlagKey = "gw";
    static constexpr const char* kHacCredential = "mad_hac";
    static constexpr const char* kAdKey = "_ad";

    ~AKMAdapterAdKitAdNetAds() override;
    std::string className() const override { return AKMAdNetworkAdapter::kAdKitAdapterClassName; }

    // Class operations: the library's version, and the extras class it reads.
    static const std::string& adapterVersion();
    static std::string networkExtrasClass() { return kNetworkExtrasClassName; }

    // ---- AKMAdNetworkAdapting ----
    void initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) override;
    void getBannerWithSize(AKAdSize size) override;
    void getInterstitial() override;
    void stopBeingDelegate() override;
    bool isBannerAnimationOK(std::int64_t /*animationType*/) override { return true; }
    void presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>& root) override;
    void changeAdSizeTo(AKAdSize size) override;

    // The request for the nested ad object (a plain request without a connector).
    std::shared_ptr<AKRequest> request() const;
    // The slot a connector mediates for: its manager's delegate when that is a
    // slot's glue; null otherwise (not a connector, detached, another delegate).
    static std::shared_ptr<AKAdSlot> slotFromConnector(const std::shared_ptr<NSObject>& connector);

    const std::shared_ptr<AKBannerView>& banner() const { return banner_; }
    const std::shared_ptr<AKInterstitial>& interstitial() const { return interstitial_; }

    // ---- AKBannerViewDelegate ----
    void adViewDidReceiveAd(AKBannerView& banner) override;
    void adViewDidFailToReceiveAdWithError(AKBannerView& banner, const NSErrorPtr& error) override;
    void adViewWillPresentScreen(AKBannerView& banner) override;
    void adViewWillDismissScreen(AKBannerView& banner) override;
    void adViewDidDismissScreen(AKBannerView& banner) override;
    void adViewWillLeaveApplication(AKBannerView& banner) override;

    // ---- AKInterstitialDelegate ----
    void interstitialDidReceiveAd(AKInterstitial& interstitial) override;
    void interstitialDidFailToReceiveAdWithError(AKInterstitial& interstitial, const NSErrorPtr& error) override;
    void interstitialWillPresentScreen(AKInterstitial& interstitial) override;
    void interstitialWillDismissScreen(AKInterstitial& interstitial) override;
    void interstitialDidDismissScreen(AKInterstitial& interstitial) override;
    void interstitialWillLeaveApplication(AKInterstitial& interstitial) override;

private:
    void detachAdObjects();
    // What the nested slot takes from the mediating one.
    void prepareNestedSlot(AKAdSlot& nested) const;
    // Sends connector events with the adapter and the connector kept alive.
    void report(const std::function<void(AKMAdNetworkConnector& connector, AKMAdNetworkAdapting& adapter)>& events);

    std::shared_ptr<AKBannerView> banner_;
    std::shared_ptr<AKInterstitial> interstitial_;
    std::weak_ptr<AKMAdNetworkConnector> connector_;
};

// Registers the adapter class (with "changeAdSizeTo:") for the mediation install.
void AKMAdapterAdKitAdNetAdsRegister();
