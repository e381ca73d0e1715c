#include "imagecache/UIImageGIF.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/graphics/CGContext.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/uikit/UIScreen.h"

UIImagePtr ri_animatedGIFWithData(const Data& data) {
    if (data.empty()) return nullptr;
    auto source = CGImageSourceCreateWithData(data);
    if (!source) return nullptr;
    std::size_t count = CGImageSourceGetCount(source);
    if (count <= 1) return UIImage::imageWithData(data);

    CGFloat scale = UIScreen::mainScreen()->scale();
    std::vector<UIImagePtr> frames;
    double duration = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto bitmap = CGImageSourceCreateImageAtIndex(source, i);
        if (!bitmap) continue;  // a damaged frame is left out
        duration += ri_frameDurationAtIndex(i, source);
        frames.push_back(UIImage::imageWithCGImage(bitmap, scale, UIImageOrientationUp));
    }
    if (frames.empty()) return nullptr;
    if (duration == 0) duration = 0.1 * static_cast<double>(frames.size());
    return UIImage::animatedImageWithImages(frames, duration);
}

float ri_frameDurationAtIndex(std::size_t index, const CGImageSourceRef& source) {
    float duration = 0.1f;
    Value properties = CGImageSourceCopyPropertiesAtIndex(source, index);
    Value gif = properties[kCGImagePropertyGIFDictionary];
    Value unclamped = gif[kCGImagePropertyGIFUnclampedDelayTime];
    if (!unclamped.isNull()) {
        duration = unclamped.floatValue();
    } else {
        Value delay = gif[kCGImagePropertyGIFDelayTime];
        if (!delay.isNull()) duration = delay.floatValue();
    }
    // Frames this short are played at 0.1 s by browsers; do the same.
    if (duration < 0.011f) duration = 0.1f;
    return duration;
}

UIImagePtr ri_animatedGIFNamed(const std::string& name) {
    auto bundle = NSBundle::mainBundle();
    auto read = [&](const std::string& resource) -> std::optional<Data> {
        auto path = bundle->pathForResource(resource, "gif");
        if (!path) return std::nullopt;
        auto data = dataWithContentsOfFile(*path);
        if (data && data->empty()) return std::nullopt;
        return data;
    };
    if (UIScreen::mainScreen()->scale() > 1.0) {
        if (auto data = read(name + "@2x")) return ri_animatedGIFWithData(*data);
    }
    if (auto data = read(name)) return ri_animatedGIFWithData(*data);
    return UIImage::imageNamed(name);
}

UIImagePtr ri_animatedImageByScalingAndCroppingToSize(const UIImagePtr& image, CGSize size) {
    if (!image) return nullptr;
    CGSize own = image->size();
    if (own == size || size == CGSizeZero || own.width <= 0 || own.height <= 0) return image;

    double widthFactor = size.width / own.width;
    double heightFactor = size.height / own.height;
    double scaleFactor = widthFactor > heightFactor ? widthFactor : heightFactor;
    CGSize scaled = CGSizeMake(own.width * scaleFactor, own.height * scaleFactor);
    CGPoint origin = CGPointZero;
    if (widthFactor > heightFactor) origin.y = (size.height - scaled.height) * 0.5;
    else if (heightFactor > widthFactor) origin.x = (size.width - scaled.width) * 0.5;

    // One context at the screen's scale, not cleared between frames.
    CGFloat screenScale = UIScreen::mainScreen()->scale();
    auto pixelWidth = static_cast<std::size_t>(std::ceil(size.width * screenScale));
    auto pixelHeight = static_cast<std::size_t>(std::ceil(size.height * screenScale));
    auto context = CGBitmapContextCreate(nullptr, pixelWidth, pixelHeight, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                         kCGImageAlphaPremultipliedFirst);
    if (!context) return nullptr;
    CGContextScaleCTM(context, screenScale, screenScale);
    std::vector<UIImagePtr> sources = image->images();
    if (sources.empty()) sources.push_back(image);
    std::vector<UIImagePtr> frames;
    for (const auto& frame : sources) {
        // The rectangle is in a top-left space; the context's y runs upwards.
        CGRect rect = CGRectMake(origin.x, size.height - origin.y - scaled.height, scaled.width, scaled.height);
        CGContextDrawImage(context, rect, frame->CGImage());
        frames.push_back(UIImage::imageWithCGImage(CGBitmapContextCreateImage(context), screenScale));
    }
    if (image->images().empty()) return frames.front();
    return UIImage::animatedImageWithImages(frames, image->duration());
}
