#pragma once
// Affine transforms of the plane, with the platform's functions. A transform maps
// (x, y) to (a x + c y + tx, b x + d y + ty); concatenating t1 with t2 applies t1
// first, then t2.
#include "platform/graphics/CGGeometry.h"

struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const CGAffineTransform&) const = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty) {
    return {a, b, c, d, tx, ty};
}
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
// Angle in radians, anticlockwise in a y-up space.
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);

// t1 then t2.
CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1, const CGAffineTransform& t2);
// The translation, scale or rotation applied before t (in t's own space).
CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, CGFloat angle);
// The inverse; t itself when t cannot be inverted (as the platform does).
CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t);

bool CGAffineTransformIsIdentity(const CGAffineTransform& t);
inline bool CGAffineTransformEqualToTransform(const CGAffineTransform& t1, const CGAffineTransform& t2) {
    return t1 == t2;
}
// Whether every entry is a finite number.
bool CGAffineTransformIsFinite(const CGAffineTransform& t);

CGPoint CGPointApplyAffineTransform(CGPoint p, const CGAffineTransform& t);
// Sizes take only the linear part (no translation); the result may be negative.
CGSize CGSizeApplyAffineTransform(CGSize s, const CGAffineTransform& t);
// The smallest rectangle holding the transformed corners of the rectangle.
CGRect CGRectApplyAffineTransform(CGRect r, const CGAffineTransform& t);
