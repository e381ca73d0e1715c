#pragma once
// A view controller: a lazily loaded root view, appearance callbacks, child
// controllers and modal presentation.
//
// Transitions: the state of a transition (the presented controller and its
// links, the containers' stacks, the view tree, the will-appear/disappear
// callbacks) changes at once when it is asked for. Without animation the
// did-appear/disappear callbacks and the completion run at once too; an animated
// transition finishes them on the next pass of the main run loop (through the
// main queue). An animated presentation or dismissal whose controller's
// transitioning delegate gives an animation controller runs that custom
// transition instead (UIViewControllerTransitioning.h). Everything here is
// used on the main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIResponder.h"

class UIView;
class UINavigationController;
class UITabBarController;
class UITabBarItem;

// The edges of the screen a controller's view extends under bars to.
using UIRectEdge = unsigned long;
inline constexpr UIRectEdge UIRectEdgeNone = 0;
inline constexpr UIRectEdge UIRectEdgeTop = 1 << 0;
inline constexpr UIRectEdge UIRectEdgeLeft = 1 << 1;
inline constexpr UIRectEdge UIRectEdgeBottom = 1 << 2;
inline constexpr UIRectEdge UIRectEdgeRight = 1 << 3;
inline constexpr UIRectEdge UIRectEdgeAll = 15;

// The orientations a controller supports, one bit per UIInterfaceOrientation.
using UIInterfaceOrientationMask = unsigned long;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskPortrait = 1 << UIInterfaceOrientationPortrait;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskPortraitUpsideDown =
    1 << UIInterfaceOrientationPortraitUpsideDown;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskLandscapeLeft =
    1 << UIInterfaceOrientationLandscapeLeft;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskLandscapeRight =
    1 << UIInterfaceOrientationLandscapeRight;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskLandscape =
    UIInterfaceOrientationMaskLandscapeLeft | UIInterfaceOrientationMaskLandscapeRight;
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskAll =
    UIInterfaceOrientationMaskPortrait | UIInterfaceOrientationMaskPortraitUpsideDown |
    UIInterfaceOrientationMaskLandscape;  // 30
inline constexpr UIInterfaceOrientationMask UIInterfaceOrientationMaskAllButUpsideDown =
    UIInterfaceOrientationMaskPortrait | UIInterfaceOrientationMaskLandscape;

// How a presented controller covers its presenter: full screen, or (on a
// tablet) a 540 x 620 sheet centred over the dimmed presenter.
enum UIModalPresentationStyle : long {
    UIModalPresentationFullScreen = 0,
    UIModalPresentationPageSheet = 1,
    UIModalPresentationFormSheet = 2,
    UIModalPresentationCurrentContext = 3,
};

// How a presented controller comes on screen (recorded: the stand-in shows
// every presentation the same way).
enum UIModalTransitionStyle : long {
    UIModalTransitionStyleCoverVertical = 0,
    UIModalTransitionStyleFlipHorizontal = 1,
    UIModalTransitionStyleCrossDissolve = 2,
    UIModalTransitionStylePartialCurl = 3,
};

class UIStoryboard;
class UIWindow;
class UIViewControllerTransitioningDelegate;
class UIViewControllerAnimatedTransitioning;

class UIViewController : public UIResponder {
public:
    using Completion = std::function<void()>;

    UIViewController();
    ~UIViewController() override;

    // The root view: loaded on first use (loadView, then viewDidLoad).
    std::shared_ptr<UIView> view();
    bool isViewLoaded() const { return static_cast<bool>(view_); }
    void setView(std::shared_ptr<UIView> view);
    // A plain view by default; a controller made by a storyboard builds its
    // scene's views with the scene's view factory (outlets connected weakly).
    virtual void loadView();
    using ViewFactory = std::function<std::shared_ptr<UIView>(UIViewController& owner)>;
    void setViewFactory(ViewFactory factory) { viewFactory_ = std::move(factory); }
    // The storyboard this controller was made from (null for one made in code).
    std::shared_ptr<UIStoryboard> storyboard() const { return storyboard_; }
    void setStoryboard(std::shared_ptr<UIStoryboard> storyboard) { storyboard_ = std::move(storyboard); }
    virtual void viewDidLoad() {}

    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}

    // The status bar this controller asks for; setNeedsStatusBarAppearanceUpdate
    // applies them to the application when the controller is its key window's
    // root (and counts the requests either way).
    virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyleDefault; }
    virtual bool prefersStatusBarHidden() const { return false; }
    void setNeedsStatusBarAppearanceUpdate();
    std::size_t statusBarAppearanceUpdateCount() const { return statusBarUpdates_; }

    // Rotation. The answers of a controller that does not answer for itself come
    // from the installed policy (UIRotationPolicy), else the platform's own:
    // rotation allowed, all orientations but upside-down.
    virtual UIInterfaceOrientationMask supportedInterfaceOrientations() const;
    virtual bool shouldAutorotate() const;
    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const;
    // Told around a rotation of the interface, will before did, when the
    // interface turns with the device (UIInterfaceRotation.h): the root and the
    // visible controllers below it and presented from them.
    virtual void willRotateToInterfaceOrientation(UIInterfaceOrientation /*orientation*/, double /*duration*/) {}
    virtual void didRotateFromInterfaceOrientation(UIInterfaceOrientation /*fromOrientation*/) {}
    // The application received a memory warning (UIApplication::receiveMemoryWarning).
    virtual void didReceiveMemoryWarning() {}

    UIModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle style) { modalPresentationStyle_ = style; }
    UIModalTransitionStyle modalTransitionStyle() const { return modalTransitionStyle_; }
    void setModalTransitionStyle(UIModalTransitionStyle style) { modalTransitionStyle_ = style; }

    // Gives the animation (and interaction) controllers of this controller's
    // animated presentation and dismissal (UIViewControllerTransitioning.h). Weak.
    std::shared_ptr<UIViewControllerTransitioningDelegate> transitioningDelegate() const {
        return transitioningDelegate_.lock();
    }
    void setTransitioningDelegate(const std::shared_ptr<UIViewControllerTransitioningDelegate>& delegate) {
        transitioningDelegate_ = delegate;
    }

    const std::string& title() const { return title_; }
    // Also the tab item's title when there is one, and the navigation bar's.
    void setTitle(const std::string& title);

    // Appearance callbacks, forwarded to the children on view (see
    // childViewControllersForAppearance). Repeated calls in one direction are ignored.
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    bool isViewVisible() const { return appearance_ == Appearance::Appeared; }

    // Containment.
    std::shared_ptr<UIViewController> parentViewController() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<UIViewController>>& childViewControllers() const { return children_; }
    void addChildViewController(const std::shared_ptr<UIViewController>& child);
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const std::shared_ptr<UIViewController>& /*parent*/) {}
    virtual void didMoveToParentViewController(const std::shared_ptr<UIViewController>& /*parent*/) {}
    // The nearest container of that kind among this controller and its parents.
    std::shared_ptr<UINavigationController> navigationController() const;
    std::shared_ptr<UITabBarController> tabBarController() const;

    // The item that stands for this controller in a tab bar (created on first use).
    std::shared_ptr<UITabBarItem> tabBarItem();
    void setTabBarItem(std::shared_ptr<UITabBarItem> item) { tabBarItem_ = std::move(item); }

    // Modal presentation. A controller presents one controller at a time: asking
    // one that (or whose parent) already presents is refused with a console line,
    // as is presenting a controller that is already presented or is a child.
    void presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                               Completion completion = {});
    // Ends the presentation this controller makes, or else the one it (or its
    // parent) is shown in; controllers presented above are dismissed with it.
    // Asked while that presentation is still animating in, it runs once it has.
    void dismissViewControllerAnimated(bool animated, Completion completion = {});
    // What this controller, or the nearest parent that presents, presents.
    std::shared_ptr<UIViewController> presentedViewController() const;
    // The controller that presented this one (or its nearest presented parent).
    std::shared_ptr<UIViewController> presentingViewController() const;
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // Sheets. A controller whose style is the form or page sheet, presented on
    // a tablet (UIDevice idiom pad), shows its view kFormSheetSize large,
    // centred in the window, over a dimming view (UIDimmingView: black, alpha
    // 0.4, taps do nothing) that covers the whole window; the presenter stays
    // on view below and gets no appearance callbacks. On a phone every style
    // presents full screen. Dismissal takes the dimming view away. A sheet
    // adds no gesture recogniser to anything.
    static constexpr CGSize kFormSheetSize{540, 620};
    // The sheet's frame in a window of these bounds: centred, whole points.
    static CGRect formSheetFrameInBounds(CGRect bounds);
    // Whether this controller is presented as a sheet now.
    bool isPresentedAsSheet() const { return static_cast<bool>(dimmingView_); }
    // The sheet's dimming view while it is presented as one (else null).
    const std::shared_ptr<UIView>& presentationDimmingView() const { return dimmingView_; }
    // Places the presented view (and its dimming view) for the window's
    // bounds: a sheet centred, anything else filling the window.
    void layoutPresentationInWindow(const UIWindow& window);

    // The presenting controller, else the root view's superview, else the parent.
    std::shared_ptr<UIResponder> nextResponder() const override;

    // Sizes a container (a popover) gives the controller's view. Both are
    // announced to key-value observers under their names ("preferredContentSize",
    // "contentSizeForViewInPopover") on every set; after each set the content-size
    // hooks run (UIViewControllerContentSize.cpp). preferredContentSize exists
    // from system 7.0 (respondsToPreferredContentSize answers the switch).
    CGSize preferredContentSize() const { return preferredContentSize_; }
    void setPreferredContentSize(CGSize size);
    bool respondsToPreferredContentSize() const;
    CGSize contentSizeForViewInPopover() const { return contentSizeForViewInPopover_; }
    void setContentSizeForViewInPopover(CGSize size);
    // Hooks run after the platform's own setter, in the order added; installed
    // once at start-up by the extensions that need them.
    using ContentSizeHook = std::function<void(UIViewController&, CGSize)>;
    static void addPreferredContentSizeHook(ContentSizeHook hook);
    static void addContentSizeForViewInPopoverHook(ContentSizeHook hook);
    // A modal controller keeps a popover open against outside taps.
    bool isModalInPopover() const { return modalInPopover_; }
    void setModalInPopover(bool modal) { modalInPopover_ = modal; }
    // All edges by default; exists from system 7.0.
    UIRectEdge edgesForExtendedLayout() const { return edgesForExtendedLayout_; }
    void setEdgesForExtendedLayout(UIRectEdge edges) { edgesForExtendedLayout_ = edges; }
    bool respondsToEdgesForExtendedLayout() const;

protected:
    // The children whose appearance follows this controller's (all by default).
    virtual std::vector<std::shared_ptr<UIViewController>> childViewControllersForAppearance() const {
        return children_;
    }
    // Runs between loadView and viewDidLoad; containers put their content views in.
    virtual void containerViewDidLoad() {}
    // Replaces the content view of a container: the old child's view leaves this
    // controller's view and the new child's fills its bounds (when the view is
    // loaded), following them as they change size.
    void swapContentView(const std::shared_ptr<UIViewController>& oldChild,
                         const std::shared_ptr<UIViewController>& newChild);
    // Puts the children in the order of `order` (children not in it follow).
    void orderChildren(const std::vector<std::shared_ptr<UIViewController>>& order);
    // Runs the end of a transition now, or on the next main-loop pass when animated.
    static void finishTransition(bool animated, std::function<void()> finish);

private:
    friend class UIInterfaceRotation;
    // Whether presenting the controller now makes a sheet of it.
    static bool presentsAsSheet(const UIViewController& controller);
    ViewFactory viewFactory_;
    std::shared_ptr<UIStoryboard> storyboard_;
    UIModalPresentationStyle modalPresentationStyle_ = UIModalPresentationFullScreen;
    UIModalTransitionStyle modalTransitionStyle_ = UIModalTransitionStyleCoverVertical;
    CGSize preferredContentSize_{};
    CGSize contentSizeForViewInPopover_{};
    bool modalInPopover_ = false;
    UIRectEdge edgesForExtendedLayout_ = UIRectEdgeAll;
    std::size_t statusBarUpdates_ = 0;
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    std::shared_ptr<UIViewController> presentationRoot();
    void dismissPresentationOf(const std::shared_ptr<UIViewController>& host, bool animated, Completion completion);
    // Custom transitions (UIViewControllerTransition.cpp); false when the
    // transitioning delegate gives no animation controller.
    bool presentWithTransition(const std::shared_ptr<UIViewController>& controller, Completion& completion);
    bool dismissWithTransition(const std::shared_ptr<UIViewController>& host,
                               const std::vector<std::shared_ptr<UIViewController>>& chain, Completion& completion);
    std::weak_ptr<UIViewControllerTransitioningDelegate> transitioningDelegate_;

    std::shared_ptr<UIView> view_;
    std::string title_;
    Appearance appearance_ = Appearance::Disappeared;
    bool appearanceAnimated_ = false;
    std::weak_ptr<UIViewController> parent_;
    std::vector<std::shared_ptr<UIViewController>> children_;
    std::shared_ptr<UITabBarItem> tabBarItem_;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    std::shared_ptr<UIView> dimmingView_;  // while presented as a sheet
    std::weak_ptr<UIViewController> coveredRoot_;  // what this presentation hid
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
};
