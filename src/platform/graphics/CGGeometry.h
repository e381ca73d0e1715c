#pragma once
// Points, sizes and rectangles of the drawing and view coordinate spaces, with the platform's helper functions.
#include <algorithm>
#include <cmath>

using CGFloat = double;

struct CGPoint {
    CGFloat x = 0, y = 0;
    bool operator==(const CGPoint&) const = default;
};

struct CGSize {
    CGFloat width = 0, height = 0;
    bool operator==(const CGSize&) const = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    bool operator==(const CGRect&) const = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};
// The null rectangle: what an intersection of disjoint rectangles or the bounds
// of an empty path give (an infinite origin and no size).
inline constexpr CGRect CGRectNull{{__builtin_inf(), __builtin_inf()}, {0, 0}};

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return {x, y}; }
inline CGSize CGSizeMake(CGFloat w, CGFloat h) { return {w, h}; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return {{x, y}, {w, h}}; }

// A rectangle with a negative width or height is read as its standardized form.
inline CGRect CGRectStandardize(CGRect r) {
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}
inline CGFloat CGRectGetMinX(CGRect r) { return CGRectStandardize(r).origin.x; }
inline CGFloat CGRectGetMinY(CGRect r) { return CGRectStandardize(r).origin.y; }
inline CGFloat CGRectGetWidth(CGRect r) { return std::fabs(r.size.width); }
inline CGFloat CGRectGetHeight(CGRect r) { return std::fabs(r.size.height); }
inline CGFloat CGRectGetMaxX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r); }
inline CGFloat CGRectGetMaxY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r); }
inline CGFloat CGRectGetMidX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r) / 2; }
inline CGFloat CGRectGetMidY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r) / 2; }

inline bool CGPointEqualToPoint(CGPoint a, CGPoint b) { return a == b; }
inline bool CGSizeEqualToSize(CGSize a, CGSize b) { return a == b; }
inline bool CGRectEqualToRect(CGRect a, CGRect b) { return CGRectStandardize(a) == CGRectStandardize(b); }
inline bool CGRectIsEmpty(CGRect r) { return r.size.width == 0 || r.size.height == 0; }
inline bool CGRectIsNull(CGRect r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }
// Whether every coordinate is a finite number.
inline bool CGRectIsFinite(CGRect r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}
// The smallest rectangle with integral coordinates holding the rectangle.
inline CGRect CGRectIntegral(CGRect r) {
    if (CGRectIsNull(r)) return r;
    r = CGRectStandardize(r);
    CGFloat x0 = std::floor(r.origin.x), y0 = std::floor(r.origin.y);
    CGFloat x1 = std::ceil(r.origin.x + r.size.width), y1 = std::ceil(r.origin.y + r.size.height);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

// Half-open on the maximum edges, as the platform's.
inline bool CGRectContainsPoint(CGRect r, CGPoint p) {
    return p.x >= CGRectGetMinX(r) && p.x < CGRectGetMaxX(r) && p.y >= CGRectGetMinY(r) && p.y < CGRectGetMaxY(r);
}
inline bool CGRectContainsRect(CGRect outer, CGRect inner) {
    return CGRectGetMinX(inner) >= CGRectGetMinX(outer) && CGRectGetMaxX(inner) <= CGRectGetMaxX(outer) &&
           CGRectGetMinY(inner) >= CGRectGetMinY(outer) && CGRectGetMaxY(inner) <= CGRectGetMaxY(outer);
}
inline CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy) {
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}
inline CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy) {
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0) return CGRectZero;
    return r;
}
// The overlap of two rectangles; CGRectZero when they do not overlap.
inline CGRect CGRectIntersection(CGRect a, CGRect b) {
    CGFloat x0 = std::max(CGRectGetMinX(a), CGRectGetMinX(b));
    CGFloat y0 = std::max(CGRectGetMinY(a), CGRectGetMinY(b));
    CGFloat x1 = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
    CGFloat y1 = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
    if (x1 <= x0 || y1 <= y0) return CGRectZero;
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
inline bool CGRectIntersectsRect(CGRect a, CGRect b) { return !CGRectIsEmpty(CGRectIntersection(a, b)); }
inline CGRect CGRectUnion(CGRect a, CGRect b) {
    if (CGRectIsEmpty(a)) return CGRectStandardize(b);
    if (CGRectIsEmpty(b)) return CGRectStandardize(a);
    CGFloat x0 = std::min(CGRectGetMinX(a), CGRectGetMinX(b));
    CGFloat y0 = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
    CGFloat x1 = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
    CGFloat y1 = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
