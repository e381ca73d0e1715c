#pragma once
// The decoders and encoders behind image sources and destinations, one file per
// library (ImageDecoderPng.cpp, ...). The PNG, JPEG and WebP decoders read all
// the bytes they are given from the start; GIF keeps its place between updates
// (GifDecoder, ImageDecoderGif.h). Every decoder checks the sizes a header
// declares against kCGImageMaxPixelCount before it allocates, and turns every
// failure of the library into an error. Pixels go into PixelBuffers, cleared
// only where the library reads them back.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/imageio/CGImageProperties.h"

namespace imageio {

// Header: the properties and the number of frames only. Pixels: the images too.
enum class DecodeDepth { Header, Pixels };

struct DecodedFrame {
    Value properties = Value::dictionary();
    CGImageRef image;  // null at Header depth, or while no row has arrived
    CGImageSourceStatus status = kCGImageStatusComplete;
};

struct DecodeResult {
    CGImageSourceStatus status = kCGImageStatusComplete;
    NSErrorPtr error;  // set with the statuses InvalidData, UnexpectedEOF and UnknownType
    Value properties = Value::dictionary();  // of the whole file
    std::vector<DecodedFrame> frames;
};

// The bytes are all that arrived so far; final says no more will come. Before
// the final bytes, PNG (not interlaced), JPEG (baseline) and WebP (still) give
// the rows decoded so far as a shorter image with the status Incomplete;
// GIF the frames complete so far; WebP animations nothing until the end.
DecodeResult decodePng(const Data& data, bool final, DecodeDepth depth);
DecodeResult decodeJpeg(const Data& data, bool final, DecodeDepth depth);
DecodeResult decodeGif(const Data& data, bool final, DecodeDepth depth);
DecodeResult decodeWebp(const Data& data, bool final, DecodeDepth depth);

// Encoders: true with the file appended to out, or false with an error.
bool encodePng(const CGImage& image, Data& out, NSErrorPtr* error);
// quality 0...1; orientation 1-8 is written as an EXIF APP1 segment (0: none).
bool encodeJpeg(const CGImage& image, double quality, int orientation, Data& out, NSErrorPtr* error);

// Helpers shared by the backings.
NSErrorPtr makeError(CGImageSourceStatus status, const std::string& description);
// A result with no frames and an error (status InvalidData, UnexpectedEOF, ...).
DecodeResult failure(CGImageSourceStatus status, const std::string& description);
// The outcome of running out of bytes before the image was whole.
DecodeResult truncated(bool final, bool headerRead);
// Whether width x height pixels may be allocated (both positive, within the cap).
bool sizeIsAcceptable(std::uint64_t width, std::uint64_t height);
// The base properties of one image.
Value imageProperties(std::uint64_t width, std::uint64_t height, int depth, bool hasAlpha, const char* colorModel,
                      int orientation);

}  // namespace imageio
