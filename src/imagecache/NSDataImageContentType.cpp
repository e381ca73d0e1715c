#include "imagecache/NSDataImageContentType.h"

std::optional<std::string> ri_contentTypeForImageData(const Data& data) {
    if (data.empty()) return std::nullopt;
    switch (data[0]) {
        case 0xFF: return "image/jpeg";
        case 0x89: return "image/png";
        case 0x47: return "image/gif";
        case 0x49:
        case 0x4D: return "image/tiff";
        case 0x52: {
            if (data.size() < 12) return std::nullopt;
            std::string head(data.begin(), data.begin() + 12);
            if (head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WEBP") == 0) return "image/webp";
            return std::nullopt;
        }
        default: return std::nullopt;
    }
}

std::optional<std::string> contentTypeForImageData(const Data& data) { return ri_contentTypeForImageData(data); }
