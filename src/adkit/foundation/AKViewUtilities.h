#pragma once
// Where a view is on the screen and whether it can be seen, and a snapshot of
// a view. Main thread only.
//
// `positionOfView`: nil for a view without superview or window; else "x", "y",
// "width", "height" (floats: the frame in screen coordinates, through the
// window's own frame) and "visible" (not hidden, and not wholly left of or
// above the screen, nor past the application frame's width or height).
//
// `ak_render`: the view's layer tree rendered into an image of its bounds' size
// at scale 1 (tests may install another renderer: AKViewUtilities::setRenderer).
#include <functional>
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class UIImage;
class UIScreen;
class UIView;

namespace AKViewUtilities {
Value positionOfView(const std::shared_ptr<UIView>& view, const UIScreen& screen);

using Renderer = std::function<std::shared_ptr<UIImage>(UIView& view, CGSize size, CGFloat scale)>;
void setRenderer(Renderer renderer);
}  // namespace AKViewUtilities

std::shared_ptr<UIImage> ak_render(UIView& view);
