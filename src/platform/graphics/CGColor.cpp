#include "platform/graphics/CGColor.h"

#include <memory>

#include "platform/foundation/NSLog.h"

CGColor::CGColor(CGColorSpaceRef space, std::vector<double> components)
    : space_(std::move(space)), components_(std::move(components)) {
    if (components_.empty()) components_.push_back(1);
    const bool extended = space_ && space_->isExtendedRange();
    for (std::size_t i = 0; i < components_.size(); ++i) {
        if (extended && i + 1 < components_.size()) continue;
        components_[i] = CGColorClampComponent(components_[i]);
    }
}

void CGColor::getRGBA(double& r, double& g, double& b, double& a) const {
    if (components_.size() >= 4) {
        r = CGColorClampComponent(components_[0]);
        g = CGColorClampComponent(components_[1]);
        b = CGColorClampComponent(components_[2]);
    } else {
        r = g = b = components_.size() >= 2 ? components_[0] : 0;
    }
    a = alpha();
}

std::string CGColor::description() const {
    std::string text = "<CGColor " + (space_ ? space_->name() : std::string("?")) + " [";
    for (std::size_t i = 0; i < components_.size(); ++i) {
        if (i) text += ' ';
        text += format("%g", components_[i]);
    }
    return text + "]>";
}

CGColorRef CGColorCreate(const CGColorSpaceRef& space, const std::vector<double>& components) {
    if (!space || components.size() != space->numberOfComponents() + 1) return nullptr;
    return std::make_shared<CGColor>(space, components);
}

CGColorRef CGColorCreateSRGB(double red, double green, double blue, double alpha) {
    return CGColorCreate(CGColorSpaceCreateWithName(kCGColorSpaceSRGB), {red, green, blue, alpha});
}

CGColorRef CGColorCreateGenericGray(double gray, double alpha) {
    return CGColorCreate(CGColorSpaceCreateWithName(kCGColorSpaceGenericGrayGamma2_2), {gray, alpha});
}

bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b) {
    if (!a || !b) return a == b;
    return a->colorSpace() == b->colorSpace() && a->components() == b->components();
}
