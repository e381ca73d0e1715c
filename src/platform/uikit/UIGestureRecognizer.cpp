#include "platform/uikit/UIGestureRecognizer.h"

#include <cassert>
#include <cmath>
#include <utility>

#include "platform/dispatch/Dispatch.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

UIGestureRecognizer::UIGestureRecognizer(const std::shared_ptr<NSObject>& target, Action action) {
    addTarget(target, std::move(action));
}

void UIGestureRecognizer::addTarget(const std::shared_ptr<NSObject>& target, Action action) {
    if (!action) return;
    targets_.push_back({target, static_cast<bool>(target), std::move(action)});
}

void UIGestureRecognizer::setEnabled(bool enabled) {
    const bool wasEnabled = std::exchange(enabled_, enabled);
    if (enabled || !wasEnabled) return;
    if (state_ != UIGestureRecognizerStateBegan && state_ != UIGestureRecognizerStateChanged) return reset();
    // A gesture under way is cancelled; its actions hear so from the main queue,
    // not inside the caller (often one of those actions).
    state_ = UIGestureRecognizerStateCancelled;
    std::weak_ptr<UIGestureRecognizer> weak = self<UIGestureRecognizer>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (const auto me = weak.lock()) {
            me->state_ = UIGestureRecognizerStateCancelled;
            me->sendActions();
        }
    });
}

bool UIGestureRecognizer::canRecognizeSimultaneouslyWith(const UIGestureRecognizer& other) const {
    const auto mine = delegate();
    if (mine && mine->shouldRecognizeSimultaneouslyWithGestureRecognizer(*this, other)) return true;
    const auto theirs = other.delegate();
    return theirs && theirs->shouldRecognizeSimultaneouslyWithGestureRecognizer(other, *this);
}

bool UIGestureRecognizer::hasRecognized() const {
    return state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged ||
           state_ == UIGestureRecognizerStateEnded;
}

CGPoint UIGestureRecognizer::locationInView(const UIView* view) const {
    if (!view) return location_;
    return view->convertPointFromView(location_, nullptr);
}

void UIGestureRecognizer::sendActions() {
    QV_ASSERT_MAIN_THREAD();
    auto targets = targets_;
    for (auto& t : targets) {
        auto target = t.target.lock();
        if (t.hasTarget && !target) continue;  // the target has gone
        t.action(*this);
    }
}

void UIGestureRecognizer::fireWithState(UIGestureRecognizerState state, CGPoint locationInWindow) {
    state_ = state;
    location_ = locationInWindow;
    if (state == UIGestureRecognizerStateBegan || state == UIGestureRecognizerStateChanged ||
        state == UIGestureRecognizerStateEnded)
        sendActions();
}

bool UIGestureRecognizer::touchesBegan(const UITouchSet&, CGPoint locationInWindow) {
    location_ = locationInWindow;
    return false;
}

bool UIGestureRecognizer::touchesMoved(const UITouchSet&, CGPoint locationInWindow) {
    location_ = locationInWindow;
    return false;
}

bool UIGestureRecognizer::touchesEnded(const UITouchSet&, CGPoint locationInWindow) {
    location_ = locationInWindow;
    return false;
}

void UIGestureRecognizer::touchesCancelled(const UITouchSet&) {
    if (state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged)
        state_ = UIGestureRecognizerStateCancelled;
}

void UIGestureRecognizer::reset() { state_ = UIGestureRecognizerStatePossible; }

bool UITapGestureRecognizer::touchesBegan(const UITouchSet&, CGPoint locationInWindow) {
    reset();
    setLocation(locationInWindow);
    start_ = locationInWindow;
    return false;
}

bool UITapGestureRecognizer::touchesMoved(const UITouchSet&, CGPoint locationInWindow) {
    setLocation(locationInWindow);
    if (std::hypot(locationInWindow.x - start_.x, locationInWindow.y - start_.y) > kAllowableMovement)
        setState(UIGestureRecognizerStateFailed);
    return false;
}

bool UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) {
    setLocation(locationInWindow);
    if (state() == UIGestureRecognizerStateFailed) return false;
    if (std::hypot(locationInWindow.x - start_.x, locationInWindow.y - start_.y) > kAllowableMovement) {
        setState(UIGestureRecognizerStateFailed);
        return false;
    }
    std::size_t taps = 1;
    for (auto& t : touches) taps = t->tapCount();
    if (taps < numberOfTapsRequired()) return false;
    setState(UIGestureRecognizerStateEnded);
    sendActions();
    return true;
}
