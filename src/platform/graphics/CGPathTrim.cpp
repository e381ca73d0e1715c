// Path lengths and trimming: every segment as a cubic (lines and quadratic
// curves raised to cubics), measured along chords and cut with de Casteljau's
// construction at the parameter where the wanted length is reached.
#include <algorithm>
#include <array>
#include <cmath>

#include "platform/graphics/CGPath.h"

namespace {

constexpr int kChords = 64;

struct Segment {
    std::array<CGPoint, 4> p;  // a cubic from p[0] to p[3]
    bool startsSubpath = false;
    bool line = false;
    std::array<CGFloat, kChords + 1> lengths{};  // cumulative along the chords
    CGFloat length() const { return lengths[kChords]; }
};

CGPoint lerp(CGPoint a, CGPoint b, CGFloat t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

CGPoint at(const Segment& s, CGFloat t) {
    CGFloat u = 1 - t;
    const auto& p = s.p;
    return {u * u * u * p[0].x + 3 * u * u * t * p[1].x + 3 * u * t * t * p[2].x + t * t * t * p[3].x,
            u * u * u * p[0].y + 3 * u * u * t * p[1].y + 3 * u * t * t * p[2].y + t * t * t * p[3].y};
}

Segment segment(CGPoint a, CGPoint c1, CGPoint c2, CGPoint b, bool startsSubpath, bool line) {
    Segment s{{a, c1, c2, b}, startsSubpath, line, {}};
    if (line) {
        // Straight: the exact length, spread evenly over the chords.
        CGFloat total = std::hypot(b.x - a.x, b.y - a.y);
        for (int i = 1; i <= kChords; ++i) s.lengths[std::size_t(i)] = total * i / kChords;
        return s;
    }
    CGPoint prev = a;
    for (int i = 1; i <= kChords; ++i) {
        CGPoint q = at(s, CGFloat(i) / kChords);
        s.lengths[std::size_t(i)] = s.lengths[std::size_t(i - 1)] + std::hypot(q.x - prev.x, q.y - prev.y);
        prev = q;
    }
    return s;
}

Segment lineSegment(CGPoint a, CGPoint b, bool startsSubpath) {
    return segment(a, lerp(a, b, 1.0 / 3), lerp(a, b, 2.0 / 3), b, startsSubpath, true);
}

std::vector<Segment> segments(const CGPath& path) {
    std::vector<Segment> out;
    CGPoint current{}, start{};
    bool fresh = true;
    for (const CGPathElement& e : path.elements()) {
        const auto& p = e.points;
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            current = start = p[0];
            fresh = true;
            continue;
        case kCGPathElementAddLineToPoint:
            out.push_back(lineSegment(current, p[0], fresh));
            current = p[0];
            break;
        case kCGPathElementAddQuadCurveToPoint:
            out.push_back(segment(current, lerp(current, p[0], 2.0 / 3), lerp(p[1], p[0], 2.0 / 3), p[1], fresh, false));
            current = p[1];
            break;
        case kCGPathElementAddCurveToPoint:
            out.push_back(segment(current, p[0], p[1], p[2], fresh, false));
            current = p[2];
            break;
        case kCGPathElementCloseSubpath:
            out.push_back(lineSegment(current, start, fresh));
            current = start;
            break;
        }
        fresh = false;
    }
    return out;
}

// The parameter at which the segment has run the length.
CGFloat parameterAt(const Segment& s, CGFloat length) {
    if (length <= 0) return 0;
    if (length >= s.length()) return 1;
    auto it = std::lower_bound(s.lengths.begin(), s.lengths.end(), length);
    auto i = static_cast<int>(it - s.lengths.begin());
    CGFloat a = s.lengths[std::size_t(i - 1)], b = s.lengths[std::size_t(i)];
    return (CGFloat(i - 1) + (b > a ? (length - a) / (b - a) : 0)) / kChords;
}

// The piece of the cubic between parameters t0 and t1.
std::array<CGPoint, 4> piece(const std::array<CGPoint, 4>& p, CGFloat t0, CGFloat t1) {
    auto split = [](const std::array<CGPoint, 4>& q, CGFloat t, bool keepEnd) {
        CGPoint a = lerp(q[0], q[1], t), b = lerp(q[1], q[2], t), c = lerp(q[2], q[3], t);
        CGPoint d = lerp(a, b, t), e = lerp(b, c, t), f = lerp(d, e, t);
        return keepEnd ? std::array<CGPoint, 4>{f, e, c, q[3]} : std::array<CGPoint, 4>{q[0], a, d, f};
    };
    std::array<CGPoint, 4> tail = t0 > 0 ? split(p, t0, true) : p;
    if (t0 >= 1 || t1 >= 1) return tail;
    return split(tail, (t1 - t0) / (1 - t0), false);
}

}  // namespace

CGFloat CGPathGetLength(const CGPathRef& path) {
    if (!path) return 0;
    CGFloat total = 0;
    for (const Segment& s : segments(*path)) total += s.length();
    return total;
}

CGPathRef CGPathCreateCopyByTrimming(const CGPathRef& path, CGFloat start, CGFloat end) {
    auto out = CGPathCreateMutable();
    if (!path || !std::isfinite(start) || !std::isfinite(end)) return out;
    start = std::clamp(start, 0.0, 1.0), end = std::clamp(end, 0.0, 1.0);
    if (end <= start) return out;
    std::vector<Segment> all = segments(*path);
    CGFloat total = 0;
    for (const Segment& s : all) total += s.length();
    CGFloat from = start * total, to = end * total, offset = 0;
    bool joined = false;  // the last kept piece ends where this segment starts
    for (const Segment& s : all) {
        CGFloat a = std::max(from, offset), b = std::min(to, offset + s.length());
        if (b > a) {
            CGFloat t0 = parameterAt(s, a - offset), t1 = parameterAt(s, b - offset);
            auto q = piece(s.p, t0, t1);
            if (s.line) {
                // Straight pieces are cut exactly.
                q[0] = lerp(s.p[0], s.p[3], (a - offset) / s.length());
                q[3] = lerp(s.p[0], s.p[3], (b - offset) / s.length());
            }
            if (!joined || s.startsSubpath || t0 > 0) CGPathMoveToPoint(out, nullptr, q[0].x, q[0].y);
            if (s.line) CGPathAddLineToPoint(out, nullptr, q[3].x, q[3].y);
            else CGPathAddCurveToPoint(out, nullptr, q[1].x, q[1].y, q[2].x, q[2].y, q[3].x, q[3].y);
            joined = t1 >= 1;
        } else {
            joined = false;
        }
        offset += s.length();
    }
    return out;
}
