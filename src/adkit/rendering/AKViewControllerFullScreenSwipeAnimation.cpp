#include "adkit/rendering/AKViewControllerFullScreenSwipeAnimation.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"

namespace {

// A picture of the view, as a view of its size.
std::shared_ptr<UIView> screenshotOf(UIView& view) {
    auto shot = std::make_shared<UIImageView>(ak_render(view));
    shot->setFrame(CGRectMake(0, 0, view.bounds().size.width, view.bounds().size.height));
    return shot;
}

CGRect movedToY(CGRect rect, CGFloat y) { return CGRectMake(rect.origin.x, y, rect.size.width, rect.size.height); }

}  // namespace

std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> AKViewControllerFullScreenSwipeAnimation::init() {
    if (!AKDevice::isOSAtLeastMajor(7, 0, 0)) return nullptr;
    return std::make_shared<AKViewControllerFullScreenSwipeAnimation>();
}

double AKViewControllerFullScreenSwipeAnimation::transitionDuration(const UIViewControllerTransitionContextPtr&) {
    return transitionDuration_;
}

bool AKViewControllerFullScreenSwipeAnimation::removeDraggableViewAnimationIfInvalidForAnimationContext(
    AKAnimationContext& plan) {
    const CGSize size = draggableView ? draggableView->bounds().size : CGSizeZero;
    if (draggableView && plan.draggableViewStartFrame.size == size && plan.draggableViewEndFrame.size == size)
        return false;
    plan.draggableViewScreenshot.reset();
    plan.draggableViewStartFrame = plan.draggableViewEndFrame = CGRectZero;
    draggableEndAfter_ = CGRectZero;
    return true;
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::presentationContext(
    const UIViewControllerTransitionContextPtr& context, bool topToBottom) {
    const auto container = context->containerView();
    const CGRect B = container->bounds();
    auto plan = std::make_shared<AKAnimationContext>();
    plan->animatedViewController = context->toViewController();
    bool withSnapshot = false;
    CGFloat sheetY = 0;
    if (draggableView) {
        const CGRect D = container->convertRectFromView(draggableView->bounds(), draggableView.get());
        plan->draggableViewStartFrame = D;
        plan->draggableViewEndFrame = movedToY(D, topToBottom ? B.size.height : -D.size.height);
        plan->draggableViewScreenshot = screenshotOf(*draggableView);
        draggableEndAfter_ = plan->draggableViewEndFrame;
        withSnapshot = !removeDraggableViewAnimationIfInvalidForAnimationContext(*plan);
        sheetY = topToBottom ? CGRectGetMinY(D) - B.size.height : CGRectGetMaxY(D);
    }
    if (!withSnapshot) {
        plan->draggableViewScreenshot.reset();
        draggableEndAfter_ = CGRectZero;
        sheetY = topToBottom ? startY - B.size.height : startY;
    }
    shown_ = withSnapshot;
    plan->animatedViewStartFrame = CGRectMake(B.origin.x, sheetY, B.size.width, B.size.height);
    plan->animatedViewEndFrame = B;
    animatedBefore_ = plan->animatedViewStartFrame;
    return plan;
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::topToBottomPresentationAnimationContext(
    const UIViewControllerTransitionContextPtr& context) {
    return presentationContext(context, true);
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::bottomToTopPresentationAnimationContext(
    const UIViewControllerTransitionContextPtr& context) {
    return presentationContext(context, false);
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::topToBottomDismissalAnimationContext(
    const UIViewControllerTransitionContextPtr& context) {
    return animationContextForRestoringAnimationToSavedState(context);
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::bottomToTopDismissalAnimationContext(
    const UIViewControllerTransitionContextPtr& context) {
    return animationContextForRestoringAnimationToSavedState(context);
}

AKAnimationContextPtr AKViewControllerFullScreenSwipeAnimation::animationContextForRestoringAnimationToSavedState(
    const UIViewControllerTransitionContextPtr& context) {
    const auto container = context->containerView();
    auto plan = std::make_shared<AKAnimationContext>();
    plan->animatedViewController = context->fromViewController();
    if (draggableView && shown_) {
        plan->draggableViewScreenshot = screenshotOf(*draggableView);
        plan->draggableViewStartFrame = draggableEndAfter_;
        plan->draggableViewEndFrame = container->convertRectFromView(draggableView->bounds(), draggableView.get());
        (void)removeDraggableViewAnimationIfInvalidForAnimationContext(*plan);  // an invalid plan just loses its snapshot
    }
    if (const auto& sheet = plan->animatedViewController) plan->animatedViewStartFrame = sheet->view()->frame();
    plan->animatedViewEndFrame = animatedBefore_;
    return plan;
}

void AKViewControllerFullScreenSwipeAnimation::animateTransition(const UIViewControllerTransitionContextPtr& context) {
    QV_ASSERT_MAIN_THREAD();
    const auto container = context->containerView();
    const auto sheet = presenting_ ? context->toViewController() : context->fromViewController();
    if (!container || !sheet) return context->completeTransition(false);
    const auto below = presenting_ ? context->fromView() : context->toView();
    if (below && below->superview() != container) container->addSubview(below);
    const auto sheetView = sheet->view();
    container->addSubview(sheetView);

    const bool topToBottom = direction == AKSwipeDirectionTopToBottom;
    const AKAnimationContextPtr plan = presenting_ ? (topToBottom ? topToBottomPresentationAnimationContext(context)
                                                                  : bottomToTopPresentationAnimationContext(context))
                                                   : (topToBottom ? topToBottomDismissalAnimationContext(context)
                                                                  : bottomToTopDismissalAnimationContext(context));
    const auto shot = plan->draggableViewScreenshot;
    if (shot) {
        shot->setFrame(plan->draggableViewStartFrame);
        container->addSubview(shot);
    }
    sheetView->setFrame(plan->animatedViewStartFrame);
    UIView::animateWithDuration(
        transitionDuration_,
        [&] {
            if (shot) shot->setFrame(plan->draggableViewEndFrame);
            sheetView->setFrame(plan->animatedViewEndFrame);
        },
        [context, shot](bool) {
            if (shot) shot->removeFromSuperview();  // the ad itself is there again (or under the sheet)
            context->completeTransition(!context->transitionWasCancelled());
        });
}
