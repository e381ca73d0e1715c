#include "platform/uikit/UIGeometry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
// The numbers of the text in order, whatever braces and commas surround them;
// none at all when one of them is not finite (an infinity or NaN spelled out,
// or a number beyond the double range), so such text reads as no geometry.
std::vector<double> numbersIn(const std::string& text) {
    std::vector<double> out;
    const char* p = text.c_str();
    while (*p) {
        if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.') {
            char* end = nullptr;
            double v = std::strtod(p, &end);
            if (end != p) {
                if (!std::isfinite(v)) return {};
                out.push_back(v);
                p = end;
                continue;
            }
        }
        ++p;
    }
    return out;
}
}  // namespace

std::string NSStringFromCGRect(CGRect r) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "{{%.15g, %.15g}, {%.15g, %.15g}}", r.origin.x, r.origin.y, r.size.width, r.size.height);
    return buf;
}

std::string NSStringFromCGPoint(CGPoint p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%.15g, %.15g}", p.x, p.y);
    return buf;
}

std::string NSStringFromCGSize(CGSize s) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%.15g, %.15g}", s.width, s.height);
    return buf;
}

CGRect CGRectFromString(const std::string& text) {
    auto n = numbersIn(text);
    return n.size() == 4 ? CGRectMake(n[0], n[1], n[2], n[3]) : CGRectZero;
}

CGPoint CGPointFromString(const std::string& text) {
    auto n = numbersIn(text);
    return n.size() == 2 ? CGPointMake(n[0], n[1]) : CGPointZero;
}

CGSize CGSizeFromString(const std::string& text) {
    auto n = numbersIn(text);
    return n.size() == 2 ? CGSizeMake(n[0], n[1]) : CGSizeZero;
}
