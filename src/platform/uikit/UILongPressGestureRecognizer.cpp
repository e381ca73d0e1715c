#include "platform/uikit/UILongPressGestureRecognizer.h"

#include <cmath>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ThreadAssertions.h"

bool UILongPressGestureRecognizer::touchesBegan(const UITouchSet&, CGPoint locationInWindow) {
    QV_ASSERT_MAIN_THREAD();
    reset();
    setLocation(locationInWindow);
    start_ = locationInWindow;
    const std::uint64_t generation = generation_;
    std::weak_ptr<UILongPressGestureRecognizer> weak = weakSelf<UILongPressGestureRecognizer>();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(minimumPressDuration_ * 1e9)),
                   dispatch_get_main_queue(), [weak, generation] {
                       if (auto recognizer = weak.lock()) recognizer->pressHeld(generation);
                   });
    return false;
}

void UILongPressGestureRecognizer::pressHeld(std::uint64_t generation) {
    if (generation != generation_ || state() != UIGestureRecognizerStatePossible || !isEnabled()) return;
    setState(UIGestureRecognizerStateBegan);
    sendActions();
}

bool UILongPressGestureRecognizer::touchesMoved(const UITouchSet&, CGPoint locationInWindow) {
    setLocation(locationInWindow);
    if (state() == UIGestureRecognizerStatePossible) {
        if (std::hypot(locationInWindow.x - start_.x, locationInWindow.y - start_.y) > allowableMovement_)
            setState(UIGestureRecognizerStateFailed);
    } else if (state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged) {
        setState(UIGestureRecognizerStateChanged);
        sendActions();
    }
    return false;
}

bool UILongPressGestureRecognizer::touchesEnded(const UITouchSet&, CGPoint locationInWindow) {
    setLocation(locationInWindow);
    if (state() != UIGestureRecognizerStateBegan && state() != UIGestureRecognizerStateChanged) {
        setState(UIGestureRecognizerStateFailed);  // lifted too soon
        return false;
    }
    setState(UIGestureRecognizerStateEnded);
    sendActions();
    return true;
}

void UILongPressGestureRecognizer::touchesCancelled(const UITouchSet& touches) {
    const bool running = state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged;
    UIGestureRecognizer::touchesCancelled(touches);
    if (running) sendActions();
    else setState(UIGestureRecognizerStateFailed);
}

void UILongPressGestureRecognizer::reset() {
    ++generation_;
    UIGestureRecognizer::reset();
}
