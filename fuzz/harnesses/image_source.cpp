// Image sources as the image downloader uses them: the format sniffed from the
// first bytes, then the file fed in pieces to an incremental source (the first
// byte of the input picks the piece size), each step asked for its status,
// properties and image, and a whole-file source compared with the final step.
#include <algorithm>

#include "Harnesses.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/imageio/ImageFormat.h"
#include "support/FuzzSupport.h"
#include "support/ImageDecoding.h"

namespace fuzz::image_source {
namespace {

constexpr std::size_t kMaxPieces = 32;

void look(const CGImageSourceRef& source) {
    (void)CGImageSourceGetType(source);
    (void)CGImageSourceGetStatus(source);
    (void)CGImageSourceCopyProperties(source);
    std::size_t count = CGImageSourceGetCount(source);
    for (std::size_t i = 0; i < count && i < 3; ++i) {
        (void)CGImageSourceGetStatusAtIndex(source, i);
        (void)CGImageSourceCopyPropertiesAtIndex(source, i);
        if (auto image = CGImageSourceCreateImageAtIndex(source, i))
            check(static_cast<std::uint64_t>(image->width()) * image->height() <= kCGImageMaxPixelCount,
                  "a source image is larger than the pixel cap");
    }
    (void)CGImageSourceCreateImageAtIndex(source, count);
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    std::size_t piece = 1 + input.take() * 16;
    if (input.size() > kMaxImageInput) return 0;
    piece = std::max(piece, input.size() / kMaxPieces + 1);  // every update decodes again from the start
    bool needMore = false;
    ImageFormat format = imageFormatForBytes(input.data(), input.size(), &needMore);
    (void)imageTypeIdentifier(format);
    check(imageFormatForTypeIdentifier(imageTypeIdentifier(format)) == format || format == ImageFormat::Unknown,
          "a format's type identifier names another format");

    auto incremental = CGImageSourceCreateIncremental();
    Data received;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        std::size_t n = std::min(piece, input.size() - at);
        received.insert(received.end(), input.data() + at, input.data() + at + n);
        CGImageSourceUpdateData(incremental, received, received.size() == input.size());
        look(incremental);
    }
    if (auto whole = CGImageSourceCreateWithData(input.restAsData())) {
        look(whole);
        check(CGImageSourceGetStatus(whole) == CGImageSourceGetStatus(incremental),
              "an incremental source ends with another status than the whole file");
        check(CGImageSourceGetCount(whole) == CGImageSourceGetCount(incremental),
              "an incremental source ends with another frame count than the whole file");
    }
    return 0;
}

}  // namespace fuzz::image_source
