#include "adkit/rendering/AKIntrinsicImages.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/codecs/AK_TKStringEncoding.h"
#include "adkit/rendering/AKIntrinsicImagesData.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIGraphics.h"

std::shared_ptr<AKIntrinsicImages> AKIntrinsicImages::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<AKIntrinsicImages>> shared(std::make_shared<AKIntrinsicImages>());
    return *shared;
}

UIImagePtr AKIntrinsicImages::get(Lazy& lazy, UIImagePtr (*make)()) {
    std::call_once(lazy.once, [&] { lazy.image = make(); });
    return lazy.image;
}

UIImagePtr AKIntrinsicImages::browserBackButton() {
    return get(back_, [] {
        return imageWithBase64EncodedString(chooseImage(kAKBrowserBackButtonPNG, kAKBrowserBackButton2xPNG));
    });
}

UIImagePtr AKIntrinsicImages::browserForwardButton() {
    return get(forward_, [] {
        return imageWithBase64EncodedString(chooseImage(kAKBrowserForwardButtonPNG, kAKBrowserForwardButton2xPNG));
    });
}

UIImagePtr AKIntrinsicImages::closeButton() {
    return get(close_, [] { return imageWithBase64EncodedString(chooseImage(kAKCloseButtonPNG, kAKCloseButton2xPNG)); });
}

UIImagePtr AKIntrinsicImages::transparentImage() {
    return get(transparent_, [] {
        UIImagePtr image;
        AKRunSynchronouslyOnMainThread([&] {
            UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, 10), false, 0);
            image = UIGraphicsGetImageFromCurrentImageContext();
            UIGraphicsEndImageContext();
        });
        return image;
    });
}

const char* AKIntrinsicImages::chooseImage(const char* image, const char* doubleDensityImage) {
    return AKDevice::currentDevice()->screenDensity() == 1.0 ? image : doubleDensityImage;
}

UIImagePtr AKIntrinsicImages::imageWithBase64EncodedString(const std::string& text) {
    const auto bytes = AK_TKStringEncoding::rfc4648Base64StringEncoding()->decode(text);
    if (!bytes) return nullptr;
    const auto decoded = UIImage::imageWithData(*bytes);
    if (!decoded) return nullptr;
    // The platform's images carry a scale: the screen density's.
    return UIImage::imageWithCGImage(decoded->CGImage(), AKDevice::currentDevice()->screenDensity(),
                                     UIImageOrientationUp);
}
