#pragma once
// The popover's two drawing caches (DrawingCache.h): one for the chrome's
// drawing, one for the inner view's; both are emptied on
// UIApplicationDidReceiveMemoryWarningNotification. Recipes take a view's
// colours through FLPopoverRecipeColor (a colour as drawn, or none).
//
// Main thread only.
#include "platform/graphics/DrawingCache.h"
#include "platform/uikit/UIColor.h"

DrawingCache& FLPopoverChromeDrawingCache();
DrawingCache& FLPopoverInnerViewDrawingCache();

inline CGColorRef FLPopoverRecipeColor(const UIColorPtr& color) { return color ? color->CGColor() : nullptr; }
