#include "platform/imageio/ImageFormat.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/imageio/CGImageProperties.h"

namespace {

// Whether the bytes start with the signature (a '?' matches any byte).
// Returns 1 for a match, 0 for a mismatch, -1 when the bytes end first.
int matches(const std::uint8_t* bytes, std::size_t size, std::string_view sig) {
    std::size_t n = std::min(size, sig.size());
    for (std::size_t i = 0; i < n; ++i)
        if (sig[i] != '?' && bytes[i] != static_cast<std::uint8_t>(sig[i])) return 0;
    return size >= sig.size() ? 1 : -1;
}

}  // namespace

ImageFormat imageFormatForBytes(const std::uint8_t* bytes, std::size_t size, bool* needMore) {
    using namespace std::string_view_literals;
    struct Signature {
        std::string_view bytes;
        ImageFormat format;
    };
    static const Signature signatures[] = {
        {"\x89PNG\r\n\x1a\n"sv, ImageFormat::PNG}, {"\xff\xd8\xff"sv, ImageFormat::JPEG},
        {"GIF87a"sv, ImageFormat::GIF},            {"GIF89a"sv, ImageFormat::GIF},
        {"II*\0"sv, ImageFormat::TIFF},            {"MM\0*"sv, ImageFormat::TIFF},
        {"RIFF????WEBP"sv, ImageFormat::WebP},
    };
    bool prefix = false;
    for (const auto& s : signatures) {
        int m = bytes ? matches(bytes, size, s.bytes) : (size == 0 ? -1 : 0);
        if (m == 1) {
            if (needMore) *needMore = false;
            return s.format;
        }
        prefix = prefix || m == -1;
    }
    if (needMore) *needMore = prefix;
    return ImageFormat::Unknown;
}

std::string imageTypeIdentifier(ImageFormat format) {
    switch (format) {
    case ImageFormat::PNG: return kUTTypePNG;
    case ImageFormat::JPEG: return kUTTypeJPEG;
    case ImageFormat::GIF: return kUTTypeGIF;
    case ImageFormat::TIFF: return kUTTypeTIFF;
    case ImageFormat::WebP: return kUTTypeWebP;
    case ImageFormat::Unknown: break;
    }
    return {};
}

ImageFormat imageFormatForTypeIdentifier(const std::string& type) {
    for (ImageFormat f : {ImageFormat::PNG, ImageFormat::JPEG, ImageFormat::GIF, ImageFormat::TIFF, ImageFormat::WebP})
        if (imageTypeIdentifier(f) == type) return f;
    return ImageFormat::Unknown;
}
