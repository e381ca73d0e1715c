#pragma once
// Colour routines of the popover: component reads by colour-space model,
// a textual form, and lighter or darker opaque variants.
//
// getValueOfRed: grey colours report their white as red, green and blue; RGB
// colours their components; any other space answers false and zeros. Each
// non-null out-pointer is written (0 when the read fails).
// hexString: "#rrggbbaa" in lower-case hexadecimal, each component clamped to
// 0...1 (NaN as 0) before it is scaled by 255 and truncated, so the answer is
// always nine characters; a null colour reads as transparent black.
// colorByLighten / colorByDarken: red, green and blue moved by d and kept in
// 0...1; alpha 1. A null colour gives null.
//
// Colours are immutable: safe from any thread.
#include <string>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"

struct UIColorFLPopover {
    static bool getValueOfRed(const UIColorPtr& color, CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha);
    static std::string hexString(const UIColorPtr& color);
    static UIColorPtr colorByLighten(const UIColorPtr& color, float d);
    static UIColorPtr colorByDarken(const UIColorPtr& color, float d);
};
