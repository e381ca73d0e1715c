// The popover's argument vocabulary: arrow directions and animation options.
//
// Both are unsigned 64-bit bit sets. `FLArrowDirection` names the edge of the
// panel that carries the arrow (Up: top edge, the panel lies below the anchor;
// Down: bottom edge, the panel lies above; Left / Right likewise; None: no
// arrow, the panel is centred like a dialog). Any is the four arrow sides.
// `FLAnimationOptions`: Fade fades overlay and panel, Scale grows the panel out
// of the arrow's tip, FadeWithScale does both.
#pragma once

#include <cstdint>

using FLArrowDirection = std::uint64_t;
inline constexpr FLArrowDirection FLArrowDirectionUp = 1;
inline constexpr FLArrowDirection FLArrowDirectionDown = 2;
inline constexpr FLArrowDirection FLArrowDirectionLeft = 4;
inline constexpr FLArrowDirection FLArrowDirectionRight = 8;
inline constexpr FLArrowDirection FLArrowDirectionNone = 16;
inline constexpr FLArrowDirection FLArrowDirectionAny =
    FLArrowDirectionUp | FLArrowDirectionDown | FLArrowDirectionLeft | FLArrowDirectionRight;

using FLAnimationOptions = std::uint64_t;
inline constexpr FLAnimationOptions FLAnimationOptionFade = 1;
inline constexpr FLAnimationOptions FLAnimationOptionScale = 2;
inline constexpr FLAnimationOptions FLAnimationOptionFadeWithScale =
    FLAnimationOptionFade | FLAnimationOptionScale;
