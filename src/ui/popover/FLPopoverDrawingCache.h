#pragma once
// Bitmaps of the popover's slow drawings, kept by what they were drawn from.
//
// The chrome and its inner view are redrawn on every placement and theme
// update and for every new popover, mostly with nothing changed. A cache keeps
// the last few bitmaps, each with its recipe: every value the drawing reads,
// to which drawInto adds the context's pixel grid (FLPopoverPixelGrid).
// drawInto lays the kept bitmap of an equal recipe into the context pixel for
// pixel; otherwise it runs the drawing and keeps what it drew (the least
// recently used bitmap goes when the cache is full): on the context itself
// when it is clear, as a layer's fresh backing is, else into a bitmap of the
// context's grid that is then laid down. A context that is not a layer's
// backing context is drawn into directly, and nothing is kept. A recipe that leaves out a value the drawing reads would bring
// back a stale drawing, so each recipe is built beside the drawing it stands
// for, from the same fields.
//
// Main thread only.
#include <cstddef>
#include <functional>
#include <list>
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIColor.h"

class FLPopoverDrawingCache {
public:
    // The values a drawing is made from, in a fixed order.
    class Recipe {
    public:
        Recipe& add(double value);
        Recipe& add(CGSize size) { return add(size.width).add(size.height); }
        Recipe& add(CGRect rect) { return add(rect.origin.x).add(rect.origin.y).add(rect.size); }
        // A colour as the drawing paints it (device red, green, blue, alpha), or its absence.
        Recipe& add(const UIColorPtr& color);
        bool operator==(const Recipe& other) const = default;

    private:
        std::vector<double> values_;
    };

    explicit FLPopoverDrawingCache(std::size_t capacity);

    void drawInto(const CGContextRef& ctx, Recipe recipe, const std::function<void(const CGContextRef&)>& draw);

    std::size_t hits() const { return hits_; }
    std::size_t misses() const { return misses_; }
    std::size_t count() const { return entries_.size(); }
    void removeAll() { entries_.clear(); }

    // The caches of the chrome's drawing and of the inner view's, emptied on
    // UIApplicationDidReceiveMemoryWarningNotification.
    static FLPopoverDrawingCache& chrome();
    static FLPopoverDrawingCache& innerView();

private:
    struct Entry {
        Recipe recipe;
        CGImageRef image;
    };
    std::size_t capacity_;
    std::list<Entry> entries_;  // most recently used first
    std::size_t hits_ = 0, misses_ = 0;
};
