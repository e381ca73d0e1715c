#include "ui/popover/FLPopoverOverlayView.h"

#include <algorithm>

#include "platform/foundation/NSBundle.h"

FLPopoverOverlayView::FLPopoverOverlayView(CGRect frame) : UIView(frame) {}

std::shared_ptr<FLPopoverOverlayView> FLPopoverOverlayView::initWithFrame(CGRect frame) {
    return std::make_shared<FLPopoverOverlayView>(frame);
}

std::shared_ptr<UIView> FLPopoverOverlayView::hitTest(CGPoint point, UIEvent* event) {
    if (testHits_) return nullptr;
    auto hit = UIView::hitTest(point, event);
    if (hit.get() != this) return hit;
    auto parent = superview();
    if (!parent) return hit;
    testHits_ = true;
    auto under = parent->hitTest(convertPointToView(point, parent.get()), event);
    testHits_ = false;
    if (isPassthroughView(under.get())) return under;
    return hit;
}

bool FLPopoverOverlayView::isPassthroughView(const UIView* view) const {
    for (const UIView* v = view; v;) {
        bool listed = std::any_of(passthroughViews_.begin(), passthroughViews_.end(),
                                  [v](const std::shared_ptr<UIView>& p) { return p.get() == v; });
        if (listed) return true;
        auto parent = v->superview();
        v = parent.get();  // kept alive by the tree
    }
    return false;
}

void FLPopoverOverlayView::accessibilityElementDidBecomeFocused() {
    setAccessibilityLabel(NSBundle::mainBundle()->localizedStringForKey("Double-tap to dismiss pop-up window.", "", ""));
}
