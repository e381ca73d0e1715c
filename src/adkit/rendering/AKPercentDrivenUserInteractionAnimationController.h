#pragma once
// The transition controller of swipe to store: the store sheet's transitioning
// delegate and the interaction controller of its presentation, driven by the
// slot's pan recogniser.
//
// Progress, with y the finger's height in the window, S the animator's startY
// and H the main screen's height: (y - S) / (H - S) for direction 1 (top to
// bottom), (S - y) / S for any other. A zero (or negative) denominator, the
// finger starting at the top or at the bottom edge, gives 0; the progress is
// kept within 0...1.
//
// Gesture states: Changed updates the transition; Ended finishes it when the
// finger moves in the swipe's direction (down for a top-to-bottom transition,
// up otherwise) and tells the delegate it finished, else cancels and tells it
// so; every other state cancels and tells the delegate.
//
// Lifetimes: the delegate is not owned; the animator is. The sheet of a
// transition under way is held by the transition's context. Made only from
// system 7.0.0. Main thread only.
#include <memory>

#include "adkit/rendering/AKViewControllerFullScreenSwipeAnimation.h"
#include "platform/uikit/UIViewControllerTransitioning.h"

class AKPercentDrivenUserInteractionAnimationController;
class UIPanGestureRecognizer;

class AKPercentDrivenUserInteractionAnimationControllerDelegate {
public:
    virtual ~AKPercentDrivenUserInteractionAnimationControllerDelegate() = default;
    virtual void animationControllerDidFinishAnimationTransition(AKPercentDrivenUserInteractionAnimationController& c) = 0;
    virtual void animationControllerDidCancelAnimationTransition(AKPercentDrivenUserInteractionAnimationController& c) = 0;
};

class AKPercentDrivenUserInteractionAnimationController : public UIPercentDrivenInteractiveTransition,
                                                          public UIViewControllerTransitioningDelegate {
public:
    // initWithAnimation: null before system 7.0.0 or without an animator.
    static std::shared_ptr<AKPercentDrivenUserInteractionAnimationController> initWithAnimation(
        std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> animation);

    std::shared_ptr<AKPercentDrivenUserInteractionAnimationControllerDelegate> delegate() const {
        return delegate_.lock();
    }
    void setDelegate(const std::shared_ptr<AKPercentDrivenUserInteractionAnimationControllerDelegate>& delegate) {
        delegate_ = delegate;
    }
    const std::shared_ptr<AKViewControllerFullScreenSwipeAnimation>& transitionAnimation() const { return animation_; }

    void handlePanGesture(UIPanGestureRecognizer& recognizer);
    bool isAnimatingTopToBottom() const;
    bool isAnimatingBottomToTop() const;
    // The progress rule above.
    static double progressFor(AKSwipeDirection direction, double y, double startY, double screenHeight);

    std::shared_ptr<UIViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        const std::shared_ptr<UIViewController>& presented, const std::shared_ptr<UIViewController>& presenting,
        const std::shared_ptr<UIViewController>& source) override;
    std::shared_ptr<UIViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        const std::shared_ptr<UIViewController>& dismissed) override;
    std::shared_ptr<UIViewControllerInteractiveTransitioning> interactionControllerForPresentation(
        const std::shared_ptr<UIViewControllerAnimatedTransitioning>& animator) override;

private:
    std::weak_ptr<AKPercentDrivenUserInteractionAnimationControllerDelegate> delegate_;
    std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> animation_;
};
