#pragma once
// GIF files read as their bytes arrive, with giflib.
//
// update() reads the records that arrived since the last call: frame headers,
// graphic controls and the loop count, skipping the compressed pixels. The
// canvas is what the frames cover: from the top left corner of the logical
// screen to the furthest right and bottom edge of any frame read so far (a
// screen larger than its frames costs nothing), and it must stay within
// kCGImageMaxPixelCount. decodeThrough() then decodes the frames not decoded
// yet, up to the one asked for, each composited onto the canvas (transparent
// at the start) with the disposal of the frame before it; each image is the
// whole canvas after its frame. A frame that widens the canvas starts the
// compositing again, so all images of one decoder state have one size.
//
// Not thread-safe: the image source that owns a decoder holds its lock.
#include <cstddef>
#include <memory>

#include "platform/foundation/Data.h"
#include "platform/imageio/ImageCodecs.h"

struct GifFileType;

namespace imageio {

class GifDecoder {
public:
    GifDecoder();
    ~GifDecoder();
    GifDecoder(const GifDecoder&) = delete;
    GifDecoder& operator=(const GifDecoder&) = delete;

    // data: every byte so far, starting with the bytes of the previous call
    // (shorter data starts over); final: no more bytes will come.
    void update(const Data& data, bool final);
    // Decodes the frames up to and including index (all of them for SIZE_MAX)
    // that are not decoded yet; data as given to the last update().
    void decodeThrough(const Data& data, std::size_t index);
    // What is known so far: the frames read (with images for those decoded),
    // the status and error, and the file's properties.
    const DecodeResult& result() const { return result_; }

private:
    struct Scan;
    struct Canvas;

    void scan(const Data& data);
    void refreshFrames();
    bool decodeFrame(GifFileType* gif, std::size_t index);
    void failPixels(std::size_t index, CGImageSourceStatus status, const std::string& why);

    std::unique_ptr<Scan> scan_;
    std::unique_ptr<Canvas> canvas_;
    DecodeResult result_;
};

}  // namespace imageio
