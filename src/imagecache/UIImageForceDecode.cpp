#include "imagecache/UIImageForceDecode.h"

#include <cstring>

#include "platform/graphics/CGContext.h"

namespace {

// The decoders' two other layouts (packed RGB, straight RGBA in memory order)
// are converted row by row into the device layout; drawing them through a
// context gives the same pixels at several times the cost.
CGImageRef convertDirectly(const CGImageRef& bitmap, CGBitmapInfo target, const CGColorSpaceRef& space) {
    if ((bitmap->bitmapInfo() & kCGBitmapByteOrderMask) != kCGBitmapByteOrderDefault) return nullptr;
    if ((target & kCGBitmapByteOrderMask) != kCGBitmapByteOrderDefault) return nullptr;
    const std::size_t width = bitmap->width(), height = bitmap->height();
    const std::size_t inStride = bitmap->bytesPerRow(), outStride = width * 4;
    const auto source = bitmap->alphaInfo();
    const auto alpha = static_cast<CGImageAlphaInfo>(target & kCGBitmapAlphaInfoMask);
    bool rgbToSkipFirst = source == kCGImageAlphaNone && bitmap->bitsPerPixel() == 24 &&
                          alpha == kCGImageAlphaNoneSkipFirst;
    bool rgbaToPremultipliedFirst = source == kCGImageAlphaLast && bitmap->bitsPerPixel() == 32 &&
                                    alpha == kCGImageAlphaPremultipliedFirst;
    if (!rgbToSkipFirst && !rgbaToPremultipliedFirst) return nullptr;
    const PixelBuffer& in = bitmap->data();
    if (in.size() < inStride * height) return nullptr;
    // Every byte is written below.
    PixelBuffer out = PixelBuffer::allocate(outStride * height);
    if (out.empty()) return nullptr;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = in.data() + y * inStride;
        std::uint8_t* dst = out.data() + y * outStride;
        if (rgbToSkipFirst) {
            for (std::size_t x = 0; x < width; ++x, src += 3, dst += 4) {
                const std::uint8_t pixel[4] = {255, src[0], src[1], src[2]};
                std::memcpy(dst, pixel, 4);
            }
        } else {
            for (std::size_t x = 0; x < width; ++x, src += 4, dst += 4) {
                unsigned a = src[3];
                dst[0] = static_cast<std::uint8_t>(a);
                dst[1] = static_cast<std::uint8_t>((src[0] * a + 127) / 255);
                dst[2] = static_cast<std::uint8_t>((src[1] * a + 127) / 255);
                dst[3] = static_cast<std::uint8_t>((src[2] * a + 127) / 255);
            }
        }
    }
    return CGImageCreate(width, height, 8, 32, outStride, space, target, std::move(out));
}

}  // namespace

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
    // A bitmap already in the layout asked for (JPEG decodes straight into it)
    // would only be copied.
    if (info == bitmap->bitmapInfo() && bitmap->bitsPerPixel() == 32 &&
        CGColorSpaceGetNumberOfComponents(bitmap->colorSpace()) == components)
        return image;
    if (auto converted = convertDirectly(bitmap, info, space))
        return UIImage::imageWithCGImage(converted, image->scale(), image->imageOrientation());
    auto context = CGBitmapContextCreate(nullptr, width, height, bitmap->bitsPerComponent(), 0, space, info);
    if (!context) return image;
    CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)), bitmap);
    auto decoded = CGBitmapContextCreateImage(context);
    if (!decoded) return image;
    return UIImage::imageWithCGImage(decoded, image->scale(), image->imageOrientation());
}
