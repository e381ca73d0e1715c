#pragma once
// Solid, optionally rounded, stretchable images for the popover.
//
// imageWithColor:size:cornerRadius: draws a rounded rectangle of the whole size
// in the colour into a non-opaque image context at the main screen's scale and
// answers the image with cap insets of the radius on all four sides (the part
// that stretches lies between them; read them with capInsets). The two shorter
// forms: a square of 2 x radius + 1 points with that radius, and an 8 x 8 image
// without rounding (the process-wide imageWithColor:, which clears a popover's
// navigation bar).
//
// A null colour, a negative or non-finite radius, or a size the image context
// refuses gives null (with a console line). Safe from any thread (image
// contexts are per thread).
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIImage.h"

struct UIImageFLPopover {
    static UIImagePtr imageWithColor(const UIColorPtr& color, CGSize size, float cornerRadius);
    static UIImagePtr imageWithColor(const UIColorPtr& color, float cornerRadius);
    static UIImagePtr imageWithColor(const UIColorPtr& color);
    // The cap insets an image of these routines was made with; zero for any other image.
    static UIEdgeInsets capInsets(const UIImagePtr& image);
};
