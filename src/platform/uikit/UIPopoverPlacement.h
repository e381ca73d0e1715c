#pragma once
// Where a popover goes: beside its anchor rectangle, with its arrow pointing at
// the anchor's middle, kept inside the area it may use (the window less its
// margins).
//
// The directions are tried in the order up, down, left, right (an arrow
// pointing up puts the popover below the anchor); the first permitted one with
// room for the whole popover wins. When none has room, the permitted one with
// the most room along its axis is taken and the popover shrinks to fit. Across
// that axis the popover is centred on the anchor and then pushed inside the
// area; the arrow stays on the anchor's middle, clear of the rounded corners.
// Everything is in whole points. Pure geometry: any thread.
#include <climits>

#include "platform/graphics/CGGeometry.h"

using UIPopoverArrowDirection = unsigned long;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionUp = 1UL << 0;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionDown = 1UL << 1;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionLeft = 1UL << 2;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionRight = 1UL << 3;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionAny = 15;
inline constexpr UIPopoverArrowDirection UIPopoverArrowDirectionUnknown = ULONG_MAX;

struct UIPopoverPlacement {
    static constexpr CGFloat kArrowHeight = 13;  // from the body to the tip
    static constexpr CGFloat kArrowBase = 26;
    static constexpr CGFloat kBorder = 8;        // the frame around the content
    static constexpr CGFloat kCornerRadius = 8;

    UIPopoverArrowDirection direction = UIPopoverArrowDirectionUnknown;
    CGRect frame{};         // the whole popover, arrow included (area coordinates)
    CGRect contentFrame{};  // the content inside `frame` (frame coordinates)
    CGFloat arrowOffset = 0;  // the arrow's tip along its edge (frame coordinates)

    // `permitted` without any of the four directions counts as any direction.
    static UIPopoverPlacement place(CGRect anchor, CGSize contentSize, UIPopoverArrowDirection permitted,
                                    CGRect area);
};
