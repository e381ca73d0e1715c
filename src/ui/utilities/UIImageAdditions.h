#pragma once
// Solid-colour images: a 1 x 1 point image of a colour, and an image of a
// given size filled with a colour, its corners rounded when a radius above 0
// is given (the corners outside the rounded outline stay transparent).
//
// Images are drawn in a bitmap image context of scale 1, not opaque. A size
// that is zero, negative, not finite or too large for a bitmap, or a null
// colour, gives a null image (with a console line); the UIKit context stack is
// left as it was.
//
// The process-wide image extension named imageWithColor: is the popover
// theme's (its 8 x 8 image); this one is reached through UIImageAdditions only.
//
// Safe from any thread (image contexts are per thread).
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"

struct UIImageAdditions {
    static UIImagePtr imageWithColor(const UIColorPtr& color);
    static UIImagePtr imageWithColor(const UIColorPtr& color, CGSize size, CGFloat andRoundSize);
};
