#pragma once
// UIKit's drawing contexts: a per-thread stack of current contexts, and image
// contexts in the views' space (origin top left, y down, one unit a point,
// `scale` pixels a point).
//
// Call order: UIGraphicsBeginImageContextWithOptions, drawing into
// UIGraphicsGetCurrentContext(), UIGraphicsGetImageFromCurrentImageContext,
// UIGraphicsEndImageContext. Views push their context around drawRect: with
// UIGraphicsPushContext / UIGraphicsPopContext.
//
// A begin with an empty, negative, non-finite or oversized size (or a bad scale)
// makes no context and leaves the stack as it was, with a console line; until
// the matching end, UIGraphicsGetCurrentContext() and the image are null (so
// nothing meant for the refused image lands in an outer context), and that end
// pops nothing. A pending refused begin is forgotten when the stack shrinks
// below the depth it was made at.
//
// Threads: each thread has its own stack.
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIImage.h"

// The context on top of this thread's stack; null when there is none.
CGContextRef UIGraphicsGetCurrentContext();
// Pushes a context (a null one is refused with a console line) / pops the top one.
void UIGraphicsPushContext(const CGContextRef& context);
void UIGraphicsPopContext();

// scale 0 means the main screen's scale; opaque contexts have no alpha.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
inline void UIGraphicsBeginImageContext(CGSize size) { UIGraphicsBeginImageContextWithOptions(size, false, 1.0); }
// The image of the current image context at its scale; null when the current
// context is not an image context.
UIImagePtr UIGraphicsGetImageFromCurrentImageContext();
// Ends the current image context (or a refused begin); a console line when the
// top of the stack is not an image context.
void UIGraphicsEndImageContext();

// The largest side, in pixels, of an image context (and of any bitmap context).
inline constexpr std::size_t kUIGraphicsMaxImageSide = 32767;

// Filling, framing and clipping rectangles in the current context.
void UIRectFill(CGRect rect);
void UIRectFillUsingBlendMode(CGRect rect, CGBlendMode blendMode);
// A one-unit frame inside the rectangle, in the fill colour.
void UIRectFrame(CGRect rect);
void UIRectClip(CGRect rect);

// Draws the image upright in the rectangle of the current (flipped) context,
// scaled to fill it; nothing for a null image or without a context.
void UIImageDrawInRect(const UIImagePtr& image, CGRect rect, CGBlendMode blendMode = kCGBlendModeNormal,
                       CGFloat alpha = 1);
// At its own size in points, its top left corner at the point.
void UIImageDrawAtPoint(const UIImagePtr& image, CGPoint point);
