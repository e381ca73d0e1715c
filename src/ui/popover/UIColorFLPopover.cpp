#include "ui/popover/UIColorFLPopover.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/graphics/CGColorSpace.h"

namespace {

CGFloat clampUnit(CGFloat v) {
    if (std::isnan(v)) return 0;
    return std::clamp(v, 0.0, 1.0);
}

}  // namespace

bool UIColorFLPopover::getValueOfRed(const UIColorPtr& color, CGFloat* red, CGFloat* green, CGFloat* blue,
                                     CGFloat* alpha) {
    CGFloat r = 0, g = 0, b = 0, a = 0;
    bool ok = false;
    if (color && color->CGColor()) {
        const auto& cg = color->CGColor();
        auto model = CGColorSpaceGetModel(cg->colorSpace());
        const auto& c = cg->components();
        if (model == kCGColorSpaceModelMonochrome && c.size() == 2) {
            r = g = b = c[0];
            a = c[1];
            ok = true;
        } else if (model == kCGColorSpaceModelRGB && c.size() == 4) {
            r = c[0];
            g = c[1];
            b = c[2];
            a = c[3];
            ok = true;
        }
    }
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
    if (alpha) *alpha = a;
    return ok;
}

std::string UIColorFLPopover::hexString(const UIColorPtr& color) {
    CGFloat c[4] = {0, 0, 0, 0};
    (void)getValueOfRed(color, &c[0], &c[1], &c[2], &c[3]);
    char text[16];
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = static_cast<int>(clampUnit(c[i]) * 255.0);
    std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", v[0], v[1], v[2], v[3]);
    return text;
}

UIColorPtr UIColorFLPopover::colorByLighten(const UIColorPtr& color, float d) {
    if (!color) return nullptr;
    CGFloat r = 0, g = 0, b = 0;
    (void)getValueOfRed(color, &r, &g, &b, nullptr);
    return UIColor::colorWithRed(std::min(r + d, 1.0), std::min(g + d, 1.0), std::min(b + d, 1.0), 1.0);
}

UIColorPtr UIColorFLPopover::colorByDarken(const UIColorPtr& color, float d) {
    if (!color) return nullptr;
    CGFloat r = 0, g = 0, b = 0;
    (void)getValueOfRed(color, &r, &g, &b, nullptr);
    return UIColor::colorWithRed(std::max(r - d, 0.0), std::max(g - d, 0.0), std::max(b - d, 0.0), 1.0);
}
