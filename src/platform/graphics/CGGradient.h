#pragma once
// Gradients: colour stops at locations from 0 to 1, drawn by the context's
// CGContextDrawLinearGradient and CGContextDrawRadialGradient. Colours are kept
// as straight red, green, blue and alpha.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGColorSpace.h"

using CGGradientDrawingOptions = std::uint32_t;
// Each on its own: extend the first colour before the start, the last after the end.
inline constexpr CGGradientDrawingOptions kCGGradientDrawsBeforeStartLocation = 1 << 0;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsAfterEndLocation = 1 << 1;

class CGGradient : public NSObject {
public:
    struct Stop {
        double location = 0;
        double rgba[4] = {0, 0, 0, 1};
    };
    // Stops sorted by location (stable), locations clamped to 0...1. At least one stop.
    explicit CGGradient(std::vector<Stop> stops);
    const std::vector<Stop>& stops() const { return stops_; }
    std::string description() const override;

private:
    std::vector<Stop> stops_;
};

using CGGradientRef = std::shared_ptr<const CGGradient>;

// components holds, per colour, the space's components then alpha; locations
// holds one location per colour, or is empty to spread the colours evenly from
// 0 to 1. Null with a console line when the space is null, there are no
// colours, the counts do not match, or a value is not finite.
CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const std::vector<double>& components,
                                                  const std::vector<double>& locations);
// The same with colour objects (any space; a null colour is refused).
CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef& space, const std::vector<CGColorRef>& colors,
                                         const std::vector<double>& locations);
