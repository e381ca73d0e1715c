#pragma once
// A press held still: recognised once a touch has stayed down for
// minimumPressDuration (0.5 s by default) without moving more than
// allowableMovement (10 points) from where it began. The actions then run
// with the state Began (location: where the finger is); later moves run them
// with Changed and the lift with Ended (a cancelled touch: Cancelled, no
// action). A touch that moves too far or lifts before the duration fails it.
// Once it has begun, the view under the finger loses the touch (it is told
// touchesCancelled at the next phase and hears nothing more of it), so a long
// press on a cell does not also select the row.
//
// The duration is measured on the main run loop's timers (Clock time, so
// virtual time in tests advances it). Tests may also fire it with
// fireWithState. Main thread only.
#include <memory>

#include "platform/uikit/UIGestureRecognizer.h"

class NSTimer;

class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    ~UILongPressGestureRecognizer() override;

    double minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds < 0 ? 0 : seconds; }
    CGFloat allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(CGFloat points) { allowableMovement_ = points; }

    bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) override;
    void touchesCancelled(const UITouchSet& touches) override;
    void reset() override;

private:
    void pressHeld();
    void stopTimer();
    double minimumPressDuration_ = 0.5;
    CGFloat allowableMovement_ = 10;
    CGPoint start_{};
    CGPoint current_{};
    std::shared_ptr<NSTimer> timer_;
};
