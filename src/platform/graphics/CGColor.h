#pragma once
// Immutable colours: components in a colour space followed by alpha.
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/Forward.h"

class CGColor : public NSObject {
public:
    // components holds the space's components then alpha, each clamped to 0...1.
    CGColor(CGColorSpaceRef space, std::vector<double> components);
    const CGColorSpaceRef& colorSpace() const { return space_; }
    const std::vector<double>& components() const { return components_; }
    double alpha() const { return components_.back(); }
    // The colour as device red, green, blue and alpha (gray spreads to all three).
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
