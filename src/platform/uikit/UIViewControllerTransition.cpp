// Custom presentation transitions: the transitioning delegate's animation
// controller (and interaction controller) move the views; see
// UIViewControllerTransitioning.h for the order of calls.
#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIViewControllerTransitioning.h"
#include "platform/uikit/UIWindow.h"

namespace {

// Starts the transition on the next pass of the main queue.
void startTransition(const UIViewControllerTransitionContextPtr& context,
                     const std::shared_ptr<UIViewControllerInteractiveTransitioning>& interaction) {
    dispatch_async(dispatch_get_main_queue(), [context, interaction] {
        if (interaction) interaction->startInteractiveTransition(context);
        else context->animator()->animateTransition(context);
    });
}

}  // namespace

bool UIViewController::presentWithTransition(const std::shared_ptr<UIViewController>& controller,
                                             Completion& completion) {
    const auto delegate = controller->transitioningDelegate();
    const auto window = view()->window();
    if (!delegate || !window) return false;
    const auto me = self<UIViewController>();
    const auto animator = delegate->animationControllerForPresentedController(controller, me, me);
    if (!animator) return false;
    const auto interaction = delegate->interactionControllerForPresentation(animator);

    presented_ = controller;
    controller->presenting_ = me;
    controller->beingPresented_ = true;
    const auto covered = presentationRoot();
    if (covered->appearance_ == Appearance::Appeared || covered->appearance_ == Appearance::Appearing) {
        covered->beginAppearanceTransition(false, true);
        controller->coveredRoot_ = covered;
    } else {
        controller->coveredRoot_.reset();
    }
    controller->beginAppearanceTransition(true, true);

    std::weak_ptr<UIViewController> weakHost = me;
    auto ended = [weakHost, controller, covered, completion = std::move(completion)](bool didComplete) {
        controller->beingPresented_ = false;
        const bool coveredByIt = controller->coveredRoot_.lock() == covered;
        if (didComplete) {
            controller->endAppearanceTransition();
            if (coveredByIt) covered->endAppearanceTransition();
            if (completion) completion();
            return;
        }
        // Cancelled: the presentation is undone and the presenter shows again.
        if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
        if (const auto host = weakHost.lock(); host && host->presented_ == controller) host->presented_.reset();
        controller->presenting_.reset();
        controller->coveredRoot_.reset();
        controller->beginAppearanceTransition(false, true);
        controller->endAppearanceTransition();
        if (coveredByIt) {
            covered->beginAppearanceTransition(true, true);
            covered->endAppearanceTransition();
        }
    };
    startTransition(std::make_shared<UIViewControllerTransitionContext>(window, me, controller, animator,
                                                                        interaction, std::move(ended)),
                    interaction);
    return true;
}

bool UIViewController::dismissWithTransition(const std::shared_ptr<UIViewController>& host,
                                             const std::vector<std::shared_ptr<UIViewController>>& chain,
                                             Completion& completion) {
    if (chain.size() != 1) return false;  // a stack of presentations goes the plain way
    const auto presented = chain.front();
    const auto delegate = presented->transitioningDelegate();
    const auto window = presented->isViewLoaded() ? presented->view()->window() : nullptr;
    if (!delegate || !window) return false;
    const auto animator = delegate->animationControllerForDismissedController(presented);
    if (!animator) return false;

    const auto covered = presented->coveredRoot_.lock();
    presented->beingDismissed_ = true;
    presented->beginAppearanceTransition(false, true);
    if (covered) covered->beginAppearanceTransition(true, true);
    presented->presenting_.reset();
    presented->coveredRoot_.reset();
    host->presented_.reset();

    auto ended = [presented, covered, completion = std::move(completion)](bool) {
        presented->view()->removeFromSuperview();
        presented->beingDismissed_ = false;
        presented->endAppearanceTransition();
        if (covered) covered->endAppearanceTransition();
        if (completion) completion();
    };
    startTransition(std::make_shared<UIViewControllerTransitionContext>(window, presented, host, animator, nullptr,
                                                                        std::move(ended)),
                    nullptr);
    return true;
}
