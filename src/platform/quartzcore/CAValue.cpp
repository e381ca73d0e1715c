#include "platform/quartzcore/CAValue.h"

#include <cstdio>

namespace {
double mix(double a, double b, double t) { return a + (b - a) * t; }
CGPoint mix(CGPoint a, CGPoint b, double t) { return {mix(a.x, b.x, t), mix(a.y, b.y, t)}; }
CGSize mix(CGSize a, CGSize b, double t) { return {mix(a.width, b.width, t), mix(a.height, b.height, t)}; }
}  // namespace

CAValue CAValueInterpolate(const CAValue& from, const CAValue& to, double t) {
    if (from.index() != to.index()) return t < 1 ? from : to;
    if (auto* a = std::get_if<double>(&from)) return mix(*a, std::get<double>(to), t);
    if (auto* a = std::get_if<CGPoint>(&from)) return mix(*a, std::get<CGPoint>(to), t);
    if (auto* a = std::get_if<CGSize>(&from)) return mix(*a, std::get<CGSize>(to), t);
    if (auto* a = std::get_if<CGRect>(&from)) {
        const CGRect& b = std::get<CGRect>(to);
        return CGRect{mix(a->origin, b.origin, t), mix(a->size, b.size, t)};
    }
    if (auto* a = std::get_if<CGColorRef>(&from)) {
        const CGColorRef& b = std::get<CGColorRef>(to);
        if (!*a || !b) return t < 1 ? from : to;
        double r0, g0, b0, a0, r1, g1, b1, a1;
        (*a)->getRGBA(r0, g0, b0, a0);
        b->getRGBA(r1, g1, b1, a1);
        return CGColorCreateSRGB(mix(r0, r1, t), mix(g0, g1, t), mix(b0, b1, t), mix(a0, a1, t));
    }
    return t < 1 ? from : to;
}

std::string CAValueDescription(const CAValue& value) {
    char buf[160];
    if (auto* d = std::get_if<double>(&value)) {
        std::snprintf(buf, sizeof buf, "%g", *d);
    } else if (auto* p = std::get_if<CGPoint>(&value)) {
        std::snprintf(buf, sizeof buf, "{%g, %g}", p->x, p->y);
    } else if (auto* s = std::get_if<CGSize>(&value)) {
        std::snprintf(buf, sizeof buf, "{%g, %g}", s->width, s->height);
    } else if (auto* r = std::get_if<CGRect>(&value)) {
        std::snprintf(buf, sizeof buf, "{{%g, %g}, {%g, %g}}", r->origin.x, r->origin.y, r->size.width, r->size.height);
    } else if (auto* t = std::get_if<CATransform3D>(&value)) {
        std::snprintf(buf, sizeof buf, "[%g %g %g %g %g %g]", t->m11, t->m12, t->m21, t->m22, t->m41, t->m42);
    } else if (auto* c = std::get_if<CGColorRef>(&value)) {
        return *c ? (*c)->description() : "nil";
    } else if (std::holds_alternative<std::monostate>(value)) {
        return "nil";
    } else {
        return "<object>";
    }
    return buf;
}
