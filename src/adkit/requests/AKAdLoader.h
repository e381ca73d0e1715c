#pragma once
// The public entry for native ads. The publisher makes a loader for an ad unit,
// a root view controller and ad-type strings ("1" content, "2" app install),
// sets a delegate that conforms to the delegate protocol of every requested
// native class, and loads requests; each ad arrives through the delegate's
// receive call of its format (AKAdLoaderDelegate.h), each failure through
// adLoaderDidFailToReceiveAdWithError.
//
// Each loadRequest runs through its own AKAppEventAdLoader (any number at
// once). The loader also owns a slot of its own (ad unit: the loader's; its
// slot delegate and ad response delegate: the loader), whose native responses
// (response type 3) go through an AKAdPreprocessor and become native ads; the
// slot then holds a valid ad (state 6). Other response types stay with the slot.
//
// Failures (AKRequestError):
//   0 with the validation error underneath - the delegate (changed since) no longer conforms;
//   2                                       - a required image failed;
//   11                                      - the own slot failed without an error;
//   13                                      - the own slot's native answer was not usable
//                                             (no JSON, no answer in 5 s, a class not requested,
//                                             a refused ad object);
//   the app-event loader's error            - that load failed.
// Misuse is logged (AKMacros::pubLog): an unknown ad type ("Error: Invalid ad format
// requested: ...", no loader is made) and a delegate that lacks a protocol
// (private code 3 "Delegate does not conform to the required protocol, %@.",
// the delegate is not set).
//
// Lifetime: the loader holds its app-event loaders, preprocessors and loading
// native ads until each reports; every delayed block holds the loader weakly,
// so a loader released mid-load is destroyed with all of them and its delegate
// hears nothing. Delegate and root view controller are held weakly. Main thread.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "adkit/rendering/AKSlot.h"
#include "adkit/requests/AKAdLoaderDelegate.h"
#include "adkit/requests/AKAppEventAdLoader.h"
#include "adkit/requests/AKNativeAd.h"
#include "adkit/requests/AKSlotDelegates.h"

class AKAdPreprocessor;
class AKAdSlot;
class AKRequest;
class UIViewController;

class AKAdLoader : public NSObject,
                   public AKAppEventAdLoaderDelegate,
                   public AKNativeAdLoadDelegate,
                   public AKSlotAdResponseDelegate,
                   public AKSlotDelegate {
public:
    // initWithAdUnitID:rootViewController:adTypes: null (and the log line) for
    // the first ad type that names no native class.
    static std::shared_ptr<AKAdLoader> make(const std::string& adUnitID,
                                            const std::shared_ptr<UIViewController>& rootViewController,
                                            const std::vector<std::string>& adTypes);
    ~AKAdLoader() override;
    std::string className() const override { return "AKAdLoader"; }

    std::shared_ptr<AKAdLoaderDelegate> delegate() const { return delegate_.lock(); }
    // Kept only when it conforms for every class of adTypes (else logged, the old one stays).
    void setDelegate(const std::shared_ptr<AKAdLoaderDelegate>& delegate);
    // delegate:isValidForAdClass:error: conformance to the class's required protocol
    // (its class registered with that protocol, and the protocol implemented).
    static bool delegateIsValidForAdClass(const std::shared_ptr<AKAdLoaderDelegate>& delegate,
                                          const std::string& adClass, NSErrorPtr* error);

    const std::string& adUnitID() const { return adUnitID_; }
    const std::set<std::string>& adTypes() const { return adTypes_; }
    std::shared_ptr<UIViewController> rootViewController() const override { return rootViewController_.lock(); }
    const std::shared_ptr<AKAdSlot>& slot() const { return slot_; }
    // What is in flight: app-event loads, preprocessors, native ads loading their images.
    const std::vector<std::shared_ptr<AKAppEventAdLoader>>& appEventAdLoaders() const { return appEventAdLoaders_; }
    const std::vector<std::shared_ptr<AKAdPreprocessor>>& adPreprocessors() const { return adPreprocessors_; }
    const std::vector<std::shared_ptr<AKNativeAd>>& nativeAds() const { return nativeAds_; }

    void loadRequest(const std::shared_ptr<AKRequest>& request);

    // AKAppEventAdLoaderDelegate
    void appEventAdLoaderDidReceiveAd(AKAppEventAdLoader& loader, const std::shared_ptr<AKNativeAd>& ad) override;
    void appEventAdLoaderDidFailToReceiveAdWithError(AKAppEventAdLoader& loader, const NSErrorPtr& error) override;
    std::shared_ptr<AKAdLoader> adLoaderForAppEventAdLoader(AKAppEventAdLoader& loader) override;
    // AKSlotAdResponseDelegate (the own slot)
    bool slotDidReceiveAd(AKAdSlot& slot, const std::shared_ptr<AKAd>& ad) override;
    void slotDidFailToReceiveAdWithError(AKAdSlot& slot, const NSErrorPtr& error) override;
    // AKNativeAdLoadDelegate
    void nativeAdDidFinishLoadingAssets(AKNativeAd& nativeAd) override;
    void nativeAdDidFailToLoadRequiredAssets(AKNativeAd& nativeAd) override;

    struct PassKey {
    private:
        friend class AKAdLoader;
        PassKey() = default;
    };
    explicit AKAdLoader(PassKey) {}

private:
    void preprocessed(const std::weak_ptr<AKAdPreprocessor>& preprocessor, const std::optional<Value>& configuration,
                      const std::shared_ptr<AKAdSlot>& slot);
    // Hands a finished ad to the delegate after checking it again (code 0 when it no longer conforms).
    void deliver(const std::shared_ptr<AKNativeAd>& ad);
    void fail(const NSErrorPtr& error);

    std::weak_ptr<AKAdLoaderDelegate> delegate_;
    std::string adUnitID_;
    std::set<std::string> adTypes_;
    std::weak_ptr<UIViewController> rootViewController_;
    std::shared_ptr<AKAdSlot> slot_;
    std::vector<std::shared_ptr<AKAppEventAdLoader>> appEventAdLoaders_;
    std::vector<std::shared_ptr<AKAdPreprocessor>> adPreprocessors_;
    std::vector<std::shared_ptr<AKNativeAd>> nativeAds_;
};
