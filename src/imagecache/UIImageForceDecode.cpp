#include "imagecache/UIImageForceDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIScreen.h"

namespace {

// The decoders' two other layouts (packed RGB, straight RGBA in memory order)
// are converted row by row into the device layout in host-order words;
// drawing them through a context gives the same pixels at several times the cost.
CGImageRef convertDirectly(const CGImageRef& bitmap, CGBitmapInfo target, const CGColorSpaceRef& space) {
    if ((bitmap->bitmapInfo() & kCGBitmapByteOrderMask) != kCGBitmapByteOrderDefault) return nullptr;
    if ((target & kCGBitmapByteOrderMask) != kCGBitmapByteOrder32Host) return nullptr;
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
                const std::uint32_t word = 0xFF000000u | std::uint32_t(src[0]) << 16 | std::uint32_t(src[1]) << 8 | src[2];
                std::memcpy(dst, &word, 4);
            }
        } else {
            for (std::size_t x = 0; x < width; ++x, src += 4, dst += 4) {
                const unsigned a = src[3];
                const auto premultiplied = [a](unsigned c) { return std::uint32_t((c * a + 127) / 255); };
                const std::uint32_t word = std::uint32_t(a) << 24 | premultiplied(src[0]) << 16 |
                                           premultiplied(src[1]) << 8 | premultiplied(src[2]);
                std::memcpy(dst, &word, 4);
            }
        }
    }
    return CGImageCreate(width, height, 8, 32, outStride, space, target, std::move(out));
}

// The most pixels a decoded bitmap keeps: four screens' worth (twice the
// screen's resolution both ways, room for any place an image is drawn), and
// never less than 2^22 (16 MiB of 32-bit pixels).
std::uint64_t largestKeptPixelCount() {
    auto screen = UIScreen::mainScreen();
    const CGRect bounds = screen->portraitBounds();
    const double pixels = bounds.size.width * bounds.size.height * screen->scale() * screen->scale();
    const std::uint64_t screens = pixels > 0 && pixels < 1e15 ? static_cast<std::uint64_t>(4 * pixels) : 0;
    return std::max<std::uint64_t>(screens, std::uint64_t(1) << 22);
}

// Where one pixel's components sit in a 24- or 32-bit bitmap.
struct PixelLayout {
    std::size_t bytes = 4;
    int r = 0, g = 1, b = 2, a = -1;  // byte offsets; a < 0: opaque
    bool premultiplied = false;
};

std::optional<PixelLayout> layoutOf(const CGImage& bitmap) {
    PixelLayout layout;
    const auto alpha = bitmap.alphaInfo();
    if (bitmap.bitsPerPixel() == 24) {
        layout.bytes = 3;
        return layout;
    }
    if (bitmap.bitsPerPixel() != 32) return std::nullopt;
    const bool first = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
                       alpha == kCGImageAlphaNoneSkipFirst;
    int offsets[4] = {first ? 1 : 0, first ? 2 : 1, first ? 3 : 2, first ? 0 : 3};  // r g b a in memory order
    if ((bitmap.bitmapInfo() & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little)
        for (int& offset : offsets) offset = 3 - offset;
    layout.r = offsets[0], layout.g = offsets[1], layout.b = offsets[2];
    layout.a = bitmap.hasAlpha() ? offsets[3] : -1;
    layout.premultiplied = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaPremultipliedLast;
    return layout;
}

// The bitmap reduced to width x height by averaging the block of source pixels
// behind each target pixel (premultiplied), read once row by row, into the
// drawing backend's own 32-bit layout so that drawing reads it in place.
CGImageRef reducedBitmap(const CGImage& bitmap, std::size_t width, std::size_t height) {
    const auto layout = layoutOf(bitmap);
    if (!layout) return nullptr;
    const std::size_t inWidth = bitmap.width(), inHeight = bitmap.height();
    std::vector<std::uint32_t> column(inWidth), columnCount(width, 0);
    for (std::size_t x = 0; x < inWidth; ++x) ++columnCount[column[x] = static_cast<std::uint32_t>(x * width / inWidth)];
    PixelBuffer out = PixelBuffer::allocate(width * height * 4);
    if (out.empty()) return nullptr;
    std::vector<std::uint64_t> sums(width * 4, 0);  // premultiplied r g b and a, times 255
    std::size_t bandRows = 0, band = 0;
    auto flush = [&] {
        auto* row = reinterpret_cast<std::uint32_t*>(out.data() + band * width * 4);
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint64_t n = std::uint64_t(columnCount[x]) * bandRows * 255, half = n / 2;
            const std::uint64_t* sum = &sums[x * 4];
            const auto channel = [&](int i) { return static_cast<std::uint32_t>((sum[i] + half) / n); };
            row[x] = channel(3) << 24 | channel(0) << 16 | channel(1) << 8 | channel(2);
        }
        std::fill(sums.begin(), sums.end(), 0);
        bandRows = 0;
    };
    const std::uint8_t* pixels = bitmap.data().data();
    for (std::size_t y = 0; y < inHeight; ++y) {
        const std::size_t target = y * height / inHeight;
        if (target != band) flush(), band = target;
        const std::uint8_t* p = pixels + y * bitmap.bytesPerRow();
        for (std::size_t x = 0; x < inWidth; ++x, p += layout->bytes) {
            const unsigned a = layout->a < 0 ? 255 : p[layout->a];
            const unsigned weight = layout->premultiplied ? 255 : a;  // straight colour is premultiplied here
            std::uint64_t* sum = &sums[column[x] * 4];
            sum[0] += p[layout->r] * weight, sum[1] += p[layout->g] * weight, sum[2] += p[layout->b] * weight;
            sum[3] += a * 255;
        }
        ++bandRows;
    }
    flush();
    const CGBitmapInfo alpha = layout->a < 0 ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst;
    return CGImageCreate(width, height, 8, 32, width * 4, CGColorSpaceCreateDeviceRGB(),
                         alpha | kCGBitmapByteOrder32Host, std::move(out));
}

// A bitmap above the largest kept size, reduced to it with its proportions.
CGImageRef reducedWhenHuge(const CGImage& bitmap) {
    const std::uint64_t pixels = std::uint64_t(bitmap.width()) * bitmap.height(), largest = largestKeptPixelCount();
    if (pixels <= largest) return nullptr;
    const double factor = std::sqrt(static_cast<double>(largest) / static_cast<double>(pixels));
    const auto side = [&](std::size_t n) {
        return std::max<std::size_t>(1, static_cast<std::size_t>(std::floor(static_cast<double>(n) * factor)));
    };
    return reducedBitmap(bitmap, side(bitmap.width()), side(bitmap.height()));
}

}  // namespace

UIImagePtr decodedImageWithImage(const UIImagePtr& image) {
    if (!image || !image->images().empty() || !image->CGImage()) return image;
    const auto& bitmap = image->CGImage();
    // A huge bitmap is reduced once here rather than kept (and drawn) at full size.
    if (auto reduced = reducedWhenHuge(*bitmap))
        return UIImage::imageWithCGImage(reduced, image->scale(), image->imageOrientation());
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
    // Redrawn bitmaps take host-order words, which drawing then reads in place.
    info = (info & ~kCGBitmapByteOrderMask) | kCGBitmapByteOrder32Host;
    if (auto converted = convertDirectly(bitmap, info, space))
        return UIImage::imageWithCGImage(converted, image->scale(), image->imageOrientation());
    auto context = CGBitmapContextCreate(nullptr, width, height, bitmap->bitsPerComponent(), 0, space, info);
    if (!context) return image;
    CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)), bitmap);
    auto decoded = CGBitmapContextCreateImage(context);
    if (!decoded) return image;
    return UIImage::imageWithCGImage(decoded, image->scale(), image->imageOrientation());
}
