#include "adkit/requests/AKNativeAppInstallAd.h"

#include "adkit/requests/AKNativeAdReading.h"
#include "platform/uikit/UIImage.h"

std::shared_ptr<AKNativeAppInstallAd> AKNativeAppInstallAd::initWithDictionary(const Value& adObject) {
    auto ad = std::make_shared<AKNativeAppInstallAd>();
    if (!ad->readAdObject(adObject)) return nullptr;
    const auto headline = aknative::string(adObject, "headline");
    const auto callToAction = aknative::string(adObject, "call_to_action");
    ad->iconURL_ = aknative::nestedURL(adObject, "app_icon");
    if (!headline || !callToAction || !ad->iconURL_) return nullptr;
    if (!aknative::readAttribution(adObject, ad->attributionText_, ad->attributionIconURL_)) return nullptr;
    ad->headline_ = *headline;
    ad->callToAction_ = *callToAction;
    ad->body_ = aknative::string(adObject, "body");
    ad->store_ = aknative::string(adObject, "store");
    ad->price_ = aknative::string(adObject, "price");
    const Value rating = ak_objectForKey(adObject, "rating", AKValueKind::Number);
    ad->starRating_ = rating.isNull() ? 0 : rating.doubleValue();
    ad->imageURL_ = aknative::nestedURL(adObject, "image");
    return ad;
}

void AKNativeAppInstallAd::didReceiveAdForAdLoader(AKAdLoader& adLoader,
                                                   const std::shared_ptr<AKAdLoaderDelegate>& delegate) {
    if (auto receiver = std::dynamic_pointer_cast<AKNativeAppInstallAdLoaderDelegate>(delegate))
        receiver->adLoaderDidReceiveNativeAppInstallAd(adLoader, self<AKNativeAppInstallAd>());
}

const std::string& AKNativeAppInstallAd::headline() {
    markAssetAsRead("headline");
    return headline_;
}
const std::string& AKNativeAppInstallAd::callToAction() {
    markAssetAsRead("callToAction");
    return callToAction_;
}
std::shared_ptr<UIImage> AKNativeAppInstallAd::icon() {
    markAssetAsRead("icon");
    return icon_;
}
std::shared_ptr<UIImage> AKNativeAppInstallAd::attributionIcon() {
    markAssetAsRead("attributionIcon");
    return attributionIcon_;
}

std::optional<std::set<std::string>> AKNativeAppInstallAd::assetsRequiredToBeDisplayed() const {
    std::set<std::string> names{"headline", "callToAction", "icon"};
    if (attributionIconURL_) names.insert("attributionIcon");
    return names;
}

void AKNativeAppInstallAd::loadFormatAssets() {
    if (imageURL_) loadImageWithURL(imageURL_, "image");
    if (iconURL_) loadImageWithURL(iconURL_, "icon");
    if (attributionIconURL_) loadImageWithURL(attributionIconURL_, "attributionIcon");
}

bool AKNativeAppInstallAd::setImageForKey(const std::string& key, const std::shared_ptr<UIImage>& image) {
    if (key == "image") image_ = image;
    else if (key == "icon") icon_ = image;
    else if (key == "attributionIcon") attributionIcon_ = image;
    else return false;
    return true;
}
