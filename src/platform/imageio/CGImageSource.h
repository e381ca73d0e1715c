#pragma once
// Image sources: the images and properties in encoded bytes (PNG, JPEG, GIF
// and WebP, animated or not; TIFF is recognised but not decoded).
//
// A source made from data holds all of the file. An incremental source is fed
// all bytes received so far with CGImageSourceUpdateData; until the final
// bytes arrive its status is ReadingHeader or Incomplete, and the image at
// index 0 of a PNG (not interlaced), baseline JPEG or still WebP is the part
// decoded so far: as wide as the image and as tall as the rows that arrived;
// a GIF has the frames complete so far.
// Sources decode when first asked and keep what they decoded until new bytes
// arrive. A GIF source keeps its decoder between updates: it reads only the
// records that arrived, and decodes a frame's pixels once, when that frame (or
// a later one) is first asked for. They may be used from any thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/imageio/CGImageProperties.h"
#include "platform/imageio/Forward.h"

namespace imageio {
struct DecodeResult;
class GifDecoder;
}

class CGImageSource : public NSObject {
public:
    CGImageSource(Data data, bool incremental, bool final);
    ~CGImageSource() override;

    void updateData(Data data, bool final);
    // The type identifier ("public.png", ...); empty while unknown.
    std::string type() const;
    std::size_t count() const;
    CGImageSourceStatus status() const;
    CGImageSourceStatus statusAtIndex(std::size_t index) const;
    // The error behind a status of InvalidData, UnexpectedEOF or UnknownType.
    NSErrorPtr error() const;
    CGImageRef createImageAtIndex(std::size_t index, NSErrorPtr* error) const;
    // A new dictionary each call; null when the index has no image (yet).
    Value copyPropertiesAtIndex(std::size_t index) const;
    Value copyProperties() const;

private:
    const imageio::DecodeResult& headerLocked() const;
    // The frames through index decoded (all of them by default).
    const imageio::DecodeResult& pixelsLocked(std::size_t index = SIZE_MAX) const;
    // The GIF decoder when the bytes so far are a GIF, else null.
    imageio::GifDecoder* gifLocked() const;

    mutable std::mutex mutex_;
    Data data_;
    bool incremental_;
    bool final_;
    mutable std::unique_ptr<imageio::DecodeResult> header_;
    mutable std::unique_ptr<imageio::DecodeResult> pixels_;
    mutable std::unique_ptr<imageio::GifDecoder> gif_;
    mutable bool gifFed_ = false;  // gif_ has seen the current bytes
};

// Null for empty data.
CGImageSourceRef CGImageSourceCreateWithData(const Data& data);
CGImageSourceRef CGImageSourceCreateIncremental();
// data: every byte received so far (not only the new ones).
void CGImageSourceUpdateData(const CGImageSourceRef& source, const Data& data, bool final);
std::string CGImageSourceGetType(const CGImageSourceRef& source);
std::size_t CGImageSourceGetCount(const CGImageSourceRef& source);
CGImageSourceStatus CGImageSourceGetStatus(const CGImageSourceRef& source);
CGImageSourceStatus CGImageSourceGetStatusAtIndex(const CGImageSourceRef& source, std::size_t index);
CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, std::size_t index,
                                           NSErrorPtr* error = nullptr);
Value CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& source, std::size_t index);
Value CGImageSourceCopyProperties(const CGImageSourceRef& source);
// The type identifiers sources can decode.
std::vector<std::string> CGImageSourceCopyTypeIdentifiers();
