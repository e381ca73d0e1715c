// Protects image reading: format signatures, PNG in every colour type, JPEG and EXIF orientation, animated GIF frames and delays, WebP.
#include <doctest/doctest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>

#include "support/SampleImages.h"
#include "platform/graphics/CGContext.h"
#include "platform/imageio/CGImageDestination.h"
#include "platform/imageio/CGImageProperties.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/imageio/ExifOrientation.h"
#include "platform/imageio/ImageFormat.h"

using sampleimages::PixelFn;

namespace {

CGImageRef decodeFirst(const Data& data, NSErrorPtr* error = nullptr) {
    return CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(data), 0, error);
}

Value propertiesOf(const Data& data, std::size_t index = 0) {
    return CGImageSourceCopyPropertiesAtIndex(CGImageSourceCreateWithData(data), index);
}

PixelFn opaque(const PixelFn& f) {
    return [f](std::size_t x, std::size_t y) {
        CGPixel p = f(x, y);
        p.a = 255;
        return p;
    };
}

// Smooth colours that survive lossy compression well.
CGPixel smooth(std::size_t x, std::size_t y) {
    return CGPixel{static_cast<std::uint8_t>(40 + x * 4), static_cast<std::uint8_t>(200 - y * 3),
                   static_cast<std::uint8_t>(90 + (x + y) * 2), 255};
}

// The PNG CRC over a chunk's type and data.
std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xffffffffu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return c ^ 0xffffffffu;
}

void put32(Data& d, std::uint32_t v) {
    d.insert(d.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

void appendChunk(Data& png, const char* type, const Data& body) {
    put32(png, static_cast<std::uint32_t>(body.size()));
    Data typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put32(png, crc32(typed.data(), typed.size()));
}

// A PNG whose header declares the size, with a token IDAT.
Data pngDeclaring(std::uint32_t width, std::uint32_t height) {
    Data png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Data ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    appendChunk(png, "IHDR", ihdr);
    appendChunk(png, "IDAT", Data{0x78, 0x9c, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
    appendChunk(png, "IEND", {});
    return png;
}

// Feeds the bytes in pieces; calls check(source, bytes so far, final) after each.
template <class F>
void feedInPieces(const Data& data, std::size_t piece, F&& check) {
    auto source = CGImageSourceCreateIncremental();
    for (std::size_t n = std::min(piece, data.size());; n = std::min(n + piece, data.size())) {
        bool final = n == data.size();
        CGImageSourceUpdateData(source, Data(data.begin(), data.begin() + std::ptrdiff_t(n)), final);
        check(source, n, final);
        if (final) break;
    }
}

bool isError(CGImageSourceStatus s) {
    return s == kCGImageStatusInvalidData || s == kCGImageStatusUnexpectedEOF || s == kCGImageStatusUnknownType;
}

}  // namespace

TEST_SUITE("imageio") {

TEST_CASE("formats are recognised by their signatures") {
    auto sniff = [](const Data& d, bool* more = nullptr) { return imageFormatForBytes(d.data(), d.size(), more); };
    CHECK(sniff(sampleimages::png(1, 1, sampleimages::pattern)) == ImageFormat::PNG);
    CHECK(sniff(sampleimages::jpeg(8, 8, smooth)) == ImageFormat::JPEG);
    CHECK(sniff(dataFromString("GIF87a....")) == ImageFormat::GIF);
    CHECK(sniff(dataFromString("GIF89a")) == ImageFormat::GIF);
    CHECK(sniff(Data{'I', 'I', '*', 0}) == ImageFormat::TIFF);
    CHECK(sniff(Data{'M', 'M', 0, '*'}) == ImageFormat::TIFF);
    CHECK(sniff(dataFromString(std::string_view("RIFF\x10\0\0\0WEBP", 12))) == ImageFormat::WebP);
    CHECK(sniff(dataFromString(std::string_view("RIFF\x10\0\0\0WAVE", 12))) == ImageFormat::Unknown);
    bool more = false;
    CHECK(sniff(dataFromString(std::string_view("RIFF\x10\0\0\0WEB", 11)), &more) == ImageFormat::Unknown);
    CHECK(more);
    CHECK(sniff(Data{0x89, 'P'}, &more) == ImageFormat::Unknown);
    CHECK(more);
    CHECK(sniff(dataFromString("hello world"), &more) == ImageFormat::Unknown);
    CHECK_FALSE(more);
    CHECK(sniff(Data{}, &more) == ImageFormat::Unknown);
    CHECK(more);

    CHECK(CGImageSourceGetType(CGImageSourceCreateWithData(sampleimages::png(1, 1, sampleimages::pattern))) == "public.png");
    CHECK(CGImageSourceGetType(CGImageSourceCreateWithData(sampleimages::jpeg(8, 8, smooth))) == "public.jpeg");
    CHECK(CGImageSourceGetType(CGImageSourceCreateWithData(
              sampleimages::gif(1, 1, {{1, 2, 3, 255}}, {{0, 0, 1, 1, {0}}}))) == "com.compuserve.gif");
    CHECK(CGImageSourceGetType(CGImageSourceCreateWithData(sampleimages::webpLossless(2, 2, sampleimages::pattern))) ==
          "org.webmproject.webp");
    CHECK(CGImageSourceGetType(CGImageSourceCreateWithData(dataFromString("plain text"))).empty());
    CHECK(imageFormatForTypeIdentifier("public.jpeg") == ImageFormat::JPEG);
    CHECK(imageTypeIdentifier(ImageFormat::Unknown).empty());
}

TEST_CASE("an RGBA PNG decodes to straight RGBA pixels with its properties") {
    Data file = sampleimages::png(5, 3, sampleimages::pattern);
    auto source = CGImageSourceCreateWithData(file);
    CHECK(CGImageSourceGetCount(source) == 1);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);
    CHECK(CGImageSourceGetStatusAtIndex(source, 0) == kCGImageStatusComplete);
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    REQUIRE(image);
    CHECK(CGImageGetWidth(image) == 5);
    CHECK(CGImageGetHeight(image) == 3);
    CHECK(CGImageGetBitsPerComponent(image) == 8);
    CHECK(CGImageGetBitsPerPixel(image) == 32);
    CHECK(CGImageGetBytesPerRow(image) == 20);
    CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaLast);
    CHECK(CGColorSpaceCopyName(CGImageGetColorSpace(image)) == kCGColorSpaceSRGB);
    CHECK(sampleimages::maxDifference(image, 5, 3, sampleimages::pattern) == 0);
    Value p = CGImageSourceCopyPropertiesAtIndex(source, 0);
    CHECK(p[kCGImagePropertyPixelWidth].intValue() == 5);
    CHECK(p[kCGImagePropertyPixelHeight].intValue() == 3);
    CHECK(p[kCGImagePropertyDepth].intValue() == 8);
    CHECK(p[kCGImagePropertyHasAlpha].boolValue());
    CHECK(p[kCGImagePropertyColorModel] == Value("RGB"));
    CHECK(p[kCGImagePropertyOrientation].isNull());
    CHECK(CGImageSourceCopyPropertiesAtIndex(source, 1).isNull());
    CHECK(CGImageSourceCopyProperties(source)[kCGImagePropertyFileSize].integerValue() ==
          static_cast<long long>(file.size()));
    // The same image object comes back while the source lives.
    CHECK(CGImageSourceCreateImageAtIndex(source, 0) == image);
    NSErrorPtr error;
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(source, 1, &error));
    REQUIRE(error);
    CHECK(error->domain() == kCGImageErrorDomain);
}

TEST_CASE("an opaque RGB PNG decodes without alpha") {
    sampleimages::PngOptions options;
    options.colorType = 2;  // RGB
    auto image = decodeFirst(sampleimages::png(4, 4, sampleimages::pattern, options));
    REQUIRE(image);
    CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaNone);
    CHECK(CGImageGetBitsPerPixel(image) == 24);
    CHECK(CGImageGetBytesPerRow(image) == 12);
    CHECK(sampleimages::maxDifference(image, 4, 4, opaque(sampleimages::pattern)) == 0);
}

TEST_CASE("a palette PNG with transparency expands to RGBA") {
    std::vector<CGPixel> palette = {{10, 20, 30, 255}, {200, 0, 0, 255}, {0, 200, 0, 255}};
    std::vector<std::uint8_t> indices = {0, 1, 2, 2, 1, 0};
    Data file = sampleimages::palettePng(3, 2, indices, palette, {0, 128});
    auto image = decodeFirst(file);
    REQUIRE(image);
    CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaLast);
    CHECK(image->pixelAt(0, 0) == CGPixel{10, 20, 30, 0});
    CHECK(image->pixelAt(1, 0) == CGPixel{200, 0, 0, 128});
    CHECK(image->pixelAt(2, 0) == CGPixel{0, 200, 0, 255});
    CHECK(image->pixelAt(0, 1) == CGPixel{0, 200, 0, 255});
    CHECK(propertiesOf(file)[kCGImagePropertyHasAlpha].boolValue());
}

TEST_CASE("a 16-bit PNG is scaled to 8 bits") {
    sampleimages::PngOptions options;
    options.bitDepth = 16;
    // Every sample is v * 257 + 0x80 before scaling: it rounds to v.
    Data file = sampleimages::png(4, 3, sampleimages::pattern, options, 0x80);
    auto image = decodeFirst(file);
    REQUIRE(image);
    CHECK(CGImageGetBitsPerComponent(image) == 8);
    CHECK(sampleimages::maxDifference(image, 4, 3, sampleimages::pattern) == 0);
    CHECK(propertiesOf(file)[kCGImagePropertyDepth].intValue() == 16);
    // 0x1234 scales to 18 (4660 / 257 = 18.1), 0xff34 to 254.
    options.colorType = 2;
    Data low = sampleimages::png(1, 1, [](std::size_t, std::size_t) { return CGPixel{0x12, 0xff, 0, 255}; }, options, 0x34);
    auto one = decodeFirst(low);
    REQUIRE(one);
    CHECK(one->pixelAt(0, 0) == CGPixel{18, 254, 0, 255});
}

TEST_CASE("gray and interlaced PNGs decode to RGB") {
    Data gray = sampleimages::grayPng(5, 2, 1, {1, 0, 1, 0, 1, 0, 0, 1, 1, 0});
    auto image = decodeFirst(gray);
    REQUIRE(image);
    CHECK(image->pixelAt(0, 0) == CGPixel{255, 255, 255, 255});
    CHECK(image->pixelAt(1, 0) == CGPixel{0, 0, 0, 255});
    CHECK(image->pixelAt(3, 1) == CGPixel{255, 255, 255, 255});
    CHECK(propertiesOf(gray)[kCGImagePropertyColorModel] == Value("Gray"));

    sampleimages::PngOptions options;
    options.interlaced = true;
    Data interlaced = sampleimages::png(13, 11, sampleimages::pattern, options);
    CHECK(sampleimages::maxDifference(decodeFirst(interlaced), 13, 11, sampleimages::pattern) == 0);
    CHECK(propertiesOf(interlaced)[kCGImagePropertyPNGDictionary][kCGImagePropertyPNGInterlaceType].intValue() == 1);
}

TEST_CASE("a PNG's eXIf orientation is reported") {
    sampleimages::PngOptions options;
    Data app1 = makeExifOrientationAPP1(3, true);
    options.exif = Data(app1.begin() + 6, app1.end());
    Value p = propertiesOf(sampleimages::png(2, 2, sampleimages::pattern, options));
    CHECK(p[kCGImagePropertyOrientation].intValue() == 3);
}

TEST_CASE("a JPEG decodes into the 32-bit display layout and reports the EXIF orientation in either byte order") {
    for (bool bigEndian : {false, true}) {
        CAPTURE(bigEndian);
        sampleimages::JpegOptions options;
        options.app1 = makeExifOrientationAPP1(6, bigEndian);
        Data file = sampleimages::jpeg(32, 24, smooth, options);
        auto source = CGImageSourceCreateWithData(file);
        Value p = CGImageSourceCopyPropertiesAtIndex(source, 0);
        CHECK(p[kCGImagePropertyOrientation].intValue() == 6);
        CHECK(p[kCGImagePropertyTIFFDictionary][kCGImagePropertyTIFFOrientation].intValue() == 6);
        CHECK(p[kCGImagePropertyPixelWidth].intValue() == 32);
        CHECK(p[kCGImagePropertyPixelHeight].intValue() == 24);
        CHECK_FALSE(p[kCGImagePropertyHasAlpha].boolValue());
        auto image = CGImageSourceCreateImageAtIndex(source, 0);
        REQUIRE(image);
        // The bitmap is not rotated: orientation is the caller's to apply.
        CHECK(CGImageGetWidth(image) == 32);
        // Host-order X R G B words, the layout forced decompression asks for and
        // drawing reads in place, so neither has anything to convert.
        CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaNoneSkipFirst);
        CHECK(CGImageGetBitsPerPixel(image) == 32);
        CHECK((CGImageGetBitmapInfo(image) & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Host);
        CHECK(image->data().data()[std::endian::native == std::endian::little ? 3 : 0] == 0xFF);
        CHECK(sampleimages::maxDifference(image, 32, 24, smooth) <= 6);
    }
    Value plain = propertiesOf(sampleimages::jpeg(8, 8, smooth));
    CHECK(plain[kCGImagePropertyOrientation].isNull());
    CHECK(plain[kCGImagePropertyPixelWidth].intValue() == 8);
    // Gray and progressive files.
    sampleimages::JpegOptions gray;
    gray.gray = true;
    auto g = decodeFirst(sampleimages::jpeg(16, 16, smooth, gray));
    REQUIRE(g);
    CHECK(std::abs(g->pixelAt(3, 3).r - smooth(3, 3).g) <= 4);
    CHECK(g->pixelAt(3, 3).r == g->pixelAt(3, 3).b);
    sampleimages::JpegOptions progressive;
    progressive.progressive = true;
    Data prog = sampleimages::jpeg(40, 30, smooth, progressive);
    CHECK(sampleimages::maxDifference(decodeFirst(prog), 40, 30, smooth) <= 6);
    CHECK(propertiesOf(prog)[kCGImagePropertyJFIFDictionary][kCGImagePropertyJFIFIsProgressive].boolValue());
}

TEST_CASE("the EXIF reader refuses malformed blocks") {
    Data good = makeExifOrientationAPP1(8);
    CHECK(exifOrientationFromAPP1(good.data(), good.size()) == 8);
    CHECK(exifOrientationFromAPP1(good.data(), 6) == 0);
    for (std::size_t n = 0; n < good.size(); ++n)
        CHECK(exifOrientationFromAPP1(good.data(), n) == (n >= 6 + 8 + 2 + 10 ? 8 : 0));
    Data badMagic = good;
    badMagic[6 + 2] = 43;
    CHECK(exifOrientationFromAPP1(badMagic.data(), badMagic.size()) == 0);
    Data farOffset = good;
    farOffset[6 + 4] = 0xff;
    CHECK(exifOrientationFromAPP1(farOffset.data(), farOffset.size()) == 0);
    Data outOfRange = makeExifOrientationAPP1(9);
    CHECK(exifOrientationFromAPP1(outOfRange.data(), outOfRange.size()) == 0);
    Data notShort = good;
    notShort[6 + 8 + 2 + 2] = 4;  // LONG
    CHECK(exifOrientationFromAPP1(notShort.data(), notShort.size()) == 0);
    Data hugeCount = good;
    hugeCount[6 + 8] = 0xff, hugeCount[6 + 9] = 0xff;  // 65535 entries, few present
    CHECK(exifOrientationFromAPP1(hugeCount.data(), hugeCount.size()) == 8);  // found before the end
    hugeCount[6 + 10] = 0x13;  // first entry no longer the orientation: the walk runs off the end
    CHECK(exifOrientationFromAPP1(hugeCount.data(), hugeCount.size()) == 0);
    CHECK(exifOrientationFromAPP1(nullptr, 10) == 0);
}

TEST_CASE("an animated GIF gives every frame composited with its delays") {
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    sampleimages::GifFrame red{0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)};
    red.delay = 10;
    // A 2 x 2 green frame at (1, 1) whose top-left pixel is transparent (index 0).
    sampleimages::GifFrame green{1, 1, 2, 2, {0, 2, 2, 2}};
    green.delay = 2;
    green.transparent = 0;
    green.disposal = 2;  // cleared to transparent afterwards
    sampleimages::GifFrame blue{0, 0, 1, 1, {3}};
    blue.delay = 50;
    blue.interlaced = true;
    Data file = sampleimages::gif(4, 4, colors, {red, green, blue});
    auto source = CGImageSourceCreateWithData(file);
    REQUIRE(CGImageSourceGetCount(source) == 3);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);

    auto f0 = CGImageSourceCreateImageAtIndex(source, 0);
    auto f1 = CGImageSourceCreateImageAtIndex(source, 1);
    auto f2 = CGImageSourceCreateImageAtIndex(source, 2);
    REQUIRE(f0);
    REQUIRE(f1);
    REQUIRE(f2);
    const CGPixel R{255, 0, 0, 255}, G{0, 255, 0, 255}, B{0, 0, 255, 255}, none{0, 0, 0, 0};
    CHECK(f0->width() == 4);
    CHECK(f0->height() == 4);
    for (const CGPixel& p : sampleimages::pixelsOf(f0)) CHECK(p == R);
    CHECK(f1->pixelAt(1, 1) == R);  // transparent index shows the frame below
    CHECK(f1->pixelAt(2, 1) == G);
    CHECK(f1->pixelAt(2, 2) == G);
    CHECK(f1->pixelAt(0, 0) == R);
    CHECK(f2->pixelAt(0, 0) == B);
    CHECK(f2->pixelAt(2, 2) == none);  // the green frame's area was cleared
    CHECK(f2->pixelAt(1, 1) == none);
    CHECK(f2->pixelAt(3, 3) == R);

    Value p0 = CGImageSourceCopyPropertiesAtIndex(source, 0);
    Value p1 = CGImageSourceCopyPropertiesAtIndex(source, 1);
    Value p2 = CGImageSourceCopyPropertiesAtIndex(source, 2);
    CHECK(p0[kCGImagePropertyPixelWidth].intValue() == 4);
    CHECK(p0[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFDelayTime].doubleValue() == doctest::Approx(0.1));
    CHECK(p0[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFUnclampedDelayTime].doubleValue() ==
          doctest::Approx(0.1));
    CHECK(p1[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFUnclampedDelayTime].doubleValue() ==
          doctest::Approx(0.02));
    CHECK(p1[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFDelayTime].doubleValue() == doctest::Approx(0.1));
    CHECK(p2[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFDelayTime].doubleValue() == doctest::Approx(0.5));
    CHECK(CGImageSourceCopyProperties(source)[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFLoopCount] ==
          Value(0));
}

TEST_CASE("GIF frames without control blocks have no delays and restoring frames restore") {
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}};
    sampleimages::GifFrame red{0, 0, 2, 1, {1, 1}};
    red.control = false;
    sampleimages::GifFrame green{0, 0, 1, 1, {2}};
    green.disposal = 3;  // restore what was there before
    sampleimages::GifFrame last{1, 0, 1, 1, {2}};
    Data file = sampleimages::gif(2, 1, colors, {red, green, last}, false);
    auto source = CGImageSourceCreateWithData(file);
    REQUIRE(CGImageSourceGetCount(source) == 3);
    Value gif0 = CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyGIFDictionary];
    CHECK(gif0.isDictionary());
    CHECK(gif0[kCGImagePropertyGIFDelayTime].isNull());
    CHECK(gif0[kCGImagePropertyGIFUnclampedDelayTime].isNull());
    CHECK(CGImageSourceCopyProperties(source)[kCGImagePropertyGIFDictionary][kCGImagePropertyGIFLoopCount].isNull());
    auto f1 = CGImageSourceCreateImageAtIndex(source, 1);
    auto f2 = CGImageSourceCreateImageAtIndex(source, 2);
    CHECK(f1->pixelAt(0, 0) == CGPixel{0, 255, 0, 255});
    CHECK(f2->pixelAt(0, 0) == CGPixel{255, 0, 0, 255});  // restored
    CHECK(f2->pixelAt(1, 0) == CGPixel{0, 255, 0, 255});
}

TEST_CASE("WebP decodes losslessly and lossily") {
    Data lossless = sampleimages::webpLossless(7, 5, sampleimages::pattern);
    auto source = CGImageSourceCreateWithData(lossless);
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    REQUIRE(image);
    CHECK(CGImageGetAlphaInfo(image) == kCGImageAlphaLast);
    CHECK(sampleimages::maxDifference(image, 7, 5, sampleimages::pattern) == 0);
    Value p = CGImageSourceCopyPropertiesAtIndex(source, 0);
    CHECK(p[kCGImagePropertyPixelWidth].intValue() == 7);
    CHECK(p[kCGImagePropertyHasAlpha].boolValue());

    Data lossy = sampleimages::webpLossy(48, 32, smooth, 95);
    auto photo = decodeFirst(lossy);
    REQUIRE(photo);
    CHECK(CGImageGetAlphaInfo(photo) == kCGImageAlphaNone);
    CHECK(sampleimages::maxDifference(photo, 48, 32, smooth) <= 12);
    CHECK_FALSE(propertiesOf(lossy)[kCGImagePropertyHasAlpha].boolValue());
}

TEST_CASE("a WebP animation gives every frame with its delays") {
    auto solid = [](CGPixel p) { return [p](std::size_t, std::size_t) { return p; }; };
    const CGPixel red{255, 0, 0, 255}, half{0, 0, 255, 128};
    auto corner = [red](std::size_t x, std::size_t y) { return x < 2 && y < 2 ? CGPixel{0, 255, 0, 255} : red; };
    Data file = sampleimages::webpAnimation(5, 4, {solid(red), corner, solid(half)}, {100, 20, 500}, 3);
    auto source = CGImageSourceCreateWithData(file);
    CHECK(CGImageSourceGetType(source) == "org.webmproject.webp");
    REQUIRE(CGImageSourceGetCount(source) == 3);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);
    CHECK(sampleimages::maxDifference(CGImageSourceCreateImageAtIndex(source, 0), 5, 4, solid(red)) == 0);
    CHECK(sampleimages::maxDifference(CGImageSourceCreateImageAtIndex(source, 1), 5, 4, corner) == 0);
    CHECK(sampleimages::maxDifference(CGImageSourceCreateImageAtIndex(source, 2), 5, 4, solid(half)) == 0);
    Value p1 = CGImageSourceCopyPropertiesAtIndex(source, 1);
    CHECK(p1[kCGImagePropertyPixelWidth].intValue() == 5);
    CHECK(p1[kCGImagePropertyWebPDictionary][kCGImagePropertyWebPUnclampedDelayTime].doubleValue() ==
          doctest::Approx(0.02));
    CHECK(p1[kCGImagePropertyWebPDictionary][kCGImagePropertyWebPDelayTime].doubleValue() == doctest::Approx(0.1));
    CHECK(CGImageSourceCopyPropertiesAtIndex(source, 2)[kCGImagePropertyWebPDictionary][kCGImagePropertyWebPDelayTime]
              .doubleValue() == doctest::Approx(0.5));
    CHECK(CGImageSourceCopyProperties(source)[kCGImagePropertyWebPDictionary][kCGImagePropertyWebPLoopCount] ==
          Value(3));
    // The properties read from a fresh source (no pixels decoded) are the same.
    CHECK(propertiesOf(file, 1) == p1);

    // Until the last byte arrives an animation gives no image, then all of them.
    feedInPieces(file, 40, [&](const CGImageSourceRef& s, std::size_t, bool final) {
        CHECK_FALSE(isError(CGImageSourceGetStatus(s)));
        CHECK(CGImageSourceGetCount(s) == (final ? 3u : 0u));
    });
}

TEST_CASE("headers declaring huge images are refused before anything is allocated") {
    // PNG 100000 x 100000.
    auto png = CGImageSourceCreateWithData(pngDeclaring(100000, 100000));
    CHECK(CGImageSourceGetStatus(png) == kCGImageStatusInvalidData);
    NSErrorPtr error;
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(png, 0, &error));
    REQUIRE(error);
    CHECK(error->localizedDescription().find("too large") != std::string::npos);
    CHECK(CGImageSourceGetCount(png) == 0);
    // Zero and overflowing sizes.
    CHECK(CGImageSourceGetStatus(CGImageSourceCreateWithData(pngDeclaring(0, 10))) == kCGImageStatusInvalidData);
    CHECK(CGImageSourceGetStatus(CGImageSourceCreateWithData(pngDeclaring(0x7fffffff, 0x7fffffff))) ==
          kCGImageStatusInvalidData);

    // JPEG whose frame header is patched to 60000 x 60000.
    Data jpeg = sampleimages::jpeg(16, 16, smooth);
    bool patched = false;
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            patched = true;
            break;
        }
    REQUIRE(patched);
    auto bigJpeg = CGImageSourceCreateWithData(jpeg);
    CHECK(CGImageSourceGetStatus(bigJpeg) == kCGImageStatusInvalidData);
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(bigJpeg, 0));

    // GIF whose one frame is 65535 x 65535 (its canvas, see below).
    Data gif = sampleimages::gif(2, 2, {{1, 2, 3, 255}}, {{0, 0, 2, 2, {0, 0, 0, 0}}});
    gif[6] = gif[7] = gif[8] = gif[9] = 0xff;
    const std::uint8_t separator[] = {0x2C, 0, 0, 0, 0, 2, 0, 2, 0};
    auto desc = std::search(gif.begin() + 13, gif.end(), std::begin(separator), std::end(separator));
    REQUIRE(desc != gif.end());
    desc[5] = desc[6] = desc[7] = desc[8] = 0xff;
    auto bigGif = CGImageSourceCreateWithData(gif);
    CHECK(CGImageSourceGetStatus(bigGif) == kCGImageStatusInvalidData);
    CHECK(CGImageSourceGetCount(bigGif) == 0);
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(bigGif, 0));

    // Lossless WebP whose header says 16384 x 16384.
    Data webp = sampleimages::webpLossless(4, 4, sampleimages::pattern);
    REQUIRE(std::memcmp(webp.data() + 12, "VP8L", 4) == 0);
    webp[21] = webp[22] = webp[23] = 0xff;
    webp[24] = static_cast<std::uint8_t>(webp[24] | 0x0f);
    auto bigWebp = CGImageSourceCreateWithData(webp);
    CHECK(isError(CGImageSourceGetStatus(bigWebp)));
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(bigWebp, 0));
}

TEST_CASE("a GIF's canvas is what its frames cover, not the screen it announces") {
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}};
    sampleimages::GifFrame dot{0, 0, 1, 1, {1}};
    dot.control = false;
    // 35 bytes announcing an 8192 x 8192 screen with one 1 x 1 frame.
    Data tiny = sampleimages::gif(1, 1, colors, {dot}, false);
    tiny[6] = tiny[8] = 0x00, tiny[7] = tiny[9] = 0x20;
    CHECK(tiny.size() == 35);
    auto source = CGImageSourceCreateWithData(tiny);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);
    CHECK(CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyPixelWidth].intValue() == 1);
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    REQUIRE(image);
    CHECK(image->width() == 1);
    CHECK(image->height() == 1);
    CHECK(image->data().size() == 4);
    CHECK(image->pixelAt(0, 0) == colors[1]);

    // Frames away from the origin keep their place; the canvas ends at the
    // furthest frame edge, whatever the screen says.
    sampleimages::GifFrame a{3, 2, 2, 2, {1, 1, 1, 1}};
    sampleimages::GifFrame b{1, 5, 1, 1, {1}};
    Data spread = sampleimages::gif(100, 100, colors, {a, b});
    auto frames = CGImageSourceCreateWithData(spread);
    REQUIRE(CGImageSourceGetCount(frames) == 2);
    auto first = CGImageSourceCreateImageAtIndex(frames, 0);
    auto second = CGImageSourceCreateImageAtIndex(frames, 1);
    REQUIRE(first);
    REQUIRE(second);
    CHECK(first->width() == 5);
    CHECK(first->height() == 6);
    CHECK(second->width() == 5);
    CHECK(first->pixelAt(3, 2) == colors[1]);
    CHECK(first->pixelAt(0, 0).a == 0);
    CHECK(second->pixelAt(1, 5) == colors[1]);
    CHECK(second->pixelAt(4, 3) == colors[1]);
    CHECK(CGImageSourceCopyPropertiesAtIndex(frames, 0)[kCGImagePropertyPixelHeight].intValue() == 6);
}

TEST_CASE("a GIF fed in pieces decodes each frame once") {
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}};
    sampleimages::GifFrame red{0, 0, 6, 6, std::vector<std::uint8_t>(36, 1)};
    sampleimages::GifFrame green{1, 1, 2, 2, {2, 2, 2, 2}};
    Data file = sampleimages::gif(6, 6, colors, {red, green, red, green});
    auto whole = CGImageSourceCreateWithData(file);
    REQUIRE(CGImageSourceGetCount(whole) == 4);
    // Every image handed out earlier is the very image later updates give:
    // frames already decoded are not decoded again.
    std::vector<CGImageRef> seen;
    std::size_t updates = 0;
    feedInPieces(file, 7, [&](const CGImageSourceRef& source, std::size_t, bool) {
        ++updates;
        std::size_t count = CGImageSourceGetCount(source);
        REQUIRE(count >= seen.size());
        for (std::size_t i = 0; i < count; ++i) {
            auto image = CGImageSourceCreateImageAtIndex(source, i);
            REQUIRE(image);
            if (i < seen.size()) CHECK(image == seen[i]);
            else seen.push_back(image);
        }
    });
    CHECK(updates > 8);
    REQUIRE(seen.size() == 4);
    for (std::size_t i = 0; i < 4; ++i)
        CHECK(sampleimages::maxDifference(seen[i], CGImageSourceCreateImageAtIndex(whole, i)) == 0);
}

TEST_CASE("a GIF frame outside the canvas is an error and the frames before it remain") {
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}};
    sampleimages::GifFrame good{0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)};
    sampleimages::GifFrame outside{3, 3, 4, 4, std::vector<std::uint8_t>(16, 0)};
    Data file = sampleimages::gif(4, 4, colors, {good, outside, good});
    auto source = CGImageSourceCreateWithData(file);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusInvalidData);
    CHECK(CGImageSourceGetCount(source) == 1);
    CHECK(CGImageSourceCreateImageAtIndex(source, 0));
    NSErrorPtr error;
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(source, 1, &error));
    REQUIRE(error);
    CHECK(error->localizedDescription().find("outside the canvas") != std::string::npos);

    // Only a bad frame: no image at all.
    auto alone = CGImageSourceCreateWithData(sampleimages::gif(4, 4, colors, {outside}));
    CHECK(CGImageSourceGetCount(alone) == 0);
    CHECK(CGImageSourceGetStatus(alone) == kCGImageStatusInvalidData);
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(alone, 0));

    // Indices beyond the colour table are drawn transparent, not read out of
    // bounds: a file written with four colours whose table is cut to two.
    sampleimages::GifFrame wild{0, 0, 2, 1, {1, 3}};
    Data cut = sampleimages::gif(2, 1, {colors[0], colors[1], colors[0], colors[1]}, {wild}, false);
    REQUIRE((cut[10] & 7) == 1);
    cut[10] = static_cast<std::uint8_t>(cut[10] & ~7);
    cut.erase(cut.begin() + 13 + 6, cut.begin() + 13 + 12);
    auto image = decodeFirst(cut);
    REQUIRE(image);
    CHECK(image->pixelAt(0, 0) == CGPixel{255, 0, 0, 255});
    CHECK(image->pixelAt(1, 0).a == 0);
}

TEST_CASE("a GIF with more frames than the cap keeps the frames within it") {
    sampleimages::GifFrame dot{0, 0, 1, 1, {1}};
    dot.control = false;
    Data file = sampleimages::gif(1, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}}, std::vector<sampleimages::GifFrame>(10001, dot));
    auto source = CGImageSourceCreateWithData(file);
    CHECK(CGImageSourceGetCount(source) == 10000);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusInvalidData);
    CHECK(CGImageSourceCreateImageAtIndex(source, 9999));
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(source, 10000));
}

TEST_CASE("every truncation of a file gives an error or the whole image") {
    sampleimages::JpegOptions progressive;
    progressive.progressive = true;
    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}};
    sampleimages::GifFrame a{0, 0, 3, 3, std::vector<std::uint8_t>(9, 1)};
    sampleimages::GifFrame b{1, 1, 2, 2, {2, 2, 2, 2}};
    struct Sample {
        std::string name;
        Data file;
    };
    std::vector<Sample> files = {
        {"png", sampleimages::png(9, 7, sampleimages::pattern)},
        {"jpeg", sampleimages::jpeg(24, 17, smooth)},
        {"progressive jpeg", sampleimages::jpeg(24, 17, smooth, progressive)},
        {"gif", sampleimages::gif(3, 3, colors, {a, b, a})},
        {"webp", sampleimages::webpLossless(9, 7, sampleimages::pattern)},
        {"lossy webp", sampleimages::webpLossy(24, 17, smooth)},
        {"animated webp", sampleimages::webpAnimation(4, 3, {sampleimages::pattern, smooth}, {30, 70})},
    };
    for (const Sample& s : files) {
        CAPTURE(s.name);
        auto whole = CGImageSourceCreateWithData(s.file);
        std::size_t frames = CGImageSourceGetCount(whole);
        REQUIRE(frames >= 1);
        std::vector<CGImageRef> reference;
        for (std::size_t i = 0; i < frames; ++i) reference.push_back(CGImageSourceCreateImageAtIndex(whole, i));
        for (std::size_t n = 1; n < s.file.size(); ++n) {
            CAPTURE(n);
            auto source = CGImageSourceCreateWithData(Data(s.file.begin(), s.file.begin() + std::ptrdiff_t(n)));
            CGImageSourceStatus status = CGImageSourceGetStatus(source);
            std::size_t count = CGImageSourceGetCount(source);
            CHECK(count <= frames);
            if (status != kCGImageStatusComplete) {
                // An error, with the frames that were whole before the cut.
                CHECK(isError(status));
                REQUIRE(CGImageSourceGetStatusAtIndex(source, count) != kCGImageStatusComplete);
            }
            for (std::size_t i = 0; i < count; ++i) {
                auto image = CGImageSourceCreateImageAtIndex(source, i);
                if (CGImageSourceGetStatusAtIndex(source, i) == kCGImageStatusComplete) {
                    REQUIRE(image);
                    CHECK(sampleimages::maxDifference(image, reference[i]) == 0);
                } else {
                    CHECK_FALSE(image);
                }
            }
        }
    }
}

TEST_CASE("random and damaged bytes give errors without crashing") {
    std::mt19937 random(20261207);
    std::vector<Data> valid = {
        sampleimages::png(6, 5, sampleimages::pattern),
        sampleimages::jpeg(16, 16, smooth),
        sampleimages::gif(3, 2, {{0, 0, 0, 255}, {9, 9, 9, 255}}, {{0, 0, 3, 2, {0, 1, 0, 1, 0, 1}}}),
        sampleimages::webpLossless(6, 5, sampleimages::pattern),
        sampleimages::webpLossy(16, 16, smooth),
        sampleimages::webpAnimation(4, 4, {sampleimages::pattern, smooth}, {40, 40}),
    };
    int decoded = 0, refused = 0;
    for (int round = 0; round < 480; ++round) {
        Data data = valid[static_cast<std::size_t>(round) % valid.size()];
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) data[random() % data.size()] = static_cast<std::uint8_t>(random());
        if (round % 7 == 6) {
            // Random bytes after a real signature.
            std::size_t keep = 12;
            for (std::size_t i = keep; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(random());
        }
        auto source = CGImageSourceCreateWithData(data);
        CGImageSourceStatus status = CGImageSourceGetStatus(source);
        std::size_t count = CGImageSourceGetCount(source);
        for (std::size_t i = 0; i <= count; ++i) {
            NSErrorPtr error;
            auto image = CGImageSourceCreateImageAtIndex(source, i, &error);
            CHECK((image != nullptr) != (error != nullptr));
            if (image) CHECK(image->data().size() >= image->bytesPerRow() * image->height());
            CGImageSourceCopyPropertiesAtIndex(source, i);
        }
        (status == kCGImageStatusComplete ? decoded : refused)++;
    }
    CHECK(refused > 0);
    for (int round = 0; round < 100; ++round) {
        Data noise(1 + random() % 300);
        for (auto& b : noise) b = static_cast<std::uint8_t>(random());
        auto source = CGImageSourceCreateWithData(noise);
        CHECK_FALSE(CGImageSourceCreateImageAtIndex(source, 0));
        CHECK(isError(CGImageSourceGetStatus(source)));
    }
    CHECK(CGImageSourceCreateWithData(Data{}) == nullptr);
    CHECK(CGImageSourceGetCount(nullptr) == 0);
    MESSAGE("damaged files that still decoded: " << decoded);
}

TEST_CASE("TIFF is recognised but not decoded") {
    auto source = CGImageSourceCreateWithData(Data{'I', 'I', '*', 0, 8, 0, 0, 0, 0, 0});
    CHECK(CGImageSourceGetType(source) == "public.tiff");
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusUnknownType);
    CHECK_FALSE(CGImageSourceCreateImageAtIndex(source, 0));
}

TEST_CASE("a PNG fed in pieces gives the rows so far then the whole image") {
    const std::size_t w = 16, h = 40;
    auto pixels = sampleimages::noise(7);
    sampleimages::PngOptions options;
    options.colorType = 2;
    Data file = sampleimages::png(w, h, pixels, options);
    auto full = decodeFirst(file);
    REQUIRE(full);
    std::size_t partials = 0, lastHeight = 0;
    bool sawReadingHeader = false;
    feedInPieces(file, 29, [&](const CGImageSourceRef& source, std::size_t, bool final) {
        CGImageSourceStatus status = CGImageSourceGetStatus(source);
        auto image = CGImageSourceCreateImageAtIndex(source, 0);
        if (final) {
            CHECK(status == kCGImageStatusComplete);
            CHECK(sampleimages::maxDifference(image, full) == 0);
            return;
        }
        CHECK((status == kCGImageStatusIncomplete || status == kCGImageStatusReadingHeader));
        if (status == kCGImageStatusReadingHeader) {
            sawReadingHeader = true;
            CHECK(CGImageSourceGetCount(source) == 0);
            CHECK_FALSE(image);
            return;
        }
        // Once the header is in, the size is known.
        CHECK(CGImageSourceCopyPropertiesAtIndex(source, 0)[kCGImagePropertyPixelHeight].intValue() == int(h));
        CHECK(CGImageSourceGetType(source) == "public.png");
        if (!image) return;
        CHECK(image->width() == w);
        CHECK(image->height() < h);
        CHECK(image->height() >= lastHeight);
        lastHeight = image->height();
        ++partials;
        for (std::size_t y = 0; y < image->height(); ++y)
            for (std::size_t x = 0; x < w; ++x) REQUIRE(image->pixelAt(x, y) == full->pixelAt(x, y));
    });
    CHECK(sawReadingHeader);
    CHECK(partials >= 3);
}

TEST_CASE("a baseline JPEG fed in pieces gives whole rows so far then the whole image") {
    const std::size_t w = 32, h = 96;
    Data file = sampleimages::jpeg(w, h, sampleimages::noise(3));
    auto full = decodeFirst(file);
    REQUIRE(full);
    std::size_t partials = 0;
    feedInPieces(file, 512, [&](const CGImageSourceRef& source, std::size_t, bool final) {
        auto image = CGImageSourceCreateImageAtIndex(source, 0);
        if (final) {
            CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);
            CHECK(sampleimages::maxDifference(image, full) == 0);
            return;
        }
        CHECK_FALSE(isError(CGImageSourceGetStatus(source)));
        if (!image) return;
        ++partials;
        CHECK(image->height() < h);
        for (std::size_t y = 0; y < image->height(); ++y)
            for (std::size_t x = 0; x < w; ++x) REQUIRE(image->pixelAt(x, y) == full->pixelAt(x, y));
    });
    CHECK(partials >= 3);
}

TEST_CASE("a progressive JPEG or a GIF fed in pieces gives only whole images") {
    sampleimages::JpegOptions options;
    options.progressive = true;
    Data jpeg = sampleimages::jpeg(32, 32, sampleimages::noise(5), options);
    feedInPieces(jpeg, 300, [&](const CGImageSourceRef& source, std::size_t, bool final) {
        auto image = CGImageSourceCreateImageAtIndex(source, 0);
        CHECK((image != nullptr) == final);
        CHECK(CGImageSourceGetStatus(source) == (final ? kCGImageStatusComplete : CGImageSourceGetStatus(source)));
        CHECK_FALSE(isError(CGImageSourceGetStatus(source)));
    });

    const std::vector<CGPixel> colors = {{0, 0, 0, 255}, {255, 0, 0, 255}};
    sampleimages::GifFrame frame{0, 0, 8, 8, std::vector<std::uint8_t>(64, 1)};
    Data gif = sampleimages::gif(8, 8, colors, {frame, frame, frame});
    std::size_t lastCount = 0;
    feedInPieces(gif, 10, [&](const CGImageSourceRef& source, std::size_t, bool final) {
        std::size_t count = CGImageSourceGetCount(source);
        CHECK(count >= lastCount);
        lastCount = count;
        for (std::size_t i = 0; i < count; ++i) CHECK(CGImageSourceCreateImageAtIndex(source, i));
        CGImageSourceStatus status = CGImageSourceGetStatus(source);
        if (final) CHECK(status == kCGImageStatusComplete);
        else CHECK((status == kCGImageStatusIncomplete || status == kCGImageStatusReadingHeader));
    });
    CHECK(lastCount == 3);
}

TEST_CASE("a still WebP fed in pieces ends with the whole image") {
    Data file = sampleimages::webpLossy(64, 64, sampleimages::noise(11), 80);
    auto full = decodeFirst(file);
    REQUIRE(full);
    feedInPieces(file, 256, [&](const CGImageSourceRef& source, std::size_t, bool final) {
        auto image = CGImageSourceCreateImageAtIndex(source, 0);
        CHECK_FALSE(isError(CGImageSourceGetStatus(source)));
        if (final) CHECK(sampleimages::maxDifference(image, full) == 0);
        else if (image) CHECK(image->height() < 64);
    });
}

TEST_CASE("a source made whole keeps its bytes") {
    Data file = sampleimages::png(3, 3, sampleimages::pattern);
    auto source = CGImageSourceCreateWithData(file);
    CGImageSourceUpdateData(source, Data(file.begin(), file.begin() + 20), false);
    CHECK(CGImageSourceGetStatus(source) == kCGImageStatusComplete);
    auto incremental = CGImageSourceCreateIncremental();
    CHECK(CGImageSourceGetStatus(incremental) == kCGImageStatusReadingHeader);
    CGImageSourceUpdateData(incremental, file, true);
    CHECK(CGImageSourceGetStatus(incremental) == kCGImageStatusComplete);
    CGImageSourceUpdateData(incremental, Data(file.begin(), file.begin() + 20), false);
    CHECK(CGImageSourceGetStatus(incremental) == kCGImageStatusComplete);
}

TEST_CASE("PNG encoding round-trips the pixels") {
    auto rgba = decodeFirst(sampleimages::png(6, 4, sampleimages::pattern));
    auto data = std::make_shared<Data>();
    auto destination = CGImageDestinationCreateWithData(data, kUTTypePNG, 1);
    REQUIRE(destination);
    CGImageDestinationAddImage(destination, rgba);
    NSErrorPtr error;
    REQUIRE(CGImageDestinationFinalize(destination, &error));
    CHECK_FALSE(error);
    CHECK(imageFormatForBytes(data->data(), data->size()) == ImageFormat::PNG);
    auto back = decodeFirst(*data);
    CHECK(CGImageGetAlphaInfo(back) == kCGImageAlphaLast);
    CHECK(sampleimages::maxDifference(back, rgba) == 0);

    // An opaque context image comes back as RGB.
    auto ctx = CGBitmapContextCreate(nullptr, 3, 2, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                     kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
    CGContextSetRGBFillColor(ctx, 0.2, 0.4, 0.6, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 3, 1));
    auto drawn = CGBitmapContextCreateImage(ctx);
    auto opaqueData = std::make_shared<Data>();
    auto d2 = CGImageDestinationCreateWithData(opaqueData, kUTTypePNG, 1);
    CGImageDestinationAddImage(d2, drawn);
    REQUIRE(CGImageDestinationFinalize(d2));
    auto opaqueBack = decodeFirst(*opaqueData);
    CHECK(CGImageGetAlphaInfo(opaqueBack) == kCGImageAlphaNone);
    CHECK(sampleimages::maxDifference(opaqueBack, drawn) == 0);
    CHECK(opaqueBack->pixelAt(0, 1) == CGPixel{51, 102, 153, 255});
}

TEST_CASE("JPEG encoding follows the quality and writes the orientation") {
    auto source = decodeFirst(sampleimages::png(64, 48, opaque(sampleimages::noise(9)), {}));
    auto encode = [&](double quality, int orientation) {
        auto data = std::make_shared<Data>();
        auto destination = CGImageDestinationCreateWithData(data, kUTTypeJPEG, 1);
        Value properties = Value::dictionary();
        properties.setObject(kCGImageDestinationLossyCompressionQuality, quality);
        if (orientation) properties.setObject(kCGImagePropertyOrientation, orientation);
        CGImageDestinationAddImage(destination, source, properties);
        REQUIRE(CGImageDestinationFinalize(destination));
        return *data;
    };
    Data best = encode(1.0, 6), worst = encode(0.05, 0);
    CHECK(imageFormatForBytes(best.data(), best.size()) == ImageFormat::JPEG);
    CHECK(best.size() > worst.size() * 2);
    CHECK(sampleimages::maxDifference(decodeFirst(best), source) <= 8);
    CHECK(sampleimages::maxDifference(decodeFirst(worst), source) > 8);
    CHECK(propertiesOf(best)[kCGImagePropertyOrientation].intValue() == 6);
    CHECK(propertiesOf(worst)[kCGImagePropertyOrientation].isNull());

    // A smooth image survives the default quality closely.
    auto smoothImage = decodeFirst(sampleimages::png(40, 40, smooth));
    auto data = std::make_shared<Data>();
    auto destination = CGImageDestinationCreateWithData(data, "public.jpeg", 1);
    CGImageDestinationAddImage(destination, smoothImage);
    REQUIRE(CGImageDestinationFinalize(destination));
    CHECK(sampleimages::maxDifference(decodeFirst(*data), smoothImage) <= 10);
}

TEST_CASE("destinations refuse other types and incomplete use") {
    auto data = std::make_shared<Data>(Data{1, 2, 3});
    CHECK_FALSE(CGImageDestinationCreateWithData(data, kUTTypeGIF, 1));
    CHECK_FALSE(CGImageDestinationCreateWithData(data, kUTTypePNG, 2));
    CHECK_FALSE(CGImageDestinationCreateWithData(nullptr, kUTTypePNG, 1));
    auto destination = CGImageDestinationCreateWithData(data, kUTTypePNG, 1);
    NSErrorPtr error;
    CHECK_FALSE(CGImageDestinationFinalize(destination, &error));
    CHECK(error);
    CHECK(*data == Data{1, 2, 3});  // untouched
    auto image = decodeFirst(sampleimages::png(2, 2, sampleimages::pattern));
    CGImageDestinationAddImage(destination, image);
    CGImageDestinationAddImage(destination, image);  // beyond the count: ignored
    CHECK(CGImageDestinationFinalize(destination));
    CHECK(sampleimages::maxDifference(decodeFirst(*data), image) == 0);
    CHECK_FALSE(CGImageDestinationFinalize(destination));  // only once
    CHECK(CGImageDestinationCopyTypeIdentifiers() == std::vector<std::string>{kUTTypePNG, kUTTypeJPEG});
}

TEST_CASE("decoded images redraw unchanged into the bitmaps the image library makes") {
    // An image with alpha into premultiplied-first, an opaque one into no-alpha-skip-first.
    auto withAlpha = decodeFirst(sampleimages::png(8, 6, [](std::size_t x, std::size_t y) {
        CGPixel p = sampleimages::pattern(x, y);
        p.a = static_cast<std::uint8_t>(p.a < 128 ? 255 : p.a);
        return p;
    }));
    auto photo = decodeFirst(sampleimages::jpeg(8, 6, smooth));
    struct Case {
        CGImageRef image;
        CGBitmapInfo info;
        int tolerance;
    };
    for (const Case& c : {Case{withAlpha, kCGImageAlphaPremultipliedFirst, 1}, Case{photo, kCGImageAlphaNoneSkipFirst, 0}}) {
        auto ctx = CGBitmapContextCreate(nullptr, c.image->width(), c.image->height(), 8, 0,
                                         CGColorSpaceCreateDeviceRGB(), c.info);
        REQUIRE(ctx);
        CGContextDrawImage(ctx, CGRectMake(0, 0, double(c.image->width()), double(c.image->height())), c.image);
        auto redrawn = CGBitmapContextCreateImage(ctx);
        CHECK(CGImageGetAlphaInfo(redrawn) == (c.info & kCGBitmapAlphaInfoMask));
        CHECK(sampleimages::maxDifference(redrawn, c.image) <= c.tolerance);
    }
}

}  // TEST_SUITE
