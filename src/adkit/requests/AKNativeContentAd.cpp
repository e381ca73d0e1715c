#include "adkit/requests/AKNativeContentAd.h"

#include "adkit/requests/AKNativeAdReading.h"
#include "platform/uikit/UIImage.h"

std::shared_ptr<AKNativeContentAd> AKNativeContentAd::initWithDictionary(const Value& adObject) {
    auto ad = std::make_shared<AKNativeContentAd>();
    if (!ad->readAdObject(adObject)) return nullptr;
    const auto headline = aknative::string(adObject, "headline");
    const auto body = aknative::string(adObject, "body");
    if (!headline || !body) return nullptr;
    if (!aknative::readAttribution(adObject, ad->attributionText_, ad->attributionIconURL_)) return nullptr;
    ad->headline_ = *headline;
    ad->body_ = *body;
    ad->callToAction_ = aknative::string(adObject, "call_to_action");
    ad->advertiser_ = aknative::string(adObject, "advertiser");
    ad->imageURL_ = aknative::nestedURL(adObject, "image");
    ad->logoURL_ = aknative::nestedURL(adObject, "secondary_image");
    return ad;
}

void AKNativeContentAd::didReceiveAdForAdLoader(AKAdLoader& adLoader,
                                                const std::shared_ptr<AKAdLoaderDelegate>& delegate) {
    if (auto receiver = std::dynamic_pointer_cast<AKNativeContentAdLoaderDelegate>(delegate))
        receiver->adLoaderDidReceiveNativeContentAd(adLoader, self<AKNativeContentAd>());
}

const std::string& AKNativeContentAd::headline() {
    markAssetAsRead("headline");
    return headline_;
}
const std::string& AKNativeContentAd::body() {
    markAssetAsRead("body");
    return body_;
}
std::shared_ptr<UIImage> AKNativeContentAd::attributionIcon() {
    markAssetAsRead("attributionIcon");
    return attributionIcon_;
}

std::optional<std::set<std::string>> AKNativeContentAd::assetsRequiredToBeDisplayed() const {
    std::set<std::string> names{"headline", "body"};
    if (attributionIconURL_) names.insert("attributionIcon");
    return names;
}

void AKNativeContentAd::loadFormatAssets() {
    if (imageURL_) loadImageWithURL(imageURL_, "image");
    if (logoURL_) loadImageWithURL(logoURL_, "logo");
    if (attributionIconURL_) loadImageWithURL(attributionIconURL_, "attributionIcon");
}

bool AKNativeContentAd::setImageForKey(const std::string& key, const std::shared_ptr<UIImage>& image) {
    if (key == "image") image_ = image;
    else if (key == "logo") logo_ = image;
    else if (key == "attributionIcon") attributionIcon_ = image;
    else return false;
    return true;
}
