#pragma once
// A network connector: one attempt at one ad network of a mediation response.
// It creates the entry's adapter, gives it its credentials (without
// "gwhirl_share_location", which decides whether the user's location is passed
// on) and the targeting of the slot's request, forwards the adapter's result to
// the waterfall (AKMAdManager) and its user events to the glue (AKMDelegate),
// and sends the mediation click and impression pings (AKMUtilities.h).
//
// Banner connectors count every delivered banner, refreshes included, as an
// impression, and send at most one click ping per delivered banner.
// Interstitial connectors count the impression when the interstitial is
// shown, and supply a missing will-dismiss before a did-dismiss.
//
// Detaching: the waterfall clears the manager (time-out, replaced, cancelled);
// a detached connector sends no ping and forwards nothing. On destruction the
// adapter is told to stop being a delegate. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/mediation/AKMConfig.h"
#include "adkit/mediation/AKMDelegate.h"

class UIView;

class AKMAdNetworkConnector : public NSObject {
public:
    ~AKMAdNetworkConnector() override;

    // initWithConfig:networkConfig:, with the connector kind the ad type needs
    // (interstitial or banner), the adapter already created (null when the
    // entry has no adapter class or its factory made none).
    static std::shared_ptr<AKMAdNetworkConnector> make(const AKAdTypePtr& adType, AKMMediationConfigPtr config,
                                                       AKMAdNetworkConfigPtr networkConfig);

    // ---- Used by the waterfall ----
    void getAdFromAdapterWithType(const AKAdTypePtr& type);
    void askAdapterToStopBeingDelegate();
    bool askAdapterIsBannerAnimationOK(std::int64_t animationType);
    bool didNetworkRefresh() const { return didNetworkRefresh_; }
    const AKMAdNetworkConfigPtr& networkConfig() const { return networkConfig_; }
    const AKMMediationConfigPtr& mediationConfig() const { return mediationConfig_; }
    const std::shared_ptr<AKMAdNetworkAdapting>& adapter() const { return adapter_; }
    void setGadmDelegate(const std::shared_ptr<AKMDelegate>& delegate) { delegate_ = delegate; }
    void setAdManager(const std::shared_ptr<AKMAdManaging>& manager) { adManager_ = manager; }
    std::shared_ptr<AKMAdManaging> adManager() const { return adManager_.lock(); }
    bool isClicked() const { return clicked_; }

    // ---- What adapters see ----
    std::optional<std::string> publisherId() const;
    const Value& credentials() const { return strippedCredentials_; }
    bool testMode() const;
    std::shared_ptr<AKAdNetworkExtras> networkExtras() const;
    std::shared_ptr<UIViewController> viewControllerForPresentingModalView() const;
    std::optional<bool> childDirectedTreatment() const;
    std::int64_t userGender() const;
    std::optional<Date> userBirthday() const;
    bool userHasLocation() const;
    double userLatitude() const;
    double userLongitude() const;
    double userLocationAccuracyInMeters() const;
    std::optional<std::string> userLocationDescription() const;
    Value userKeywords() const;

    // Events; the base class does nothing.
    virtual void adapterDidReceiveAdView(AKMAdNetworkAdapting&, const std::shared_ptr<UIView>&) {}
    virtual void adapterDidFailAd(AKMAdNetworkAdapting&, const NSErrorPtr&) {}
    virtual void adapterDidReceiveInterstitial(AKMAdNetworkAdapting&, const std::shared_ptr<NSObject>&) {}
    virtual void adapterDidFailInterstitial(AKMAdNetworkAdapting&, const NSErrorPtr&) {}
    virtual void adapterClickDidOccurInBanner(AKMAdNetworkAdapting&, const std::shared_ptr<UIView>&) {}
    virtual void adapterWillPresentFullScreenModal(AKMAdNetworkAdapting&) {}
    virtual void adapterWillDismissFullScreenModal(AKMAdNetworkAdapting&) {}
    virtual void adapterDidDismissFullScreenModal(AKMAdNetworkAdapting&) {}
    virtual void adapterWillPresentInterstitial(AKMAdNetworkAdapting&) {}
    virtual void adapterWillDismissInterstitial(AKMAdNetworkAdapting&) {}
    virtual void adapterDidDismissInterstitial(AKMAdNetworkAdapting&) {}
    virtual void adapterWillLeaveApplication(AKMAdNetworkAdapting&) {}

    // Use make(): the adapter needs the connector's shared pointer.
    AKMAdNetworkConnector(AKMMediationConfigPtr config, AKMAdNetworkConfigPtr networkConfig);

protected:
    // The delegate while attached (null when detached or gone).
    std::shared_ptr<AKMDelegate> attachedDelegate() const;
    bool isOwnAdapter(const AKMAdNetworkAdapting& adapter) const { return adapter_.get() == &adapter; }
    void sendClickPing();
    void sendImpressionPing();

    bool didNetworkRefresh_ = false;
    bool clicked_ = false;

private:
    std::shared_ptr<AKMDelegate> delegate() const { return delegate_.lock(); }
    void createAdapter();

    Value strippedCredentials_;
    bool shareLocation_ = false;
    std::weak_ptr<AKMDelegate> delegate_;
    std::weak_ptr<AKMAdManaging> adManager_;
    AKMMediationConfigPtr mediationConfig_;
    AKMAdNetworkConfigPtr networkConfig_;
    std::shared_ptr<AKMAdNetworkAdapting> adapter_;
};

class AKMAdNetworkConnectorBanner : public AKMAdNetworkConnector {
public:
    using AKMAdNetworkConnector::AKMAdNetworkConnector;
    void adapterDidReceiveAdView(AKMAdNetworkAdapting& adapter, const std::shared_ptr<UIView>& view) override;
    void adapterDidFailAd(AKMAdNetworkAdapting& adapter, const NSErrorPtr& error) override;
    void adapterClickDidOccurInBanner(AKMAdNetworkAdapting& adapter, const std::shared_ptr<UIView>& view) override;
    void adapterWillPresentFullScreenModal(AKMAdNetworkAdapting& adapter) override;
    void adapterWillDismissFullScreenModal(AKMAdNetworkAdapting& adapter) override;
    void adapterDidDismissFullScreenModal(AKMAdNetworkAdapting& adapter) override;
    void adapterWillLeaveApplication(AKMAdNetworkAdapting& adapter) override;

private:
    bool didNetworkReturn_ = false;
};

class AKMAdNetworkConnectorInterstitial : public AKMAdNetworkConnector {
public:
    using AKMAdNetworkConnector::AKMAdNetworkConnector;
    void adapterDidReceiveInterstitial(AKMAdNetworkAdapting& adapter, const std::shared_ptr<NSObject>& ad) override;
    void adapterDidFailInterstitial(AKMAdNetworkAdapting& adapter, const NSErrorPtr& error) override;
    void adapterWillPresentInterstitial(AKMAdNetworkAdapting& adapter) override;
    void adapterWillDismissInterstitial(AKMAdNetworkAdapting& adapter) override;
    void adapterDidDismissInterstitial(AKMAdNetworkAdapting& adapter) override;
    void adapterWillLeaveApplication(AKMAdNetworkAdapting& adapter) override;

private:
    bool calledWillDismissInterstitial_ = false;
};
