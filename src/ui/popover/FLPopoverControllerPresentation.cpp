// FLPopoverController: presenting, dismissing, outside taps, keyboard and rotation.
#include <cassert>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverController.h"

namespace {

const char* contentSizeKeyPathForContent() {
    return UIViewControllerRespondsToPreferredContentSize() ? "preferredContentSize" : "contentSizeForViewInPopover";
}

}  // namespace

void FLPopoverController::presentPopoverFromBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item,
                                                          FLArrowDirection /*directions*/, bool animated,
                                                          FLAnimationOptions options, Completion completion) {
    barButtonItem_ = item;
    auto view = item ? item->view() : nullptr;
    if (!view) {
        NSLog("FLPopoverController: the bar button item has no view to present from");
        return;
    }
    presentPopoverFromRect(view->bounds(), view, FLArrowDirectionUp | FLArrowDirectionDown, animated, options,
                           std::move(completion));
}

void FLPopoverController::presentPopoverAsDialogAnimated(bool animated, FLAnimationOptions options,
                                                         Completion completion) {
    presentPopoverFromRect(CGRectZero, nullptr, FLArrowDirectionNone, animated, options, std::move(completion));
}

bool FLPopoverController::prepareViews(const std::shared_ptr<UIView>& view, CGSize contentSize) {
    auto window = view ? view->window() : nullptr;
    if (!window) {
        NSLog("FLPopoverController: cannot present from a view that is in no window");
        return false;
    }
    if (overlayView_) return true;
    overlayView_ = FLPopoverOverlayView::initWithFrame(window->bounds());
    overlayView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    overlayView_->setAutoresizesSubviews(false);
    overlayView_->setDelegate(self<FLPopoverController>());
    overlayView_->setPassthroughViews(passthroughViews_);
    backgroundView_ = FLPopoverBackgroundView::initWithContentSize(contentSize);
    backgroundView_->setAppearing(true);
    backgroundView_->setDelegate(self<FLPopoverController>());
    backgroundView_->setHidden(true);
    std::weak_ptr<FLPopoverBackgroundView> chrome = backgroundView_;
    auto tap = std::make_shared<UITapGestureRecognizer>(backgroundView_, [chrome](UIGestureRecognizer&) {
        if (auto c = chrome.lock()) c->tapOut();
    });
    tap->setCancelsTouchesInView(false);
    overlayView_->addGestureRecognizer(tap);
    window->addSubview(backgroundView_);
    window->insertSubviewBelow(overlayView_, backgroundView_.get());
    return true;
}

void FLPopoverController::presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                                 FLArrowDirection directions, bool animated,
                                                 FLAnimationOptions options, Completion completion) {
    QV_ASSERT_MAIN_THREAD();
    std::shared_ptr<UIView> anchorView = view;
    if (!anchorView) {
        auto window = UIApplication::sharedApplication()->keyWindow();
        auto root = window ? window->rootViewController() : nullptr;
        anchorView = root ? root->view() : nullptr;
        if (anchorView && CGRectIsEmpty(rect)) {
            long w = static_cast<long>(anchorView->frame().size.width);
            long h = static_cast<long>(anchorView->frame().size.height);
            rect = CGRectMake(static_cast<CGFloat>(w / 2 - 5), static_cast<CGFloat>(h / 2 - 5), 10, 10);
        }
    }
    if (dismissing_ || !prepareViews(anchorView, popoverContentSize())) return;
    rect_ = rect;
    inView_ = anchorView;
    permittedArrowDirections_ = directions;
    animated_ = animated;
    options_ = options;
    updateThemeUI();
    backgroundView_->setHidden(false);
    std::weak_ptr<FLPopoverController> weak = self<FLPopoverController>();
    if (animated) {
        if (options & FLAnimationOptionFade) {
            overlayView_->setAlpha(0);
            backgroundView_->setAlpha(0);
        }
        if (viewController_) viewController_->viewWillAppear(true);
        CGAffineTransform original = backgroundView_->transform();
        if (options & FLAnimationOptionScale) {
            backgroundView_->setTransform(transformForArrowDirection(backgroundView_->arrowDirection()));
        }
        UIView::animateWithDuration(
            animationDuration_,
            [weak, original] {
                auto popover = weak.lock();
                if (!popover || !popover->overlayView_) return;
                popover->overlayView_->setAlpha(1);
                popover->backgroundView_->setAlpha(1);
                popover->backgroundView_->setTransform(original);
                popover->setTint(true);
            },
            [weak, completion](bool) {
                if (auto popover = weak.lock()) popover->finishPresentation(completion);
            });
    } else {
        setTint(true);
        if (viewController_) viewController_->viewWillAppear(false);
        finishPresentation(completion);
    }
    startListening();
}

void FLPopoverController::setTint(bool dimmed) {
    auto window = inView_ ? inView_->window() : nullptr;
    if (!window || !backgroundView_ || !UIViewRespondsToTintAdjustmentMode()) return;
    if (dimmed && !backgroundView_->adjustsTintColor()) return;
    for (const auto& subview : window->subviews()) {
        if (subview == backgroundView_) continue;
        subview->setTintAdjustmentMode(dimmed ? UIViewTintAdjustmentModeDimmed : UIViewTintAdjustmentModeAutomatic);
    }
}

void FLPopoverController::finishPresentation(Completion completion) {
    if (!overlayView_) return;  // dismissed meanwhile
    if (viewController_ && !contentIsNavigation()) viewController_->viewDidAppear(true);
    observeContentSize();
    backgroundView_->setAppearing(false);
    if (completion) {
        completion();
    } else if (auto d = delegate(); d && d->respondsToDidPresentPopover()) {
        d->popoverControllerDidPresentPopover(*this);
    }
}

void FLPopoverController::observeContentSize() {
    if (isObserverAdded_ || !viewController_) return;
    std::weak_ptr<FLPopoverController> weak = self<FLPopoverController>();
    contentSizeToken_ = viewController_->observeValueForKey(contentSizeKeyPathForContent(), [weak](const std::string&) {
        if (auto popover = weak.lock()) popover->setPopoverContentSize(popover->topViewControllerContentSize());
    });
    isObserverAdded_ = true;
}

void FLPopoverController::stopObservingContentSize() {
    isObserverAdded_ = false;
    contentSizeToken_ = ObservationToken();
}

void FLPopoverController::startListening() {
    if (isListeningNotifications_) return;
    isListeningNotifications_ = true;
    auto center = NSNotificationCenter::defaultCenter();
    auto me = self<FLPopoverController>();
    std::weak_ptr<FLPopoverController> weak = me;
    auto route = [weak](void (FLPopoverController::*handler)(const NSNotification&)) {
        return [weak, handler](const NSNotification& n) {
            if (auto popover = weak.lock()) ((*popover).*handler)(n);
        };
    };
    center->addObserver(me, route(&FLPopoverController::didChangeStatusBarOrientation),
                        UIApplicationDidChangeStatusBarOrientationNotification);
    UIDevice::currentDevice()->beginGeneratingDeviceOrientationNotifications();
    center->addObserver(me, route(&FLPopoverController::didChangeDeviceOrientation),
                        UIDeviceOrientationDidChangeNotification);
    center->addObserver(me, route(&FLPopoverController::keyboardWillShow), UIKeyboardWillShowNotification);
    center->addObserver(me, route(&FLPopoverController::keyboardWillHide), UIKeyboardWillHideNotification);
}

void FLPopoverController::stopListening() {
    if (!isListeningNotifications_) return;
    isListeningNotifications_ = false;
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this, UIApplicationDidChangeStatusBarOrientationNotification);
    UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
    center->removeObserver(this, UIDeviceOrientationDidChangeNotification);
    center->removeObserver(this, UIKeyboardWillShowNotification);
    center->removeObserver(this, UIKeyboardWillHideNotification);
}

// Dismissing.

void FLPopoverController::dismissPopoverAnimated(bool animated, Completion completion) {
    dismissPopoverAnimated(animated, options_, std::move(completion), false);
}

void FLPopoverController::dismissPopoverAnimated(bool animated, FLAnimationOptions options, Completion completion) {
    dismissPopoverAnimated(animated, options, std::move(completion), false);
}

void FLPopoverController::dismissPopoverAnimated(bool animated, FLAnimationOptions options, Completion completion,
                                                 bool callDelegate) {
    QV_ASSERT_MAIN_THREAD();
    // Nothing shown, or already on its way out: no appearance calls, no delegate.
    if (!overlayView_ || dismissing_) return;
    dismissing_ = true;
    stopListening();
    if (viewController_ && !contentIsNavigation()) viewController_->viewWillDisappear(animated);
    if (isObserverAdded_) stopObservingContentSize();
    if (!animated) {
        setTint(false);
        removeViews(animated, std::move(completion), callDelegate);
        return;
    }
    // The exit plays out even when the caller lets go of the popover right
    // after asking it to close (the screens do); the removal step lets go.
    retainedWhileVisible_ = self<FLPopoverController>();
    std::weak_ptr<FLPopoverController> weak = retainedWhileVisible_;
    UIView::animateWithDuration(
        animationDuration_,
        [weak, options] {
            auto popover = weak.lock();
            if (!popover || !popover->overlayView_) return;
            if (options & FLAnimationOptionFade) popover->backgroundView_->setAlpha(0);
            if (options & FLAnimationOptionScale) {
                popover->backgroundView_->setTransform(
                    popover->transformForArrowDirection(popover->backgroundView_->arrowDirection()));
            }
            popover->overlayView_->setAlpha(0);
            popover->setTint(false);
        },
        [weak, animated, completion, callDelegate](bool) {
            if (auto popover = weak.lock()) popover->removeViews(animated, completion, callDelegate);
        });
}

void FLPopoverController::removeViews(bool animated, Completion completion, bool callDelegate) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    if (overlayView_) overlayView_->removeFromSuperview();
    backgroundView_.reset();
    overlayView_.reset();
    dismissing_ = false;
    // Keeps this popover alive to the end of the step even when it held itself.
    auto keep = std::move(retainedWhileVisible_);
    if (viewController_ && !contentIsNavigation()) viewController_->viewDidDisappear(animated);
    if (completion) {
        completion();
    } else if (auto d = delegate(); callDelegate && d && d->respondsToDidDismissPopover()) {
        d->popoverControllerDidDismissPopover(*this);
    }
}

void FLPopoverController::retainWhileVisible() {
    if (overlayView_) retainedWhileVisible_ = self<FLPopoverController>();
}

// Outside taps.

void FLPopoverController::popoverOverlayViewDidTouch(FLPopoverOverlayView& /*view*/) {
    if (!overlayView_ || dismissing_) return;
    if (viewController_ && viewController_->isModalInPopover()) return;
    if (auto d = delegate(); d && d->respondsToShouldDismissPopover() && !d->popoverControllerShouldDismissPopover(*this)) {
        return;
    }
    dismissPopoverAnimated(animated_, options_, {}, true);
}

void FLPopoverController::popoverBackgroundViewDidTouchOutside(FLPopoverBackgroundView& /*view*/) {
    if (overlayView_) popoverOverlayViewDidTouch(*overlayView_);
}

// Keyboard and rotation.

void FLPopoverController::keyboardWillShow(const NSNotification& notification) {
    keyboardRect_ = CGRectValue(notification.userInfo()[UIKeyboardFrameEndUserInfoKey]);
    auto d = delegate();
    if (!(d && d->respondsToShouldIgnoreKeyboardBounds() && d->popoverControllerShouldIgnoreKeyboardBounds(*this))) {
        positionPopover(true);
    }
}

void FLPopoverController::keyboardWillHide(const NSNotification& /*notification*/) {
    keyboardRect_ = CGRectZero;
    auto d = delegate();
    if (!(d && d->respondsToShouldIgnoreKeyboardBounds() && d->popoverControllerShouldIgnoreKeyboardBounds(*this))) {
        positionPopover(true);
    }
}

// The interface's turn is known from the status bar; the device's notification
// may come before it (this platform posts it first, as the device turns) or
// after it. The windows take their new bounds right after the status bar
// turns, so the popover is placed anew by whichever comes first of the
// device's notification after the turn and the next pass of the main queue:
// once per turn, never for the bounds the windows had before it.
void FLPopoverController::didChangeStatusBarOrientation(const NSNotification& /*notification*/) {
    isInterfaceOrientationChanging_ = true;
    std::weak_ptr<FLPopoverController> weak = self<FLPopoverController>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto popover = weak.lock()) popover->repositionAfterRotation();
    });
}

void FLPopoverController::didChangeDeviceOrientation(const NSNotification& /*notification*/) {
    repositionAfterRotation();
}

void FLPopoverController::repositionAfterRotation() {
    if (!isInterfaceOrientationChanging_) return;
    isInterfaceOrientationChanging_ = false;
    if (!overlayView_) return;
    if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(viewController_)) {
        if (!navigation->isNavigationBarHidden()) {
            navigation->setNavigationBarHidden(true, false);
            navigation->setNavigationBarHidden(false, false);
        }
    }
    if (auto item = barButtonItem_.lock()) {
        if (auto view = item->view()) {
            inView_ = view;
            rect_ = view->bounds();
        }
    } else if (auto d = delegate(); d && d->respondsToWillRepositionPopover()) {
        // The delegate starts from the current anchor.
        CGRect rect = rect_;
        std::shared_ptr<UIView> view = inView_;
        d->popoverControllerWillRepositionPopoverToRect(*this, &rect, &view);
        rect_ = rect;
        inView_ = view;
    }
    positionPopover(false);
}
