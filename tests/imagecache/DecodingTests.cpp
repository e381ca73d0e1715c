// Protects image decoding: sniffed content types, every format, EXIF orientation, animated GIFs, hostile bytes, @2x scale and forced decompression.
#include <doctest/doctest.h>

#include <cstring>

#include "ImageFixtures.h"
#include "imagecache/NSDataImageContentType.h"
#include "imagecache/RIWebImageCompat.h"
#include "imagecache/UIImageForceDecode.h"
#include "imagecache/UIImageGIF.h"
#include "imagecache/UIImageMultiFormat.h"
#include "platform/graphics/CGContext.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/imageio/ExifOrientation.h"
#include "platform/uikit/UIScreen.h"

using namespace imagetests;

namespace {

Data bytes(const char* text) { return Data(text, text + std::strlen(text)); }

sampleimages::GifFrame frame(int delay, bool control, std::uint8_t color) {
    sampleimages::GifFrame f{0, 0, 2, 2, std::vector<std::uint8_t>(4, color)};
    f.delay = delay;
    f.control = control;
    return f;
}

const std::vector<CGPixel> kColors = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};

}  // namespace

TEST_CASE("content types are sniffed from the first bytes") {
    CHECK(ri_contentTypeForImageData(posterJpeg(4, 4)) == "image/jpeg");
    CHECK(ri_contentTypeForImageData(posterPng(4, 4)) == "image/png");
    CHECK(ri_contentTypeForImageData(sampleimages::gif(2, 2, kColors, {frame(0, false, 1)})) == "image/gif");
    CHECK(ri_contentTypeForImageData(bytes("II*\0")) == "image/tiff");
    CHECK(ri_contentTypeForImageData(bytes("MM")) == "image/tiff");
    CHECK(ri_contentTypeForImageData(sampleimages::webpLossy(4, 4, smooth())) == "image/webp");
    // "RIFF....WEBP" needs all 12 bytes.
    CHECK(ri_contentTypeForImageData(bytes("RIFFxxxxWEBP")) == "image/webp");
    CHECK_FALSE(ri_contentTypeForImageData(bytes("RIFFxxxxWEB")));
    CHECK_FALSE(ri_contentTypeForImageData(bytes("RIFFxxxxWAVE")));
    CHECK_FALSE(ri_contentTypeForImageData(Data{}));
    CHECK_FALSE(ri_contentTypeForImageData(bytes("hello")));
    CHECK(contentTypeForImageData(posterPng(2, 2)) == "image/png");
}

TEST_CASE("images are made from every supported format") {
    auto jpeg = ri_imageWithData(posterJpeg(40, 60));
    REQUIRE(jpeg);
    CHECK(jpeg->size() == CGSizeMake(40, 60));
    CHECK(jpeg->imageOrientation() == UIImageOrientationUp);

    auto png = ri_imageWithData(posterPng(20, 30));
    REQUIRE(png);
    CHECK(png->size() == CGSizeMake(20, 30));
    CHECK(sampleimages::maxDifference(png->CGImage(), 20, 30, smooth(), true) == 0);

    // WebP, which the downloader's Accept header asks for, decodes too.
    auto lossy = ri_imageWithData(sampleimages::webpLossy(24, 16, smooth()));
    REQUIRE(lossy);
    CHECK(lossy->size() == CGSizeMake(24, 16));
    CHECK(sampleimages::maxDifference(lossy->CGImage(), 24, 16, smooth(), true) < 40);
    auto lossless = ri_imageWithData(sampleimages::webpLossless(8, 8, sampleimages::pattern));
    REQUIRE(lossless);
    CHECK(sampleimages::maxDifference(lossless->CGImage(), 8, 8, sampleimages::pattern) == 0);
    auto animatedWebp = ri_imageWithData(
        sampleimages::webpAnimation(6, 6, {smooth(1), smooth(2)}, {100, 100}));
    REQUIRE(animatedWebp);
    CHECK(animatedWebp->size() == CGSizeMake(6, 6));
}

TEST_CASE("the EXIF orientation of a JPEG becomes the image orientation") {
    for (int exif = 1; exif <= 8; ++exif) {
        sampleimages::JpegOptions options;
        options.app1 = makeExifOrientationAPP1(exif);
        Data data = sampleimages::jpeg(30, 20, smooth(), options);
        CHECK(ri_imageOrientationFromImageData(data) == ri_exifOrientationToiOSOrientation(exif));
        auto image = ri_imageWithData(data);
        REQUIRE(image);
        CHECK(image->imageOrientation() == ri_exifOrientationToiOSOrientation(exif));
    }
    sampleimages::JpegOptions rotated;
    rotated.app1 = makeExifOrientationAPP1(6);
    auto image = ri_imageWithData(sampleimages::jpeg(30, 20, smooth(), rotated));
    REQUIRE(image);
    CHECK(image->imageOrientation() == UIImageOrientationRight);
    // Turned a quarter: the sides swap in points.
    CHECK(image->size() == CGSizeMake(20, 30));
    CHECK(ri_imageOrientationFromImageData(posterJpeg(4, 4)) == UIImageOrientationUp);
    CHECK(ri_imageOrientationFromImageData(bytes("garbage")) == UIImageOrientationUp);
}

TEST_CASE("the EXIF table maps every value and anything else to up") {
    CHECK(ri_exifOrientationToiOSOrientation(1) == UIImageOrientationUp);
    CHECK(ri_exifOrientationToiOSOrientation(2) == UIImageOrientationUpMirrored);
    CHECK(ri_exifOrientationToiOSOrientation(3) == UIImageOrientationDown);
    CHECK(ri_exifOrientationToiOSOrientation(4) == UIImageOrientationDownMirrored);
    CHECK(ri_exifOrientationToiOSOrientation(5) == UIImageOrientationLeftMirrored);
    CHECK(ri_exifOrientationToiOSOrientation(6) == UIImageOrientationRight);
    CHECK(ri_exifOrientationToiOSOrientation(7) == UIImageOrientationRightMirrored);
    CHECK(ri_exifOrientationToiOSOrientation(8) == UIImageOrientationLeft);
    CHECK(ri_exifOrientationToiOSOrientation(0) == UIImageOrientationUp);
    CHECK(ri_exifOrientationToiOSOrientation(9) == UIImageOrientationUp);
    CHECK(ri_exifOrientationToiOSOrientation(-3) == UIImageOrientationUp);
}

TEST_CASE("an animated GIF becomes an animation lasting its frames' delays") {
    // No control blocks at all: 0.1 s a frame.
    auto plain = ri_imageWithData(
        sampleimages::gif(2, 2, kColors, {frame(0, false, 1), frame(0, false, 2), frame(0, false, 3)}));
    REQUIRE(plain);
    REQUIRE(plain->images().size() == 3);
    CHECK(plain->duration() == doctest::Approx(0.3));
    CHECK(plain->images()[1]->CGImage()->pixelAt(0, 0) == kColors[2]);
    CHECK(plain->scale() == UIScreen::mainScreen()->scale());

    // 1/100 s counts 0.1 s; 2/100 s counts as written although its clamped delay is 0.1.
    Data file = sampleimages::gif(2, 2, kColors, {frame(1, true, 1), frame(2, true, 2)});
    auto source = CGImageSourceCreateWithData(file);
    CHECK(ri_frameDurationAtIndex(0, source) == doctest::Approx(0.1));
    CHECK(ri_frameDurationAtIndex(1, source) == doctest::Approx(0.02));
    auto timed = ri_animatedGIFWithData(file);
    REQUIRE(timed);
    CHECK(timed->duration() == doctest::Approx(0.12));

    // One frame: a still image.
    auto still = ri_animatedGIFWithData(sampleimages::gif(2, 2, kColors, {frame(5, true, 1)}));
    REQUIRE(still);
    CHECK(still->images().empty());
    CHECK_FALSE(ri_animatedGIFWithData(Data{}));
}

TEST_CASE("a GIF with a damaged frame keeps the frames before it") {
    sampleimages::GifFrame outside{3, 3, 4, 4, std::vector<std::uint8_t>(16, 0)};
    sampleimages::GifFrame good{0, 0, 4, 4, std::vector<std::uint8_t>(16, 1)};
    auto image = ri_imageWithData(sampleimages::gif(4, 4, kColors, {good, good, outside, good}));
    REQUIRE(image);
    CHECK(image->images().size() == 2);
    CHECK_FALSE(ri_imageWithData(sampleimages::gif(4, 4, kColors, {outside})));
}

TEST_CASE("corrupt truncated and hostile bytes give no image and never crash") {
    CHECK_FALSE(ri_imageWithData(Data{}));
    CHECK_FALSE(ri_imageWithData(bytes("not an image at all")));
    CHECK_FALSE(ri_imageWithData(bytes("RIFF\x10\0\0\0WEBPVP8 garbage")));

    // Every truncation of a JPEG, PNG, GIF and WebP.
    const std::vector<Data> files = {
        posterJpeg(16, 16), posterPng(16, 16),
        sampleimages::gif(2, 2, kColors, {frame(3, true, 1), frame(3, true, 2)}),
        sampleimages::webpLossy(16, 16, smooth())};
    for (const auto& file : files) {
        for (std::size_t cut = 0; cut < file.size(); cut += std::max<std::size_t>(1, file.size() / 40)) {
            Data part(file.begin(), file.begin() + static_cast<long>(cut));
            auto image = ri_imageWithData(part);
            if (image) CHECK(image->CGImage()->width() > 0);
        }
    }

    // Declared sizes far beyond the pixel cap are refused before allocation.
    Data jpeg = posterJpeg(16, 16);
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    CHECK_FALSE(ri_imageWithData(jpeg));
    // A GIF screen of 65535 x 65535 costs only what its 2 x 2 frames cover.
    Data gif = sampleimages::gif(2, 2, kColors, {frame(0, false, 1), frame(0, false, 2)});
    gif[6] = gif[7] = gif[8] = gif[9] = 0xff;
    auto animation = ri_imageWithData(gif);
    REQUIRE(animation);
    REQUIRE(animation->images().size() == 2);
    CHECK(animation->images()[1]->CGImage()->width() == 2);
    CHECK(animation->images()[1]->CGImage()->height() == 2);
    Data png = posterPng(4, 4);
    // IHDR width and height at 16..23; the CRC no longer matters once the size is refused.
    png[16] = png[20] = 0x7f;
    png[17] = png[18] = png[19] = png[21] = png[22] = png[23] = 0xff;
    CHECK_FALSE(ri_imageWithData(png));

    // Flipped bytes all through a file.
    Data noisy = posterJpeg(24, 24);
    for (std::size_t i = 20; i < noisy.size(); i += 7) noisy[i] = static_cast<std::uint8_t>(noisy[i] ^ 0x5a);
    auto damaged = ri_imageWithData(noisy);
    if (damaged) CHECK(damaged->size() == CGSizeMake(24, 24));
}

TEST_CASE("the @2x marker of a key sets the scale only when 3 or 4 characters follow it") {
    auto image = ri_imageWithData(posterPng(20, 30));
    REQUIRE(image);
    CHECK(RIScaledImageForKey("http://h/poster@2x.png", image)->scale() == 2.0);
    CHECK(RIScaledImageForKey("http://h/poster@2x.jpeg", image)->scale() == 2.0);
    CHECK(RIScaledImageForKey("http://h/poster@2x.pn", image)->scale() == 1.0);
    CHECK(RIScaledImageForKey("http://h/poster@2x.pngxx", image)->scale() == 1.0);
    CHECK(RIScaledImageForKey("http://h/poster.png", image)->scale() == 1.0);
    CHECK(RIScaledImageForKey("@2x.png", image)->scale() == 1.0);  // shorter than 8
    CHECK(RIScaledImageForKey("a@2x.png", image)->scale() == 2.0);
    auto scaled = RIScaledImageForKey("http://h/poster@2x.png", image);
    CHECK(scaled->size() == CGSizeMake(10, 15));
    CHECK(scaled->CGImage() == image->CGImage());
    CHECK_FALSE(RIScaledImageForKey("http://h/poster@2x.png", nullptr));

    // Frames of an animation are rescaled one by one, the duration kept.
    auto animated = ri_imageWithData(sampleimages::gif(2, 2, kColors, {frame(10, true, 1), frame(10, true, 2)}));
    REQUIRE(animated);
    auto rescaled = RIScaledImageForKey("http://h/anim@2x.gif", animated);
    REQUIRE(rescaled->images().size() == 2);
    CHECK(rescaled->images()[0]->scale() == 2.0);
    CHECK(rescaled->duration() == doctest::Approx(animated->duration()));
}

TEST_CASE("forced decompression redraws into the 32-bit layouts and keeps animations") {
    // Opaque: RGB without alpha becomes no-alpha-skip-first.
    auto opaque = UIImage::imageWithCGImage(ri_imageWithData(posterPng(8, 6))->CGImage(), 2, UIImageOrientationDown);
    REQUIRE(opaque->CGImage()->alphaInfo() == kCGImageAlphaNone);
    auto decoded = decodedImageWithImage(opaque);
    REQUIRE(decoded);
    CHECK(decoded->CGImage()->alphaInfo() == kCGImageAlphaNoneSkipFirst);
    CHECK(decoded->scale() == 2);
    CHECK(decoded->imageOrientation() == UIImageOrientationDown);
    CHECK(sampleimages::maxDifference(decoded->CGImage(), opaque->CGImage()) == 0);
    // A JPEG decodes straight into that layout: its bitmap comes back as it is.
    auto jpeg = ri_imageWithData(posterJpeg(8, 6));
    REQUIRE(jpeg);
    CHECK(jpeg->CGImage()->alphaInfo() == kCGImageAlphaNoneSkipFirst);
    CHECK(decodedImageWithImage(jpeg)->CGImage() == jpeg->CGImage());

    // With alpha (straight RGBA or premultiplied last): premultiplied first.
    auto alpha = ri_imageWithData(sampleimages::png(8, 8, sampleimages::pattern));
    REQUIRE(alpha->CGImage()->hasAlpha());
    auto decodedAlpha = decodedImageWithImage(alpha);
    CHECK(decodedAlpha->CGImage()->alphaInfo() == kCGImageAlphaPremultipliedFirst);
    // Compared premultiplied: straight colours under low alpha do not survive premultiplying.
    Data expected = alpha->CGImage()->copyRGBA(true), actual = decodedAlpha->CGImage()->copyRGBA(true);
    REQUIRE(expected.size() == actual.size());
    int worst = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(expected[i] - actual[i]));
    CHECK(worst <= 1);
    auto context = CGBitmapContextCreate(nullptr, 4, 4, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                         kCGImageAlphaPremultipliedLast);
    CGContextSetRGBFillColor(context, 1, 0, 0, 0.5);
    CGContextFillRect(context, CGRectMake(0, 0, 4, 4));
    auto premultipliedLast = UIImage::imageWithCGImage(CGBitmapContextCreateImage(context));
    CHECK(decodedImageWithImage(premultipliedLast)->CGImage()->alphaInfo() == kCGImageAlphaPremultipliedFirst);

    auto animated = ri_imageWithData(sampleimages::gif(2, 2, kColors, {frame(10, true, 1), frame(10, true, 2)}));
    CHECK(decodedImageWithImage(animated) == animated);
    CHECK_FALSE(decodedImageWithImage(nullptr));
}

TEST_CASE("scaling and cropping an animation covers the target and keeps the duration") {
    auto animated = ri_imageWithData(sampleimages::gif(2, 2, kColors, {frame(10, true, 1), frame(20, true, 2)}));
    REQUIRE(animated);
    // Frames carry the screen's scale; measure in points.
    CGSize own = animated->size();
    CHECK(ri_animatedImageByScalingAndCroppingToSize(animated, own) == animated);
    CHECK(ri_animatedImageByScalingAndCroppingToSize(animated, CGSizeZero) == animated);
    CGSize wide = CGSizeMake(own.width * 3, own.height);
    auto banner = ri_animatedImageByScalingAndCroppingToSize(animated, wide);
    REQUIRE(banner);
    REQUIRE(banner->images().size() == 2);
    CHECK(banner->duration() == doctest::Approx(animated->duration()));
    CHECK(banner->size() == wide);
    // Each frame (one colour in the source) covers the whole banner.
    auto first = banner->images()[0]->CGImage(), last = banner->images()[1]->CGImage();
    CHECK(first->pixelAt(0, 0) == kColors[1]);
    CHECK(last->pixelAt(0, 0) == kColors[2]);
    CHECK(last->pixelAt(last->width() - 1, last->height() - 1) == kColors[2]);
}
