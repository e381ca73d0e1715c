#pragma once
// Image destinations: encoding images as PNG or JPEG into a data buffer.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/imageio/CGImageProperties.h"
#include "platform/imageio/Forward.h"

class CGImageDestination : public NSObject {
public:
    CGImageDestination(std::shared_ptr<Data> data, std::string type, std::size_t count);
    void addImage(CGImageRef image, Value properties);
    bool finalize(NSErrorPtr* error);

private:
    std::shared_ptr<Data> data_;
    std::string type_;
    std::size_t count_;
    std::vector<std::pair<CGImageRef, Value>> images_;
    bool finalized_ = false;
};

// A destination writing count images of the type ("public.png" or
// "public.jpeg", which hold one image each) into data, which Finalize replaces
// with the file. Null for another type, a count other than 1 or no data.
CGImageDestinationRef CGImageDestinationCreateWithData(const std::shared_ptr<Data>& data, const std::string& type,
                                                       std::size_t count);
// properties: kCGImageDestinationLossyCompressionQuality (JPEG, 0...1) and
// kCGImagePropertyOrientation (JPEG, 1-8, written as EXIF).
void CGImageDestinationAddImage(const CGImageDestinationRef& destination, const CGImageRef& image,
                                const Value& properties = {});
// Encodes the images; false (with the data left untouched) when fewer images
// than announced were added, it was finalized before, or the encoder failed.
bool CGImageDestinationFinalize(const CGImageDestinationRef& destination, NSErrorPtr* error = nullptr);
std::vector<std::string> CGImageDestinationCopyTypeIdentifiers();
