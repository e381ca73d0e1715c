#pragma once
// A pan recogniser: one finger that moves. It begins once the finger has moved
// kMinimumTranslation points from where it went down (Began, at that point),
// follows every later move (Changed) and ends with the finger (Ended); a touch
// taken away ends it Cancelled. Each of those states runs the actions. A touch
// that ends before moving far enough fails it quietly.
//
// The velocity is that of the last move: the distance between the last two
// touch samples over the time between their timestamps (points per second,
// window axes); samples with the same timestamp keep the previous velocity.
//
// Disabling a recogniser that has begun cancels it (UIGestureRecognizer): the
// actions hear Cancelled on the next pass of the main queue, and the rest of
// that touch is ignored even when it is enabled again meanwhile.
//
// Main thread only.
#include "platform/uikit/UIGestureRecognizer.h"

class UIPanGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    static constexpr CGFloat kMinimumTranslation = 10;

    // The move since the touch went down, in the view's coordinates (the window's for null).
    CGPoint translationInView(const UIView* view) const;
    // Points per second, in the view's coordinates (the window's for null).
    CGPoint velocityInView(const UIView* view) const;

    bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) override;
    void touchesCancelled(const UITouchSet& touches) override;

private:
    void sample(const UITouchSet& touches, CGPoint locationInWindow);
    CGPoint start_{};
    CGPoint last_{};
    double lastTime_ = 0;
    CGPoint velocity_{};
};
