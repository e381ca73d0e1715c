#include "platform/imageio/ImageCodecs.h"

namespace imageio {

NSErrorPtr makeError(CGImageSourceStatus status, const std::string& description) {
    return NSError::make(kCGImageErrorDomain, status, description);
}

DecodeResult failure(CGImageSourceStatus status, const std::string& description) {
    DecodeResult r;
    r.status = status;
    r.error = makeError(status, description);
    return r;
}

DecodeResult truncated(bool final, bool headerRead) {
    if (final) return failure(kCGImageStatusUnexpectedEOF, "The image data ends before the image is complete");
    DecodeResult r;
    r.status = headerRead ? kCGImageStatusIncomplete : kCGImageStatusReadingHeader;
    return r;
}

bool sizeIsAcceptable(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return false;
    if (width > kCGImageMaxPixelCount || height > kCGImageMaxPixelCount) return false;
    return width * height <= kCGImageMaxPixelCount;
}

Value imageProperties(std::uint64_t width, std::uint64_t height, int depth, bool hasAlpha, const char* colorModel,
                      int orientation) {
    Value p = Value::dictionary();
    p.setObject(kCGImagePropertyPixelWidth, Value(static_cast<long long>(width)));
    p.setObject(kCGImagePropertyPixelHeight, Value(static_cast<long long>(height)));
    p.setObject(kCGImagePropertyDepth, depth);
    p.setObject(kCGImagePropertyHasAlpha, hasAlpha);
    p.setObject(kCGImagePropertyColorModel, colorModel);
    if (orientation >= 1 && orientation <= 8) {
        p.setObject(kCGImagePropertyOrientation, orientation);
        p.setObject(kCGImagePropertyTIFFDictionary, Value{{kCGImagePropertyTIFFOrientation, orientation}});
    }
    return p;
}

}  // namespace imageio
