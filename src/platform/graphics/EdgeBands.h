#pragma once
// Drawing that only shows near the edges of a view, done band by band.
//
// A shadow costs the area of the bitmap it is cast in, wherever it lands.
// Drawings whose shadows only show along the edges (a panel's drop shadow, a
// gloss, an inner stroke's shadow) need not pay for the middle, so
// DrawEdgeBands runs the drawing once for each band between the edges of the
// context's bitmap and an interior rectangle, each time into a bitmap of that
// band alone (PixelGrid), and lays the bands into the context one to one, over
// what it holds.
//
// Contract: `ctx` is a points context (see PixelGrid.h).
// What `draw` paints inside `interior` is dropped: the caller paints nothing
// there, or covers it wholly afterwards. The bands lie on whole pixels and do
// not overlap, and each band's bitmap takes in what is drawn within the reach
// of its shadows around it, so the result is what `draw` would paint in one go
// (a band laid over earlier drawing may round one step differently). When
// the interior covers no whole pixel, or the context is not a backing
// context, `draw` runs once on the context itself.
//
// Any thread, one context per thread at a time.
#include <functional>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

void DrawEdgeBands(const CGContextRef& ctx, CGRect interior,
                   const std::function<void(const CGContextRef&)>& draw);
