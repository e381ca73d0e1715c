#pragma once
// A recogniser of a finger held still: once a touch has stayed down for
// minimumPressDuration (Clock time) without moving farther than
// allowableMovement, the state becomes Began and the actions run; moves after
// that run them as Changed, and lifting the finger runs them as Ended (the view
// then hears touchesCancelled instead of touchesEnded, so a held row is not also
// tapped). A touch that moves too far first, or lifts before the duration,
// fails it for that touch. Main thread only.
#include "platform/uikit/UIGestureRecognizer.h"

class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    static constexpr double kDefaultMinimumPressDuration = 0.5;

    double minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds < 0 ? 0 : seconds; }
    CGFloat allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(CGFloat points) { allowableMovement_ = points < 0 ? 0 : points; }

    bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) override;
    void touchesCancelled(const UITouchSet& touches) override;
    void reset() override;

private:
    void pressHeld(std::uint64_t generation);
    double minimumPressDuration_ = kDefaultMinimumPressDuration;
    CGFloat allowableMovement_ = 10;
    CGPoint start_{};
    std::uint64_t generation_ = 0;  // one per touch; a timer of an earlier touch does nothing
};
