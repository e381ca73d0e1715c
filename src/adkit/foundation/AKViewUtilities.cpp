#include "adkit/foundation/AKViewUtilities.h"

#include <mutex>

#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIImage.h"

#include "adkit/foundation/AKDevice.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStatusBarOrientation.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
std::mutex rendererMutex;
AKViewUtilities::Renderer renderer;
}  // namespace

namespace AKViewUtilities {

Value positionOfView(const std::shared_ptr<UIView>& view, const UIScreen& screen) {
    std::int64_t major = 0;
    AKDevice::getOSMajor(&major, nullptr, nullptr);
    const CGRect limits = UIScreenGeometry::applicationFrame(screen, static_cast<int>(major));
    if (!view) return Value();
    auto superview = view->superview();
    auto window = view->window();
    if (!superview || !window) return Value();
    CGRect rect = superview->convertRectToView(view->frame(), window.get());
    // The window's own frame places it on the screen.
    rect = CGRectOffset(rect, window->frame().origin.x, window->frame().origin.y);
    const CGRect own = view->frame();
    const bool visible = !(view->isHidden() || rect.origin.x + own.size.width <= 0 || rect.origin.y + own.size.height <= 0 ||
                           rect.origin.x > limits.size.width || rect.origin.y > limits.size.height);
    return Value{{"x", Value(static_cast<float>(rect.origin.x))},
                 {"y", Value(static_cast<float>(rect.origin.y))},
                 {"width", Value(static_cast<float>(rect.size.width))},
                 {"height", Value(static_cast<float>(rect.size.height))},
                 {"visible", Value(visible)}};
}

void setRenderer(Renderer r) {
    std::lock_guard<std::mutex> lock(rendererMutex);
    renderer = std::move(r);
}

}  // namespace AKViewUtilities

std::shared_ptr<UIImage> ak_render(UIView& view) {
    AKViewUtilities::Renderer current;
    {
        std::lock_guard<std::mutex> lock(rendererMutex);
        current = renderer;
    }
    if (current) return current(view, view.bounds().size, 1.0);
    // The view's own layer tree, laid out and drawn as the next pass would.
    view.layoutIfNeeded();
    CGImageRef image = CALayerRenderImage(*view.layer(), 1.0);
    return image ? UIImage::imageWithCGImage(image, 1.0) : nullptr;
}
