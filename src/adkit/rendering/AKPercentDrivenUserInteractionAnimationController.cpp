#include "adkit/rendering/AKPercentDrivenUserInteractionAnimationController.h"

#include <algorithm>
#include <cmath>

#include "adkit/foundation/AKDevice.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIPanGestureRecognizer.h"
#include "platform/uikit/UIScreen.h"

std::shared_ptr<AKPercentDrivenUserInteractionAnimationController>
AKPercentDrivenUserInteractionAnimationController::initWithAnimation(
    std::shared_ptr<AKViewControllerFullScreenSwipeAnimation> animation) {
    if (!AKDevice::isOSAtLeastMajor(7, 0, 0) || !animation) return nullptr;
    auto controller = std::make_shared<AKPercentDrivenUserInteractionAnimationController>();
    controller->animation_ = std::move(animation);
    return controller;
}

double AKPercentDrivenUserInteractionAnimationController::progressFor(AKSwipeDirection direction, double y,
                                                                      double startY, double screenHeight) {
    const bool topToBottom = direction == AKSwipeDirectionTopToBottom;
    const double denominator = topToBottom ? screenHeight - startY : startY;
    if (!(denominator > 0)) return 0;
    const double progress = (topToBottom ? y - startY : startY - y) / denominator;
    return std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
}

bool AKPercentDrivenUserInteractionAnimationController::isAnimatingTopToBottom() const {
    const bool presenting = animation_->isPresenting();
    return (presenting && animation_->direction == AKSwipeDirectionTopToBottom) ||
           (!presenting && animation_->direction == AKSwipeDirectionBottomToTop);
}

bool AKPercentDrivenUserInteractionAnimationController::isAnimatingBottomToTop() const {
    return !isAnimatingTopToBottom();
}

void AKPercentDrivenUserInteractionAnimationController::handlePanGesture(UIPanGestureRecognizer& recognizer) {
    QV_ASSERT_MAIN_THREAD();
    // Kept alive through the delegate's calls, which may let go of this controller.
    const auto me = self<AKPercentDrivenUserInteractionAnimationController>();
    const double y = recognizer.locationInView(nullptr).y;
    const double vy = recognizer.velocityInView(nullptr).y;
    const auto delegate = delegate_.lock();
    switch (recognizer.state()) {
    case UIGestureRecognizerStateChanged: {
        const double height = UIScreen::mainScreen()->bounds().size.height;
        updateInteractiveTransition(progressFor(animation_->direction, y, animation_->startY, height));
        return;
    }
    case UIGestureRecognizerStateEnded: {
        const bool topToBottom = isAnimatingTopToBottom();
        if ((topToBottom && vy > 0) || (!topToBottom && vy < 0)) {
            finishInteractiveTransition();
            if (delegate) delegate->animationControllerDidFinishAnimationTransition(*this);
            return;
        }
        break;
    }
    default: break;
    }
    cancelInteractiveTransition();
    if (delegate) delegate->animationControllerDidCancelAnimationTransition(*this);
}

std::shared_ptr<UIViewControllerAnimatedTransitioning>
AKPercentDrivenUserInteractionAnimationController::animationControllerForPresentedController(
    const std::shared_ptr<UIViewController>&, const std::shared_ptr<UIViewController>&,
    const std::shared_ptr<UIViewController>&) {
    animation_->willAnimatePresentation();
    return animation_;
}

std::shared_ptr<UIViewControllerAnimatedTransitioning>
AKPercentDrivenUserInteractionAnimationController::animationControllerForDismissedController(
    const std::shared_ptr<UIViewController>&) {
    animation_->willAnimateDismissal();
    return animation_;
}

std::shared_ptr<UIViewControllerInteractiveTransitioning>
AKPercentDrivenUserInteractionAnimationController::interactionControllerForPresentation(
    const std::shared_ptr<UIViewControllerAnimatedTransitioning>&) {
    return self<AKPercentDrivenUserInteractionAnimationController>();
}
