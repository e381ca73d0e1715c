#include "imagecache/RIWebImageCompat.h"

#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIScreen.h"

UIImagePtr RIScaledImageForKey(const std::string& key, const UIImagePtr& image) {
    if (!image) return nullptr;
    if (!image->images().empty()) {
        std::vector<UIImagePtr> frames;
        frames.reserve(image->images().size());
        for (const auto& frame : image->images()) frames.push_back(RIScaledImageForKey(key, frame));
        return UIImage::animatedImageWithImages(frames, image->duration());
    }
    if (!UIScreen::mainScreen()) return image;
    CGFloat scale = 1.0;
    if (key.size() >= 8) {
        // The marker counts when it starts 8 to 5 characters before the end.
        std::string window = key.substr(key.size() - 8, 5);
        if (window.find("@2x.") != std::string::npos) scale = 2.0;
    }
    return UIImage::imageWithCGImage(image->CGImage(), scale, image->imageOrientation());
}

void ri_dispatch_main_sync_safe(const std::function<void()>& block) { dispatch_main_sync_safe(block); }

void ri_dispatch_main_async_safe(std::function<void()> block) { dispatch_main_async_safe(std::move(block)); }
