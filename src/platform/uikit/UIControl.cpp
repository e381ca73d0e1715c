#include "platform/uikit/UIControl.h"

#include <algorithm>

UIControlState UIControl::state() const {
    UIControlState state = UIControlStateNormal;
    if (highlighted_) state |= UIControlStateHighlighted;
    if (!enabled_) state |= UIControlStateDisabled;
    if (selected_) state |= UIControlStateSelected;
    return state;
}

void UIControl::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) highlighted_ = false;
    setNeedsDisplay();
    setNeedsLayout();
}

void UIControl::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    setNeedsDisplay();
    setNeedsLayout();
}

void UIControl::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    setNeedsDisplay();
    setNeedsLayout();
}

void UIControl::addTarget(const std::shared_ptr<NSObject>& target, Action action, UIControlEvents events) {
    if (!action || events == 0) return;
    registrations_.push_back({static_cast<bool>(target), target.get(), target, std::move(action), events});
}

void UIControl::removeTarget(const NSObject* target, UIControlEvents events) {
    for (auto& r : registrations_)
        if (!target || r.key == target) r.events &= ~events;
    std::erase_if(registrations_, [](const Registration& r) { return r.events == 0; });
}

std::size_t UIControl::actionCount(UIControlEvents events) const {
    return static_cast<std::size_t>(std::count_if(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
        return (r.events & events) && (!r.hasTarget || !r.target.expired());
    }));
}

UIControlEvents UIControl::allControlEvents() const {
    UIControlEvents all = 0;
    for (auto& r : registrations_)
        if (!r.hasTarget || !r.target.expired()) all |= r.events;
    return all;
}

void UIControl::sendActionsForControlEvents(UIControlEvents events, UIEvent* event) {
    std::erase_if(registrations_, [](const Registration& r) { return r.hasTarget && r.target.expired(); });
    auto keep = self<UIControl>();
    auto list = registrations_;  // an action may change the registrations
    for (auto& r : list) {
        if (!(r.events & events)) continue;
        auto target = r.target.lock();  // held through the action
        if (r.hasTarget && !target) continue;
        r.action(*this, event);
    }
}

bool UIControl::insideTrackingArea(CGPoint p) const {
    return CGRectContainsPoint(CGRectInset(bounds(), -70, -70), p);
}

bool UIControl::beginTrackingWithTouch(UITouch&, UIEvent*) { return true; }
bool UIControl::continueTrackingWithTouch(UITouch&, UIEvent*) { return true; }
void UIControl::endTrackingWithTouch(UITouch*, UIEvent*) {}
void UIControl::cancelTrackingWithEvent(UIEvent*) {}

std::shared_ptr<UIView> UIControl::hitTest(CGPoint point, UIEvent* event) {
    if (!enabled_) return nullptr;
    return UIView::hitTest(point, event);
}

void UIControl::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    auto& touch = **touches.begin();
    touchInside_ = true;
    tracking_ = beginTrackingWithTouch(touch, event);
    setHighlighted(true);
    UIControlEvents events = UIControlEventTouchDown;
    if (touch.tapCount() > 1) events |= UIControlEventTouchDownRepeat;
    sendActionsForControlEvents(events, event);
}

void UIControl::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    auto& touch = **touches.begin();
    bool wasInside = touchInside_;
    touchInside_ = insideTrackingArea(touch.locationInView(this));
    setHighlighted(touchInside_);
    if (tracking_) tracking_ = continueTrackingWithTouch(touch, event);
    UIControlEvents events = touchInside_ ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside;
    if (wasInside != touchInside_) events |= touchInside_ ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit;
    sendActionsForControlEvents(events, event);
}

void UIControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (touches.empty()) return;
    auto& touch = **touches.begin();
    touchInside_ = insideTrackingArea(touch.locationInView(this));
    setHighlighted(false);
    if (tracking_) endTrackingWithTouch(&touch, event);
    tracking_ = false;
    sendActionsForControlEvents(touchInside_ ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside, event);
    touchInside_ = false;
}

void UIControl::touchesCancelled(const UITouchSet&, UIEvent* event) {
    setHighlighted(false);
    if (tracking_) cancelTrackingWithEvent(event);
    tracking_ = false;
    touchInside_ = false;
    sendActionsForControlEvents(UIControlEventTouchCancel, event);
}
