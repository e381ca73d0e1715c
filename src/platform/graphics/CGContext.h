#pragma once
// Drawing contexts. Bitmap contexts draw into a pixel buffer in the layout
// their bitmap info names (see CGImage.h); the supported layouts are 8 bits per
// component, 32 bits per pixel, RGB, with premultiplied or skipped alpha
// first or last (the platform's own set), in the default, 32-bit big- or
// 32-bit little-endian byte order.
//
// The user space is the platform's: the origin at the bottom left, y upwards,
// one unit a pixel. A context starts cleared (transparent black), with black
// fill and stroke colours, line width 1, butt caps, miter joins, full alpha and
// no shadow.
//
// Invalid input (a non-finite number, a negative radius or width, a singular
// transform, a null gradient, an unbalanced restore or layer end) is ignored
// with a console line; the context stays usable. Contexts are not thread-safe:
// one thread draws into a context at a time.
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/Forward.h"

enum CGInterpolationQuality : int {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationMedium = 4,
    kCGInterpolationHigh = 3,
};

enum CGBlendMode : int {
    kCGBlendModeNormal = 0,
    kCGBlendModeMultiply = 1,
    kCGBlendModeClear = 16,
    kCGBlendModeCopy = 17,
    kCGBlendModeSourceIn = 18,
    kCGBlendModeDestinationOut = 23,
};

enum CGPathDrawingMode : int {
    kCGPathFill = 0,
    kCGPathEOFill = 1,
    kCGPathStroke = 2,
    kCGPathFillStroke = 3,
    kCGPathEOFillStroke = 4,
};

enum CGLineCap : int { kCGLineCapButt = 0, kCGLineCapRound = 1, kCGLineCapSquare = 2 };
enum CGLineJoin : int { kCGLineJoinMiter = 0, kCGLineJoinRound = 1, kCGLineJoinBevel = 2 };

class CGContext : public NSObject {
public:
    ~CGContext() override;
    struct State;  // the drawing library's objects and the graphics state stack
    explicit CGContext(std::unique_ptr<State> state);
    State& state() { return *state_; }

private:
    std::unique_ptr<State> state_;
};

// A bitmap context of width x height pixels. data is the caller's buffer of at
// least bytesPerRow x height bytes, kept current after every drawing call, or
// null for a buffer of the context's own (zero-filled). bytesPerRow 0 lets the
// context choose (width x 4). Null (with a console line) for an unsupported
// layout, a size of 0, a side above 32767 or an area above kCGImageMaxPixelCount,
// or too few bytes per row.
CGContextRef CGBitmapContextCreate(void* data, std::size_t width, std::size_t height, std::size_t bitsPerComponent,
                                   std::size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo);
std::size_t CGBitmapContextGetWidth(const CGContextRef& c);
std::size_t CGBitmapContextGetHeight(const CGContextRef& c);
std::size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& c);
std::size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& c);
std::size_t CGBitmapContextGetBytesPerRow(const CGContextRef& c);
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& c);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& c);
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& c);
// The pixel buffer, in the context's layout.
void* CGBitmapContextGetData(const CGContextRef& c);
// A copy of the current pixels as an image of the context's layout.
CGImageRef CGBitmapContextCreateImage(const CGContextRef& c);

// Graphics state.
void CGContextSaveGState(const CGContextRef& c);
void CGContextRestoreGState(const CGContextRef& c);
void CGContextTranslateCTM(const CGContextRef& c, double tx, double ty);
void CGContextScaleCTM(const CGContextRef& c, double sx, double sy);
void CGContextRotateCTM(const CGContextRef& c, double angle);
void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t);
// The user space to device (pixel, y down) transform.
CGAffineTransform CGContextGetCTM(const CGContextRef& c);
// For contexts made by UIKit and the layer renderer: concatenates t to the CTM
// and makes the result the base space, in which shadow offsets and blur are
// measured (so a flipped, scaled context casts the same shadow at every scale).
void CGContextSetBaseCTM(const CGContextRef& c, const CGAffineTransform& t);
void CGContextSetRGBFillColor(const CGContextRef& c, double r, double g, double b, double a);
void CGContextSetRGBStrokeColor(const CGContextRef& c, double r, double g, double b, double a);
void CGContextSetGrayFillColor(const CGContextRef& c, double gray, double a);
void CGContextSetGrayStrokeColor(const CGContextRef& c, double gray, double a);
void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetLineWidth(const CGContextRef& c, double width);
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap);
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join);
void CGContextSetMiterLimit(const CGContextRef& c, double limit);
// Dash lengths in user space, starting phase units into the pattern; empty lengths end dashing.
void CGContextSetLineDash(const CGContextRef& c, double phase, const std::vector<double>& lengths);
void CGContextSetAlpha(const CGContextRef& c, double alpha);
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode);
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality quality);
CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef& c);
void CGContextSetShouldAntialias(const CGContextRef& c, bool antialias);
// Shadows of everything drawn afterwards (part of the graphics state): offset and
// blur in the base space, blur as a Gaussian of standard deviation blur / 2. The
// colourless form casts black at a third alpha; a null or clear colour ends shadows.
void CGContextSetShadow(const CGContextRef& c, CGSize offset, double blur);
void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, double blur, const CGColorRef& color);

// Transparency layers: drawing between begin and end is gathered and then
// composited as one image with the state's alpha, blend mode and shadow as they
// were at the begin (which are reset inside the layer). Layers nest; an end
// without a begin is ignored, and state saved inside a layer is restored at its end.
void CGContextBeginTransparencyLayer(const CGContextRef& c);
void CGContextBeginTransparencyLayerWithRect(const CGContextRef& c, CGRect rect);
void CGContextEndTransparencyLayer(const CGContextRef& c);

// Painting.
void CGContextFillRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, double width);
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect);
// Strokes a line between each pair of points.
void CGContextStrokeLineSegments(const CGContextRef& c, const std::vector<CGPoint>& points);
// Sets the rectangle to transparent black.
void CGContextClearRect(const CGContextRef& c, CGRect rect);
// Draws the image scaled into the rectangle, upright in the user space.
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);

// Paths.
void CGContextBeginPath(const CGContextRef& c);
void CGContextMoveToPoint(const CGContextRef& c, double x, double y);
void CGContextAddLineToPoint(const CGContextRef& c, double x, double y);
void CGContextAddCurveToPoint(const CGContextRef& c, double cp1x, double cp1y, double cp2x, double cp2y, double x,
                              double y);
void CGContextAddQuadCurveToPoint(const CGContextRef& c, double cpx, double cpy, double x, double y);
// Angles in radians; clockwise as in the platform's y-up space (1 = clockwise).
void CGContextAddArc(const CGContextRef& c, double x, double y, double radius, double startAngle, double endAngle,
                     int clockwise);
void CGContextAddArcToPoint(const CGContextRef& c, double x1, double y1, double x2, double y2, double radius);
void CGContextAddRect(const CGContextRef& c, CGRect rect);
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextAddPath(const CGContextRef& c, const CGPathRef& path);
// The current path in the current user space; null when there is none.
CGPathRef CGContextCopyPath(const CGContextRef& c);
CGRect CGContextGetPathBoundingBox(const CGContextRef& c);
CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c);
void CGContextClosePath(const CGContextRef& c);
bool CGContextIsPathEmpty(const CGContextRef& c);
void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode);
void CGContextFillPath(const CGContextRef& c);
void CGContextEOFillPath(const CGContextRef& c);
void CGContextStrokePath(const CGContextRef& c);
// Intersects the clip with the current path (which is consumed) by the winding
// or even-odd rule, or with a rectangle.
void CGContextClip(const CGContextRef& c);
void CGContextEOClip(const CGContextRef& c);
void CGContextClipToRect(const CGContextRef& c, CGRect rect);
// The clip's bounds in user space.
CGRect CGContextGetClipBoundingBox(const CGContextRef& c);

// Gradients, inside the clip. Linear: colour bands perpendicular to the line
// from start to end. Radial: circles from the start circle to the end circle.
// Without options nothing is drawn before the start or after the end; the two
// options extend the first or last colour on that side.
void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options);
void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 double startRadius, CGPoint endCenter, double endRadius,
                                 CGGradientDrawingOptions options);
