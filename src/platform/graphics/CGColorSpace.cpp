#include "platform/graphics/CGColorSpace.h"

#include <memory>

CGColorSpace::CGColorSpace(std::string name, CGColorSpaceModel model, bool extendedRange)
    : name_(std::move(name)), model_(model), extendedRange_(extendedRange) {}

std::size_t CGColorSpace::numberOfComponents() const {
    switch (model_) {
    case kCGColorSpaceModelRGB: return 3;
    case kCGColorSpaceModelPattern: return 0;
    default: return 1;
    }
}

std::string CGColorSpace::description() const { return "<CGColorSpace " + name_ + ">"; }

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
    static const CGColorSpaceRef space = std::make_shared<CGColorSpace>(kCGColorSpaceDeviceRGB, kCGColorSpaceModelRGB);
    return space;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
    static const CGColorSpaceRef space =
        std::make_shared<CGColorSpace>(kCGColorSpaceDeviceGray, kCGColorSpaceModelMonochrome);
    return space;
}

CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name) {
    static const CGColorSpaceRef srgb = std::make_shared<CGColorSpace>(kCGColorSpaceSRGB, kCGColorSpaceModelRGB);
    static const CGColorSpaceRef gray =
        std::make_shared<CGColorSpace>(kCGColorSpaceGenericGrayGamma2_2, kCGColorSpaceModelMonochrome);
    static const CGColorSpaceRef extended =
        std::make_shared<CGColorSpace>(kCGColorSpaceExtendedSRGB, kCGColorSpaceModelRGB, true);
    if (name == kCGColorSpaceSRGB) return srgb;
    if (name == kCGColorSpaceExtendedSRGB) return extended;
    if (name == kCGColorSpaceGenericGrayGamma2_2) return gray;
    if (name == kCGColorSpaceDeviceRGB) return CGColorSpaceCreateDeviceRGB();
    if (name == kCGColorSpaceDeviceGray) return CGColorSpaceCreateDeviceGray();
    return nullptr;
}

CGColorSpaceRef CGColorSpaceCreatePattern() {
    static const CGColorSpaceRef space = std::make_shared<CGColorSpace>("kCGColorSpacePattern", kCGColorSpaceModelPattern);
    return space;
}
