#include <cstdint>
#include <vector>

#include "networking/NLURLResponseSerialization.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGContext.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/imageio/ExifOrientation.h"
#include "platform/uikit/UIImage.h"

namespace {

// Inflation is skipped above this many pixels (1024 x 1024) and 8 bits per component.
constexpr std::uint64_t kMaxInflatedPixels = 1048576;
constexpr std::int64_t kMaxInflatedDepth = 8;
// A frame that names no delay shows this long.
constexpr double kDefaultFrameDelay = 0.1;

double frameDelay(const Value& properties) {
    for (const char* dictionary : {kCGImagePropertyGIFDictionary, kCGImagePropertyWebPDictionary}) {
        Value delay = properties[dictionary][kCGImagePropertyGIFDelayTime];
        if (delay.isNumber() && delay.doubleValue() > 0) return delay.doubleValue();
    }
    return kDefaultFrameDelay;
}

// The body's image at `scale`: a still image with the orientation the file
// names, or an animation of every frame. Null when nothing decodes.
UIImagePtr imageAtScale(const CGImageSourceRef& source, double scale) {
    const std::size_t count = CGImageSourceGetCount(source);
    if (count == 0) return nullptr;
    if (count == 1) {
        auto bitmap = CGImageSourceCreateImageAtIndex(source, 0);
        if (!bitmap) return nullptr;
        int exif = CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyOrientation].intValue();
        return UIImage::imageWithCGImage(bitmap, scale, imageOrientationFromExif(exif));
    }
    std::vector<UIImagePtr> frames;
    double duration = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto bitmap = CGImageSourceCreateImageAtIndex(source, i);
        if (!bitmap) continue;  // a frame that does not decode is left out
        frames.push_back(UIImage::imageWithCGImage(bitmap, scale));
        duration += frameDelay(CGImageSourceCopyPropertiesAtIndex(source, i));
    }
    return UIImage::animatedImageWithImages(frames, duration);
}

// The bitmap decoded for inflation: PNG and JPEG by their own decoder, a CMYK
// JPEG not (the image's RGB bitmap is taken instead).
CGImageRef decoderBitmap(const CGImageSourceRef& source, const std::optional<std::string>& mime) {
    if (!mime || (*mime != "image/png" && *mime != "image/jpeg")) return nullptr;
    const std::string type = CGImageSourceGetType(source);
    if (type != kUTTypePNG && type != kUTTypeJPEG) return nullptr;
    Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
    if (*mime == "image/jpeg" && properties[kCGImagePropertyColorModel].stringValue() == kCGImagePropertyColorModelCMYK)
        return nullptr;
    return CGImageSourceCreateImageAtIndex(source, 0);
}

// The bitmap drawn once into the display's layout; null when no context can be made.
CGImageRef inflated(const CGImageRef& bitmap) {
    const std::size_t width = CGImageGetWidth(bitmap), height = CGImageGetHeight(bitmap);
    auto space = CGColorSpaceCreateDeviceRGB();
    CGBitmapInfo info = CGImageGetBitmapInfo(bitmap);
    CGImageAlphaInfo alpha = CGImageGetAlphaInfo(bitmap);
    const bool opaque = alpha == kCGImageAlphaNone || alpha == kCGImageAlphaNoneSkipFirst ||
                        alpha == kCGImageAlphaNoneSkipLast;
    info &= ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask);
    info |= opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst;
    info |= kCGBitmapByteOrder32Host;
    auto context = CGBitmapContextCreate(nullptr, width, height, 8, 0, space, info);
    if (!context) return nullptr;
    CGContextDrawImage(context, CGRectMake(0, 0, static_cast<double>(width), static_cast<double>(height)), bitmap);
    return CGBitmapContextCreateImage(context);
}

}  // namespace

Value NLImageResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                           const NLResponseBody& data, NSErrorPtr* error) {
    if (!passesGate(response, data, error)) return {};
    if (!data || data->empty()) return {};
    auto source = CGImageSourceCreateWithData(*data);
    if (!source) return {};
    auto image = imageAtScale(source, imageScale_);
    if (!automaticallyInflatesResponseImage_) return image ? Value(image) : Value();

    auto bitmap = decoderBitmap(source, response ? response->MIMEType() : std::nullopt);
    if (!bitmap) {
        if (!image || !image->images().empty()) return image ? Value(image) : Value();
        bitmap = image->CGImage();
        if (!bitmap) return {};
    }
    const std::uint64_t pixels = std::uint64_t(CGImageGetWidth(bitmap)) * CGImageGetHeight(bitmap);
    Value depth = CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyDepth];
    const std::int64_t bits = depth.isNumber() ? depth.integerValue() : std::int64_t(CGImageGetBitsPerComponent(bitmap));
    if (pixels > kMaxInflatedPixels || bits > kMaxInflatedDepth) return image ? Value(image) : Value();
    auto drawn = inflated(bitmap);
    if (!drawn) return image ? Value(image) : Value();
    return Value(UIImage::imageWithCGImage(drawn, imageScale_,
                                           image ? image->imageOrientation() : UIImageOrientationUp));
}
