#pragma once
// The animator of swipe to store: it moves a full-screen sheet (the store
// sheet) in from the top or the bottom of the container while a snapshot of
// the ad (the draggable view) moves out of its way, and back on dismissal.
// The slot's transition controller (AKPercentDrivenUserInteractionAnimationController)
// drives the presentation with the finger; the dismissal plays on its own.
//
// Plans (AKAnimationContext), with B the container's bounds and D the draggable
// view's bounds in the container:
//   top to bottom: the snapshot leaves through the bottom (D moved to y = B's
//     height) and the sheet's bottom edge starts on the ad's top edge; without a
//     draggable view (or with an invalid plan) it starts at the finger;
//   bottom to top: the snapshot leaves through the top (y = -D's height) and
//     the sheet's top edge starts on the ad's bottom edge, else at the finger;
//   dismissal: the sheet goes back where it started; a snapshot that was shown
//     comes back to the ad's place when the ad kept its size.
// A plan is valid when both snapshot frames have the draggable view's size;
// an invalid one loses its snapshot. Made only from system 7.0.0. Main thread.
#include <memory>

#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIViewControllerTransitioning.h"

class UIView;
class UIViewController;

// One transition's plan.
class AKAnimationContext : public NSObject {
public:
    std::shared_ptr<UIViewController> animatedViewController;  // the store sheet
    CGRect animatedViewStartFrame = CGRectZero;
    CGRect animatedViewEndFrame = CGRectZero;
    CGRect draggableViewStartFrame = CGRectZero;
    CGRect draggableViewEndFrame = CGRectZero;
    std::shared_ptr<UIView> draggableViewScreenshot;  // or null
};
using AKAnimationContextPtr = std::shared_ptr<AKAnimationContext>;

class AKViewControllerFullScreenSwipeAnimation : public NSObject, public UIViewControllerAnimatedTransitioning {
public:
    // init: null before system 7.0.0.
    static std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> init();

    bool isPresenting() const { return presenting_; }
    void willAnimatePresentation() { presenting_ = true; }
    void willAnimateDismissal() { presenting_ = false; }
    bool draggableViewShownOnPresentation() const { return shown_; }
    AKSwipeDirection direction = AKSwipeDirectionNone;
    double startY = 0;  // the touch that began the swipe, in window coordinates
    std::shared_ptr<UIView> draggableView;
    double transitionDuration_ = 1.0;
    CGRect draggableViewEndFrameAfterAnimation() const { return draggableEndAfter_; }
    CGRect animatedViewFrameBeforeAnimation() const { return animatedBefore_; }

    double transitionDuration(const UIViewControllerTransitionContextPtr& context) override;
    void animateTransition(const UIViewControllerTransitionContextPtr& context) override;

    // The four plans and the dismissal's common part.
    AKAnimationContextPtr topToBottomPresentationAnimationContext(const UIViewControllerTransitionContextPtr& context);
    AKAnimationContextPtr bottomToTopPresentationAnimationContext(const UIViewControllerTransitionContextPtr& context);
    AKAnimationContextPtr topToBottomDismissalAnimationContext(const UIViewControllerTransitionContextPtr& context);
    AKAnimationContextPtr bottomToTopDismissalAnimationContext(const UIViewControllerTransitionContextPtr& context);
    AKAnimationContextPtr animationContextForRestoringAnimationToSavedState(
        const UIViewControllerTransitionContextPtr& context);
    // YES when the plan was invalid (its snapshot dropped, its snapshot frames
    // and draggableViewEndFrameAfterAnimation zeroed).
    bool removeDraggableViewAnimationIfInvalidForAnimationContext(AKAnimationContext& plan);

private:
    AKAnimationContextPtr presentationContext(const UIViewControllerTransitionContextPtr& context, bool topToBottom);
    bool presenting_ = false;
    bool shown_ = false;
    CGRect draggableEndAfter_ = CGRectZero;
    CGRect animatedBefore_ = CGRectZero;
};
