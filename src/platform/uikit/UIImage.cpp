#include "platform/uikit/UIImage.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/imageio/CGImageDestination.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/uikit/UIScreen.h"

UIImage::UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation)
    : image_(std::move(image)), scale_(scale > 0 ? scale : 1), orientation_(orientation) {}

UIImagePtr UIImage::imageWithCGImage(const CGImageRef& image, CGFloat scale, UIImageOrientation orientation) {
    if (!image) return nullptr;
    return std::make_shared<UIImage>(image, scale, orientation);
}

UIImagePtr UIImage::imageWithData(const Data& data, CGFloat scale) {
    auto source = CGImageSourceCreateWithData(data);
    if (!source || CGImageSourceGetCount(source) == 0) return nullptr;
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    return imageWithCGImage(image, scale);
}

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

UIImagePtr UIImage::imageWithContentsOfFile(const std::string& path) {
    auto data = dataWithContentsOfFile(path);
    if (!data) return nullptr;
    std::string stem = path;
    auto slash = stem.find_last_of('/');
    auto dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
    return imageWithData(*data, endsWith(stem, "@2x") ? 2 : 1);
}

UIImagePtr UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    std::string stem = name, type = "png";
    auto dot = name.find_last_of('.');
    auto slash = name.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        stem = name.substr(0, dot);
        type = name.substr(dot + 1);
    }
    auto bundle = NSBundle::mainBundle();
    if (UIScreen::mainScreen()->scale() > 1 && !endsWith(stem, "@2x")) {
        if (auto path = bundle->pathForResource(stem + "@2x", type))
            if (auto image = imageWithContentsOfFile(*path)) return image;
    }
    if (auto path = bundle->pathForResource(stem, type)) return imageWithContentsOfFile(*path);
    return nullptr;
}

UIImagePtr UIImage::animatedImageWithImages(const std::vector<UIImagePtr>& images, double duration) {
    std::vector<UIImagePtr> frames;
    for (const auto& image : images)
        if (image) frames.push_back(image);
    if (frames.empty()) return nullptr;
    auto result = std::make_shared<UIImage>(frames.front()->CGImage(), frames.front()->scale(), UIImageOrientationUp);
    result->images_ = std::move(frames);
    result->duration_ = duration;
    return result;
}

CGSize UIImage::size() const {
    CGFloat w = image_ ? static_cast<CGFloat>(image_->width()) / scale_ : 0;
    CGFloat h = image_ ? static_cast<CGFloat>(image_->height()) / scale_ : 0;
    switch (orientation_) {
        case UIImageOrientationLeft:
        case UIImageOrientationRight:
        case UIImageOrientationLeftMirrored:
        case UIImageOrientationRightMirrored:
            return CGSizeMake(h, w);
        default:
            return CGSizeMake(w, h);
    }
}

std::string UIImage::description() const {
    auto s = size();
    return format("<UIImage %gx%g @%gx orientation %ld%s>", s.width, s.height, scale_, static_cast<long>(orientation_),
                  images_.empty() ? "" : format(" %zu frames %gs", images_.size(), duration_).c_str());
}

namespace {

// The EXIF value that the platform orientation stands for.
int exifFromOrientation(UIImageOrientation orientation) {
    switch (orientation) {
        case UIImageOrientationUp: return 1;
        case UIImageOrientationUpMirrored: return 2;
        case UIImageOrientationDown: return 3;
        case UIImageOrientationDownMirrored: return 4;
        case UIImageOrientationLeftMirrored: return 5;
        case UIImageOrientationRight: return 6;
        case UIImageOrientationRightMirrored: return 7;
        case UIImageOrientationLeft: return 8;
    }
    return 1;
}

std::optional<Data> encode(const UIImagePtr& image, const char* type, Value properties) {
    if (!image || !image->CGImage()) return std::nullopt;
    auto data = std::make_shared<Data>();
    auto destination = CGImageDestinationCreateWithData(data, type, 1);
    if (!destination) return std::nullopt;
    CGImageDestinationAddImage(destination, image->CGImage(), properties);
    if (!CGImageDestinationFinalize(destination)) return std::nullopt;
    return std::move(*data);
}

}  // namespace

std::optional<Data> UIImagePNGRepresentation(const UIImagePtr& image) { return encode(image, kUTTypePNG, {}); }

std::optional<Data> UIImageJPEGRepresentation(const UIImagePtr& image, double compressionQuality) {
    Value properties = Value::dictionary();
    properties.setObject(kCGImageDestinationLossyCompressionQuality, std::clamp(compressionQuality, 0.0, 1.0));
    if (image && image->imageOrientation() != UIImageOrientationUp)
        properties.setObject(kCGImagePropertyOrientation, exifFromOrientation(image->imageOrientation()));
    return encode(image, kUTTypeJPEG, properties);
}

UIImageOrientation imageOrientationFromExif(long exifOrientation) {
    switch (exifOrientation) {
    case 2: return UIImageOrientationUpMirrored;
    case 3: return UIImageOrientationDown;
    case 4: return UIImageOrientationDownMirrored;
    case 5: return UIImageOrientationLeftMirrored;
    case 6: return UIImageOrientationRight;
    case 7: return UIImageOrientationRightMirrored;
    case 8: return UIImageOrientationLeft;
    default: return UIImageOrientationUp;
    }
}
