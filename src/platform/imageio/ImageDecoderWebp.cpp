// WebP decoding with libwebp. Still images go through the incremental
// decoder, which gives the rows decoded so far while a file is still
// arriving; animations through the animation decoder, once the file is whole,
// each image being the whole canvas after its frame.
#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

#include "platform/imageio/ImageCodecs.h"

namespace imageio {
namespace {

constexpr std::uint64_t kMaxAnimationBytes = std::uint64_t(1) << 29;
constexpr std::uint32_t kMaxFrames = 10000;

Value animationFrameProperties(std::size_t width, std::size_t height, bool alpha, int milliseconds) {
    Value p = imageProperties(width, height, 8, alpha, kCGImagePropertyColorModelRGB, 0);
    double seconds = std::max(milliseconds, 0) / 1000.0;
    p.setObject(kCGImagePropertyWebPDictionary, Value{{kCGImagePropertyWebPUnclampedDelayTime, seconds},
                                                      {kCGImagePropertyWebPDelayTime, seconds < 0.05 ? 0.1 : seconds}});
    return p;
}

DecodeResult decodeAnimation(const Data& data, bool final, DecodeDepth depth, bool alpha) {
    if (!final) return truncated(false, true);  // animations are decoded whole
    WebPData bytes{data.data(), data.size()};
    std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(WebPDemux(&bytes), WebPDemuxDelete);
    if (!demux) return failure(kCGImageStatusInvalidData, "Invalid or incomplete WebP animation");
    std::uint32_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    std::uint32_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    std::uint32_t frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
    if (!sizeIsAcceptable(width, height)) return failure(kCGImageStatusInvalidData, "The image is too large");
    if (frames == 0 || frames > kMaxFrames) return failure(kCGImageStatusInvalidData, "Unsupported WebP frame count");
    if (depth == DecodeDepth::Pixels && std::uint64_t(width) * height * 4 * frames > kMaxAnimationBytes)
        return failure(kCGImageStatusInvalidData, "The WebP animation is too large");
    DecodeResult result;
    result.properties.setObject(kCGImagePropertyWebPDictionary,
                                Value{{kCGImagePropertyWebPLoopCount,
                                       static_cast<long long>(WebPDemuxGetI(demux.get(), WEBP_FF_LOOP_COUNT))}});
    if (depth == DecodeDepth::Header) {
        WebPIterator it;
        if (!WebPDemuxGetFrame(demux.get(), 1, &it)) return failure(kCGImageStatusInvalidData, "Invalid WebP animation");
        do {
            DecodedFrame frame;
            frame.properties = animationFrameProperties(width, height, alpha, it.duration);
            result.frames.push_back(std::move(frame));
        } while (WebPDemuxNextFrame(&it));
        WebPDemuxReleaseIterator(&it);
        return result;
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return failure(kCGImageStatusInvalidData, "Cannot start the WebP decoder");
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&bytes, &options),
                                                                          WebPAnimDecoderDelete);
    if (!decoder) return failure(kCGImageStatusInvalidData, "Invalid WebP animation");
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas) {
            result.status = kCGImageStatusInvalidData;
            result.error = makeError(kCGImageStatusInvalidData,
                                     "WebP frame " + std::to_string(result.frames.size()) + " cannot be decoded");
            break;
        }
        DecodedFrame frame;
        frame.properties = animationFrameProperties(width, height, alpha, timestamp - previous);
        previous = timestamp;
        frame.image = CGImageCreateWithRGBA(width, height, PixelBuffer::copyOf(canvas, std::size_t(width) * height * 4),
                                            true);
        result.frames.push_back(std::move(frame));
    }
    return result;
}

}  // namespace

DecodeResult decodeWebp(const Data& data, bool final, DecodeDepth depth) {
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return truncated(final, false);
    if (status != VP8_STATUS_OK) return failure(kCGImageStatusInvalidData, "Invalid WebP data");
    if (features.width <= 0 || features.height <= 0 || !sizeIsAcceptable(std::uint64_t(features.width), std::uint64_t(features.height)))
        return failure(kCGImageStatusInvalidData, "The image is too large");
    auto width = static_cast<std::size_t>(features.width), height = static_cast<std::size_t>(features.height);
    bool alpha = features.has_alpha != 0;
    if (features.has_animation) return decodeAnimation(data, final, depth, alpha);
    DecodedFrame frame;
    frame.properties = imageProperties(width, height, 8, alpha, kCGImagePropertyColorModelRGB, 0);
    frame.properties.setObject(kCGImagePropertyWebPDictionary, Value::dictionary());
    DecodeResult result;
    if (depth == DecodeDepth::Header) {
        result.frames.push_back(std::move(frame));
        return result;
    }
    std::size_t channels = alpha ? 4 : 3;
    PixelBuffer pixels = PixelBuffer::allocate(width * height * channels);  // every pixel is written
    if (pixels.empty()) return failure(kCGImageStatusInvalidData, "Not enough memory for the image");
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
            auto done = static_cast<std::size_t>(rows);  // only the rows written so far
            frame.image = CGImageCreateWithRGBA(width, done, PixelBuffer::copyOf(pixels.data(), width * channels * done),
                                                alpha);
        }
    }
    frame.status = result.status;
    result.frames.push_back(std::move(frame));
    return result;
}

}  // namespace imageio
