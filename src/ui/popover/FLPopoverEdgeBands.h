#pragma once
// Drawing that only shows near the edges of a view, done band by band.
//
// A shadow costs the area of the bitmap it is cast in, wherever it lands. The
// chrome's drop shadow, its gloss and the inner view's stroke shadow only show
// along the edges, so FLPopoverDrawEdgeBands runs the drawing once for each
// band between the edges of the context's bitmap and an interior rectangle,
// each time into a bitmap of that band alone (FLPopoverPixelGrid), and lays
// the bands into the context one to one, over what it holds.
//
// Contract: `ctx` is a layer's backing context (see FLPopoverPixelGrid.h).
// What `draw` paints inside `interior` is dropped: the caller paints nothing
// there, or covers it wholly afterwards. The bands lie on whole pixels and do
// not overlap, and each band's bitmap takes in what is drawn within the reach
// of its shadows around it, so the result is what `draw` would paint in one go
// (a band laid over earlier drawing may round one step differently). When
// the interior covers no whole pixel, or the context is not a backing
// context, `draw` runs once on the context itself.
//
// Main thread only (drawing of layers).
#include <functional>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

void FLPopoverDrawEdgeBands(const CGContextRef& ctx, CGRect interior,
                            const std::function<void(const CGContextRef&)>& draw);
