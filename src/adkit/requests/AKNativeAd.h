#pragma once
// A native ad: the parts of one ad (headline, body, images, call to action)
// that a publisher lays out in its own views. AKNativeAd is the base of the two
// formats (AKNativeAppInstallAd, AKNativeContentAd): it is made from one ad
// object of a native ad configuration, keeps the tracking data, loads the image
// assets, notes which assets the publisher has read, and sends clicks and
// impressions. The loaders make the ads by class name (the formats are
// registered in the class registry with a factory from the ad object), set
// adUnitID, rootViewController, loadingDelegate and slot, then loadAssets().
//
// Ad object keys read here: "tracking_urls_and_actions" with
// "adkit_click_tracking_url" (string, required and not empty),
// "third_party_click_tracking_urls", "impression_tracking_urls" and
// "click_actions" (arrays). A value of the wrong type counts as missing.
//
// Asset loading: every image starts with loadImageWithURL(); each asset that
// ends, well or not, is a completed asset. The loading delegate hears exactly
// one of: nativeAdDidFailToLoadRequiredAssets (the first required asset that
// failed) or nativeAdDidFinishLoadingAssets (every requested asset ended and
// none required failed), never synchronously from loadAssets(); an ad that
// requests no asset finishes on the next main-queue turn. An ad released while
// loading is destroyed and its delegates hear nothing. Asset bodies above
// kAKNativeAdMaxAssetBytes fail; images decode with the image layer's limits.
//
// Clicks and impressions need every required asset read first (the getters
// that mark an asset as read are listed by each format); otherwise a log line
// explains it and nothing is sent. A click evaluates
// "adkit.adnet.nativeAds.handleClick(<json>)" in the slot's web view with
// {"ad": adConfiguration, "click": {"template": clickActionTemplateID, "asset": name}};
// the first impression pings the impression URLs (caching off), later ones nothing.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "adkit/requests/AKAdLoaderDelegate.h"
#include "adkit/requests/AKBannerViewDelegate.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class AKNativeAd;
class AKSlot;
class NSURLResponse;
class UIImage;
class UIViewController;

// The largest asset body a native ad accepts (16 MiB).
inline constexpr std::int64_t kAKNativeAdMaxAssetBytes = std::int64_t(16) << 20;

// Screen events of a native ad's clicks; every call is made, so a delegate
// implements all four.
class AKNativeAdDelegate {
public:
    virtual ~AKNativeAdDelegate() = default;
    virtual void nativeAdWillPresentScreen(AKNativeAd& nativeAd) = 0;
    virtual void nativeAdWillDismissScreen(AKNativeAd& nativeAd) = 0;
    virtual void nativeAdDidDismissScreen(AKNativeAd& nativeAd) = 0;
    virtual void nativeAdWillLeaveApplication(AKNativeAd& nativeAd) = 0;
};

// The loader waiting for an ad's assets.
class AKNativeAdLoadDelegate {
public:
    virtual ~AKNativeAdLoadDelegate() = default;
    virtual void nativeAdDidFinishLoadingAssets(AKNativeAd& nativeAd) = 0;
    virtual void nativeAdDidFailToLoadRequiredAssets(AKNativeAd& nativeAd) = 0;
};

class AKNativeAd : public NSObject, public AKBannerViewDelegate {
public:
    // Registers the two formats and the loader delegate protocols with the
    // class registry. Idempotent; the class operations below call it.
    static void initialize();

    // Class operations on a native ad configuration ({"ads": [adObject, ...]}).
    // A copy of the first element of "ads" when that is an object; else null.
    static Value firstAdObjectInAdConfigurationDictionary(const Value& configuration);
    // The class name for the first ad object's "type" and "template_id" (its
    // text read as an integer); nothing when no class answers them.
    static std::optional<std::string> classFromAdConfigurationDictionary(const Value& configuration);
    // The user default "native_ad_support_url" when it is a string that makes a
    // URL; else the ad server's static-content page
    // "/adnet/static/mad/sdk/native/native_ads.html".
    static NSURLPtr supportHTMLURL();

    // Class operations by class name (a format's name; others answer null / "").
    // initWithDictionary: the registered factory of the class; null when the
    // class is unknown or refuses the ad object.
    static std::shared_ptr<AKNativeAd> initWithDictionary(const std::string& className, const Value& adObject);
    // The request parameters the loader adds for the class ({"format": n}).
    static Value requestParametersForAdLoader(const std::string& className);
    // The protocol name the loader's delegate must conform to for the class.
    static std::string requiredDelegateProtocol(const std::string& className);

    ~AKNativeAd() override;

    // Hands the ad to the loader's delegate (`delegate`: the loader's
    // delegate(), already checked against requiredDelegateProtocol) through the
    // format's receive call; nothing for a delegate of another protocol.
    virtual void didReceiveAdForAdLoader(AKAdLoader& adLoader, const std::shared_ptr<AKAdLoaderDelegate>& delegate);

    // Tracking data and configuration.
    bool hasRecordedImpression() const { return hasRecordedImpression_; }
    const std::vector<NSURLPtr>& impressionTrackingURLs() const { return impressionTrackingURLs_; }
    const std::vector<NSURLPtr>& thirdPartyClickTrackingURLs() const { return thirdPartyClickTrackingURLs_; }
    const std::string& adkitClickTrackingURLString() const { return adkitClickTrackingURLString_; }
    const Value& clickActions() const { return clickActions_; }
    const Value& adConfiguration() const { return adConfiguration_; }
    const Value& adAssetActions() const { return adAssetActions_; }

    // Set by the loader.
    std::shared_ptr<AKNativeAdDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<AKNativeAdDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<UIViewController> rootViewController() const { return rootViewController_.lock(); }
    void setRootViewController(const std::shared_ptr<UIViewController>& controller) { rootViewController_ = controller; }
    const std::string& adUnitID() const { return adUnitID_; }
    void setAdUnitID(const std::string& adUnitID) { adUnitID_ = adUnitID; }
    const std::shared_ptr<AKSlot>& slot() const { return slot_; }
    void setSlot(const std::shared_ptr<AKSlot>& slot) { slot_ = slot; }
    std::shared_ptr<AKNativeAdLoadDelegate> loadingDelegate() const { return loadingDelegate_.lock(); }
    void setLoadingDelegate(const std::shared_ptr<AKNativeAdLoadDelegate>& delegate) { loadingDelegate_ = delegate; }

    // Asset bookkeeping.
    const std::set<std::string>& readAssets() const { return readAssets_; }
    const std::set<std::string>& completedAssets() const { return completedAssets_; }
    const std::set<std::string>& requestedAssets() const { return requestedAssets_; }
    bool failedToLoadRequiredAssets() const { return failedToLoadRequiredAssets_; }
    void markAssetAsRead(const std::string& assetName) { readAssets_.insert(assetName); }
    // The names that must be read before a click or an impression; nothing for
    // the base (no required assets).
    virtual std::optional<std::set<std::string>> assetsRequiredToBeDisplayed() const { return std::nullopt; }
    std::optional<std::set<std::string>> requiredAssets() const { return assetsRequiredToBeDisplayed(); }
    // "" for the base; the format's template number as text.
    virtual std::string clickActionTemplateID() const { return ""; }

    // Starts the format's image loads (see the contract above).
    void loadAssets();
    // One image asset, stored with setImageForKey() when its body decodes.
    void loadImageWithURL(const NSURLPtr& url, const std::string& key);
    using ContentHandler =
        std::function<void(const std::shared_ptr<NSURLResponse>& response, const Data& data, const NSErrorPtr& error)>;
    // A GET with the default cache policy and a 60-second time-out, its body
    // capped at kAKNativeAdMaxAssetBytes, completed on the main queue; false
    // when no request can be made (the handler is not called then).
    bool loadContentAtURL(const NSURLPtr& url, const std::string& key, ContentHandler completionHandler);
    void finishedLoadingAssetWithName(const std::string& name);
    void failedToLoadAssetWithName(const std::string& name);

    void performClickOnAsset(const std::string& assetName);
    void recordImpression();

    // Banner screen events become the delegate's native-ad events.
    void adViewWillPresentScreen(AKBannerView& banner) override;
    void adViewWillDismissScreen(AKBannerView& banner) override;
    void adViewDidDismissScreen(AKBannerView& banner) override;
    void adViewWillLeaveApplication(AKBannerView& banner) override;

protected:
    AKNativeAd() = default;
    // The base's part of initWithDictionary: false when the ad object is refused.
    bool readAdObject(const Value& adObject);
    // The format's image loads.
    virtual void loadFormatAssets() {}
    // Stores a loaded image under its property name; false for an unknown key.
    virtual bool setImageForKey(const std::string& key, const std::shared_ptr<UIImage>& image);
    // Whether every required asset was read; logs `message` through pubLog when not.
    bool requiredAssetsRead(const std::string& message) const;

private:
    void runCompletionTest();
    void scheduleCompletionTest();
    // Makes the report to the loading delegate, on the next turn when inside loadAssets().
    void tellLoader(void (AKNativeAdLoadDelegate::*report)(AKNativeAd&));

    bool hasRecordedImpression_ = false;
    bool failedToLoadRequiredAssets_ = false;
    bool startingAssets_ = false;  // inside loadAssets(): completion is deferred to the next turn
    bool reportedFinish_ = false;
    std::vector<NSURLPtr> impressionTrackingURLs_;
    std::vector<NSURLPtr> thirdPartyClickTrackingURLs_;
    std::string adkitClickTrackingURLString_;
    Value clickActions_ = Value::array();
    Value adConfiguration_ = Value::dictionary();
    Value adAssetActions_ = Value::array();
    std::weak_ptr<AKNativeAdDelegate> delegate_;
    std::weak_ptr<UIViewController> rootViewController_;
    std::string adUnitID_;
    std::shared_ptr<AKSlot> slot_;
    std::weak_ptr<AKNativeAdLoadDelegate> loadingDelegate_;
    std::set<std::string> readAssets_;
    std::set<std::string> completedAssets_;
    std::set<std::string> requestedAssets_;
};
