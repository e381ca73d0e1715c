#include "platform/uikit/UIDimmingView.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIWindow.h"

namespace {
// Whether the view and its ancestors are shown.
bool shown(const UIView& view) {
    for (const UIView* v = &view; v; v = v->superview().get())
        if (v->isHidden() || v->alpha() < 0.01) return false;
    return true;
}
}  // namespace

UIDimmingView::UIDimmingView(CGRect frame) : UIView(frame) {
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
}

std::shared_ptr<UIDimmingView> UIDimmingView::formSheetDimmingView(CGRect frame) {
    auto view = std::make_shared<UIDimmingView>(frame);
    view->setBackgroundColor(UIColor::blackColor()->CGColor());
    view->setAlpha(kFormSheetAlpha);
    return view;
}

void UIDimmingView::setPassthroughViews(const std::vector<std::shared_ptr<UIView>>& views) {
    passthrough_.assign(views.begin(), views.end());
}

std::vector<std::shared_ptr<UIView>> UIDimmingView::passthroughViews() const {
    std::vector<std::shared_ptr<UIView>> out;
    for (auto& w : passthrough_)
        if (auto v = w.lock()) out.push_back(v);
    return out;
}

bool UIDimmingView::letsThrough(CGPoint point) const {
    auto window = this->window();
    if (!window) return false;
    const CGPoint inWindow = convertPointToView(point, window.get());
    for (auto& w : passthrough_) {
        auto view = w.lock();
        if (!view || view->window() != window || !shown(*view)) continue;
        if (view->pointInside(view->convertPointFromView(inWindow, window.get()), nullptr)) return true;
    }
    return false;
}

std::shared_ptr<UIView> UIDimmingView::hitTest(CGPoint point, UIEvent* event) {
    QV_ASSERT_MAIN_THREAD();
    auto hit = UIView::hitTest(point, event);
    if (hit.get() == this && letsThrough(point)) return nullptr;
    return hit;
}

// The touches stop here: nothing behind the view hears them.
void UIDimmingView::touchesBegan(const UITouchSet&, UIEvent*) {}
void UIDimmingView::touchesMoved(const UITouchSet&, UIEvent*) {}
void UIDimmingView::touchesCancelled(const UITouchSet&, UIEvent*) {}

void UIDimmingView::touchesEnded(const UITouchSet&, UIEvent*) {
    if (!tapHandler_) return;
    auto keep = self<UIDimmingView>();
    auto handler = tapHandler_;
    handler();
}

void UIDimmingView::layoutSubviews() {
    if (!layoutHandler_) return;
    auto keep = self<UIDimmingView>();
    auto handler = layoutHandler_;
    handler();
}
