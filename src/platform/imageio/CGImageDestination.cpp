#include "platform/imageio/CGImageDestination.h"

#include "platform/foundation/NSLog.h"
#include "platform/imageio/ImageCodecs.h"

CGImageDestination::CGImageDestination(std::shared_ptr<Data> data, std::string type, std::size_t count)
    : data_(std::move(data)), type_(std::move(type)), count_(count) {}

void CGImageDestination::addImage(CGImageRef image, Value properties) {
    if (!image) return;
    if (finalized_ || images_.size() >= count_) {
        NSLog("CGImageDestinationAddImage: the destination takes %zu image(s); image ignored", count_);
        return;
    }
    images_.emplace_back(std::move(image), std::move(properties));
}

bool CGImageDestination::finalize(NSErrorPtr* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = imageio::makeError(kCGImageStatusInvalidData, why);
        return false;
    };
    if (finalized_) return fail("The destination was finalized before");
    if (images_.size() != count_) return fail(format("%zu image(s) announced, %zu added", count_, images_.size()));
    finalized_ = true;
    const auto& [image, properties] = images_.front();
    Data out;
    bool ok;
    if (type_ == kUTTypePNG) {
        ok = imageio::encodePng(*image, out, error);
    } else {
        Value quality = properties[kCGImageDestinationLossyCompressionQuality];
        ok = imageio::encodeJpeg(*image, quality.isNumber() ? quality.doubleValue() : 0.75,
                                 properties[kCGImagePropertyOrientation].intValue(), out, error);
    }
    if (ok) *data_ = std::move(out);
    return ok;
}

CGImageDestinationRef CGImageDestinationCreateWithData(const std::shared_ptr<Data>& data, const std::string& type,
                                                       std::size_t count) {
    if (!data || count != 1 || (type != kUTTypePNG && type != kUTTypeJPEG)) return nullptr;
    return std::make_shared<CGImageDestination>(data, type, count);
}

void CGImageDestinationAddImage(const CGImageDestinationRef& destination, const CGImageRef& image,
                                const Value& properties) {
    if (destination) destination->addImage(image, properties);
}

bool CGImageDestinationFinalize(const CGImageDestinationRef& destination, NSErrorPtr* error) {
    if (!destination) {
        if (error) *error = imageio::makeError(kCGImageStatusInvalidData, "No image destination");
        return false;
    }
    return destination->finalize(error);
}

std::vector<std::string> CGImageDestinationCopyTypeIdentifiers() { return {kUTTypePNG, kUTTypeJPEG}; }
