#pragma once
// Immutable bitmaps with 8 bits per component in an RGB colour space.
//
// The pixels are kept in the layout the bitmap info names, rows from the top:
// - alpha None: 24 bits per pixel, R G B;
// - any other alpha info: 32 bits per pixel, with the alpha (or the unused
//   byte of the NoneSkip kinds) first or last, colour premultiplied by alpha
//   for the Premultiplied kinds and straight for First and Last;
// - the components in that order in memory (big-endian), unless the byte order
//   is 32-bit little-endian, which reverses each pixel's four bytes.
// Decoded images are straight: RGB (None) or, for JPEG, the display layout
// XRGB (NoneSkipFirst, host-order words) when opaque, RGBA (Last) with alpha. Images taken from
// bitmap contexts carry the context's premultiplied layout.
//
// The pixel memory is a PixelBuffer: large bitmaps live in mappings of their
// own, so a freed bitmap's memory leaves the process at once.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/Forward.h"
#include "platform/graphics/PixelBuffer.h"

using CGBitmapInfo = std::uint32_t;

enum CGImageAlphaInfo : std::uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,
    kCGImageAlphaNoneSkipFirst = 6,
    kCGImageAlphaOnly = 7,
};

inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4 << 12;
// 32-bit words in the machine's own order: with alpha (or the skipped byte)
// first and premultiplied, the drawing backend reads such pixels in place.
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Host =
    std::endian::native == std::endian::little ? kCGBitmapByteOrder32Little : kCGBitmapByteOrder32Big;

// The most pixels one bitmap may hold (256 MiB at four bytes a pixel). Image
// headers and context sizes are checked against it before anything is allocated.
inline constexpr std::uint64_t kCGImageMaxPixelCount = std::uint64_t(1) << 26;

// One pixel as straight (not premultiplied) red, green, blue and alpha.
struct CGPixel {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const CGPixel&) const = default;
};

class CGImage : public NSObject {
public:
    // Checks the layout (see above) and the buffer size; null when they do not
    // fit together. pixels must hold at least bytesPerRow x height bytes.
    static CGImageRef create(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                             std::size_t bitsPerPixel, std::size_t bytesPerRow, CGColorSpaceRef space,
                             CGBitmapInfo bitmapInfo, PixelBuffer pixels);
    static CGImageRef create(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                             std::size_t bitsPerPixel, std::size_t bytesPerRow, CGColorSpaceRef space,
                             CGBitmapInfo bitmapInfo, Data pixels) {
        return create(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, std::move(space), bitmapInfo,
                      PixelBuffer(std::move(pixels)));
    }
    // Whether a bitmap of that layout can be held (shared with the bitmap contexts).
    static bool layoutIsSupported(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                  std::size_t bitsPerPixel, std::size_t bytesPerRow, const CGColorSpaceRef& space,
                                  CGBitmapInfo bitmapInfo);

    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t bitsPerComponent() const { return 8; }
    std::size_t bitsPerPixel() const { return bitsPerPixel_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    CGBitmapInfo bitmapInfo() const { return bitmapInfo_; }
    CGImageAlphaInfo alphaInfo() const { return static_cast<CGImageAlphaInfo>(bitmapInfo_ & kCGBitmapAlphaInfoMask); }
    const CGColorSpaceRef& colorSpace() const { return space_; }
    const PixelBuffer& data() const { return pixels_; }

    // The pixel at (x, y), counted from the top left; zero outside the bitmap.
    CGPixel pixelAt(std::size_t x, std::size_t y) const;
    // The whole bitmap as packed rows of 4 bytes a pixel, R G B A, straight or
    // premultiplied.
    Data copyRGBA(bool premultiplied) const;
    // True when the alpha info carries alpha (not None or a NoneSkip kind).
    bool hasAlpha() const;

    std::string description() const override;

    // What drawing keeps of the image: the backend's surface of its pixels
    // (CGContextCairo.cpp), made by `make` on the first draw and then kept for
    // the image's life, so each draw does not convert the bitmap again.
    std::shared_ptr<void> drawingBacking(const std::function<std::shared_ptr<void>()>& make) const;
    // How many backings the process has made (each one converts or wraps a bitmap once).
    static std::uint64_t drawingBackingsMade();

    CGImage(std::size_t width, std::size_t height, std::size_t bitsPerPixel, std::size_t bytesPerRow,
            CGColorSpaceRef space, CGBitmapInfo bitmapInfo, PixelBuffer pixels);

private:
    std::size_t width_, height_, bitsPerPixel_, bytesPerRow_;
    CGColorSpaceRef space_;
    CGBitmapInfo bitmapInfo_;
    PixelBuffer pixels_;
    mutable std::mutex drawingMutex_;
    mutable std::shared_ptr<void> drawingBacking_;
};

// The image of the packed straight RGBA rows (alpha Last), or of packed RGB
// rows (alpha None) when hasAlpha is false.
CGImageRef CGImageCreateWithRGBA(std::size_t width, std::size_t height, PixelBuffer rgba, bool hasAlpha = true);
inline CGImageRef CGImageCreateWithRGBA(std::size_t width, std::size_t height, Data rgba, bool hasAlpha = true) {
    return CGImageCreateWithRGBA(width, height, PixelBuffer(std::move(rgba)), hasAlpha);
}

inline CGImageRef CGImageCreate(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                std::size_t bitsPerPixel, std::size_t bytesPerRow, const CGColorSpaceRef& space,
                                CGBitmapInfo bitmapInfo, PixelBuffer pixels) {
    return CGImage::create(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, space, bitmapInfo,
                           std::move(pixels));
}
inline CGImageRef CGImageCreate(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                std::size_t bitsPerPixel, std::size_t bytesPerRow, const CGColorSpaceRef& space,
                                CGBitmapInfo bitmapInfo, Data pixels) {
    return CGImage::create(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, space, bitmapInfo,
                           PixelBuffer(std::move(pixels)));
}
// The part of the image inside the rectangle (pixels, rounded outwards and
// clipped to the image); null when nothing is left.
CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect);

inline std::size_t CGImageGetWidth(const CGImageRef& i) { return i ? i->width() : 0; }
inline std::size_t CGImageGetHeight(const CGImageRef& i) { return i ? i->height() : 0; }
inline std::size_t CGImageGetBitsPerComponent(const CGImageRef& i) { return i ? i->bitsPerComponent() : 0; }
inline std::size_t CGImageGetBitsPerPixel(const CGImageRef& i) { return i ? i->bitsPerPixel() : 0; }
inline std::size_t CGImageGetBytesPerRow(const CGImageRef& i) { return i ? i->bytesPerRow() : 0; }
inline CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& i) { return i ? i->alphaInfo() : kCGImageAlphaNone; }
inline CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& i) { return i ? i->bitmapInfo() : 0; }
inline CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& i) { return i ? i->colorSpace() : nullptr; }
