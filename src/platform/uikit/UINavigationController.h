#pragma once
// A stack of view controllers, the last one on view. Its children are the stack.
#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIViewController.h"

class UINavigationBar;

class UINavigationController : public UIViewController {
public:
    using ControllerList = std::vector<std::shared_ptr<UIViewController>>;

    UINavigationController() = default;
    static std::shared_ptr<UINavigationController> initWithRootViewController(
        const std::shared_ptr<UIViewController>& root);

    const ControllerList& viewControllers() const { return childViewControllers(); }
    // Replaces the whole stack; entries that cannot be pushed (null, repeated,
    // navigation controllers) are left out.
    void setViewControllers(const ControllerList& controllers, bool animated = false);

    // Pushing null, a navigation controller, a controller already in a stack or
    // one that is presented is refused with a console line.
    void pushViewController(const std::shared_ptr<UIViewController>& controller, bool animated);
    // The removed controller; null when only the root is left.
    std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
    // The removed controllers, bottom first.
    ControllerList popToRootViewControllerAnimated(bool animated);
    ControllerList popToViewController(const std::shared_ptr<UIViewController>& controller, bool animated);

    std::shared_ptr<UIViewController> topViewController() const;
    // What the top controller presents, else the top controller.
    std::shared_ptr<UIViewController> visibleViewController() const;

    // Hooks run before every push (for extensions that act on pushes); installed
    // once at start-up.
    using PushHook = std::function<void(UINavigationController&, const std::shared_ptr<UIViewController>&, bool)>;
    static void addPushHook(PushHook hook);

    // Hooks around push and set-view-controllers, in place of exchanging the
    // implementations: each runs with the operation's arguments and a call that
    // runs the platform's own operation (or the next hook around it; the hook
    // added last is the outermost). Installed once at start-up.
    using PushAroundHook = std::function<void(UINavigationController&, const std::shared_ptr<UIViewController>&,
                                              bool animated, const std::function<void()>& original)>;
    using SetViewControllersAroundHook = std::function<void(UINavigationController&, const ControllerList&,
                                                            bool animated, const std::function<void()>& original)>;
    static void addPushAroundHook(PushAroundHook hook);
    static void addSetViewControllersAroundHook(SetViewControllersAroundHook hook);

    // The bar over the top of the content (made with the controller; placed in
    // its view when that loads). It shows the top controller's title and a back
    // button titled with the controller below (which pops, animated); the
    // titles follow every change of the stack and of the controllers' titles.
    const std::shared_ptr<UINavigationBar>& navigationBar();
    // Brings the bar's titles up to date (a child's title changed).
    void updateNavigationBarItems();
    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated = false);

    // Each appearance (at will- and at did-appear, as the view may reach its
    // window between them) and rotation places the bar again: below the status
    // bar when the controller's view starts at the top of a window while the
    // status bar shows, else at the top of the view; as wide as the view.
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) override;

protected:
    std::vector<std::shared_ptr<UIViewController>> childViewControllersForAppearance() const override;
    void containerViewDidLoad() override;

private:
    void placeNavigationBar();
    void pushOwn(const std::shared_ptr<UIViewController>& controller, bool animated);
    void setViewControllersOwn(const ControllerList& controllers, bool animated);
    std::shared_ptr<UINavigationBar> navigationBar_;
    bool navigationBarHidden_ = false;
    bool canPush(const std::shared_ptr<UIViewController>& controller, bool log) const;
    // Removes the controllers above index `keep` and shows the new top.
    ControllerList popAbove(std::size_t keep, bool animated);
    void changeTop(const std::shared_ptr<UIViewController>& oldTop, const std::shared_ptr<UIViewController>& newTop,
                   bool animated, const ControllerList& removed);
};
