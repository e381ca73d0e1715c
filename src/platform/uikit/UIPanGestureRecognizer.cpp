#include "platform/uikit/UIPanGestureRecognizer.h"

#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

namespace {
// A vector of the window carried into a view's coordinates.
CGPoint vectorInView(const UIView* view, CGPoint at, CGPoint vector) {
    if (!view) return vector;
    const CGPoint a = view->convertPointFromView(at, nullptr);
    const CGPoint b = view->convertPointFromView(CGPointMake(at.x + vector.x, at.y + vector.y), nullptr);
    return CGPointMake(b.x - a.x, b.y - a.y);
}
}  // namespace

CGPoint UIPanGestureRecognizer::translationInView(const UIView* view) const {
    return vectorInView(view, start_, CGPointMake(last_.x - start_.x, last_.y - start_.y));
}

CGPoint UIPanGestureRecognizer::velocityInView(const UIView* view) const {
    return vectorInView(view, last_, velocity_);
}

namespace {
double timestampOf(const UITouchSet& touches) {
    return touches.empty() ? Clock::now() : (*touches.begin())->timestamp();
}
}  // namespace

void UIPanGestureRecognizer::sample(const UITouchSet& touches, CGPoint locationInWindow) {
    const double now = timestampOf(touches);
    if (now > lastTime_)
        velocity_ = CGPointMake((locationInWindow.x - last_.x) / (now - lastTime_),
                                (locationInWindow.y - last_.y) / (now - lastTime_));
    last_ = locationInWindow;
    lastTime_ = now;
    setLocation(locationInWindow);
}

bool UIPanGestureRecognizer::touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) {
    reset();
    start_ = last_ = locationInWindow;
    lastTime_ = timestampOf(touches);
    velocity_ = CGPointZero;
    setLocation(locationInWindow);
    return false;
}

bool UIPanGestureRecognizer::touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) {
    const auto s = state();
    if (s != UIGestureRecognizerStatePossible && s != UIGestureRecognizerStateBegan &&
        s != UIGestureRecognizerStateChanged)
        return false;  // cancelled or failed: the rest of this touch is not ours
    sample(touches, locationInWindow);
    if (s == UIGestureRecognizerStatePossible) {
        if (std::hypot(locationInWindow.x - start_.x, locationInWindow.y - start_.y) < kMinimumTranslation)
            return false;
        setState(UIGestureRecognizerStateBegan);
    } else {
        setState(UIGestureRecognizerStateChanged);
    }
    sendActions();
    return true;
}

bool UIPanGestureRecognizer::touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) {
    const auto s = state();
    if (s != UIGestureRecognizerStateBegan && s != UIGestureRecognizerStateChanged) {
        if (s == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateFailed);
        return false;
    }
    sample(touches, locationInWindow);
    setState(UIGestureRecognizerStateEnded);
    sendActions();
    return true;
}

void UIPanGestureRecognizer::touchesCancelled(const UITouchSet&) {
    const auto s = state();
    if (s != UIGestureRecognizerStateBegan && s != UIGestureRecognizerStateChanged) return;
    setState(UIGestureRecognizerStateCancelled);
    sendActions();
}
