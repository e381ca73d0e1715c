#include "platform/uikit/UIView.h"

#include <algorithm>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

UIView::UIView(CGRect frame) : frame_(frame), bounds_(CGRectMake(0, 0, frame.size.width, frame.size.height)) {}

UIView::~UIView() = default;

void UIView::setFrame(CGRect frame) {
    if (frame.size != frame_.size) needsLayout_ = true;
    frame_ = frame;
    bounds_.size = frame.size;
}

void UIView::setBounds(CGRect bounds) {
    CGPoint c = center();
    if (bounds.size != bounds_.size) needsLayout_ = true;
    bounds_ = bounds;
    frame_.size = bounds.size;
    setCenter(c);
}

CGPoint UIView::center() const {
    return CGPointMake(frame_.origin.x + frame_.size.width / 2, frame_.origin.y + frame_.size.height / 2);
}

void UIView::setCenter(CGPoint c) {
    frame_.origin = CGPointMake(c.x - frame_.size.width / 2, c.y - frame_.size.height / 2);
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    insertSubview(view, subviews_.size());  // an existing subview moves to the front
}

void UIView::insertSubview(const std::shared_ptr<UIView>& view, std::size_t atIndex) {
    if (!view) return;
    if (view.get() == this || isDescendantOfView(view.get())) {
        NSLog("UIView: refusing to add %@ inside itself", view);
        return;
    }
    auto me = self<UIView>();
    if (view->superview_.lock().get() == this) {
        // Moving within the same superview: reorder only.
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        subviews_.erase(it);
        subviews_.insert(subviews_.begin() + static_cast<long>(std::min(atIndex, subviews_.size())), view);
        return;
    }
    view->willMoveToSuperview(me);
    if (auto old = view->superview_.lock()) {
        old->willRemoveSubview(view);
        std::erase(old->subviews_, view);
    }
    subviews_.insert(subviews_.begin() + static_cast<long>(std::min(atIndex, subviews_.size())), view);
    view->superview_ = me;
    view->didMoveToSuperview();
    didAddSubview(view);
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto me = self<UIView>();  // keeps this view alive through the hooks
    willMoveToSuperview(nullptr);
    parent->willRemoveSubview(me);
    std::erase(parent->subviews_, me);
    superview_.reset();
    didMoveToSuperview();
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    subviews_.erase(it);
    subviews_.push_back(view);
}

bool UIView::isDescendantOfView(const UIView* view) const {
    if (!view) return false;
    for (const UIView* v = this; v; v = v->superview_.lock().get())
        if (v == view) return true;
    return false;
}

std::shared_ptr<UIView> UIView::viewWithTag(long tag) {
    if (tag_ == tag) return self<UIView>();
    for (auto& s : subviews_)
        if (auto found = s->viewWithTag(tag)) return found;
    return nullptr;
}

std::shared_ptr<UIWindow> UIView::window() const {
    auto v = superview_.lock();
    while (v) {
        if (auto w = std::dynamic_pointer_cast<UIWindow>(v)) return w;
        v = v->superview_.lock();
    }
    return nullptr;
}

void UIView::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    auto children = subviews_;  // layout may change the tree
    for (auto& s : children) s->layoutIfNeeded();
}

std::shared_ptr<UIResponder> UIView::nextResponder() const {
    if (auto vc = viewController_.lock()) return vc;
    return superview_.lock();
}

namespace {
// A point in `view`'s bounds expressed in the coordinates of its root's superview
// space (the root's frame coordinates).
CGPoint toRootSpace(const UIView* view, CGPoint p) {
    for (const UIView* v = view; v; v = v->superview().get()) {
        p.x += v->frame().origin.x - v->bounds().origin.x;
        p.y += v->frame().origin.y - v->bounds().origin.y;
    }
    return p;
}
CGPoint fromRootSpace(const UIView* view, CGPoint p) {
    for (const UIView* v = view; v; v = v->superview().get()) {
        p.x -= v->frame().origin.x - v->bounds().origin.x;
        p.y -= v->frame().origin.y - v->bounds().origin.y;
    }
    return p;
}
const UIView* rootOf(const UIView* view) {
    const UIView* v = view;
    while (auto s = v->superview()) v = s.get();
    return v;
}
}  // namespace

// A null target stands for the root's own coordinates (its bounds), so the root's
// frame offset is taken away again.
CGPoint UIView::convertPointToView(CGPoint point, const UIView* view) const {
    CGPoint p = toRootSpace(this, point);
    return view ? fromRootSpace(view, p) : fromRootSpace(rootOf(this), p);
}

CGPoint UIView::convertPointFromView(CGPoint point, const UIView* view) const {
    CGPoint p = view ? toRootSpace(view, point) : toRootSpace(rootOf(this), point);
    return fromRootSpace(this, p);
}

CGRect UIView::convertRectToView(CGRect rect, const UIView* view) const {
    rect = CGRectStandardize(rect);
    rect.origin = convertPointToView(rect.origin, view);
    return rect;
}

CGRect UIView::convertRectFromView(CGRect rect, const UIView* view) const {
    rect = CGRectStandardize(rect);
    rect.origin = convertPointFromView(rect.origin, view);
    return rect;
}
