// WebP decoding with libwebp's incremental decoder, which gives the rows
// decoded so far while a file is still arriving. Still images only: animated
// files are reported as unsupported.
#include <webp/decode.h>

#include <memory>

#include "platform/imageio/ImageCodecs.h"

namespace imageio {

DecodeResult decodeWebp(const Data& data, bool final, DecodeDepth depth) {
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return truncated(final, false);
    if (status != VP8_STATUS_OK) return failure(kCGImageStatusInvalidData, "Invalid WebP data");
    if (features.has_animation) return failure(kCGImageStatusInvalidData, "Animated WebP images are not supported");
    if (features.width <= 0 || features.height <= 0 || !sizeIsAcceptable(std::uint64_t(features.width), std::uint64_t(features.height)))
        return failure(kCGImageStatusInvalidData, "The image is too large");
    auto width = static_cast<std::size_t>(features.width), height = static_cast<std::size_t>(features.height);
    bool alpha = features.has_alpha != 0;
    DecodedFrame frame;
    frame.properties = imageProperties(width, height, 8, alpha, kCGImagePropertyColorModelRGB, 0);
    frame.properties.setObject(kCGImagePropertyWebPDictionary, Value::dictionary());
    DecodeResult result;
    if (depth == DecodeDepth::Header) {
        result.frames.push_back(std::move(frame));
        return result;
    }
    std::size_t channels = alpha ? 4 : 3;
    Data pixels(width * height * channels);
    std::unique_ptr<WebPIDecoder, void (*)(WebPIDecoder*)> decoder(
        WebPINewRGB(alpha ? MODE_RGBA : MODE_RGB, pixels.data(), pixels.size(), static_cast<int>(width * channels)),
        WebPIDelete);
    if (!decoder) return failure(kCGImageStatusInvalidData, "Cannot start the WebP decoder");
    status = WebPIUpdate(decoder.get(), data.data(), data.size());
    if (status == VP8_STATUS_OK) {
        frame.image = CGImageCreateWithRGBA(width, height, std::move(pixels), alpha);
        result.frames.push_back(std::move(frame));
        return result;
    }
    if (status != VP8_STATUS_SUSPENDED) {
        result = failure(kCGImageStatusInvalidData, "Invalid WebP data");
    } else {
        result = truncated(final, true);
        int rows = 0;
        if (!final && WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr) && rows > 0) {
            pixels.resize(width * channels * static_cast<std::size_t>(rows));
            frame.image = CGImageCreateWithRGBA(width, static_cast<std::size_t>(rows), std::move(pixels), alpha);
        }
    }
    frame.status = result.status;
    result.frames.push_back(std::move(frame));
    return result;
}

}  // namespace imageio
