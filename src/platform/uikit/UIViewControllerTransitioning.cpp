#include "platform/uikit/UIViewControllerTransitioning.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/base/ThreadAssertions.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"

UIViewControllerTransitionContext::UIViewControllerTransitionContext(
    std::shared_ptr<UIView> container, std::shared_ptr<UIViewController> from, std::shared_ptr<UIViewController> to,
    std::shared_ptr<UIViewControllerAnimatedTransitioning> animator,
    std::shared_ptr<UIViewControllerInteractiveTransitioning> interaction, Completion completion)
    : container_(std::move(container)),
      from_(std::move(from)),
      to_(std::move(to)),
      animator_(std::move(animator)),
      interaction_(std::move(interaction)),
      completion_(std::move(completion)) {}

std::shared_ptr<UIView> UIViewControllerTransitionContext::fromView() const { return from_ ? from_->view() : nullptr; }

std::shared_ptr<UIView> UIViewControllerTransitionContext::toView() const { return to_ ? to_->view() : nullptr; }

void UIViewControllerTransitionContext::completeTransition(bool didComplete) {
    QV_ASSERT_MAIN_THREAD();
    if (std::exchange(completed_, true)) return;
    if (auto completion = std::move(completion_)) completion(didComplete);
    if (animator_) animator_->animationEnded(didComplete);
    interaction_.reset();
}

// ---- Percent-driven interaction ---------------------------------------------------------

void UIPercentDrivenInteractiveTransition::startInteractiveTransition(const UIViewControllerTransitionContextPtr& context) {
    QV_ASSERT_MAIN_THREAD();
    if (!context || !context->animator() || context_) return;
    context_ = context;
    ending_ = false;
    capture_ = {};
    UIView::captureAnimations(capture_, [&] { context->animator()->animateTransition(context); });
    show(percent_);
}

double UIPercentDrivenInteractiveTransition::duration() const {
    return context_ ? std::max(0.0, context_->animator()->transitionDuration(context_)) : 0;
}

void UIPercentDrivenInteractiveTransition::show(double percent) {
    UIView::performWithoutAnimation([&] {
        for (const auto& change : capture_.changes)
            if (const auto layer = change.layer.lock())
                (void)layer->setValueForKey(change.key, CAValueInterpolate(change.from, change.to, percent));
    });
}

void UIPercentDrivenInteractiveTransition::updateInteractiveTransition(double percentComplete) {
    QV_ASSERT_MAIN_THREAD();
    if (ending_) return;
    percent_ = std::isfinite(percentComplete) ? std::clamp(percentComplete, 0.0, 1.0) : 0.0;
    if (!context_) return;
    context_->updateInteractiveTransition(percent_);
    show(percent_);
}

void UIPercentDrivenInteractiveTransition::finishInteractiveTransition() { runToEnd(true); }

void UIPercentDrivenInteractiveTransition::cancelInteractiveTransition() { runToEnd(false); }

void UIPercentDrivenInteractiveTransition::runToEnd(bool toFinish) {
    QV_ASSERT_MAIN_THREAD();
    if (!context_ || ending_) return;  // not started yet, or already on its way out
    ending_ = true;
    if (toFinish) context_->finishInteractiveTransition();
    else context_->cancelInteractiveTransition();
    const double seconds = duration() * (toFinish ? 1 - percent_ : percent_);
    auto changes = capture_.changes;
    auto completions = std::move(capture_.completions);
    // The views run the rest of the way on the Clock; the animation controller's
    // completions end the transition, then this controller is free for the next one.
    std::weak_ptr<UIPercentDrivenInteractiveTransition> weak = self<UIPercentDrivenInteractiveTransition>();
    UIView::animateWithDuration(
        seconds, 0, UIViewAnimationOptionCurveLinear,
        [&] {
            for (const auto& change : changes)
                if (const auto layer = change.layer.lock())
                    (void)layer->setValueForKey(change.key, toFinish ? change.to : change.from);
        },
        [weak, completions = std::move(completions)](bool) {
            for (const auto& completion : completions) completion(true);
            if (const auto me = weak.lock()) {
                me->context_.reset();
                me->capture_ = {};
                me->percent_ = 0;
                me->ending_ = false;
            }
        });
}
