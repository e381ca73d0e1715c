#pragma once
// Helpers shared by the image library's tests: posters made at test time,
// serving them from the loopback server, and waiting on the main run loop.
#include <atomic>
#include <memory>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSURL.h"
#include "support/LoopbackHttpServer.h"
#include "support/SampleImages.h"
#include "support/TestEnvironment.h"

namespace imagetests {

// Smooth colours that survive JPEG well; the seed shifts them so that posters differ.
inline sampleimages::PixelFn smooth(int seed = 0) {
    return [seed](std::size_t x, std::size_t y) {
        return CGPixel{static_cast<std::uint8_t>((40 + x * 3 + static_cast<std::size_t>(seed) * 7) % 256),
                       static_cast<std::uint8_t>((200 + y * 2) % 256),
                       static_cast<std::uint8_t>((90 + (x + y) + static_cast<std::size_t>(seed) * 13) % 256), 255};
    };
}

inline Data posterJpeg(std::size_t w = 40, std::size_t h = 60, int seed = 0) {
    return sampleimages::jpeg(w, h, smooth(seed));
}

inline Data posterPng(std::size_t w = 20, std::size_t h = 30, int seed = 0) {
    sampleimages::PngOptions options;
    options.colorType = 2;  // RGB
    return sampleimages::png(w, h, smooth(seed), options);
}

inline std::string asString(const Data& data) { return std::string(data.begin(), data.end()); }

inline testsupport::Reply imageReply(const Data& data, const std::string& type = "image/jpeg") {
    return testsupport::Reply::text(asString(data), type);
}

inline NSURLPtr urlOf(const testsupport::LoopbackHttpServer& server, const std::string& path) {
    return NSURL::URLWithString(server.url(path));
}

inline bool waitFor(const std::function<bool()>& condition, double seconds = 10) {
    return testsupport::runMainUntil(condition, seconds);
}

}  // namespace imagetests
