#pragma once
// Layer transforms: 4 x 4 matrices applied to row vectors, as the platform keeps
// them. Compositing uses the affine part (m11 m12 m21 m22 m41 m42); the other
// entries are kept and combined so that a 3D transform survives a round trip.
#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

struct CATransform3D {
    CGFloat m11 = 1, m12 = 0, m13 = 0, m14 = 0;
    CGFloat m21 = 0, m22 = 1, m23 = 0, m24 = 0;
    CGFloat m31 = 0, m32 = 0, m33 = 1, m34 = 0;
    CGFloat m41 = 0, m42 = 0, m43 = 0, m44 = 1;
    bool operator==(const CATransform3D&) const = default;
};

inline constexpr CATransform3D CATransform3DIdentity{};

inline bool CATransform3DIsIdentity(const CATransform3D& t) { return t == CATransform3DIdentity; }
inline bool CATransform3DEqualToTransform(const CATransform3D& a, const CATransform3D& b) { return a == b; }

// a then b (a point is transformed by a first).
CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b);
CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz);
// Rotation by angle radians about the axis (x, y, z); a zero axis gives the identity.
CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz);
CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// The inverse; the transform itself when it cannot be inverted.
CATransform3D CATransform3DInvert(const CATransform3D& t);

CATransform3D CATransform3DMakeAffineTransform(const CGAffineTransform& m);
bool CATransform3DIsAffine(const CATransform3D& t);
CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t);

// The affine helpers the layers and views compute with.
namespace ca {
inline CGPoint applyAffine(const CGAffineTransform& t, CGPoint p) {
    return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
// The inverse; nullopt-like: returns false when singular.
bool invertAffine(const CGAffineTransform& t, CGAffineTransform& inverse);
// The smallest rectangle holding the transformed corners.
CGRect applyAffineToRect(const CGAffineTransform& t, CGRect r);
inline bool isIdentity(const CGAffineTransform& t) { return t == CGAffineTransform{}; }
}  // namespace ca
