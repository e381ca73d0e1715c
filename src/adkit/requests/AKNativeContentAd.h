#pragma once
// The content native ad (template 1): content with an advertiser.
//
// Ad object keys: "headline", "body", "call_to_action", "advertiser"
// (strings), "image"."url", "secondary_image"."url" (the logo),
// "attribution"."text", "attribution"."image"."url". The ad is refused
// without a headline or a body, and when only one of the attribution text and
// icon URL is there. Required to be read before a click or impression:
// "headline", "body", and "attributionIcon" when there is an attribution icon
// URL; the getters of those mark them as read. Loaded images: image, logo,
// attributionIcon. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKNativeAd.h"

class AKNativeContentAd : public AKNativeAd {
public:
    std::string className() const override { return "AKNativeContentAd"; }

    // Null when the ad object is refused.
    static std::shared_ptr<AKNativeContentAd> initWithDictionary(const Value& adObject);
    static Value requestParametersForAdLoader() { return Value(ValueDictionary{{"format", Value(1)}}); }
    static std::string requiredDelegateProtocol() { return kAKNativeContentAdLoaderDelegateProtocol; }

    void didReceiveAdForAdLoader(AKAdLoader& adLoader, const std::shared_ptr<AKAdLoaderDelegate>& delegate) override;

    // Getters that mark their asset as read.
    const std::string& headline();
    const std::string& body();
    std::shared_ptr<UIImage> attributionIcon();
    // Plain getters.
    const std::optional<std::string>& callToAction() const { return callToAction_; }
    const std::optional<std::string>& advertiser() const { return advertiser_; }
    const NSURLPtr& imageURL() const { return imageURL_; }
    const NSURLPtr& logoURL() const { return logoURL_; }
    const std::optional<std::string>& attributionText() const { return attributionText_; }
    const NSURLPtr& attributionIconURL() const { return attributionIconURL_; }
    std::shared_ptr<UIImage> image() const { return image_; }
    std::shared_ptr<UIImage> logo() const { return logo_; }
    bool hasAttributionInformation() const { return attributionText_ && attributionIconURL_; }

    std::optional<std::set<std::string>> assetsRequiredToBeDisplayed() const override;
    std::string clickActionTemplateID() const override { return "1"; }

    AKNativeContentAd() = default;  // use initWithDictionary

protected:
    void loadFormatAssets() override;
    bool setImageForKey(const std::string& key, const std::shared_ptr<UIImage>& image) override;

private:
    std::string headline_;
    std::string body_;
    std::optional<std::string> callToAction_;
    std::optional<std::string> advertiser_;
    NSURLPtr imageURL_;
    NSURLPtr logoURL_;
    std::optional<std::string> attributionText_;
    NSURLPtr attributionIconURL_;
    std::shared_ptr<UIImage> image_;
    std::shared_ptr<UIImage> logo_;
    std::shared_ptr<UIImage> attributionIcon_;
};
