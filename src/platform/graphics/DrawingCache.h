#pragma once
// Bitmaps of slow drawings, kept by what they were drawn from.
//
// Some views redraw often with nothing changed (a panel's chrome on every
// placement, every new panel of the same look). A cache keeps the last few
// bitmaps, each with its recipe: every value the drawing reads, to which
// drawInto adds the context's pixel grid (PixelGrid). drawInto lays the kept
// bitmap of an equal recipe into the context pixel for pixel; otherwise it runs
// the drawing and keeps what it drew (the least recently used bitmap goes when
// the cache is full): on the context itself when it is clear, as a layer's
// fresh backing is, else into a bitmap of the context's grid that is then laid
// down. A context that is not a points context is drawn into directly, and
// nothing is kept. A recipe that leaves out a value the drawing reads would
// bring back a stale drawing, so each recipe is built beside the drawing it
// stands for, from the same fields.
//
// Not synchronised: each cache is used on one thread (the views' caches on the main thread).
#include <cstddef>
#include <functional>
#include <list>
#include <vector>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"

class DrawingCache {
public:
    // The values a drawing is made from, in a fixed order.
    class Recipe {
    public:
        Recipe& add(double value);
        Recipe& add(CGSize size) { return add(size.width).add(size.height); }
        Recipe& add(CGRect rect) { return add(rect.origin.x).add(rect.origin.y).add(rect.size); }
        // A colour as the drawing paints it (device red, green, blue, alpha), or its absence.
        Recipe& add(const CGColorRef& color);
        bool operator==(const Recipe& other) const = default;

    private:
        std::vector<double> values_;
    };

    explicit DrawingCache(std::size_t capacity);

    void drawInto(const CGContextRef& ctx, Recipe recipe, const std::function<void(const CGContextRef&)>& draw);

    std::size_t hits() const { return hits_; }
    std::size_t misses() const { return misses_; }
    std::size_t count() const { return entries_.size(); }
    void removeAll() { entries_.clear(); }

private:
    struct Entry {
        Recipe recipe;
        CGImageRef image;
    };
    std::size_t capacity_;
    std::list<Entry> entries_;  // most recently used first
    std::size_t hits_ = 0, misses_ = 0;
};
