#include "platform/uikit/UILongPressGestureRecognizer.h"

#include <cmath>

#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSRunLoop.h"

UILongPressGestureRecognizer::~UILongPressGestureRecognizer() { stopTimer(); }

void UILongPressGestureRecognizer::stopTimer() {
    if (timer_) timer_->invalidate();
    timer_.reset();
}

bool UILongPressGestureRecognizer::touchesBegan(const UITouchSet&, CGPoint locationInWindow) {
    QV_ASSERT_MAIN_THREAD();
    reset();
    setLocation(locationInWindow);
    start_ = current_ = locationInWindow;
    std::weak_ptr<UILongPressGestureRecognizer> weak = self<UILongPressGestureRecognizer>();
    timer_ = NSTimer::timerWithTimeInterval(
        minimumPressDuration_,
        [weak](NSTimer&) {
            if (auto me = weak.lock()) me->pressHeld();
        },
        false);
    NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
    return false;
}

void UILongPressGestureRecognizer::pressHeld() {
    timer_.reset();
    if (state() != UIGestureRecognizerStatePossible || !isEnabled()) return;
    auto keep = self<UILongPressGestureRecognizer>();
    setLocation(current_);
    setState(UIGestureRecognizerStateBegan);
    sendActions();
}

bool UILongPressGestureRecognizer::touchesMoved(const UITouchSet&, CGPoint locationInWindow) {
    current_ = locationInWindow;
    setLocation(locationInWindow);
    if (state() == UIGestureRecognizerStatePossible) {
        if (std::hypot(locationInWindow.x - start_.x, locationInWindow.y - start_.y) > allowableMovement_) {
            stopTimer();
            setState(UIGestureRecognizerStateFailed);
        }
        return false;
    }
    if (state() != UIGestureRecognizerStateBegan && state() != UIGestureRecognizerStateChanged) return false;
    setState(UIGestureRecognizerStateChanged);
    sendActions();
    return true;
}

bool UILongPressGestureRecognizer::touchesEnded(const UITouchSet&, CGPoint locationInWindow) {
    current_ = locationInWindow;
    setLocation(locationInWindow);
    stopTimer();
    if (state() != UIGestureRecognizerStateBegan && state() != UIGestureRecognizerStateChanged) {
        if (state() == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateFailed);
        return false;
    }
    setState(UIGestureRecognizerStateEnded);
    sendActions();
    return true;
}

void UILongPressGestureRecognizer::touchesCancelled(const UITouchSet& touches) {
    stopTimer();
    UIGestureRecognizer::touchesCancelled(touches);
}

void UILongPressGestureRecognizer::reset() {
    stopTimer();
    UIGestureRecognizer::reset();
}
