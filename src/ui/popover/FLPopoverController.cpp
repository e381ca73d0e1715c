#include "ui/popover/FLPopoverController.h"

#include <cassert>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverBackgroundChrome.h"
#include "ui/popover/FLPopoverControllerExtensions.h"
#include "ui/popover/FLPopoverThemeAppearance.h"
#include "ui/popover/UIImageFLPopover.h"

FLPopoverController::FLPopoverController() {
    // Placement turns nothing when windows work in the interface's coordinates
    // (they do here on every system; before 8.0 that was the system's call).
    ignoreOrientation_ = NSProcessInfoRespondsToOperatingSystemVersion() ||
                         UIInterfaceRotation::kWindowsTakeInterfaceCoordinates;
    theme_ = defaultTheme();
    themeIsUpdating_ = true;
    if (theme_) FLPopoverThemeCopyFromAppearance(*theme_);
    themeIsUpdating_ = false;
    themeUpdatesEnabled_ = true;
}

std::shared_ptr<FLPopoverController> FLPopoverController::init() {
    auto popover = std::make_shared<FLPopoverController>();
    popover->registerTheme();
    return popover;
}

std::shared_ptr<FLPopoverController> FLPopoverController::initWithContentViewController(
    const std::shared_ptr<UIViewController>& viewController) {
    auto popover = init();
    popover->viewController_ = viewController;
    return popover;
}

FLPopoverController::~FLPopoverController() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (isListeningNotifications_) UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
    if (backgroundView_) {
        backgroundView_->removeFromSuperview();
        backgroundView_->setDelegate(nullptr);
    }
    if (overlayView_) {
        overlayView_->removeFromSuperview();
        overlayView_->setDelegate(nullptr);
    }
    stopObservingContentSize();
    themeTokens_.clear();
}

void FLPopoverController::setDefaultTheme(const FLPopoverThemePtr& theme) { FLPopoverSetDefaultTheme(theme); }

FLPopoverThemePtr FLPopoverController::defaultTheme() { return FLPopoverDefaultTheme(); }

void FLPopoverController::setPassthroughViews(std::vector<std::shared_ptr<UIView>> views) {
    passthroughViews_ = std::move(views);
    if (overlayView_) overlayView_->setPassthroughViews(passthroughViews_);
}

CGSize FLPopoverController::popoverContentSize() const {
    if (popoverContentSize_.width == 0 && popoverContentSize_.height == 0) return topViewControllerContentSize();
    return popoverContentSize_;
}

void FLPopoverController::setPopoverContentSize(CGSize size) {
    popoverContentSize_ = size;
    positionPopover(true);
}

// Theme.

void FLPopoverController::setTheme(const FLPopoverThemePtr& theme) {
    QV_ASSERT_MAIN_THREAD();
    unregisterTheme();
    theme_ = theme;
    registerTheme();
    updateThemeUI();
    themeIsUpdating_ = false;
}

void FLPopoverController::registerTheme() {
    themeTokens_.clear();
    if (!theme_) return;
    std::weak_ptr<FLPopoverController> weak = self<FLPopoverController>();
    for (const auto& key : FLPopoverTheme::observableKeypaths()) {
        themeTokens_.push_back(theme_->observeValueForKey(key, [weak](const std::string&) {
            if (auto popover = weak.lock()) popover->updateThemeUI();
        }));
    }
}

void FLPopoverController::unregisterTheme() { themeTokens_.clear(); }

void FLPopoverController::endThemeUpdates() {
    themeIsUpdating_ = false;
    updateThemeUI();
}

void FLPopoverController::updateThemeUI() {
    if (!theme_ || !themeUpdatesEnabled_ || themeIsUpdating_) return;
    if (backgroundView_) {
        FLPopoverThemeApplyToChrome(*theme_, *backgroundView_);
        backgroundView_->setNeedsDisplay();
    }
    if (overlayView_) {
        auto color = theme_->overlayColor();
        overlayView_->setBackgroundColor(color ? color->CGColor() : nullptr);
    }
    positionPopover(false);
    setPopoverNavigationBarBackgroundImage();
}

void FLPopoverController::setPopoverNavigationBarBackgroundImage() {
    // Only a shown popover's content is dressed; before presentation nothing is touched.
    if (!overlayView_ || !viewController_) return;
    if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(viewController_)) {
        UINavigationControllerFLPopover::setEmbedInPopover(*navigation, true);
        if (UIViewControllerRespondsToEdgesForExtendedLayout()) {
            if (auto top = navigation->topViewController()) top->setEdgesForExtendedLayout(UIRectEdgeNone);
        }
        if (!wantsDefaultContentAppearance_) {
            navigation->navigationBar()->setBackgroundImage(UIImageFLPopover::imageWithColor(UIColor::clearColor()),
                                                           UIBarMetricsDefault);
        }
    }
    auto view = viewController_->view();
    view->setClipsToBounds(true);
    if (backgroundView_ && backgroundView_->borderWidth() == 0) {
        view->layer()->setCornerRadius(static_cast<CGFloat>(backgroundView_->outerCornerRadius()));
    }
}

// Placement.

FLPopoverPlacement FLPopoverController::placement() const {
    FLPopoverPlacement p;
    p.rect = rect_;
    p.inView = inView_;
    p.overlayView = overlayView_;
    if (backgroundView_) p.backgroundView = std::make_shared<FLPopoverBackgroundChrome>(backgroundView_);
    p.permittedArrowDirections = permittedArrowDirections_;
    p.ignoreOrientation = ignoreOrientation_;
    p.keyboardRect = keyboardRect_;
    p.popoverLayoutMargins = popoverLayoutMargins_;
    p.popoverContentSize = popoverContentSize();
    p.wantsDefaultContentAppearance = wantsDefaultContentAppearance_;
    p.contentViewController = viewController_;
    auto d = delegate();
    if (d && d->respondsToShouldIgnoreKeyboardBounds()) {
        std::weak_ptr<const FLPopoverController> weak = self<FLPopoverController>();
        p.shouldIgnoreKeyboardBounds = [weak] {
            auto popover = std::const_pointer_cast<FLPopoverController>(weak.lock());
            auto dd = popover ? popover->delegate() : nullptr;
            return dd && dd->popoverControllerShouldIgnoreKeyboardBounds(*popover);
        };
    }
    if (d && d->respondsToWillTranslatePopover()) {
        std::weak_ptr<const FLPopoverController> weak = self<FLPopoverController>();
        p.willTranslatePopoverWithYOffset = [weak](CGFloat& offset) {
            auto popover = std::const_pointer_cast<FLPopoverController>(weak.lock());
            auto dd = popover ? popover->delegate() : nullptr;
            if (!dd) return;
            float value = static_cast<float>(offset);
            dd->popoverControllerWillTranslatePopoverWithYOffset(*popover, &value);
            offset = value;
        };
    }
    return p;
}

void FLPopoverController::positionPopover(bool animated) { placement().positionPopover(animated); }

FLArrowDirection FLPopoverController::arrowDirectionForRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                                            CGSize contentSize, CGFloat arrowHeight,
                                                            FLArrowDirection permitted) {
    return placement().arrowDirectionForRect(rect, view, contentSize, arrowHeight, permitted);
}

CGSize FLPopoverController::sizeForRect(CGRect rect, const std::shared_ptr<UIView>& view, CGFloat arrowHeight,
                                        FLArrowDirection direction) {
    return placement().sizeForRect(rect, view, arrowHeight, direction);
}

CGAffineTransform FLPopoverController::transformForArrowDirection(FLArrowDirection direction) {
    return placement().transformForArrowDirection(direction);
}

bool FLPopoverController::contentIsNavigation() const {
    return std::dynamic_pointer_cast<UINavigationController>(viewController_) != nullptr;
}

CGSize FLPopoverController::topViewControllerContentSize() const {
    std::shared_ptr<UIViewController> top = viewController_;
    if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(top)) top = navigation->topViewController();
    CGSize size{};
    if (top) {
        if (UIViewControllerRespondsToPreferredContentSize()) size = top->preferredContentSize();
        if (size.width == 0 && size.height == 0) size = top->contentSizeForViewInPopover();
    }
    if (size.width == 0 && size.height == 0) {
        size.width = 320;
        auto window = UIApplication::sharedApplication()->keyWindow();
        CGRect bounds = window ? window->bounds() : CGRectZero;
        auto orientation = UIApplication::sharedApplication()->statusBarOrientation();
        bool landscape = orientation == UIInterfaceOrientationLandscapeLeft ||
                         orientation == UIInterfaceOrientationLandscapeRight;
        size.height = landscape ? bounds.size.width : bounds.size.height;
    }
    return size;
}
