#pragma once
// Sample images for the tests, written at test time by
// the codec libraries themselves.
#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/graphics/CGImage.h"

inline std::ostream& operator<<(std::ostream& os, const CGPixel& p) {
    return os << "(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << "," << int(p.a) << ")";
}

namespace sampleimages {

using PixelFn = std::function<CGPixel(std::size_t x, std::size_t y)>;

// A deterministic pattern with varied colours and alpha.
CGPixel pattern(std::size_t x, std::size_t y);
// Pseudo-random (incompressible) colours, opaque, seeded.
PixelFn noise(std::uint32_t seed);

struct PngOptions {
    int colorType = 6;  // PNG_COLOR_TYPE_RGB_ALPHA
    int bitDepth = 8;
    bool interlaced = false;
    int compressionLevel = -1;
    Data exif;  // eXIf chunk contents (a TIFF structure)
};
// RGB(A) PNG of the pixels at 8 or 16 bits (16-bit samples are the 8-bit value x 257
// plus the low byte given by lowByte).
Data png(std::size_t w, std::size_t h, const PixelFn& pixels, const PngOptions& options = {},
         std::uint8_t lowByte = 0);
// A palette PNG: indices into the palette; trns holds the alpha of the first entries.
Data palettePng(std::size_t w, std::size_t h, const std::vector<std::uint8_t>& indices,
                const std::vector<CGPixel>& palette, const std::vector<std::uint8_t>& trns);
// A gray PNG of the given bit depth (samples already scaled to that depth).
Data grayPng(std::size_t w, std::size_t h, int bitDepth, const std::vector<std::uint8_t>& samples);

struct JpegOptions {
    int quality = 95;
    bool progressive = false;
    bool gray = false;
    Data app1;  // written as an APP1 segment when not empty
};
Data jpeg(std::size_t w, std::size_t h, const PixelFn& pixels, const JpegOptions& options = {});

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices;
    bool control = true;  // write a graphic control block
    int delay = 0;  // hundredths of a second
    int transparent = -1;
    int disposal = 0;
    bool interlaced = false;
};
// An animated GIF over one global colour table, looping forever when loop is set.
Data gif(int width, int height, const std::vector<CGPixel>& colors, const std::vector<GifFrame>& frames,
         bool loop = true);

Data webpLossless(std::size_t w, std::size_t h, const PixelFn& pixels);
Data webpLossy(std::size_t w, std::size_t h, const PixelFn& pixels, float quality = 90);
// A lossless WebP animation: one frame per pixel function, each shown for its
// duration in milliseconds; loops loopCount times (0: forever).
Data webpAnimation(std::size_t w, std::size_t h, const std::vector<PixelFn>& frames, const std::vector<int>& durations,
                   int loopCount = 0);

// The pixels of an image as a list, for comparisons.
std::vector<CGPixel> pixelsOf(const CGImageRef& image);
// The largest difference of any component between two images of one size (256 when the sizes differ).
int maxDifference(const CGImageRef& a, const CGImageRef& b);
int maxDifference(const CGImageRef& a, std::size_t w, std::size_t h, const PixelFn& pixels, bool ignoreAlpha = false);

}  // namespace sampleimages
