#pragma once
// The app-install native ad (template 2): an app to install.
//
// Ad object keys: "headline", "call_to_action", "body", "store", "price"
// (strings), "rating" (a number; 0 when missing), "image"."url",
// "app_icon"."url", "attribution"."text", "attribution"."image"."url". The ad
// is refused without a headline, a call to action or an icon URL, and when
// only one of the attribution text and icon URL is there. Required to be read
// before a click or impression: "headline", "callToAction", "icon", and
// "attributionIcon" when there is an attribution icon URL; the getters of those
// mark them as read. Loaded images: image, icon, attributionIcon.
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKNativeAd.h"

class AKNativeAppInstallAd : public AKNativeAd {
public:
    std::string className() const override { return "AKNativeAppInstallAd"; }

    // Null when the ad object is refused.
    static std::shared_ptr<AKNativeAppInstallAd> initWithDictionary(const Value& adObject);
    static Value requestParametersForAdLoader() { return Value(ValueDictionary{{"format", Value(2)}}); }
    static std::string requiredDelegateProtocol() { return kAKNativeAppInstallAdLoaderDelegateProtocol; }

    void didReceiveAdForAdLoader(AKAdLoader& adLoader, const std::shared_ptr<AKAdLoaderDelegate>& delegate) override;

    // Getters that mark their asset as read.
    const std::string& headline();
    const std::string& callToAction();
    std::shared_ptr<UIImage> icon();
    std::shared_ptr<UIImage> attributionIcon();
    // Plain getters.
    const std::optional<std::string>& body() const { return body_; }
    const std::optional<std::string>& store() const { return store_; }
    const std::optional<std::string>& price() const { return price_; }
    double starRating() const { return starRating_; }
    const NSURLPtr& imageURL() const { return imageURL_; }
    const NSURLPtr& iconURL() const { return iconURL_; }
    const std::optional<std::string>& attributionText() const { return attributionText_; }
    const NSURLPtr& attributionIconURL() const { return attributionIconURL_; }
    std::shared_ptr<UIImage> image() const { return image_; }
    bool hasAttributionInformation() const { return attributionText_ && attributionIconURL_; }

    std::optional<std::set<std::string>> assetsRequiredToBeDisplayed() const override;
    std::string clickActionTemplateID() const override { return "2"; }

    AKNativeAppInstallAd() = default;  // use initWithDictionary

protected:
    void loadFormatAssets() override;
    bool setImageForKey(const std::string& key, const std::shared_ptr<UIImage>& image) override;

private:
    std::string headline_;
    std::string callToAction_;
    std::optional<std::string> body_;
    std::optional<std::string> store_;
    std::optional<std::string> price_;
    double starRating_ = 0;
    NSURLPtr imageURL_;
    NSURLPtr iconURL_;
    std::optional<std::string> attributionText_;
    NSURLPtr attributionIconURL_;
    std::shared_ptr<UIImage> image_;
    std::shared_ptr<UIImage> icon_;
    std::shared_ptr<UIImage> attributionIcon_;
};
