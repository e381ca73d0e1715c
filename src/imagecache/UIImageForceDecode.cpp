#include "imagecache/UIImageForceDecode.h"

#include "platform/graphics/CGContext.h"

UIImagePtr decodedImageWithImage(const UIImagePtr& image) {
    if (!image || !image->images().empty() || !image->CGImage()) return image;
    const auto& bitmap = image->CGImage();
    std::size_t width = bitmap->width(), height = bitmap->height();
    auto space = CGColorSpaceCreateDeviceRGB();
    std::size_t components = CGColorSpaceGetNumberOfComponents(space);

    CGBitmapInfo info = bitmap->bitmapInfo();
    CGBitmapInfo alpha = info & kCGBitmapAlphaInfoMask;
    bool hasAlpha = !(alpha == kCGImageAlphaNone || alpha == kCGImageAlphaNoneSkipFirst ||
                      alpha == kCGImageAlphaNoneSkipLast);
    if (alpha == kCGImageAlphaNone && components > 1) {
        info = (info & ~kCGBitmapAlphaInfoMask) | kCGImageAlphaNoneSkipFirst;
    } else if (hasAlpha && components == 3) {
        info = (info & ~kCGBitmapAlphaInfoMask) | kCGImageAlphaPremultipliedFirst;
    }
    auto context = CGBitmapContextCreate(nullptr, width, height, bitmap->bitsPerComponent(), 0, space, info);
    if (!context) return image;
    CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)), bitmap);
    auto decoded = CGBitmapContextCreateImage(context);
    if (!decoded) return image;
    return UIImage::imageWithCGImage(decoded, image->scale(), image->imageOrientation());
}
