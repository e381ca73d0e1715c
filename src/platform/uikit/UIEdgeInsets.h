#pragma once
// Insets of the four edges of a rectangle in the views' space (y down).
#include "platform/graphics/CGGeometry.h"

struct UIEdgeInsets {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const UIEdgeInsets&) const = default;
};

inline constexpr UIEdgeInsets UIEdgeInsetsZero{};

inline UIEdgeInsets UIEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
    return {top, left, bottom, right};
}
inline bool UIEdgeInsetsEqualToEdgeInsets(const UIEdgeInsets& a, const UIEdgeInsets& b) { return a == b; }
// The rectangle moved in by the insets (out for negative ones); the size may become negative, as the platform's.
inline CGRect UIEdgeInsetsInsetRect(CGRect rect, const UIEdgeInsets& insets) {
    rect.origin.x += insets.left;
    rect.origin.y += insets.top;
    rect.size.width -= insets.left + insets.right;
    rect.size.height -= insets.top + insets.bottom;
    return rect;
}
