#pragma once
// Colour spaces: only what bitmaps and colours here need, the device and sRGB
// spaces (three components) and device gray (one component).
#include <cstddef>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/Forward.h"

enum CGColorSpaceModel : int {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
};

inline constexpr const char* kCGColorSpaceDeviceRGB = "kCGColorSpaceDeviceRGB";
inline constexpr const char* kCGColorSpaceDeviceGray = "kCGColorSpaceDeviceGray";
inline constexpr const char* kCGColorSpaceSRGB = "kCGColorSpaceSRGB";
inline constexpr const char* kCGColorSpaceGenericGrayGamma2_2 = "kCGColorSpaceGenericGrayGamma2_2";

class CGColorSpace : public NSObject {
public:
    CGColorSpace(std::string name, CGColorSpaceModel model);
    const std::string& name() const { return name_; }
    CGColorSpaceModel model() const { return model_; }
    std::size_t numberOfComponents() const { return model_ == kCGColorSpaceModelRGB ? 3 : 1; }
    std::string description() const override;

private:
    std::string name_;
    CGColorSpaceModel model_;
};

// Shared instances: the same object for every call.
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
// One of the names above; null for any other name.
CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name);

inline std::size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space) {
    return space ? space->numberOfComponents() : 0;
}
inline CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space) {
    return space ? space->model() : kCGColorSpaceModelUnknown;
}
inline std::string CGColorSpaceCopyName(const CGColorSpaceRef& space) { return space ? space->name() : std::string(); }
