#pragma once
// Points, sizes and rectangles of the drawing coordinate space, in doubles.
#include <algorithm>

struct CGPoint {
    double x = 0;
    double y = 0;
    bool operator==(const CGPoint&) const = default;
};

struct CGSize {
    double width = 0;
    double height = 0;
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

inline CGPoint CGPointMake(double x, double y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(double width, double height) { return CGSize{width, height}; }
inline CGRect CGRectMake(double x, double y, double width, double height) { return CGRect{{x, y}, {width, height}}; }

// Edges of a rectangle whose size may be negative (the platform's rule).
inline double CGRectGetMinX(const CGRect& r) { return std::min(r.origin.x, r.origin.x + r.size.width); }
inline double CGRectGetMaxX(const CGRect& r) { return std::max(r.origin.x, r.origin.x + r.size.width); }
inline double CGRectGetMinY(const CGRect& r) { return std::min(r.origin.y, r.origin.y + r.size.height); }
inline double CGRectGetMaxY(const CGRect& r) { return std::max(r.origin.y, r.origin.y + r.size.height); }
inline double CGRectGetMidX(const CGRect& r) { return r.origin.x + r.size.width / 2; }
inline double CGRectGetMidY(const CGRect& r) { return r.origin.y + r.size.height / 2; }
inline double CGRectGetWidth(const CGRect& r) { return CGRectGetMaxX(r) - CGRectGetMinX(r); }
inline double CGRectGetHeight(const CGRect& r) { return CGRectGetMaxY(r) - CGRectGetMinY(r); }
inline bool CGRectIsEmpty(const CGRect& r) { return r.size.width == 0 || r.size.height == 0; }
inline bool CGRectEqualToRect(const CGRect& a, const CGRect& b) { return a == b; }
inline bool CGSizeEqualToSize(const CGSize& a, const CGSize& b) { return a == b; }
inline bool CGPointEqualToPoint(const CGPoint& a, const CGPoint& b) { return a == b; }
