// Protects the drawing library: path geometry, strokes, fill rules, gradients,
// shadows, transparency layers and transforms, rendered into bitmaps and probed
// pixel by pixel, and the refusal of invalid input without breaking a context.
#include <doctest/doctest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGContext.h"
#include "support/SampleImages.h"

namespace {

CGContextRef canvas(std::size_t w = 100, std::size_t h = 100) {
    return CGBitmapContextCreate(nullptr, w, h, 8, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
}

// The pixel covering the user-space unit square at (x, y) of a bitmap context (y up).
CGPixel probe(const CGContextRef& c, double x, double y) {
    auto image = CGBitmapContextCreateImage(c);
    auto row = static_cast<std::size_t>(double(image->height()) - 1 - std::floor(y));
    return image->pixelAt(static_cast<std::size_t>(std::floor(x)), row);
}

bool opaque(const CGPixel& p) { return p.a == 255; }
bool clear(const CGPixel& p) { return p.a == 0; }

// Collects console lines while alive.
struct ConsoleLines {
    std::vector<std::string> lines;
    ConsoleLines() { setLogHook([this](const std::string& l) { lines.push_back(l); }); }
    ~ConsoleLines() { setLogHook(nullptr); }
};

bool near(double a, double b, double eps = 1e-6) { return std::fabs(a - b) <= eps; }
bool nearRect(CGRect r, CGRect e, double eps = 1e-6) {
    return near(r.origin.x, e.origin.x, eps) && near(r.origin.y, e.origin.y, eps) &&
           near(r.size.width, e.size.width, eps) && near(r.size.height, e.size.height, eps);
}

CGGradientRef redToBlue() {
    return CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), {1, 0, 0, 1, 0, 0, 1, 1}, {0, 1});
}

}  // namespace

TEST_SUITE("graphics") {

TEST_CASE("paths keep their elements, bounds, current point and containment") {
    auto rect = CGPathCreateMutable();
    CGPathAddRect(rect, nullptr, CGRectMake(10, 20, 30, 40));
    CGRect found;
    CHECK(CGPathIsRect(rect, &found));
    CHECK(found == CGRectMake(10, 20, 30, 40));
    CHECK(CGPathContainsPoint(rect, nullptr, {15, 25}, false));
    CHECK_FALSE(CGPathContainsPoint(rect, nullptr, {5, 5}, false));

    auto rounded = CGPathCreateWithRoundedRect(CGRectMake(0, 0, 100, 50), 10, 10, nullptr);
    CHECK(nearRect(CGPathGetPathBoundingBox(rounded), CGRectMake(0, 0, 100, 50)));
    CHECK_FALSE(CGPathContainsPoint(rounded, nullptr, {1, 1}, false));  // the corner is cut
    CHECK(CGPathContainsPoint(rounded, nullptr, {5, 25}, false));
    CHECK_FALSE(CGPathIsRect(rounded, nullptr));
    // Corners larger than half a side are taken as half of it: a stadium, not a crash.
    CHECK(nearRect(CGPathGetPathBoundingBox(CGPathCreateWithRoundedRect(CGRectMake(0, 0, 100, 50), 80, 80, nullptr)),
                   CGRectMake(0, 0, 100, 50)));

    // Quarter arc anticlockwise (y up) and the long way round clockwise.
    auto quarter = CGPathCreateMutable();
    CGPathAddArc(quarter, nullptr, 50, 50, 20, 0, M_PI / 2, false);
    CHECK(nearRect(CGPathGetPathBoundingBox(quarter), CGRectMake(50, 50, 20, 20)));
    CHECK(near(CGPathGetCurrentPoint(quarter).x, 50));
    CHECK(near(CGPathGetCurrentPoint(quarter).y, 70));
    auto longWay = CGPathCreateMutable();
    CGPathAddArc(longWay, nullptr, 50, 50, 20, 0, M_PI / 2, true);
    CHECK(nearRect(CGPathGetPathBoundingBox(longWay), CGRectMake(30, 30, 40, 40)));
    // The control points reach beyond the curve: the loose bounds are larger.
    CHECK(CGRectGetMaxX(CGPathGetBoundingBox(quarter)) > 70 - 1e-9);
    CHECK(CGRectGetWidth(CGPathGetBoundingBox(longWay)) >= 40);

    // A sweep beyond a full turn is one circle of four quarter curves.
    auto circle = CGPathCreateMutable();
    CGPathAddArc(circle, nullptr, 0, 0, 10, 0, 7, false);
    int curves = 0;
    CGPathApply(circle, [&](const CGPathElement& e) { curves += e.type == kCGPathElementAddCurveToPoint; });
    CHECK(curves == 4);

    // An arc to a point: a line to the first tangent point, the arc to the second.
    auto corner = CGPathCreateMutable();
    CGPathMoveToPoint(corner, nullptr, 0, 0);
    CGPathAddArcToPoint(corner, nullptr, 100, 0, 100, 100, 10);
    CHECK(corner->elements()[1].type == kCGPathElementAddLineToPoint);
    CHECK(near(corner->elements()[1].points[0].x, 90));
    CHECK(near(CGPathGetCurrentPoint(corner).x, 100));
    CHECK(near(CGPathGetCurrentPoint(corner).y, 10));

    // Transformed copies and appended paths.
    CGAffineTransform t = CGAffineTransformScale(CGAffineTransformMakeTranslation(5, 5), 2, 2);
    CHECK(nearRect(CGPathGetBoundingBox(CGPathCreateCopyByTransformingPath(rect, &t)), CGRectMake(25, 45, 60, 80)));
    auto nested = CGPathCreateMutable();
    CGPathAddRect(nested, nullptr, CGRectMake(0, 0, 100, 100));
    CGPathAddPath(nested, nullptr, CGPathCreateWithRect(CGRectMake(25, 25, 50, 50), nullptr));
    CHECK(CGPathContainsPoint(nested, nullptr, {50, 50}, false));  // both anticlockwise: winding 2
    CHECK_FALSE(CGPathContainsPoint(nested, nullptr, {50, 50}, true));
    CHECK(CGPathContainsPoint(nested, nullptr, {10, 10}, true));
    CHECK(CGPathIsRect(CGPathCreateCopy(rect), nullptr));
    CHECK(CGPathEqualToPath(CGPathCreateCopy(rect), rect));
    CHECK(CGRectIsNull(CGPathGetBoundingBox(CGPathCreateMutable())));
}

TEST_CASE("paths measure their length and trim to fractions of it") {
    auto rect = CGPathCreateWithRect(CGRectMake(0, 0, 100, 50), nullptr);
    CHECK(CGPathGetLength(rect) == 300);
    auto half = CGPathCreateCopyByTrimming(rect, 0, 0.5);
    CHECK(CGPathGetCurrentPoint(half) == CGPointMake(100, 50));
    CHECK(near(CGPathGetLength(half), 150));
    auto middle = CGPathCreateCopyByTrimming(rect, 0.25, 0.75);
    std::vector<CGPathElement> expected = {
        {kCGPathElementMoveToPoint, {CGPoint{75, 0}}}, {kCGPathElementAddLineToPoint, {CGPoint{100, 0}}},
        {kCGPathElementAddLineToPoint, {CGPoint{100, 50}}}, {kCGPathElementAddLineToPoint, {CGPoint{25, 50}}}};
    CHECK(middle->elements() == expected);
    // The closing line counts and is kept as a line.
    CHECK(CGPathGetCurrentPoint(CGPathCreateCopyByTrimming(rect, 0.9, 1)) == CGPointZero);
    CHECK(CGPathIsEmpty(CGPathCreateCopyByTrimming(rect, 0.6, 0.4)));
    CHECK(CGPathIsEmpty(CGPathCreateCopyByTrimming(rect, NAN, 1)));

    auto circle = CGPathCreateWithEllipseInRect(CGRectMake(-10, -10, 20, 20), nullptr);
    CHECK(std::fabs(CGPathGetLength(circle) - 20 * M_PI) < 0.02);
    CGPoint quarter = CGPathGetCurrentPoint(CGPathCreateCopyByTrimming(circle, 0, 0.25));
    CHECK((std::fabs(quarter.x) < 0.05 && std::fabs(quarter.y - 10) < 0.05));
    CGPoint third = CGPathGetCurrentPoint(CGPathCreateCopyByTrimming(circle, 0.1, 1.0 / 3));
    CHECK((std::fabs(third.x - 10 * std::cos(2 * M_PI / 3)) < 0.05 && std::fabs(third.y - 10 * std::sin(2 * M_PI / 3)) < 0.05));
    // Two subpaths: the cut keeps them apart.
    auto two = CGPathCreateMutable();
    CGPathAddLines(two, nullptr, {{0, 0}, {10, 0}});
    CGPathAddLines(two, nullptr, {{0, 5}, {10, 5}});
    auto both = CGPathCreateCopyByTrimming(two, 0.25, 0.75);
    int moves = 0;
    CGPathApply(both, [&](const CGPathElement& e) { moves += e.type == kCGPathElementMoveToPoint; });
    CHECK(moves == 2);
    CHECK(CGPathGetCurrentPoint(both) == CGPointMake(5, 5));
}

TEST_CASE("paths refuse invalid input with a console line and stay as they were") {
    auto path = CGPathCreateMutable();
    CGPathMoveToPoint(path, nullptr, 1, 1);
    auto before = path->elements();
    ConsoleLines console;
    CGAffineTransform nanTransform{NAN, 0, 0, 1, 0, 0};
    std::vector<std::function<void()>> bad = {
        [&] { CGPathMoveToPoint(path, nullptr, NAN, 0); },
        [&] { CGPathAddLineToPoint(path, nullptr, 0, INFINITY); },
        [&] { CGPathAddCurveToPoint(path, nullptr, 0, 0, NAN, 0, 1, 1); },
        [&] { CGPathAddArc(path, nullptr, 0, 0, -5, 0, 1, false); },
        [&] { CGPathAddArc(path, nullptr, 0, 0, 5, NAN, 1, false); },
        [&] { CGPathAddArcToPoint(path, nullptr, 1, 1, 2, 2, -1); },
        [&] { CGPathAddRoundedRect(path, nullptr, CGRectMake(0, 0, 10, 10), -1, 2); },
        [&] { CGPathAddRect(path, &nanTransform, CGRectMake(0, 0, 1, 1)); },
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        CAPTURE(i);
        std::size_t lines = console.lines.size();
        bad[i]();
        CHECK(console.lines.size() == lines + 1);
        CHECK(path->elements() == before);
    }
    auto empty = CGPathCreateMutable();
    CGPathAddArcToPoint(empty, nullptr, 1, 1, 2, 0, 1);  // no current point
    CHECK(CGPathIsEmpty(empty));
}

TEST_CASE("affine transforms compose in order, invert and map rectangles") {
    CGAffineTransform t = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 3), CGAffineTransformMakeTranslation(10, 20));
    CGPoint p = CGPointApplyAffineTransform({1, 1}, t);
    CHECK(p == CGPointMake(12, 23));  // scaled first, then moved
    CGPoint back = CGPointApplyAffineTransform(p, CGAffineTransformInvert(t));
    CHECK(near(back.x, 1));
    CHECK(near(back.y, 1));
    CGAffineTransform singular = CGAffineTransformMakeScale(0, 1);
    CHECK(CGAffineTransformInvert(singular) == singular);
    CGRect r = CGRectApplyAffineTransform(CGRectMake(0, 0, 10, 20), CGAffineTransformMakeRotation(M_PI / 2));
    CHECK(nearRect(r, CGRectMake(-20, 0, 20, 10)));
    CHECK(CGAffineTransformIsIdentity(CGAffineTransformIdentity));
    CHECK_FALSE(CGAffineTransformIsIdentity(CGAffineTransformMakeTranslation(0, 1)));
    CHECK(CGSizeApplyAffineTransform({2, 3}, CGAffineTransformMakeTranslation(100, 100)) == CGSizeMake(2, 3));
}

TEST_CASE("strokes follow the line width, cap and join") {
    struct Cap {
        CGLineCap cap;
        bool pastEnd, corner;  // (27, 50) beyond the end; (25, 45) the cap's corner
    };
    for (Cap c : {Cap{kCGLineCapButt, false, false}, Cap{kCGLineCapSquare, true, true}, Cap{kCGLineCapRound, true, false}}) {
        CAPTURE(c.cap);
        auto ctx = canvas();
        CGContextSetLineWidth(ctx, 10);
        CGContextSetLineCap(ctx, c.cap);
        CGContextMoveToPoint(ctx, 30, 50);
        CGContextAddLineToPoint(ctx, 70, 50);
        CGContextStrokePath(ctx);
        CHECK(opaque(probe(ctx, 50, 46)));
        CHECK(clear(probe(ctx, 50, 56)));
        CHECK(opaque(probe(ctx, 27, 50)) == c.pastEnd);
        CHECK(opaque(probe(ctx, 25, 45)) == c.corner);
    }
    struct Join {
        CGLineJoin join;
        bool tip, round;  // (50, 89) the miter's tip; (50, 84) inside the round join
    };
    for (Join j : {Join{kCGLineJoinMiter, true, true}, Join{kCGLineJoinBevel, false, false}, Join{kCGLineJoinRound, false, true}}) {
        CAPTURE(j.join);
        auto ctx = canvas();
        CGContextSetLineWidth(ctx, 10);
        CGContextSetLineJoin(ctx, j.join);
        CGContextMoveToPoint(ctx, 20, 20);
        CGContextAddLineToPoint(ctx, 50, 80);
        CGContextAddLineToPoint(ctx, 80, 20);
        CGContextStrokePath(ctx);
        // Edge pixels are partly covered: inked means more than half.
        CHECK((probe(ctx, 49.5, 89).a > 128) == j.tip);
        CHECK((probe(ctx, 49.5, 84).a > 128) == j.round);
    }
}

TEST_CASE("even-odd fills and clips leave the inner square empty") {
    for (bool clip : {false, true}) {
        CAPTURE(clip);
        auto ctx = canvas();
        CGContextAddRect(ctx, CGRectMake(10, 10, 80, 80));
        CGContextAddRect(ctx, CGRectMake(30, 30, 40, 40));
        if (clip) {
            CGContextEOClip(ctx);
            CGContextFillRect(ctx, CGRectMake(0, 0, 100, 100));
        } else {
            CGContextEOFillPath(ctx);
        }
        CHECK(opaque(probe(ctx, 20, 20)));
        CHECK(clear(probe(ctx, 50, 50)));
        CHECK(clear(probe(ctx, 5, 5)));
    }
    auto winding = canvas();
    CGContextAddRect(winding, CGRectMake(10, 10, 80, 80));
    CGContextAddRect(winding, CGRectMake(30, 30, 40, 40));
    CGContextFillPath(winding);
    CHECK(opaque(probe(winding, 50, 50)));
    CHECK(CGContextIsPathEmpty(winding));
}

TEST_CASE("gradients extend before the start and after the end only when asked, each on its own") {
    struct Case {
        CGGradientDrawingOptions options;
        bool before, after;
    };
    for (Case k : {Case{0, false, false}, Case{kCGGradientDrawsBeforeStartLocation, true, false},
                   Case{kCGGradientDrawsAfterEndLocation, false, true},
                   Case{kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation, true, true}}) {
        CAPTURE(k.options);
        auto linear = canvas(100, 10);
        CGContextDrawLinearGradient(linear, redToBlue(), {30, 5}, {70, 5}, k.options);
        CGPixel mid = probe(linear, 50, 5);
        CHECK(opaque(mid));
        CHECK(std::abs(mid.r - 128) <= 8);
        CHECK(std::abs(mid.b - 128) <= 8);
        CHECK(probe(linear, 10, 5) == (k.before ? CGPixel{255, 0, 0, 255} : CGPixel{}));
        CHECK(probe(linear, 90, 5) == (k.after ? CGPixel{0, 0, 255, 255} : CGPixel{}));

        auto radial = canvas();
        CGContextDrawRadialGradient(radial, redToBlue(), {50, 50}, 10, {50, 50}, 30, k.options);
        CGPixel ring = probe(radial, 70, 50);
        CHECK(opaque(ring));
        CHECK(std::abs(ring.r - ring.b) <= 16);
        CHECK(probe(radial, 50, 50) == (k.before ? CGPixel{255, 0, 0, 255} : CGPixel{}));
        CHECK(probe(radial, 95, 50) == (k.after ? CGPixel{0, 0, 255, 255} : CGPixel{}));
    }
}

TEST_CASE("shadows are cast at their offset in their colour, blurred as a Gaussian") {
    auto sharp = canvas();
    CGContextSetShadowWithColor(sharp, CGSizeMake(10, -10), 0, CGColorCreateSRGB(0, 1, 0, 1));
    CGContextSetRGBFillColor(sharp, 1, 0, 0, 1);
    CGContextFillRect(sharp, CGRectMake(20, 60, 20, 20));
    CHECK(probe(sharp, 45, 55) == CGPixel{0, 255, 0, 255});  // right of and below the square
    CHECK(probe(sharp, 25, 65) == CGPixel{255, 0, 0, 255});
    CHECK(clear(probe(sharp, 15, 75)));

    auto blurred = canvas();
    CGContextSetShadowWithColor(blurred, CGSizeMake(20, -20), 8, CGColorCreateSRGB(0, 0, 0, 1));
    CGContextFillRect(blurred, CGRectMake(10, 40, 40, 40));  // shadow over 30...70 x 20...60
    CHECK(probe(blurred, 60, 30).a >= 240);
    CHECK(std::abs(probe(blurred, 70, 30).a - 128) <= 40);  // its edge: half covered
    CHECK(probe(blurred, 80, 30).a <= 8);
    CHECK(probe(blurred, 74, 30).a < probe(blurred, 68, 30).a);

    // Drawing wholly outside the bitmap still casts its shadow into it.
    auto outside = canvas();
    CGContextSetShadowWithColor(outside, CGSizeMake(40, 0), 2, CGColorCreateSRGB(0, 0, 1, 1));
    CGContextFillRect(outside, CGRectMake(-30, 40, 20, 20));
    CHECK(probe(outside, 20, 50) == CGPixel{0, 0, 255, 255});

    // A shadow that was ended is no longer cast.
    CGContextSetShadowWithColor(blurred, CGSizeMake(20, -20), 0, nullptr);
    CGContextFillRect(blurred, CGRectMake(55, 85, 10, 10));
    CHECK(opaque(probe(blurred, 60, 90)));
    CHECK(clear(probe(blurred, 80, 70)));
}

TEST_CASE("a transparency layer composites its drawing once, with the alpha and shadow set before it") {
    for (bool layer : {false, true}) {
        CAPTURE(layer);
        auto ctx = canvas();
        CGContextSetAlpha(ctx, 0.5);
        CGContextSetShadowWithColor(ctx, CGSizeMake(0, -40), 0, CGColorCreateSRGB(0, 0, 0, 1));
        if (layer) CGContextBeginTransparencyLayer(ctx);
        CGContextSetRGBFillColor(ctx, 1, 0, 0, 1);
        CGContextFillRect(ctx, CGRectMake(10, 50, 40, 40));
        CGContextFillRect(ctx, CGRectMake(30, 50, 40, 40));
        if (layer) CGContextEndTransparencyLayer(ctx);
        int overlap = probe(ctx, 40, 70).a, single = probe(ctx, 20, 70).a;
        int shadowOverlap = probe(ctx, 40, 20).a, shadowSingle = probe(ctx, 20, 20).a;
        CHECK(std::abs(single - 128) <= 1);
        CHECK(std::abs(shadowSingle - 128) <= 1);
        if (layer) {
            CHECK(overlap == single);
            CHECK(shadowOverlap == shadowSingle);
        } else {
            CHECK(std::abs(overlap - 191) <= 2);
            CHECK(std::abs(shadowOverlap - 191) <= 2);
        }
    }
}

TEST_CASE("invalid drawing input is refused with a console line and the context keeps drawing") {
    using Bad = std::function<void(const CGContextRef&)>;
    std::vector<std::pair<const char*, Bad>> cases = {
        {"NaN move", [](auto& c) { CGContextMoveToPoint(c, NAN, 1); }},
        {"infinite line", [](auto& c) { CGContextAddLineToPoint(c, INFINITY, 1); }},
        {"NaN curve", [](auto& c) { CGContextAddCurveToPoint(c, 0, 0, NAN, 0, 1, 1); }},
        {"negative arc radius", [](auto& c) { CGContextAddArc(c, 50, 50, -10, 0, 1, 0); }},
        {"NaN arc angle", [](auto& c) { CGContextAddArc(c, 50, 50, 10, NAN, 1, 0); }},
        {"negative arc-to-point radius", [](auto& c) { CGContextMoveToPoint(c, 0, 0); CGContextAddArcToPoint(c, 1, 1, 2, 0, -3); }},
        {"NaN translation", [](auto& c) { CGContextTranslateCTM(c, NAN, 0); }},
        {"zero scale", [](auto& c) { CGContextScaleCTM(c, 0, 1); }},
        {"NaN rotation", [](auto& c) { CGContextRotateCTM(c, NAN); }},
        {"singular transform", [](auto& c) { CGContextConcatCTM(c, CGAffineTransformMake(1, 1, 1, 1, 0, 0)); }},
        {"negative line width", [](auto& c) { CGContextSetLineWidth(c, -2); }},
        {"NaN dash", [](auto& c) { CGContextSetLineDash(c, 0, {4, NAN}); }},
        {"null gradient", [](auto& c) { CGContextDrawLinearGradient(c, nullptr, {0, 0}, {1, 1}, 0); }},
        {"empty gradient", [](auto& c) { CGContextDrawLinearGradient(c, CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), {}, {}), {0, 0}, {1, 1}, 0); }},
        {"NaN gradient point", [](auto& c) { CGContextDrawLinearGradient(c, redToBlue(), {NAN, 0}, {1, 1}, 0); }},
        {"negative radial radius", [](auto& c) { CGContextDrawRadialGradient(c, redToBlue(), {0, 0}, -1, {1, 1}, 5, 0); }},
        {"unbalanced restore", [](auto& c) { CGContextRestoreGState(c); }},
        {"layer end without begin", [](auto& c) { CGContextEndTransparencyLayer(c); }},
        {"restore across a layer's start", [](auto& c) {
             CGContextSaveGState(c);
             CGContextBeginTransparencyLayer(c);
             CGContextRestoreGState(c);
             CGContextEndTransparencyLayer(c);
             CGContextRestoreGState(c);
         }},
        {"NaN shadow blur", [](auto& c) { CGContextSetShadow(c, CGSizeMake(1, 1), NAN); }},
        {"NaN rectangle", [](auto& c) { CGContextFillRect(c, CGRectMake(NAN, 0, 10, 10)); }},
        {"NaN clip", [](auto& c) { CGContextClipToRect(c, CGRectMake(0, 0, INFINITY, 10)); }},
        {"singular base", [](auto& c) { CGContextSetBaseCTM(c, CGAffineTransformMakeScale(0, 0)); }},
    };
    for (auto& [name, bad] : cases) {
        CAPTURE(name);
        auto ctx = canvas();
        ConsoleLines console;
        bad(ctx);
        CHECK(console.lines.size() >= 1);
        CHECK(CGContextGetCTM(ctx) == CGAffineTransformIdentity);
        CGContextBeginPath(ctx);
        CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
        CGContextFillRect(ctx, CGRectMake(0, 0, 100, 100));
        CHECK(probe(ctx, 50, 50) == CGPixel{0, 0, 255, 255});
        CHECK(probe(ctx, 1, 98) == CGPixel{0, 0, 255, 255});
    }
}

TEST_CASE("the current path is copied out in user space and gradients respect the clip") {
    auto ctx = canvas();
    CGContextTranslateCTM(ctx, 10, 10);
    CGContextAddEllipseInRect(ctx, CGRectMake(0, 0, 20, 10));
    CHECK(nearRect(CGContextGetPathBoundingBox(ctx), CGRectMake(0, 0, 20, 10), 1e-3));
    CHECK(nearRect(CGPathGetPathBoundingBox(CGContextCopyPath(ctx)), CGRectMake(0, 0, 20, 10), 1e-3));
    CGContextClip(ctx);
    CHECK(nearRect(CGContextGetClipBoundingBox(ctx), CGRectMake(0, 0, 20, 10), 1));
    CGContextDrawLinearGradient(ctx, redToBlue(), {0, 0}, {20, 0},
                                kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation);
    CHECK(opaque(probe(ctx, 20, 15)));
    CHECK(clear(probe(ctx, 50, 50)));
    CHECK(clear(probe(ctx, 11, 11)));  // outside the ellipse's corner
}

}  // TEST_SUITE
