#pragma once
// Immutable colours: components in a colour space followed by alpha.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/Forward.h"

// A colour component clamped to 0...1, NaN read as 0.
inline double CGColorClampComponent(double c) { return std::isnan(c) ? 0.0 : std::clamp(c, 0.0, 1.0); }

class CGColor : public NSObject {
public:
    // components holds the space's components then alpha, each clamped to 0...1
    // (NaN as 0), but for the colour components of an extended-range space,
    // which are kept as given.
    CGColor(CGColorSpaceRef space, std::vector<double> components);
    const CGColorSpaceRef& colorSpace() const { return space_; }
    const std::vector<double>& components() const { return components_; }
    double alpha() const { return components_.back(); }
    // The colour as device red, green, blue and alpha (gray spreads to all
    // three; a pattern colour answers black with its alpha; extended-range
    // components are clamped to 0...1).
    void getRGBA(double& r, double& g, double& b, double& a) const;
    std::string description() const override;

private:
    CGColorSpaceRef space_;
    std::vector<double> components_;
};

// Null when the space is null or the number of components is not the space's plus one.
CGColorRef CGColorCreate(const CGColorSpaceRef& space, const std::vector<double>& components);
CGColorRef CGColorCreateSRGB(double red, double green, double blue, double alpha);
CGColorRef CGColorCreateGenericGray(double gray, double alpha);

inline CGColorSpaceRef CGColorGetColorSpace(const CGColorRef& c) { return c ? c->colorSpace() : nullptr; }
inline std::vector<double> CGColorGetComponents(const CGColorRef& c) {
    return c ? c->components() : std::vector<double>{};
}
inline std::size_t CGColorGetNumberOfComponents(const CGColorRef& c) { return c ? c->components().size() : 0; }
inline double CGColorGetAlpha(const CGColorRef& c) { return c ? c->alpha() : 0; }
bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b);
