#include "platform/uikit/UIView.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <typeindex>
#include <unordered_map>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIFirstResponder.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILayoutEngine.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {
thread_local bool baseDrawRectReached = false;

// Whether instances of a class draw (learnt from the first one displayed).
std::unordered_map<std::type_index, bool>& drawingClasses() {
    static auto* map = new std::unordered_map<std::type_index, bool>();
    return *map;
}

const char* gravityFor(UIViewContentMode mode) {
    switch (mode) {
    case UIViewContentModeScaleToFill:
    case UIViewContentModeRedraw: return kCAGravityResize;
    case UIViewContentModeScaleAspectFit: return kCAGravityResizeAspect;
    case UIViewContentModeScaleAspectFill: return kCAGravityResizeAspectFill;
    case UIViewContentModeCenter: return kCAGravityCenter;
    case UIViewContentModeTop: return kCAGravityTop;
    case UIViewContentModeBottom: return kCAGravityBottom;
    case UIViewContentModeLeft: return kCAGravityLeft;
    case UIViewContentModeRight: return kCAGravityRight;
    case UIViewContentModeTopLeft: return kCAGravityTopLeft;
    case UIViewContentModeTopRight: return kCAGravityTopRight;
    case UIViewContentModeBottomLeft: return kCAGravityBottomLeft;
    case UIViewContentModeBottomRight: return kCAGravityBottomRight;
    }
    return kCAGravityResize;
}
}  // namespace

CGColorRef UIViewDimmedTintColor(const CGColorRef& tint) {
    if (!tint) return tint;
    const auto& c = tint->components();
    double grey = c.size() >= 4 ? 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2] : c.front();
    return CGColorCreateGenericGray(grey, tint->alpha());
}

CGColorRef UIViewDefaultTintColor() {
    static auto* tint = new CGColorRef(CGColorCreateSRGB(0, 122.0 / 255.0, 1, 1));
    return *tint;
}

UIView::UIView(CGRect frame) : UIView(frame, std::make_shared<CALayer>()) {}

UIView::UIView(CGRect frame, CALayerPtr layer) : layer_(std::move(layer)) {
    layer_->setDelegate(this);
    frame = CGRectStandardize(frame);
    layer_->setBounds(CGRectMake(0, 0, frame.size.width, frame.size.height));
    layer_->setPosition(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    layer_->setOpaque(true);
}

UIView::~UIView() {
    layer_->setDelegate(nullptr);
    layer_->removeFromSuperlayer();
}

// ---------------------------------------------------------------- geometry

CGRect UIView::frame() const { return layer_->frame(); }

void UIView::setFrame(CGRect frame) {
    frame = CGRectStandardize(frame);
    willChangeValueForKey("frame");
    CGSize old = bounds().size;
    CGRect b = bounds();
    b.size = frame.size;
    layer_->setBounds(b);
    // The centre of the frame, whatever the transform (a transformed frame is
    // the platform's undefined case; the centre keeps it predictable).
    layer_->setPosition(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    if (old != frame.size) sizeChanged(old);
    didChangeValueForKey("frame");
}

void UIView::setBounds(CGRect bounds) {
    willChangeValueForKey("bounds");
    CGSize old = this->bounds().size;
    layer_->setBounds(bounds);
    if (old != bounds.size) sizeChanged(old);
    didChangeValueForKey("bounds");
}

void UIView::setCenter(CGPoint center) {
    willChangeValueForKey("center");
    layer_->setPosition(center);
    didChangeValueForKey("center");
}

void UIView::setTransform(const CGAffineTransform& transform) { layer_->setAffineTransform(transform); }

void UIView::sizeChanged(CGSize oldSize) {
    needsLayout_ = true;
    if (contentMode_ == UIViewContentModeRedraw) layer_->setNeedsDisplay();
    if (!autoresizesSubviews_) return;
    auto children = subviews_;
    for (auto& s : children) s->resizeWithOldSuperviewSize(oldSize);
}

namespace {
// Shares the change of the superview's size among the flexible parts of one
// axis (margin before, size, margin after), in proportion to their current
// lengths (evenly when those are all 0).
void resizeAxis(CGFloat delta, bool flexBefore, bool flexSize, bool flexAfter, CGFloat& before, CGFloat& size,
                CGFloat after) {
    int count = int(flexBefore) + int(flexSize) + int(flexAfter);
    if (count == 0 || delta == 0) return;
    CGFloat total = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
    auto share = [&](CGFloat part) { return total > 0 ? delta * part / total : delta / count; };
    CGFloat dBefore = flexBefore ? share(before) : 0;
    CGFloat dSize = flexSize ? share(size) : 0;
    before += dBefore;
    size = std::max(0.0, size + dSize);
}
}  // namespace

void UIView::resizeWithOldSuperviewSize(CGSize oldSize) {
    auto parent = superview();
    if (!parent || autoresizingMask_ == UIViewAutoresizingNone) return;
    CGSize newSize = parent->bounds().size;
    CGRect f = frame();
    CGFloat x = f.origin.x, w = f.size.width, y = f.origin.y, h = f.size.height;
    auto m = autoresizingMask_;
    resizeAxis(newSize.width - oldSize.width, m & UIViewAutoresizingFlexibleLeftMargin, m & UIViewAutoresizingFlexibleWidth,
               m & UIViewAutoresizingFlexibleRightMargin, x, w, oldSize.width - x - w);
    resizeAxis(newSize.height - oldSize.height, m & UIViewAutoresizingFlexibleTopMargin,
               m & UIViewAutoresizingFlexibleHeight, m & UIViewAutoresizingFlexibleBottomMargin, y, h,
               oldSize.height - y - h);
    setFrame(CGRectMake(x, y, w, h));
}

// ---------------------------------------------------------------- appearance

void UIView::setHidden(bool hidden) { layer_->setHidden(hidden); }

void UIView::setAlpha(CGFloat alpha) {
    layer_->setOpacity(static_cast<float>(std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 0.0));
}

void UIView::setOpaque(bool opaque) {
    opaque_ = opaque;
    layer_->setOpaque(opaque);
}

void UIView::setBackgroundColor(CGColorRef color) {
    backgroundColor_ = color;
    layer_->setBackgroundColor(std::move(color));
}

void UIView::setContentMode(UIViewContentMode mode) {
    contentMode_ = mode;
    layer_->setContentsGravity(gravityFor(mode));
    layer_->setNeedsDisplayOnBoundsChange(mode == UIViewContentModeRedraw);
}

CGColorRef UIView::tintColor() const {
    CGColorRef tint;
    for (const UIView* v = this; v && !tint;) {
        if (v->tintColor_) tint = v->tintColor_;
        auto parent = v->superview_.lock();
        v = parent.get();  // kept alive by the tree
    }
    if (!tint) tint = UIViewDefaultTintColor();
    if (tintAdjustmentMode() != UIViewTintAdjustmentModeDimmed) return tint;
    return UIViewDimmedTintColor(tint);
}

UIViewTintAdjustmentMode UIView::tintAdjustmentMode() const {
    for (const UIView* v = this; v;) {
        if (v->tintAdjustmentMode_ != UIViewTintAdjustmentModeAutomatic) return v->tintAdjustmentMode_;
        auto parent = v->superview_.lock();
        v = parent.get();
    }
    return UIViewTintAdjustmentModeNormal;
}

void UIView::setTintAdjustmentMode(UIViewTintAdjustmentMode mode) {
    if (tintAdjustmentMode_ == mode) return;
    tintAdjustmentMode_ = mode;
    notifyTintAdjustmentChange();
}

bool UIView::respondsToSetTintAdjustmentMode() const { return UIViewRespondsToTintAdjustmentMode(); }

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer) return;
    if (auto old = recognizer->view(); old && old.get() != this) old->removeGestureRecognizer(recognizer);
    if (std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer) == gestureRecognizers_.end())
        gestureRecognizers_.push_back(recognizer);
    recognizer->attachToView(self<UIView>());
}

void UIView::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
    if (it == gestureRecognizers_.end()) return;
    gestureRecognizers_.erase(it);
    recognizer->attachToView(nullptr);
}

void UIView::setTintColor(CGColorRef color) {
    tintColor_ = std::move(color);
    notifyTintChange();
}

void UIView::notifyTintChange() {
    tintColorDidChange();
    auto children = subviews_;
    for (auto& s : children)
        if (!s->tintColor_) s->notifyTintChange();
}

void UIView::notifyTintAdjustmentChange() {
    tintColorDidChange();
    auto children = subviews_;
    for (auto& s : children)
        if (s->tintAdjustmentMode_ == UIViewTintAdjustmentModeAutomatic) s->notifyTintAdjustmentChange();
}

// ---------------------------------------------------------------- tree

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    insertSubview(view, subviews_.size());  // an existing subview moves to the front
}

void UIView::insertSubview(const std::shared_ptr<UIView>& view, std::size_t atIndex) {
    if (!view) return;
    QV_ASSERT_MAIN_THREAD();
    if (view.get() == this || isDescendantOfView(view.get())) {
        NSLog("UIView: refusing to add %@ inside itself", view);
        return;
    }
    auto me = self<UIView>();
    auto placeLayer = [&] {
        atIndex = std::min(atIndex, subviews_.size());
        if (atIndex + 1 < subviews_.size()) layer_->insertSublayerBelow(view->layer_, subviews_[atIndex + 1]->layer_.get());
        else layer_->addSublayer(view->layer_);
    };
    if (view->superview_.lock().get() == this) {
        // Moving within the same superview: reorder only.
        std::erase(subviews_, view);
        atIndex = std::min(atIndex, subviews_.size());
        subviews_.insert(subviews_.begin() + static_cast<long>(atIndex), view);
        placeLayer();
        return;
    }
    auto newWindow = window();
    bool windowChanges = view->window() != newWindow;
    view->willMoveToSuperview(me);
    if (windowChanges) view->willMoveToWindow(newWindow);
    if (auto old = view->superview_.lock()) {
        old->willRemoveSubview(view);
        std::erase(old->subviews_, view);
    }
    atIndex = std::min(atIndex, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<long>(atIndex), view);
    view->superview_ = me;
    placeLayer();
    view->didMoveToSuperview();
    if (windowChanges) view->moveToWindow(newWindow);
    didAddSubview(view);
    if (!view->tintColor_) view->notifyTintChange();
}

void UIView::insertSubviewBelow(const std::shared_ptr<UIView>& view, const UIView* sibling) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == sibling; });
    if (it == subviews_.end()) return addSubview(view);
    insertSubview(view, static_cast<std::size_t>(it - subviews_.begin()));
}

void UIView::insertSubviewAbove(const std::shared_ptr<UIView>& view, const UIView* sibling) {
    auto it = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == sibling; });
    if (it == subviews_.end()) return addSubview(view);
    std::size_t index = static_cast<std::size_t>(it - subviews_.begin()) + 1;
    if (view->superview_.lock().get() == this) {
        auto own = std::find(subviews_.begin(), subviews_.end(), view);
        if (own < it) --index;
    }
    insertSubview(view, index);
}

void UIView::moveToWindow(const std::shared_ptr<UIWindow>& window) {
    if (window) applyAppearanceOnce();
    didMoveToWindow();
    UIFirstResponder::viewMovedToWindow(*this, window);
    auto children = subviews_;
    for (auto& s : children) {
        s->willMoveToWindow(window);
        s->moveToWindow(window);
    }
}

void UIView::applyAppearanceOnce() {
    if (appearanceApplied_) return;
    appearanceApplied_ = true;
    UIAppearanceApply(*this);
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto me = self<UIView>();  // keeps this view alive through the hooks
    bool hadWindow = window() != nullptr;
    willMoveToSuperview(nullptr);
    if (hadWindow) willMoveToWindow(nullptr);
    parent->willRemoveSubview(me);
    std::erase(parent->subviews_, me);
    superview_.reset();
    layer_->removeFromSuperlayer();
    didMoveToSuperview();
    if (hadWindow) moveToWindow(nullptr);
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    if (std::find(subviews_.begin(), subviews_.end(), view) == subviews_.end()) return;
    insertSubview(view, subviews_.size());
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    if (std::find(subviews_.begin(), subviews_.end(), view) == subviews_.end()) return;
    insertSubview(view, 0);
}

bool UIView::isDescendantOfView(const UIView* view) const {
    if (!view) return false;
    for (auto v = std::const_pointer_cast<UIView>(self<UIView>()); v; v = v->superview_.lock())
        if (v.get() == view) return true;
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

std::string UIView::description() const {
    CGRect f = frame();
    char buf[160];
    std::snprintf(buf, sizeof buf, ": %p; frame = (%g %g; %g %g)", static_cast<const void*>(this), f.origin.x,
                  f.origin.y, f.size.width, f.size.height);
    std::string text = "<" + className() + buf;
    if (isHidden()) text += "; hidden";
    if (alpha() < 1) {
        std::snprintf(buf, sizeof buf, "; alpha = %g", alpha());
        text += buf;
    }
    return text + ">";
}

std::shared_ptr<UIResponder> UIView::nextResponder() const {
    if (auto vc = viewController_.lock()) return vc;
    return superview_.lock();
}

// ---------------------------------------------------------------- conversion

CGPoint UIView::convertPointToView(CGPoint point, const UIView* view) const {
    return layer_->convertPointToLayer(point, view ? view->layer_.get() : nullptr);
}

CGPoint UIView::convertPointFromView(CGPoint point, const UIView* view) const {
    return layer_->convertPointFromLayer(point, view ? view->layer_.get() : nullptr);
}

CGRect UIView::convertRectToView(CGRect rect, const UIView* view) const {
    return layer_->convertRectToLayer(rect, view ? view->layer_.get() : nullptr);
}

CGRect UIView::convertRectFromView(CGRect rect, const UIView* view) const {
    return layer_->convertRectFromLayer(rect, view ? view->layer_.get() : nullptr);
}

// ---------------------------------------------------------------- hit testing

std::shared_ptr<UIView> UIView::hitTest(CGPoint point, UIEvent* event) {
    if (isHidden() || alpha() < 0.01 || !userInteractionEnabled_) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    auto children = subviews_;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CGPoint inChild = (*it)->convertPointFromView(point, this);
        if (auto hit = (*it)->hitTest(inChild, event)) return hit;
    }
    return self<UIView>();
}

bool UIView::pointInside(CGPoint point, UIEvent*) const { return CGRectContainsPoint(bounds(), point); }

// ---------------------------------------------------------------- layout

void UIView::layoutIfNeeded() {
    UILayoutEngine::Pass constraints(*this);
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    auto children = subviews_;  // layout may change the tree
    for (auto& s : children) s->layoutIfNeeded();
}

CGSize UIView::sizeThatFits(CGSize) const { return bounds().size; }

void UIView::sizeToFit() {
    CGSize s = sizeThatFits(bounds().size);
    CGRect f = frame();
    setFrame(CGRectMake(f.origin.x, f.origin.y, s.width, s.height));
}

// ---------------------------------------------------------------- display

void UIView::setNeedsDisplay() { layer_->setNeedsDisplay(); }

void UIView::setNeedsDisplayInRect(CGRect) { layer_->setNeedsDisplay(); }

void UIView::drawRect(CGRect) { baseDrawRectReached = true; }

CGContextRef UIView::currentDrawingContext() { return UIGraphicsGetCurrentContext(); }

bool UIView::mayDrawLayer(const CALayer&) const {
    auto it = drawingClasses().find(std::type_index(typeid(*this)));
    return it == drawingClasses().end() || it->second;
}

bool UIView::drawLayer(CALayer&, const CGContextRef& ctx) {
    auto type = std::type_index(typeid(*this));
    auto& known = drawingClasses();
    if (auto it = known.find(type); it != known.end() && !it->second) return false;
    UIGraphicsPushContext(ctx);
    baseDrawRectReached = false;
    CGContextSaveGState(ctx);
    drawRect(bounds());
    CGContextRestoreGState(ctx);
    UIGraphicsPopContext();
    known[type] = !baseDrawRectReached;
    return !baseDrawRectReached;
}

// ---------------------------------------------------------------- constraints

void UIView::addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
    if (!constraint || std::find(constraints_.begin(), constraints_.end(), constraint) != constraints_.end()) return;
    constraints_.push_back(constraint);
    constraint->installedOn_ = weakSelf<UIView>();
    needsLayout_ = true;
}

void UIView::addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (auto& c : constraints) addConstraint(c);
}

void UIView::removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
    auto it = std::find(constraints_.begin(), constraints_.end(), constraint);
    if (it == constraints_.end()) return;
    constraints_.erase(it);
    constraint->installedOn_.reset();
    needsLayout_ = true;
}

void UIView::removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (auto& c : constraints) removeConstraint(c);
}

void UIView::invalidateIntrinsicContentSize() {
    needsLayout_ = true;
    if (auto parent = superview()) parent->setNeedsLayout();
}

void UIView::setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis) {
    hugging_[axis & 1] = std::clamp(priority, 1.0f, UILayoutPriority(1000));
    needsLayout_ = true;
}

void UIView::setContentCompressionResistancePriority(UILayoutPriority priority, UILayoutConstraintAxis axis) {
    compression_[axis & 1] = std::clamp(priority, 1.0f, UILayoutPriority(1000));
    needsLayout_ = true;
}
