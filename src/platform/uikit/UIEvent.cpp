#include "platform/uikit/UIEvent.h"

#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

CGPoint UITouch::locationInView(const UIView* view) const {
    auto w = window();
    if (!view || !w) return location_;
    return view->convertPointFromView(location_, w.get());
}

CGPoint UITouch::previousLocationInView(const UIView* view) const {
    auto w = window();
    if (!view || !w) return previous_;
    return view->convertPointFromView(previous_, w.get());
}

UITouchSet UIEvent::touchesForView(const UIView* view) const {
    UITouchSet out;
    for (auto& t : touches_)
        if (t->view().get() == view) out.insert(t);
    return out;
}

UITouchSet UIEvent::touchesForWindow(const UIWindow* window) const {
    UITouchSet out;
    for (auto& t : touches_)
        if (t->window().get() == window) out.insert(t);
    return out;
}
