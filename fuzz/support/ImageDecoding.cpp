#include "support/ImageDecoding.h"

#include "support/FuzzSupport.h"

namespace fuzz {

void checkDecodeResult(const imageio::DecodeResult& result, imageio::DecodeDepth depth) {
    bool failed = result.status == kCGImageStatusInvalidData || result.status == kCGImageStatusUnexpectedEOF ||
                  result.status == kCGImageStatusUnknownType;
    if (failed) check(result.error != nullptr, "a failed decode has no error");
    check(result.properties.isDictionary(), "the file's properties are not a dictionary");
    for (const auto& frame : result.frames) {
        check(frame.properties.isDictionary(), "a frame's properties are not a dictionary");
        if (!frame.image) continue;
        check(depth == imageio::DecodeDepth::Pixels, "a header decode produced pixels");
        const CGImage& image = *frame.image;
        check(image.width() > 0 && image.height() > 0, "a decoded image has no pixels");
        check(static_cast<std::uint64_t>(image.width()) * image.height() <= kCGImageMaxPixelCount,
              "a decoded image is larger than the pixel cap");
        check(image.data().size() >= image.bytesPerRow() * image.height(),
              "a decoded image holds fewer bytes than its rows");
    }
}

int decodeAllWays(Decoder decoder, const std::uint8_t* data, std::size_t size) {
    if (size > kMaxImageInput) return 0;
    Data bytes(data, data + size);
    checkDecodeResult(decoder(bytes, true, imageio::DecodeDepth::Header), imageio::DecodeDepth::Header);
    auto whole = decoder(bytes, true, imageio::DecodeDepth::Pixels);
    checkDecodeResult(whole, imageio::DecodeDepth::Pixels);
    Data prefix(data, data + size / 2);
    checkDecodeResult(decoder(prefix, false, imageio::DecodeDepth::Pixels), imageio::DecodeDepth::Pixels);
    return 0;
}

}  // namespace fuzz
