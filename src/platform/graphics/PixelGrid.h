#pragma once
// The pixels of a points context (a layer's backing is one) as drawing helpers see them.
//
// A points context (PointsContextCreate) maps its user space, y down in
// points, onto whole pixels by a plain scale: pixel x = (x - originX) *
// scale, pixel y (from the top row) = (y - originY) * scale. PixelGrid reads
// that mapping back from a context, makes bitmaps for parts of it with the
// same mapping (so shadows and antialiasing fall on the same pixels), and lays
// such a bitmap into the context pixel for pixel.
//
// Any thread, one context per thread at a time (contexts are not shared).
#include <optional>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"

// A bitmap context of width x height points at the scale, premultiplied ARGB
// in the native byte order, sRGB, its user space in points with y down. Null
// for an empty, non-finite or oversized size, or a scale that is not positive.
CGContextRef PointsContextCreate(CGSize size, CGFloat scale);

// Whole pixels of a context, y down from its top row.
struct PixelRect {
    long x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w < 1 || h < 1; }
};

struct PixelGrid {
    double scale = 0, originX = 0, originY = 0;
    long width = 0, height = 0;

    // The grid of a context, or nothing when its user space is not a plain
    // scale with y down (rotated, mirrored, or not a bitmap).
    static std::optional<PixelGrid> of(const CGContextRef& ctx);

    // The pixels as a rectangle of the user space.
    CGRect userRect(const PixelRect& pixels) const;
    // The whole pixels a rectangle of the user space covers entirely, within the bitmap.
    PixelRect pixelsInside(CGRect rect) const;
    // A cleared bitmap context for the pixels whose user space is the same as
    // the grid's there; null when none could be made (the context logged why).
    CGContextRef makeContext(const PixelRect& pixels) const;
    // Lays the image (of the pixels' size) into ctx over those pixels, one to one.
    void layDown(const CGContextRef& ctx, const PixelRect& pixels, const CGImageRef& image) const;
};

// How many pixels one point of the context's user space spans (1 when unknown).
CGFloat PixelsPerPoint(const CGContextRef& ctx);
