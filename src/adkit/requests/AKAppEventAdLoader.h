#pragma once
// One native ad load of the ad loader (AKAdLoader). It loads a hidden
// publisher banner (PMABannerView, 320 x 50, manual impressions, never in a
// view tree) with the request, asking for the native formats of its classes
// ("format" parameters, response type 1), and waits for the banner's page to
// send the app event "native_ad_content" whose info is the native ad
// configuration; it then builds the native ad of a requested class, loads its
// images and reports the finished ad or the failure to its delegate.
//
// States: idle -> waiting for the app event (banner loading or loaded) ->
// loading images (native ad) -> idle after one report. A new loadRequest
// cancels what is in flight without reporting it. Events of a banner or a
// native ad that is no longer the current one are ignored.
//
// Failures (AKRequestError to appEventAdLoaderDidFailToReceiveAdWithError):
//   the banner's own error                      - the hidden banner failed;
//   5 "Failed to receive ad configuration."     - no app event 5 s (Clock) after the banner's ad;
//   11 "Received malformed ad data."            - another event name, info that is no JSON
//                                                 object, or an ad object the class refuses;
//   11 "Received invalid ad response."          - a configuration of a class not requested;
//   2 "Couldn't load native ad assets."         - a required image failed;
//   2 "Couldn't load ad."                       - a failure without error.
//
// Lifetime: the owner holds the loader; the 5 s wait holds it weakly, so a
// loader released mid-load is destroyed at once with its banner and native ad,
// and its delegate hears nothing. The delegate is held weakly. Main thread only.
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "adkit/requests/AKBannerViewDelegate.h"
#include "adkit/requests/AKNativeAd.h"
#include "adkit/requests/PMADelegates.h"
#include "platform/foundation/NSObject.h"

class AKAdLoader;
class AKAppEventAdLoader;
class AKRequest;
class AKSlot;
class PMABannerView;
class UIViewController;

// Lets go of an object on a later turn of the main queue: a loader drops what
// calls it back (a banner, a native ad, an app-event loader) this way, never
// inside the caller's own call.
void AKReleaseOnLaterTurn(std::shared_ptr<NSObject> object);

class AKAppEventAdLoaderDelegate {
public:
    virtual ~AKAppEventAdLoaderDelegate() = default;
    virtual void appEventAdLoaderDidReceiveAd(AKAppEventAdLoader& loader, const std::shared_ptr<AKNativeAd>& ad) = 0;
    virtual void appEventAdLoaderDidFailToReceiveAdWithError(AKAppEventAdLoader& loader, const NSErrorPtr& error) = 0;
    // The ad loader on whose behalf the loader works.
    virtual std::shared_ptr<AKAdLoader> adLoaderForAppEventAdLoader(AKAppEventAdLoader& loader) = 0;
};

class AKAppEventAdLoader : public NSObject,
                           public AKBannerViewDelegate,
                           public AKAppEventDelegate,
                           public AKNativeAdLoadDelegate {
public:
    static constexpr double kAppEventWaitSeconds = 5;
    static constexpr const char* kNativeAdContentEvent = "native_ad_content";

    // initWithAdUnitID:rootViewController:adTypes: (the only initialiser; the
    // classes by name).
    static std::shared_ptr<AKAppEventAdLoader> make(const std::string& adUnitID,
                                                    const std::shared_ptr<UIViewController>& rootViewController,
                                                    std::set<std::string> adTypes);
    ~AKAppEventAdLoader() override;
    std::string className() const override { return "AKAppEventAdLoader"; }

    std::shared_ptr<AKAppEventAdLoaderDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKAppEventAdLoaderDelegate>& delegate) { delegate_ = delegate; }
    const std::string& adUnitID() const { return adUnitID_; }
    const std::set<std::string>& adTypes() const { return adTypes_; }
    const std::shared_ptr<PMABannerView>& loadingBannerView() const { return loadingBannerView_; }
    const std::shared_ptr<AKNativeAd>& loadingNativeAd() const { return loadingNativeAd_; }

    void loadRequest(const std::shared_ptr<AKRequest>& request);
    void cancel();
    void cancelBannerView();
    void cancelNativeAd();
    // cancel, then the failure report (null: code 2 "Couldn't load ad.").
    void failedToLoadAdWithError(const NSErrorPtr& error);
    void loadAssetsForAdConfiguration(const Value& configuration, const std::string& adUnitID,
                                      const std::shared_ptr<AKSlot>& slot);

    // AKBannerViewDelegate (the hidden banner)
    void adViewDidReceiveAd(AKBannerView& banner) override;
    void adViewDidFailToReceiveAdWithError(AKBannerView& banner, const NSErrorPtr& error) override;
    // AKAppEventDelegate
    void adViewDidReceiveAppEvent(PMABannerView& banner, const std::string& name,
                                  const std::optional<std::string>& info) override;
    // AKNativeAdLoadDelegate
    void nativeAdDidFinishLoadingAssets(AKNativeAd& nativeAd) override;
    void nativeAdDidFailToLoadRequiredAssets(AKNativeAd& nativeAd) override;

    struct PassKey {
    private:
        friend class AKAppEventAdLoader;
        PassKey() = default;
    };
    explicit AKAppEventAdLoader(PassKey) {}

private:
    bool isCurrent(const AKBannerView& banner) const;
    // The banner's or the ad's calls to this loader stop (the object stays held).
    void detachBannerView();
    void detachNativeAd();

    std::weak_ptr<AKAppEventAdLoaderDelegate> delegate_;
    std::shared_ptr<PMABannerView> loadingBannerView_;
    std::shared_ptr<AKNativeAd> loadingNativeAd_;
    std::string adUnitID_;
    std::weak_ptr<UIViewController> rootViewController_;
    std::set<std::string> adTypes_;
};
