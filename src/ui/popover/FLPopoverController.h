#pragma once
// Shows a content view controller in a floating panel with an arrow (or
// centred like a dialog) above a full-window overlay that catches outside
// taps. Placement is FLPopoverPlacement's; the chrome is
// FLPopoverBackgroundView, reached by placement through
// FLPopoverBackgroundChrome; the theme is FLPopoverTheme.
//
// Theme: every new popover takes the shared default theme and copies the
// background view's appearance proxy into it. The popover observes each of
// the theme's observable key paths with one token apiece; setTheme and
// destruction release them, so a theme that outlives its popover never calls
// back.
//
// Presentation needs a view in a window: presenting from a view in no window
// (or, with no view, with no key window) shows nothing, logs why and leaves
// isPopoverVisible NO. Placement, theme updates and setPopoverContentSize
// while hidden touch no view; the content size is kept.
//
// Dismissal: a dismissal while one is running, or of a popover not shown,
// does nothing (no appearance calls, nothing told to the delegate); an
// outside tap during the exit animation is ignored. Completions and animation
// blocks hold the controller weakly; an animated dismissal keeps the popover
// alive until its exit has played out, so a caller may let go of it as soon
// as it asked it to close (the content still hears viewDidDisappear).
//
// Bar-button presentations always permit Up and Down only.
//
// Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverOverlayView.h"
#include "ui/popover/FLPopoverPlacement.h"
#include "ui/popover/FLPopoverTheme.h"
#include "ui/popover/FLPopoverTypes.h"

class FLPopoverController;
class UIBarButtonItem;
class UIView;
class UIViewController;
class NSNotification;

// Every operation is optional: the delegate answers YES from the matching
// respondsTo... for each one it implements; the others are never called.
class FLPopoverControllerDelegate {
public:
    virtual ~FLPopoverControllerDelegate() = default;

    virtual bool respondsToShouldDismissPopover() const { return false; }
    virtual bool popoverControllerShouldDismissPopover(FLPopoverController& /*popover*/) { return true; }

    virtual bool respondsToDidPresentPopover() const { return false; }
    virtual void popoverControllerDidPresentPopover(FLPopoverController& /*popover*/) {}

    virtual bool respondsToDidDismissPopover() const { return false; }
    virtual void popoverControllerDidDismissPopover(FLPopoverController& /*popover*/) {}

    // The rectangle and view hold the current anchor when called.
    virtual bool respondsToWillRepositionPopover() const { return false; }
    virtual void popoverControllerWillRepositionPopoverToRect(FLPopoverController& /*popover*/, CGRect* /*rect*/,
                                                              std::shared_ptr<UIView>* /*view*/) {}

    virtual bool respondsToShouldIgnoreKeyboardBounds() const { return false; }
    virtual bool popoverControllerShouldIgnoreKeyboardBounds(FLPopoverController& /*popover*/) { return false; }

    virtual bool respondsToWillTranslatePopover() const { return false; }
    virtual void popoverControllerWillTranslatePopoverWithYOffset(FLPopoverController& /*popover*/,
                                                                  float* /*offset*/) {}
};

class FLPopoverController : public NSObject,
                            public FLPopoverOverlayViewDelegate,
                            public FLPopoverBackgroundViewDelegate {
public:
    using Completion = std::function<void()>;

    // Use init / initWithContentViewController.
    FLPopoverController();
    ~FLPopoverController() override;
    static std::shared_ptr<FLPopoverController> init();
    static std::shared_ptr<FLPopoverController> initWithContentViewController(
        const std::shared_ptr<UIViewController>& viewController);

    // The class-wide default theme (seeds the background view's appearance proxy).
    static void setDefaultTheme(const FLPopoverThemePtr& theme);
    static FLPopoverThemePtr defaultTheme();

    // Properties.
    std::shared_ptr<FLPopoverControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<FLPopoverControllerDelegate>& d) { delegate_ = d; }
    const std::vector<std::shared_ptr<UIView>>& passthroughViews() const { return passthroughViews_; }
    void setPassthroughViews(std::vector<std::shared_ptr<UIView>> views);
    bool wantsDefaultContentAppearance() const { return wantsDefaultContentAppearance_; }
    void setWantsDefaultContentAppearance(bool value) { wantsDefaultContentAppearance_ = value; }
    UIEdgeInsets popoverLayoutMargins() const { return popoverLayoutMargins_; }
    void setPopoverLayoutMargins(UIEdgeInsets margins) { popoverLayoutMargins_ = margins; }
    bool isPopoverVisible() const { return overlayView_ != nullptr; }
    const std::shared_ptr<UIViewController>& contentViewController() const { return viewController_; }
    CGSize popoverContentSize() const;
    void setPopoverContentSize(CGSize size);
    float animationDuration() const { return animationDuration_; }
    void setAnimationDuration(float seconds) { animationDuration_ = seconds; }
    const FLPopoverThemePtr& theme() const { return theme_; }
    void setTheme(const FLPopoverThemePtr& theme);
    // The chrome and the overlay while shown (null otherwise).
    const std::shared_ptr<FLPopoverBackgroundView>& backgroundView() const { return backgroundView_; }
    const std::shared_ptr<FLPopoverOverlayView>& overlayView() const { return overlayView_; }
    CGRect rect() const { return rect_; }
    std::shared_ptr<UIView> inView() const { return inView_; }

    // Presenting.
    void presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view, FLArrowDirection directions,
                                bool animated, FLAnimationOptions options = FLAnimationOptionFade,
                                Completion completion = {});
    void presentPopoverFromBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item, FLArrowDirection directions,
                                         bool animated, FLAnimationOptions options = FLAnimationOptionFade,
                                         Completion completion = {});
    void presentPopoverAsDialogAnimated(bool animated, FLAnimationOptions options = FLAnimationOptionFade,
                                        Completion completion = {});

    // Dismissing (with the options of the last presentation unless given).
    void dismissPopoverAnimated(bool animated, Completion completion = {});
    void dismissPopoverAnimated(bool animated, FLAnimationOptions options, Completion completion = {});
    void dismissPopoverAnimated(bool animated, FLAnimationOptions options, Completion completion, bool callDelegate);

    // Theme batching.
    void beginThemeUpdates() { themeIsUpdating_ = true; }
    void endThemeUpdates();

    // Placement.
    void positionPopover(bool animated);
    FLArrowDirection arrowDirectionForRect(CGRect rect, const std::shared_ptr<UIView>& view, CGSize contentSize,
                                           CGFloat arrowHeight, FLArrowDirection permitted);
    CGSize sizeForRect(CGRect rect, const std::shared_ptr<UIView>& view, CGFloat arrowHeight,
                       FLArrowDirection direction);
    CGAffineTransform transformForArrowDirection(FLArrowDirection direction);
    CGSize topViewControllerContentSize() const;

    // Keeps the popover alive while it is shown (a storyboard segue's popover
    // has no other owner); released when it is dismissed. An animated
    // dismissal holds it the same way until its removal step.
    void retainWhileVisible();

    // Delegates and notifications.
    void popoverOverlayViewDidTouch(FLPopoverOverlayView& view) override;
    void popoverBackgroundViewDidTouchOutside(FLPopoverBackgroundView& view) override;
    void didChangeStatusBarOrientation(const NSNotification& notification);
    void didChangeDeviceOrientation(const NSNotification& notification);
    // Places the popover anew once after a turn of the interface (see the .cpp).
    void repositionAfterRotation();
    void keyboardWillShow(const NSNotification& notification);
    void keyboardWillHide(const NSNotification& notification);

private:
    void updateThemeUI();
    void registerTheme();
    void unregisterTheme();
    void setPopoverNavigationBarBackgroundImage();
    FLPopoverPlacement placement() const;
    bool prepareViews(const std::shared_ptr<UIView>& view, CGSize contentSize);
    void setTint(bool dimmed);
    void finishPresentation(Completion completion);
    void removeViews(bool animated, Completion completion, bool callDelegate);
    void startListening();
    void stopListening();
    void observeContentSize();
    void stopObservingContentSize();
    bool contentIsNavigation() const;

    std::shared_ptr<UIViewController> viewController_;
    CGRect rect_{};
    std::shared_ptr<UIView> inView_;
    std::shared_ptr<FLPopoverOverlayView> overlayView_;
    std::shared_ptr<FLPopoverBackgroundView> backgroundView_;
    FLArrowDirection permittedArrowDirections_ = FLArrowDirectionAny;
    bool animated_ = false;
    bool isListeningNotifications_ = false;
    bool isObserverAdded_ = false;
    bool isInterfaceOrientationChanging_ = false;
    bool ignoreOrientation_ = false;
    std::weak_ptr<UIBarButtonItem> barButtonItem_;
    CGRect keyboardRect_{};
    FLAnimationOptions options_ = FLAnimationOptionFade;
    bool themeUpdatesEnabled_ = false;
    bool themeIsUpdating_ = false;
    bool wantsDefaultContentAppearance_ = false;
    float animationDuration_ = 0.25f;
    std::weak_ptr<FLPopoverControllerDelegate> delegate_;
    std::vector<std::shared_ptr<UIView>> passthroughViews_;
    FLPopoverThemePtr theme_;
    CGSize popoverContentSize_{};
    UIEdgeInsets popoverLayoutMargins_{10, 10, 10, 10};

    bool dismissing_ = false;
    std::vector<ObservationToken> themeTokens_;
    ObservationToken contentSizeToken_;
    std::shared_ptr<FLPopoverController> retainedWhileVisible_;
};
