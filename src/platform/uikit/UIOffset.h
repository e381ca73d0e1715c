#pragma once
// A horizontal and vertical offset (points), as views are moved by.
#include "platform/graphics/CGGeometry.h"

struct UIOffset {
    CGFloat horizontal = 0;
    CGFloat vertical = 0;
    bool operator==(const UIOffset&) const = default;
};

inline constexpr UIOffset UIOffsetZero{0, 0};
inline UIOffset UIOffsetMake(CGFloat horizontal, CGFloat vertical) { return UIOffset{horizontal, vertical}; }
inline bool UIOffsetEqualToOffset(const UIOffset& a, const UIOffset& b) { return a == b; }
