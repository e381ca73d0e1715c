#include "platform/imageio/CGImageSource.h"

#include <memory>

#include "platform/foundation/NSLog.h"
#include "platform/imageio/ImageCodecs.h"
#include "platform/imageio/ImageDecoderGif.h"
#include "platform/imageio/ImageFormat.h"

using imageio::DecodeDepth;
using imageio::DecodeResult;

namespace {

DecodeResult decode(const Data& data, bool final, DecodeDepth depth) {
    bool needMore = false;
    ImageFormat format = imageFormatForBytes(data.data(), data.size(), &needMore);
    switch (format) {
    case ImageFormat::PNG: return imageio::decodePng(data, final, depth);
    case ImageFormat::JPEG: return imageio::decodeJpeg(data, final, depth);
    case ImageFormat::GIF: return imageio::decodeGif(data, final, depth);
    case ImageFormat::WebP: return imageio::decodeWebp(data, final, depth);
    case ImageFormat::TIFF: return imageio::failure(kCGImageStatusUnknownType, "TIFF images are not decoded");
    case ImageFormat::Unknown: break;
    }
    if (needMore && !final) {
        DecodeResult r;
        r.status = kCGImageStatusReadingHeader;
        return r;
    }
    return imageio::failure(kCGImageStatusUnknownType, "The data is not an image of a known type");
}

}  // namespace

CGImageSource::CGImageSource(Data data, bool incremental, bool final)
    : data_(std::move(data)), incremental_(incremental), final_(final) {}

void CGImageSource::updateData(Data data, bool final) {
    std::lock_guard lock(mutex_);
    if (!incremental_ || final_) return;  // a complete source keeps its bytes
    data_ = std::move(data);
    final_ = final;
    header_.reset();
    pixels_.reset();
    gifFed_ = false;
}

imageio::GifDecoder* CGImageSource::gifLocked() const {
    if (!gif_) {
        if (imageFormatForBytes(data_.data(), data_.size()) != ImageFormat::GIF) return nullptr;
        gif_ = std::make_unique<imageio::GifDecoder>();
    }
    if (!gifFed_) {
        gif_->update(data_, final_);
        gifFed_ = true;
    }
    return gif_.get();
}

CGImageSource::~CGImageSource() = default;

const DecodeResult& CGImageSource::headerLocked() const {
    if (auto* gif = gifLocked()) return gif->result();
    if (pixels_) return *pixels_;
    if (!header_) header_ = std::make_unique<DecodeResult>(decode(data_, final_, DecodeDepth::Header));
    return *header_;
}

const DecodeResult& CGImageSource::pixelsLocked(std::size_t index) const {
    if (auto* gif = gifLocked()) {
        gif->decodeThrough(data_, index);
        return gif->result();
    }
    if (!pixels_) {
        pixels_ = std::make_unique<DecodeResult>(decode(data_, final_, DecodeDepth::Pixels));
        header_.reset();
    }
    return *pixels_;
}

std::string CGImageSource::type() const {
    std::lock_guard lock(mutex_);
    return imageTypeIdentifier(imageFormatForBytes(data_.data(), data_.size()));
}

std::size_t CGImageSource::count() const {
    std::lock_guard lock(mutex_);
    return headerLocked().frames.size();
}

CGImageSourceStatus CGImageSource::status() const {
    std::lock_guard lock(mutex_);
    return pixelsLocked().status;
}

CGImageSourceStatus CGImageSource::statusAtIndex(std::size_t index) const {
    std::lock_guard lock(mutex_);
    const DecodeResult& r = pixelsLocked();
    if (index < r.frames.size()) return r.frames[index].status;
    if (r.status == kCGImageStatusComplete) return kCGImageStatusInvalidData;  // no such image
    return r.status;
}

NSErrorPtr CGImageSource::error() const {
    std::lock_guard lock(mutex_);
    return pixelsLocked().error;
}

CGImageRef CGImageSource::createImageAtIndex(std::size_t index, NSErrorPtr* error) const {
    std::lock_guard lock(mutex_);
    const DecodeResult& r = pixelsLocked(index);
    if (index < r.frames.size() && r.frames[index].image) return r.frames[index].image;
    if (error) {
        if (r.error) *error = r.error;
        else if (index >= r.frames.size() && r.status == kCGImageStatusComplete)
            *error = imageio::makeError(kCGImageStatusInvalidData, format("No image at index %zu", index));
        else
            *error = imageio::makeError(r.status, "The image data is not complete yet");
    }
    return nullptr;
}

Value CGImageSource::copyPropertiesAtIndex(std::size_t index) const {
    std::lock_guard lock(mutex_);
    const DecodeResult& r = headerLocked();
    if (index >= r.frames.size()) return {};
    return r.frames[index].properties.copy();
}

Value CGImageSource::copyProperties() const {
    std::lock_guard lock(mutex_);
    Value p = headerLocked().properties.copy();
    p.setObject(kCGImagePropertyFileSize, Value(static_cast<long long>(data_.size())));
    return p;
}

CGImageSourceRef CGImageSourceCreateWithData(const Data& data) {
    if (data.empty()) return nullptr;
    return std::make_shared<CGImageSource>(data, false, true);
}

CGImageSourceRef CGImageSourceCreateIncremental() { return std::make_shared<CGImageSource>(Data{}, true, false); }

void CGImageSourceUpdateData(const CGImageSourceRef& source, const Data& data, bool final) {
    if (source) source->updateData(data, final);
}

std::string CGImageSourceGetType(const CGImageSourceRef& source) { return source ? source->type() : std::string(); }
std::size_t CGImageSourceGetCount(const CGImageSourceRef& source) { return source ? source->count() : 0; }
CGImageSourceStatus CGImageSourceGetStatus(const CGImageSourceRef& source) {
    return source ? source->status() : kCGImageStatusInvalidData;
}
CGImageSourceStatus CGImageSourceGetStatusAtIndex(const CGImageSourceRef& source, std::size_t index) {
    return source ? source->statusAtIndex(index) : kCGImageStatusInvalidData;
}
CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, std::size_t index, NSErrorPtr* error) {
    if (!source) {
        if (error) *error = imageio::makeError(kCGImageStatusInvalidData, "No image source");
        return nullptr;
    }
    return source->createImageAtIndex(index, error);
}
Value CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& source, std::size_t index) {
    return source ? source->copyPropertiesAtIndex(index) : Value();
}
Value CGImageSourceCopyProperties(const CGImageSourceRef& source) {
    return source ? source->copyProperties() : Value();
}
std::vector<std::string> CGImageSourceCopyTypeIdentifiers() { return {kUTTypePNG, kUTTypeJPEG, kUTTypeGIF, kUTTypeWebP}; }
