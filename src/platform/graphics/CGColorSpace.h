#pragma once
// Colour spaces: only what bitmaps and colours here need, the device and sRGB
// spaces (three components), device gray (one component), extended-range sRGB
// (three components that may lie outside 0...1) and the pattern space of
// pattern colours (no components, only alpha).
#include <cstddef>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/Forward.h"

enum CGColorSpaceModel : int {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
    kCGColorSpaceModelPattern = 6,
};

inline constexpr const char* kCGColorSpaceDeviceRGB = "kCGColorSpaceDeviceRGB";
inline constexpr const char* kCGColorSpaceDeviceGray = "kCGColorSpaceDeviceGray";
inline constexpr const char* kCGColorSpaceSRGB = "kCGColorSpaceSRGB";
inline constexpr const char* kCGColorSpaceGenericGrayGamma2_2 = "kCGColorSpaceGenericGrayGamma2_2";
inline constexpr const char* kCGColorSpaceExtendedSRGB = "kCGColorSpaceExtendedSRGB";

class CGColorSpace : public NSObject {
public:
    CGColorSpace(std::string name, CGColorSpaceModel model, bool extendedRange = false);
    const std::string& name() const { return name_; }
    CGColorSpaceModel model() const { return model_; }
    std::size_t numberOfComponents() const;
    // Whether colours of the space keep components outside 0...1.
    bool isExtendedRange() const { return extendedRange_; }
    std::string description() const override;

private:
    std::string name_;
    CGColorSpaceModel model_;
    bool extendedRange_;
};

// Shared instances: the same object for every call.
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
// One of the names above; null for any other name.
CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name);
// The space of pattern colours ("kCGColorSpacePattern"), shared.
CGColorSpaceRef CGColorSpaceCreatePattern();

inline std::size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space) {
    return space ? space->numberOfComponents() : 0;
}
inline CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space) {
    return space ? space->model() : kCGColorSpaceModelUnknown;
}
inline std::string CGColorSpaceCopyName(const CGColorSpaceRef& space) { return space ? space->name() : std::string(); }
