#pragma once
// Gesture recognisers attached to a view (UIView::addGestureRecognizer). The
// window's touch driver shows every touch to the recognisers of the view it
// began in and of that view's superviews before the view itself sees it. A
// recogniser that recognises with cancelsTouchesInView set takes the touch from
// the view: the view is told touchesCancelled instead of the phase that
// recognised and hears nothing more of that touch.
//
// Recognisers of one touch exclude each other: once one has recognised (a
// discrete one ended, a continuous one began), every other that has not yet
// recognised fails for the rest of that touch, unless the two may recognise
// together: either one's delegate answers YES to
// shouldRecognizeSimultaneouslyWithGestureRecognizer (asked with itself
// first). Without a delegate the answer is NO.
//
// A tap recogniser recognises when the touch ends within 10 points of where it
// began, with the tap count asked for; moving further fails it for that touch.
// Recognising sets the state Ended (recognised), calls every action whose
// target is alive, then the recogniser is Possible again for the next touch.
//
// Disabling a recogniser whose gesture has begun (a pan's) cancels it: the
// state becomes Cancelled and the actions run with it on the main queue.
// Disabling one that has not begun returns it to Possible.
//
// Tests may fire a recogniser directly with fireWithState, which sets the state
// and the location (in the window) and calls the actions as recognition would.
//
// Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIResponder.h"

class UIView;
class UIGestureRecognizer;

// The delegate of a recogniser (held weakly by it).
class UIGestureRecognizerDelegate {
public:
    virtual ~UIGestureRecognizerDelegate() = default;
    // gestureRecognizer:shouldRecognizeSimultaneouslyWithGestureRecognizer:
    // whether `recognizer` (this delegate's) may recognise together with `other`.
    virtual bool shouldRecognizeSimultaneouslyWithGestureRecognizer(const UIGestureRecognizer& /*recognizer*/,
                                                                    const UIGestureRecognizer& /*other*/) const {
        return false;
    }
};

enum UIGestureRecognizerState : long {
    UIGestureRecognizerStatePossible = 0,
    UIGestureRecognizerStateBegan = 1,
    UIGestureRecognizerStateChanged = 2,
    UIGestureRecognizerStateEnded = 3,
    UIGestureRecognizerStateCancelled = 4,
    UIGestureRecognizerStateFailed = 5,
    UIGestureRecognizerStateRecognized = UIGestureRecognizerStateEnded,
};

class UIGestureRecognizer : public NSObject {
public:
    using Action = std::function<void(UIGestureRecognizer&)>;

    UIGestureRecognizer() = default;
    // The action runs on recognition while the target lives (a null target
    // means the action is always run).
    UIGestureRecognizer(const std::shared_ptr<NSObject>& target, Action action);
    void addTarget(const std::shared_ptr<NSObject>& target, Action action);
    void removeAllTargets() { targets_.clear(); }

    std::shared_ptr<UIView> view() const { return view_.lock(); }
    UIGestureRecognizerState state() const { return state_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    std::shared_ptr<UIGestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<UIGestureRecognizerDelegate>& delegate) { delegate_ = delegate; }
    // Whether this recogniser and the other may recognise in one touch (see above).
    bool canRecognizeSimultaneouslyWith(const UIGestureRecognizer& other) const;
    // Began, Changed or Ended: it has recognised in the current touch.
    bool hasRecognized() const;
    // YES by default.
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }
    // The last touch location in the view's coordinates (the window's for null).
    CGPoint locationInView(const UIView* view) const;

    // Sets the state and location (window coordinates) and, for Began,
    // Changed and Ended, runs the actions.
    void fireWithState(UIGestureRecognizerState state, CGPoint locationInWindow);

    // The touch phases, as the touch driver hands them on (location in the
    // window); each answers whether the recogniser recognised with that phase.
    virtual bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow);
    virtual bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow);
    virtual bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow);
    virtual void touchesCancelled(const UITouchSet& touches);
    // Back to Possible (after recognising, failing or cancelling).
    virtual void reset();

protected:
    void setState(UIGestureRecognizerState state) { state_ = state; }
    void setLocation(CGPoint locationInWindow) { location_ = locationInWindow; }
    void sendActions();

private:
    friend class UIView;
    friend class UIWindow;  // fails the recognisers another one excludes
    void attachToView(const std::shared_ptr<UIView>& view) { view_ = view; }
    struct Target {
        std::weak_ptr<NSObject> target;
        bool hasTarget = false;
        Action action;
    };
    std::weak_ptr<UIView> view_;
    std::weak_ptr<UIGestureRecognizerDelegate> delegate_;
    std::vector<Target> targets_;
    UIGestureRecognizerState state_ = UIGestureRecognizerStatePossible;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
    CGPoint location_{};
};

class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    static constexpr CGFloat kAllowableMovement = 10;

    std::size_t numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(std::size_t taps) { tapsRequired_ = taps == 0 ? 1 : taps; }

    bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) override;

private:
    std::size_t tapsRequired_ = 1;
    CGPoint start_{};
};
using UIGestureRecognizerPtr = std::shared_ptr<UIGestureRecognizer>;
