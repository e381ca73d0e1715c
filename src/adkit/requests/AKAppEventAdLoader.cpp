#include "adkit/requests/AKAppEventAdLoader.h"

#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/requests/AKAdSlot.h"
#include "adkit/requests/AKRequest.h"
#include "adkit/requests/PMABannerView.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"

void AKReleaseOnLaterTurn(std::shared_ptr<NSObject> object) {
    if (object) dispatch_async(dispatch_get_main_queue(), [object = std::move(object)]() mutable { object.reset(); });
}

namespace {

NSErrorPtr loadError(std::int64_t code, const char* message) { return AKRequestError::errorWithCode(code, message); }
}  // namespace

std::shared_ptr<AKAppEventAdLoader> AKAppEventAdLoader::make(const std::string& adUnitID,
                                                             const std::shared_ptr<UIViewController>& rootViewController,
                                                             std::set<std::string> adTypes) {
    auto made = std::make_shared<AKAppEventAdLoader>(PassKey());
    made->adUnitID_ = adUnitID;
    made->rootViewController_ = rootViewController;
    made->adTypes_ = std::move(adTypes);
    return made;
}

AKAppEventAdLoader::~AKAppEventAdLoader() {
    // No callback of the banner or the ad runs into a loader being destroyed,
    // so both go at once.
    detachBannerView();
    detachNativeAd();
    delegate_.reset();
}

void AKAppEventAdLoader::loadRequest(const std::shared_ptr<AKRequest>& request) {
    QV_ASSERT_MAIN_THREAD();
    cancel();
    auto banner = PMABannerView::makeWithAdSize(kAKAdSizeBanner);
    banner->setAdUnitID(adUnitID_);
    banner->setRootViewController(rootViewController_.lock());
    banner->setEnableManualImpressions(true);
    banner->setDelegate(self<AKAppEventAdLoader>());
    banner->setAppEventDelegate(self<AKAppEventAdLoader>());
    loadingBannerView_ = banner;

    // The formats' request parameters depend on the class alone (whichever ad loader asks).
    Value formats = Value::array();
    for (const auto& adClass : adTypes_) {
        const Value parameters = AKNativeAd::requestParametersForAdLoader(adClass);
        if (parameters.isDictionary() && parameters.count() > 0) formats.append(parameters);
    }
    auto copy = (request ? request : AKRequest::request())->copy();
    copy->setFormatParameters(formats);
    copy->setResponseType(1);
    banner->loadRequest(copy);
}

void AKAppEventAdLoader::cancel() {
    cancelBannerView();
    cancelNativeAd();
}

void AKAppEventAdLoader::cancelBannerView() {
    detachBannerView();
    AKReleaseOnLaterTurn(std::move(loadingBannerView_));
    loadingBannerView_.reset();
}

void AKAppEventAdLoader::cancelNativeAd() {
    detachNativeAd();
    AKReleaseOnLaterTurn(std::move(loadingNativeAd_));
    loadingNativeAd_.reset();
}

void AKAppEventAdLoader::detachBannerView() {
    if (!loadingBannerView_) return;
    loadingBannerView_->setDelegate(nullptr);
    loadingBannerView_->setAppEventDelegate(nullptr);
}

void AKAppEventAdLoader::detachNativeAd() {
    if (!loadingNativeAd_) return;
    loadingNativeAd_->setDelegate(nullptr);
    loadingNativeAd_->setLoadingDelegate(nullptr);
}

void AKAppEventAdLoader::failedToLoadAdWithError(const NSErrorPtr& error) {
    cancel();
    if (const auto delegate = delegate_.lock())
        delegate->appEventAdLoaderDidFailToReceiveAdWithError(*this, error ? error : loadError(2, "Couldn't load ad."));
}

bool AKAppEventAdLoader::isCurrent(const AKBannerView& banner) const {
    return loadingBannerView_ && loadingBannerView_.get() == &banner;
}

// ---- The hidden banner -----------------------------------------------------------------

void AKAppEventAdLoader::adViewDidReceiveAd(AKBannerView& banner) {
    if (!isCurrent(banner)) return;
    const std::weak_ptr<AKAppEventAdLoader> weak = weakSelf<AKAppEventAdLoader>();
    const std::weak_ptr<PMABannerView> waited = loadingBannerView_;
    const auto delay = static_cast<std::int64_t>(kAppEventWaitSeconds * static_cast<double>(NSEC_PER_SEC));
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, delay), dispatch_get_main_queue(), [weak, waited] {
        const auto strong = weak.lock();
        const auto waitedBanner = waited.lock();
        if (strong && waitedBanner)
            strong->adViewDidFailToReceiveAdWithError(*waitedBanner, loadError(5, "Failed to receive ad configuration."));
    });
}

void AKAppEventAdLoader::adViewDidFailToReceiveAdWithError(AKBannerView& banner, const NSErrorPtr& error) {
    if (isCurrent(banner)) failedToLoadAdWithError(error);
}

void AKAppEventAdLoader::adViewDidReceiveAppEvent(PMABannerView& banner, const std::string& name,
                                                  const std::optional<std::string>& info) {
    if (!isCurrent(banner)) return;
    const std::optional<Value> configuration = info ? ak_decodedJSONObject(*info) : std::nullopt;
    if (!configuration || !configuration->isDictionary() || name != kNativeAdContentEvent) {
        failedToLoadAdWithError(loadError(11, "Received malformed ad data."));
        return;
    }
    const std::shared_ptr<AKSlot> slot = banner.slot();
    const std::string unit = banner.adUnitID().value_or(adUnitID_);
    cancelBannerView();
    loadAssetsForAdConfiguration(*configuration, unit, slot);
}

void AKAppEventAdLoader::loadAssetsForAdConfiguration(const Value& configuration, const std::string& /*adUnitID*/,
                                                      const std::shared_ptr<AKSlot>& slot) {
    const std::optional<std::string> adClass = AKNativeAd::classFromAdConfigurationDictionary(configuration);
    if (!adClass || !adTypes_.contains(*adClass)) {
        failedToLoadAdWithError(loadError(11, "Received invalid ad response."));
        return;
    }
    auto ad = AKNativeAd::initWithDictionary(*adClass, AKNativeAd::firstAdObjectInAdConfigurationDictionary(configuration));
    if (!ad) {
        failedToLoadAdWithError(loadError(11, "Received malformed ad data."));
        return;
    }
    ad->setAdUnitID(adUnitID_);
    ad->setRootViewController(rootViewController_.lock());
    ad->setLoadingDelegate(self<AKAppEventAdLoader>());
    ad->setSlot(slot);
    loadingNativeAd_ = ad;
    ad->loadAssets();
}

// ---- The native ad's images ----------------------------------------------------------------

void AKAppEventAdLoader::nativeAdDidFinishLoadingAssets(AKNativeAd& nativeAd) {
    if (loadingNativeAd_.get() != &nativeAd) return;
    const std::shared_ptr<AKNativeAd> ad = loadingNativeAd_;
    cancelNativeAd();
    if (const auto delegate = delegate_.lock()) delegate->appEventAdLoaderDidReceiveAd(*this, ad);
}

void AKAppEventAdLoader::nativeAdDidFailToLoadRequiredAssets(AKNativeAd& nativeAd) {
    if (loadingNativeAd_.get() == &nativeAd) failedToLoadAdWithError(loadError(2, "Couldn't load native ad assets."));
}
