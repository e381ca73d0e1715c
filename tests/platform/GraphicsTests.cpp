// Protects the drawing layer: colour spaces, colours, image layouts and pixels, cropping, bitmap contexts, drawing, blending and the graphics state.
#include <doctest/doctest.h>

#include <cmath>
#include <cstring>

#include "support/SampleImages.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGContext.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGImage.h"

namespace {

const CGPixel kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};
const CGPixel kClear{0, 0, 0, 0};

// A 2 x 2 image: red, green on the top row; blue, white below.
CGImageRef quadrants() {
    Data rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    return CGImageCreateWithRGBA(2, 2, rgba);
}

CGContextRef rgbaContext(std::size_t w, std::size_t h, CGBitmapInfo info = kCGImageAlphaPremultipliedLast) {
    return CGBitmapContextCreate(nullptr, w, h, 8, 0, CGColorSpaceCreateDeviceRGB(), info);
}

CGPixel at(const CGContextRef& c, std::size_t x, std::size_t y) { return CGBitmapContextCreateImage(c)->pixelAt(x, y); }

bool near(const CGPixel& p, const CGPixel& q, int tolerance = 1) {
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance && std::abs(p.b - q.b) <= tolerance &&
           std::abs(p.a - q.a) <= tolerance;
}

}  // namespace

TEST_SUITE("graphics") {

TEST_CASE("colour spaces are shared and know their components") {
    CHECK(CGColorSpaceCreateDeviceRGB() == CGColorSpaceCreateDeviceRGB());
    CHECK(CGColorSpaceGetNumberOfComponents(CGColorSpaceCreateDeviceRGB()) == 3);
    CHECK(CGColorSpaceGetNumberOfComponents(CGColorSpaceCreateDeviceGray()) == 1);
    CHECK(CGColorSpaceGetModel(CGColorSpaceCreateWithName(kCGColorSpaceSRGB)) == kCGColorSpaceModelRGB);
    CHECK(CGColorSpaceCopyName(CGColorSpaceCreateWithName(kCGColorSpaceSRGB)) == "kCGColorSpaceSRGB");
    CHECK(CGColorSpaceCreateWithName("no such space") == nullptr);
    CHECK(CGColorSpaceGetNumberOfComponents(nullptr) == 0);
}

TEST_CASE("colours check their component count and clamp components") {
    CHECK(CGColorCreate(CGColorSpaceCreateDeviceRGB(), {1, 0, 0}) == nullptr);
    CHECK(CGColorCreate(nullptr, {1, 0, 0, 1}) == nullptr);
    auto c = CGColorCreate(CGColorSpaceCreateDeviceRGB(), {1.5, -1, 0.25, 0.5});
    REQUIRE(c);
    CHECK(CGColorGetComponents(c) == std::vector<double>{1, 0, 0.25, 0.5});
    CHECK(CGColorGetAlpha(c) == 0.5);
    CHECK(CGColorEqualToColor(c, CGColorCreate(CGColorSpaceCreateDeviceRGB(), {1, 0, 0.25, 0.5})));
    CHECK(CGColorGetComponents(CGColorCreateSRGB(NAN, 0, 0, NAN)) == std::vector<double>{0, 0, 0, 0});
    // Extended range keeps its colour components as given (alpha is still clamped),
    // and gives drawing clamped device values.
    auto wide = CGColorCreate(CGColorSpaceCreateWithName(kCGColorSpaceExtendedSRGB), {1.5, -0.25, 0.5, 2});
    REQUIRE(wide);
    CHECK(CGColorGetComponents(wide) == std::vector<double>{1.5, -0.25, 0.5, 1});
    double wr, wg, wb, wa;
    wide->getRGBA(wr, wg, wb, wa);
    CHECK(std::vector<double>{wr, wg, wb, wa} == std::vector<double>{1, 0, 0.5, 1});
    CHECK(CGColorSpaceGetNumberOfComponents(CGColorSpaceCreatePattern()) == 0);
    CHECK(CGColorSpaceGetModel(CGColorSpaceCreatePattern()) == kCGColorSpaceModelPattern);
    CHECK_FALSE(CGColorEqualToColor(c, CGColorCreateSRGB(1, 0, 0.25, 0.5)));
    auto gray = CGColorCreateGenericGray(0.5, 1);
    double r, g, b, a;
    gray->getRGBA(r, g, b, a);
    CHECK(r == 0.5);
    CHECK(b == 0.5);
    CHECK(a == 1);
}

TEST_CASE("images check their layout before they are made") {
    auto rgb = CGColorSpaceCreateDeviceRGB();
    CHECK(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaLast, Data(16)));
    CHECK(CGImageCreate(2, 2, 8, 24, 6, rgb, kCGImageAlphaNone, Data(12)));
    CHECK(CGImageCreate(2, 2, 8, 32, 12, rgb, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, Data(24)));
    CHECK_FALSE(CGImageCreate(2, 2, 16, 64, 16, rgb, kCGImageAlphaLast, Data(32)));          // 16 bits
    CHECK_FALSE(CGImageCreate(2, 2, 8, 24, 8, rgb, kCGImageAlphaLast, Data(16)));            // bpp mismatch
    CHECK_FALSE(CGImageCreate(2, 2, 8, 32, 7, rgb, kCGImageAlphaLast, Data(16)));            // short rows
    CHECK_FALSE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaLast, Data(15)));            // short buffer
    CHECK_FALSE(CGImageCreate(2, 2, 8, 32, 8, CGColorSpaceCreateDeviceGray(), kCGImageAlphaLast, Data(16)));
    CHECK_FALSE(CGImageCreate(0, 2, 8, 32, 8, rgb, kCGImageAlphaLast, Data(16)));
    CHECK_FALSE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaOnly, Data(16)));
    CHECK_FALSE(CGImageCreate(2, 2, 8, 24, 6, rgb, kCGImageAlphaNone | kCGBitmapByteOrder32Little, Data(12)));
    // A size beyond the pixel cap is refused whatever the buffer.
    CHECK_FALSE(CGImageCreate(100000, 100000, 8, 32, 400000, rgb, kCGImageAlphaLast, Data(16)));

    auto image = CGImageCreate(3, 2, 8, 32, 16, rgb, kCGImageAlphaPremultipliedFirst, Data(32));
    REQUIRE(image);
    CHECK(CGImageGetWidth(image) == 3);
    CHECK(CGImageGetHeight(image) == 2);
    CHECK(CGImageGetBitsPerComponent(image) == 8);
    CHECK(CGImageGetBitsPerPixel(image) == 32);
    CHECK(CGImageGetBytesPerRow(image) == 16);
    CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaPremultipliedFirst);
    CHECK(CGImageGetColorSpace(image) == rgb);
    CHECK(CGImageGetWidth(nullptr) == 0);
}

TEST_CASE("pixels read the same in every layout") {
    // One straight pixel (200, 100, 50, alpha 128) written in each layout.
    const CGPixel straight{200, 100, 50, 128};
    const std::uint8_t pr = 100, pg = 50, pb = 25;  // premultiplied by 128/255, rounded
    struct Case {
        CGBitmapInfo info;
        Data bytes;
        CGPixel expected;
    };
    std::vector<Case> cases = {
        {kCGImageAlphaLast, {200, 100, 50, 128}, straight},
        {kCGImageAlphaFirst, {128, 200, 100, 50}, straight},
        {kCGImageAlphaPremultipliedLast, {pr, pg, pb, 128}, straight},
        {kCGImageAlphaPremultipliedFirst, {128, pr, pg, pb}, straight},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {pb, pg, pr, 128}, straight},
        {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big, {pr, pg, pb, 128}, straight},
        {kCGImageAlphaNoneSkipLast, {200, 100, 50, 7}, {200, 100, 50, 255}},
        {kCGImageAlphaNoneSkipFirst, {7, 200, 100, 50}, {200, 100, 50, 255}},
        {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, {50, 100, 200, 7}, {200, 100, 50, 255}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.info);
        auto image = CGImageCreate(1, 1, 8, 32, 4, CGColorSpaceCreateDeviceRGB(), c.info, c.bytes);
        REQUIRE(image);
        CHECK(near(image->pixelAt(0, 0), c.expected, 1));
        CHECK(image->pixelAt(1, 0) == kClear);  // outside
    }
    auto rgb = CGImageCreate(1, 1, 8, 24, 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, Data{1, 2, 3});
    CHECK(rgb->pixelAt(0, 0) == CGPixel{1, 2, 3, 255});
    CHECK_FALSE(rgb->hasAlpha());
}

TEST_CASE("copyRGBA gives straight or premultiplied packed rows") {
    auto image = CGImageCreate(2, 1, 8, 32, 12, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast,
                               Data{200, 100, 50, 128, 10, 20, 30, 255, 0, 0, 0, 0});
    REQUIRE(image);
    CHECK(image->copyRGBA(false) == Data{200, 100, 50, 128, 10, 20, 30, 255});
    CHECK(image->copyRGBA(true) == Data{100, 50, 25, 128, 10, 20, 30, 255});
}

TEST_CASE("cropping keeps the pixels inside the rectangle") {
    auto image = CGImageCreateWithRGBA(4, 3, [] {
        Data d;
        for (std::size_t y = 0; y < 3; ++y)
            for (std::size_t x = 0; x < 4; ++x) {
                CGPixel p = sampleimages::pattern(x, y);
                d.insert(d.end(), {p.r, p.g, p.b, p.a});
            }
        return d;
    }());
    auto crop = CGImageCreateWithImageInRect(image, CGRectMake(1, 1, 2.5, 5));
    REQUIRE(crop);
    CHECK(crop->width() == 3);   // 1...3.5 rounds out to 1...4
    CHECK(crop->height() == 2);  // clipped to the image
    CHECK(crop->pixelAt(0, 0) == sampleimages::pattern(1, 1));
    CHECK(crop->pixelAt(2, 1) == sampleimages::pattern(3, 2));
    CHECK_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(10, 10, 2, 2)));
    CHECK_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(NAN, 0, 2, 2)));
}

TEST_CASE("bitmap contexts write fills in their own byte layout") {
    struct Case {
        CGBitmapInfo info;
        Data red;  // the bytes of an opaque red pixel
    };
    std::vector<Case> cases = {
        {kCGImageAlphaPremultipliedLast, {255, 0, 0, 255}},
        {kCGImageAlphaPremultipliedFirst, {255, 255, 0, 0}},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {0, 0, 255, 255}},
        {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, {255, 0, 0, 255}},
        {kCGImageAlphaNoneSkipLast, {255, 0, 0, 255}},
        {kCGImageAlphaNoneSkipFirst, {255, 255, 0, 0}},
        {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, {0, 0, 255, 255}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.info);
        auto ctx = rgbaContext(4, 4, c.info);
        REQUIRE(ctx);
        CHECK(CGBitmapContextGetBitmapInfo(ctx) == c.info);
        CHECK(CGBitmapContextGetBytesPerRow(ctx) == 16);
        CHECK(CGBitmapContextGetBitsPerPixel(ctx) == 32);
        CGContextSetRGBFillColor(ctx, 1, 0, 0, 1);
        // The user space has y upwards: (0, 0, 2, 2) is the bottom left quarter,
        // rows 2 and 3 of the buffer.
        CGContextFillRect(ctx, CGRectMake(0, 0, 2, 2));
        auto* bytes = static_cast<const std::uint8_t*>(CGBitmapContextGetData(ctx));
        CHECK(Data(bytes + 3 * 16, bytes + 3 * 16 + 4) == c.red);
        CHECK(Data(bytes + 2 * 16 + 4, bytes + 2 * 16 + 8) == c.red);
        auto image = CGBitmapContextCreateImage(ctx);
        REQUIRE(image);
        CHECK(image->bitmapInfo() == c.info);
        CHECK(image->pixelAt(0, 3) == kRed);
        CHECK(image->pixelAt(1, 2) == kRed);
        bool opaqueKind = (c.info & kCGBitmapAlphaInfoMask) >= kCGImageAlphaNoneSkipLast;
        CHECK(image->pixelAt(0, 0) == (opaqueKind ? CGPixel{0, 0, 0, 255} : kClear));
        CHECK(image->pixelAt(2, 3) == (opaqueKind ? CGPixel{0, 0, 0, 255} : kClear));
    }
}

TEST_CASE("bitmap contexts refuse layouts they cannot draw into") {
    std::vector<std::string> lines;
    setLogHook([&](const std::string& line) { lines.push_back(line); });
    auto rgb = CGColorSpaceCreateDeviceRGB();
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaNone));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 16, 0, rgb, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 12, rgb, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 0, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, nullptr, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 100000, 100000, 8, 0, rgb, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, SIZE_MAX / 2, 2, 8, 0, rgb, kCGImageAlphaPremultipliedLast));
    CHECK_FALSE(CGBitmapContextCreate(nullptr, 40000, 1, 8, 0, rgb, kCGImageAlphaPremultipliedLast));  // drawing limit
    CHECK(CGBitmapContextCreate(nullptr, 4, 4, 8, 32, rgb, kCGImageAlphaPremultipliedLast));
    setLogHook(nullptr);
    REQUIRE(lines.size() == 10);  // one line for each refusal
    CHECK(lines[0].find("unsupported parameter combination") != std::string::npos);
    CHECK(lines[7].find("100000 x 100000") != std::string::npos);
    // Calls on no context do nothing.
    CGContextFillRect(nullptr, CGRectMake(0, 0, 1, 1));
    CHECK(CGBitmapContextCreateImage(nullptr) == nullptr);
}

TEST_CASE("images are drawn upright and scaled into the rectangle") {
    auto ctx = rgbaContext(2, 2);
    CGContextDrawImage(ctx, CGRectMake(0, 0, 2, 2), quadrants());
    auto same = CGBitmapContextCreateImage(ctx);
    CHECK(sampleimages::pixelsOf(same) == sampleimages::pixelsOf(quadrants()));

    auto big = rgbaContext(4, 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGContextSetInterpolationQuality(big, kCGInterpolationNone);
    CHECK(CGContextGetInterpolationQuality(big) == kCGInterpolationNone);
    CGContextDrawImage(big, CGRectMake(0, 0, 4, 4), quadrants());
    auto scaled = CGBitmapContextCreateImage(big);
    const CGPixel expected[4][4] = {{kRed, kRed, kGreen, kGreen},
                                    {kRed, kRed, kGreen, kGreen},
                                    {kBlue, kBlue, kWhite, kWhite},
                                    {kBlue, kBlue, kWhite, kWhite}};
    for (std::size_t y = 0; y < 4; ++y)
        for (std::size_t x = 0; x < 4; ++x) CHECK(scaled->pixelAt(x, y) == expected[y][x]);

    // A shorter image drawn at the origin lands at the bottom of the bitmap.
    auto strip = CGImageCreateWithImageInRect(quadrants(), CGRectMake(0, 0, 2, 1));  // red, green
    auto tall = rgbaContext(2, 3);
    CGContextDrawImage(tall, CGRectMake(0, 0, 2, 1), strip);
    CHECK(at(tall, 0, 2) == kRed);
    CHECK(at(tall, 1, 2) == kGreen);
    CHECK(at(tall, 0, 0) == kClear);
}

TEST_CASE("straight and opaque images keep their colours through a premultiplied context") {
    auto ctx = rgbaContext(6, 5, kCGImageAlphaPremultipliedFirst);
    Data rgba;
    for (std::size_t y = 0; y < 5; ++y)
        for (std::size_t x = 0; x < 6; ++x) {
            CGPixel p = sampleimages::pattern(x, y);
            p.a = static_cast<std::uint8_t>(std::max<int>(p.a, 200));  // keep rounding small
            rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
        }
    auto source = CGImageCreateWithRGBA(6, 5, rgba);
    CGContextDrawImage(ctx, CGRectMake(0, 0, 6, 5), source);
    CHECK(sampleimages::maxDifference(CGBitmapContextCreateImage(ctx), source) <= 2);

    Data rgb(6 * 5 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
    auto opaque = CGImageCreateWithRGBA(6, 5, rgb, false);
    auto skip = rgbaContext(6, 5, kCGImageAlphaNoneSkipFirst);
    CGContextDrawImage(skip, CGRectMake(0, 0, 6, 5), opaque);
    CHECK(sampleimages::maxDifference(CGBitmapContextCreateImage(skip), opaque) == 0);
}

TEST_CASE("fills blend with alpha and clearing makes pixels transparent") {
    auto ctx = rgbaContext(2, 1);
    CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 2, 1));
    CGContextSetRGBFillColor(ctx, 1, 0, 0, 0.5);
    CGContextFillRect(ctx, CGRectMake(0, 0, 2, 1));
    CHECK(near(at(ctx, 0, 0), CGPixel{128, 0, 127, 255}, 1));
    CGContextSetAlpha(ctx, 0);
    CGContextSetRGBFillColor(ctx, 0, 1, 0, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 2, 1));  // global alpha 0 draws nothing
    CHECK(near(at(ctx, 0, 0), CGPixel{128, 0, 127, 255}, 1));
    CGContextClearRect(ctx, CGRectMake(1, 0, 1, 1));
    CHECK(at(ctx, 1, 0) == kClear);
    CHECK(at(ctx, 0, 0).a == 255);
    CGContextSetAlpha(ctx, 1);
    CGContextSetBlendMode(ctx, kCGBlendModeCopy);
    CGContextSetRGBFillColor(ctx, 0, 1, 0, 0.5);
    CGContextFillRect(ctx, CGRectMake(0, 0, 1, 1));  // copy replaces, no blending
    CHECK(near(at(ctx, 0, 0), CGPixel{0, 255, 0, 128}, 1));
}

TEST_CASE("the graphics state saves colours and the transform") {
    auto ctx = rgbaContext(4, 4);
    CGContextSetFillColorWithColor(ctx, CGColorCreateSRGB(1, 0, 0, 1));
    CGContextSaveGState(ctx);
    CGContextSetFillColorWithColor(ctx, CGColorCreateSRGB(0, 0, 1, 1));
    CGContextTranslateCTM(ctx, 2, 2);
    CHECK(CGContextGetCTM(ctx) == CGAffineTransform{1, 0, 0, 1, 2, 2});
    CGContextFillRect(ctx, CGRectMake(0, 0, 1, 1));  // user (2,2) = buffer row 1, column 2
    CHECK(at(ctx, 2, 1) == kBlue);
    CGContextRestoreGState(ctx);
    CGContextRestoreGState(ctx);  // unbalanced: ignored
    CHECK(CGContextGetCTM(ctx) == CGAffineTransform{});
    CGContextFillRect(ctx, CGRectMake(0, 0, 1, 1));
    CHECK(at(ctx, 0, 3) == kRed);

    // The usual flip to a top-left origin.
    CGContextTranslateCTM(ctx, 0, 4);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextSetRGBFillColor(ctx, 0, 1, 0, 1);
    CGContextFillRect(ctx, CGRectMake(3, 0, 1, 1));
    CHECK(at(ctx, 3, 0) == kGreen);
    CGContextScaleCTM(ctx, 0, 1);  // singular: ignored
    CHECK(CGContextGetCTM(ctx) == CGAffineTransform{1, 0, 0, -1, 0, 4});
}

TEST_CASE("paths fill their inside and leave the rest") {
    auto ctx = rgbaContext(20, 20);
    CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
    CGContextAddEllipseInRect(ctx, CGRectMake(0, 0, 20, 20));
    CHECK_FALSE(CGContextIsPathEmpty(ctx));
    CGContextFillPath(ctx);
    CHECK(CGContextIsPathEmpty(ctx));
    CHECK(at(ctx, 10, 10) == kBlue);
    CHECK(at(ctx, 0, 0) == kClear);
    CHECK(at(ctx, 19, 19) == kClear);

    // A rounded rectangle built from arcs to points: corners stay clear.
    auto rounded = rgbaContext(20, 20);
    CGContextSetRGBFillColor(rounded, 1, 0, 0, 1);
    CGContextMoveToPoint(rounded, 10, 0);
    CGContextAddArcToPoint(rounded, 20, 0, 20, 20, 6);
    CGContextAddArcToPoint(rounded, 20, 20, 0, 20, 6);
    CGContextAddArcToPoint(rounded, 0, 20, 0, 0, 6);
    CGContextAddArcToPoint(rounded, 0, 0, 20, 0, 6);
    CGContextClosePath(rounded);
    CGContextFillPath(rounded);
    CHECK(at(rounded, 0, 0) == kClear);
    CHECK(at(rounded, 19, 0) == kClear);
    CHECK(at(rounded, 0, 19) == kClear);
    CHECK(at(rounded, 19, 19) == kClear);
    CHECK(at(rounded, 10, 0) == kRed);
    CHECK(at(rounded, 0, 10) == kRed);
    CHECK(at(rounded, 10, 10) == kRed);

    // A stroked rectangle paints its edge only; the path survives FillRect.
    auto stroked = rgbaContext(10, 10);
    CGContextSetRGBStrokeColor(stroked, 0, 1, 0, 1);
    CGContextSetLineWidth(stroked, 2);
    CGContextAddRect(stroked, CGRectMake(1, 1, 8, 8));
    CGContextFillRect(stroked, CGRectMake(0, 0, 0, 0));
    CHECK_FALSE(CGContextIsPathEmpty(stroked));
    CGContextStrokePath(stroked);
    CHECK(at(stroked, 1, 5) == kGreen);
    CHECK(at(stroked, 5, 5) == kClear);
}

TEST_CASE("clipping limits painting") {
    auto ctx = rgbaContext(4, 4);
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, CGRectMake(0, 0, 2, 4));
    CGContextSetRGBFillColor(ctx, 1, 0, 0, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 4, 4));
    CGContextRestoreGState(ctx);
    CHECK(at(ctx, 1, 1) == kRed);
    CHECK(at(ctx, 2, 1) == kClear);
    CGContextAddRect(ctx, CGRectMake(3, 0, 1, 4));
    CGContextClip(ctx);
    CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 4, 4));
    CHECK(at(ctx, 3, 1) == kBlue);
    CHECK(at(ctx, 2, 1) == kClear);
    CHECK(at(ctx, 1, 1) == kRed);
}

TEST_CASE("a caller's buffer is kept current in both directions") {
    for (CGBitmapInfo info : {CGBitmapInfo(kCGImageAlphaPremultipliedLast),
                              CGBitmapInfo(kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little)}) {
        CAPTURE(info);
        std::vector<std::uint32_t> storage(3 * 2, 0);  // 3 x 2 pixels, aligned
        auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
        auto ctx = CGBitmapContextCreate(buffer, 3, 2, 8, 12, CGColorSpaceCreateDeviceRGB(), info);
        REQUIRE(ctx);
        CHECK(CGBitmapContextGetData(ctx) == buffer);
        CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
        CGContextFillRect(ctx, CGRectMake(0, 1, 1, 1));  // top left pixel
        auto image = CGImageCreate(3, 2, 8, 32, 12, CGColorSpaceCreateDeviceRGB(), info, Data(buffer, buffer + 24));
        CHECK(image->pixelAt(0, 0) == kBlue);
        // Write white into the bottom right pixel by hand, then draw elsewhere.
        std::memset(buffer + 12 + 8, 255, 4);
        CGContextFillRect(ctx, CGRectMake(1, 1, 1, 1));
        auto after = CGBitmapContextCreateImage(ctx);
        CHECK(after->pixelAt(2, 1) == kWhite);
        CHECK(after->pixelAt(1, 0) == kBlue);
        CHECK(after->pixelAt(0, 0) == kBlue);
    }
}

}  // TEST_SUITE
