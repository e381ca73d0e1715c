#pragma once
// The button images the ad library draws itself: the in-app browser's back and
// forward arrows and the web-app controllers' close button (Base64 PNG text
// kept in the program, AKIntrinsicImagesData.h), and a transparent image for
// the invisible close button of ads that draw their own.
//
// One shared instance; each image is made on first use, exactly once, from
// any thread, and kept for the life of the process. The PNG chosen depends on
// the device's screen density at that first use: the 1x one at density 1, the
// 2x one otherwise, given the density as its scale.
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIImage.h"

class AKIntrinsicImages : public NSObject {
public:
    static std::shared_ptr<AKIntrinsicImages> sharedInstance();

    UIImagePtr browserBackButton();
    UIImagePtr browserForwardButton();
    UIImagePtr closeButton();
    // A fully transparent 10 x 10 point image at the screen's scale.
    UIImagePtr transparentImage();

    // The first text at screen density 1.0, else the second.
    static const char* chooseImage(const char* image, const char* doubleDensityImage);
    // The decoded PNG, remade with the screen density as its scale (upright);
    // null when the text or the image does not decode.
    static UIImagePtr imageWithBase64EncodedString(const std::string& text);

private:
    struct Lazy {
        std::once_flag once;
        UIImagePtr image;
    };
    static UIImagePtr get(Lazy& lazy, UIImagePtr (*make)());
    Lazy back_, forward_, close_, transparent_;
};
