#pragma once
// Measuring how much room a text takes when it wraps within a width (the
// detail screen sizes its chapter rows with it).
//
// usedSizeForWidth lays the text out within (width, the largest finite
// double) from the line-fragment origin, using font leading, with the given
// attributes; without attributes, with only the font. The width is rounded up
// to a whole number and the height rounded up plus 1, both in single
// precision: a bounding box of 17.2 x 40 gives 18 x 41, an empty one 0 x 1.
//
// Safe from any thread (measuring is).
#include <optional>
#include <string_view>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIFont.h"

// The text's used size at the width. With attributes the font argument is not used.
CGSize usedSizeForWidth(std::string_view text, CGFloat width, const UIFontPtr& font,
                        const std::optional<NSAttributes>& withAttributes = std::nullopt);

// The rounding step: a bounding rectangle's size as used size.
CGSize usedSizeFromBoundingRect(CGRect boundingRect);
