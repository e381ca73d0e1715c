#pragma once
// Custom presentation transitions. A presented controller's transitioning
// delegate (weak) may give an animation controller for its presentation and
// dismissal, and an interaction controller that drives the presentation with
// a finger (dismissals here are never interactive).
//
// Call order: presentViewController (animated) sets the presentation's links
// at once and starts the transition on the next pass of the main queue: the
// interaction controller's startInteractiveTransition when there is one, else
// the animation controller's animateTransition. The animation controller puts
// the views into the context's container (the window), animates them and calls
// completeTransition(!transitionWasCancelled()); a completed presentation
// leaves the presented view in the window, a cancelled one removes it and
// undoes the links. An animated dismissal with an animation controller clears
// the links at once and removes the presented view when the transition completes.
//
// UIPercentDrivenInteractiveTransition runs the animation controller's
// animations under its hand: at the start it has the animation controller
// animate, holds the animated changes (views back where they started) and
// shows them at the percent it is given (the views' values in between);
// finish and cancel run the rest of the way to the end or back to the start
// on the Clock, over the share of the duration that is left, then run the
// animation controller's completions. update before the start is kept for it;
// finish and cancel before the start (or after the end) change nothing.
//
// Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/quartzcore/CAValue.h"

class CALayer;
class UIView;
class UIViewController;
class UIViewControllerAnimatedTransitioning;
class UIViewControllerInteractiveTransitioning;

class UIViewControllerTransitionContext : public NSObject {
public:
    using Completion = std::function<void(bool didComplete)>;
    UIViewControllerTransitionContext(std::shared_ptr<UIView> container, std::shared_ptr<UIViewController> from,
                                      std::shared_ptr<UIViewController> to,
                                      std::shared_ptr<UIViewControllerAnimatedTransitioning> animator,
                                      std::shared_ptr<UIViewControllerInteractiveTransitioning> interaction,
                                      Completion completion);

    const std::shared_ptr<UIView>& containerView() const { return container_; }
    const std::shared_ptr<UIViewController>& fromViewController() const { return from_; }
    const std::shared_ptr<UIViewController>& toViewController() const { return to_; }
    std::shared_ptr<UIView> fromView() const;
    std::shared_ptr<UIView> toView() const;
    const std::shared_ptr<UIViewControllerAnimatedTransitioning>& animator() const { return animator_; }
    bool isAnimated() const { return true; }
    // The interaction controller, held while the transition is under way.
    bool isInteractive() const { return static_cast<bool>(interaction_); }
    bool transitionWasCancelled() const { return cancelled_; }
    bool isCompleted() const { return completed_; }
    // The interaction controller's reports.
    void updateInteractiveTransition(double percent) { percent_ = percent; }
    void finishInteractiveTransition() { cancelled_ = false; }
    void cancelInteractiveTransition() { cancelled_ = true; }
    double percentComplete() const { return percent_; }
    // The animation controller's end of the transition (once; later calls do nothing).
    void completeTransition(bool didComplete);

private:
    std::shared_ptr<UIView> container_;
    std::shared_ptr<UIViewController> from_, to_;
    std::shared_ptr<UIViewControllerAnimatedTransitioning> animator_;
    std::shared_ptr<UIViewControllerInteractiveTransitioning> interaction_;
    bool cancelled_ = false;
    bool completed_ = false;
    double percent_ = 0;
    Completion completion_;
};
using UIViewControllerTransitionContextPtr = std::shared_ptr<UIViewControllerTransitionContext>;

class UIViewControllerAnimatedTransitioning {
public:
    virtual ~UIViewControllerAnimatedTransitioning() = default;
    virtual double transitionDuration(const UIViewControllerTransitionContextPtr& context) = 0;
    virtual void animateTransition(const UIViewControllerTransitionContextPtr& context) = 0;
    virtual void animationEnded(bool /*transitionCompleted*/) {}
};

class UIViewControllerInteractiveTransitioning {
public:
    virtual ~UIViewControllerInteractiveTransitioning() = default;
    virtual void startInteractiveTransition(const UIViewControllerTransitionContextPtr& context) = 0;
};

class UIViewControllerTransitioningDelegate {
public:
    virtual ~UIViewControllerTransitioningDelegate() = default;
    virtual std::shared_ptr<UIViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        const std::shared_ptr<UIViewController>& /*presented*/, const std::shared_ptr<UIViewController>& /*presenting*/,
        const std::shared_ptr<UIViewController>& /*source*/) {
        return nullptr;
    }
    virtual std::shared_ptr<UIViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        const std::shared_ptr<UIViewController>& /*dismissed*/) {
        return nullptr;
    }
    virtual std::shared_ptr<UIViewControllerInteractiveTransitioning> interactionControllerForPresentation(
        const std::shared_ptr<UIViewControllerAnimatedTransitioning>& /*animator*/) {
        return nullptr;
    }
};

// What a view animation held for an interactive transition: each animated
// property's start and end, and the animations' completions.
struct UIViewAnimationCapture {
    struct Change {
        std::weak_ptr<CALayer> layer;
        std::string key;
        CAValue from, to;
    };
    std::vector<Change> changes;
    std::vector<std::function<void(bool finished)>> completions;
};

class UIPercentDrivenInteractiveTransition : public NSObject, public UIViewControllerInteractiveTransitioning {
public:
    void startInteractiveTransition(const UIViewControllerTransitionContextPtr& context) override;
    // Clamped to 0...1.
    virtual void updateInteractiveTransition(double percentComplete);
    virtual void finishInteractiveTransition();
    virtual void cancelInteractiveTransition();
    double percentComplete() const { return percent_; }
    // The animation controller's duration (0 before the start).
    double duration() const;
    // The transition under way (null before the start and after the end).
    const UIViewControllerTransitionContextPtr& transitionContext() const { return context_; }

private:
    void show(double percent);
    void runToEnd(bool toFinish);
    UIViewControllerTransitionContextPtr context_;
    UIViewAnimationCapture capture_;
    double percent_ = 0;
    bool ending_ = false;
};
