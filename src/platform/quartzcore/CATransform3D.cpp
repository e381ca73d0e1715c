#include "platform/quartzcore/CATransform3D.h"

#include <algorithm>

namespace {
using Matrix = CGFloat[4][4];

void toArray(const CATransform3D& t, Matrix m) {
    const CGFloat v[16] = {t.m11, t.m12, t.m13, t.m14, t.m21, t.m22, t.m23, t.m24,
                           t.m31, t.m32, t.m33, t.m34, t.m41, t.m42, t.m43, t.m44};
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v[i];
}

CATransform3D fromArray(const Matrix m) {
    return {m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3],
            m[2][0], m[2][1], m[2][2], m[2][3], m[3][0], m[3][1], m[3][2], m[3][3]};
}
}  // namespace

CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b) {
    Matrix x, y, r;
    toArray(a, x);
    toArray(b, y);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            r[i][j] = 0;
            for (int k = 0; k < 4; ++k) r[i][j] += x[i][k] * y[k][j];
        }
    return fromArray(r);
}

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz) {
    CATransform3D t;
    t.m41 = tx, t.m42 = ty, t.m43 = tz;
    return t;
}

CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz) {
    CATransform3D t;
    t.m11 = sx, t.m22 = sy, t.m33 = sz;
    return t;
}

CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
    CGFloat len = std::sqrt(x * x + y * y + z * z);
    if (len == 0 || !std::isfinite(len)) return CATransform3DIdentity;
    x /= len, y /= len, z /= len;
    CGFloat c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    CATransform3D t;
    t.m11 = c + x * x * k, t.m12 = x * y * k + z * s, t.m13 = x * z * k - y * s;
    t.m21 = x * y * k - z * s, t.m22 = c + y * y * k, t.m23 = y * z * k + x * s;
    t.m31 = x * z * k + y * s, t.m32 = y * z * k - x * s, t.m33 = c + z * z * k;
    return t;
}

CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz) {
    return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}

CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz) {
    return CATransform3DConcat(CATransform3DMakeScale(sx, sy, sz), t);
}

CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
    return CATransform3DConcat(CATransform3DMakeRotation(angle, x, y, z), t);
}

CATransform3D CATransform3DInvert(const CATransform3D& t) {
    // Gauss-Jordan elimination with partial pivoting.
    Matrix a, inv;
    toArray(t, a);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) inv[i][j] = i == j ? 1 : 0;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-12) return t;
        std::swap(a[pivot], a[col]);
        std::swap(inv[pivot], inv[col]);
        CGFloat d = a[col][col];
        for (int j = 0; j < 4; ++j) a[col][j] /= d, inv[col][j] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            CGFloat f = a[r][col];
            for (int j = 0; j < 4; ++j) a[r][j] -= f * a[col][j], inv[r][j] -= f * inv[col][j];
        }
    }
    return fromArray(inv);
}

CATransform3D CATransform3DMakeAffineTransform(const CGAffineTransform& m) {
    CATransform3D t;
    t.m11 = m.a, t.m12 = m.b, t.m21 = m.c, t.m22 = m.d, t.m41 = m.tx, t.m42 = m.ty;
    return t;
}

bool CATransform3DIsAffine(const CATransform3D& t) {
    return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 && t.m33 == 1 &&
           t.m34 == 0 && t.m43 == 0 && t.m44 == 1;
}

CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t) {
    return {t.m11, t.m12, t.m21, t.m22, t.m41, t.m42};
}

namespace ca {
bool invertAffine(const CGAffineTransform& t, CGAffineTransform& inverse) {
    CGFloat det = t.a * t.d - t.b * t.c;
    if (std::fabs(det) < 1e-12 || !std::isfinite(det)) return false;
    inverse.a = t.d / det, inverse.b = -t.b / det, inverse.c = -t.c / det, inverse.d = t.a / det;
    inverse.tx = -(inverse.a * t.tx + inverse.c * t.ty);
    inverse.ty = -(inverse.b * t.tx + inverse.d * t.ty);
    return true;
}

CGRect applyAffineToRect(const CGAffineTransform& t, CGRect r) {
    r = CGRectStandardize(r);
    CGPoint c[4] = {applyAffine(t, r.origin), applyAffine(t, {CGRectGetMaxX(r), r.origin.y}),
                    applyAffine(t, {r.origin.x, CGRectGetMaxY(r)}), applyAffine(t, {CGRectGetMaxX(r), CGRectGetMaxY(r)})};
    CGFloat x0 = c[0].x, x1 = c[0].x, y0 = c[0].y, y1 = c[0].y;
    for (auto& p : c) x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
}  // namespace ca
