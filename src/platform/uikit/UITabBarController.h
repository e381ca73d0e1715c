#pragma once
// Tabs of view controllers: one selected child on view, and a tab bar whose
// items are the children's tab bar items, in order. The controller is its tab
// bar's delegate: a tap on an item shows that tab.
#include <climits>
#include <memory>
#include <vector>

#include "platform/uikit/UIViewController.h"

#include "platform/uikit/UITabBar.h"

class UITabBarController : public UIViewController, public UITabBarDelegate {
public:
    using ControllerList = std::vector<std::shared_ptr<UIViewController>>;
    static constexpr long NotFound = LONG_MAX;  // the selected index when there is no tab

    UITabBarController();
    ~UITabBarController() override;

    const ControllerList& viewControllers() const { return childViewControllers(); }
    // Replaces the tabs; the selection stays on the same controller when it is
    // still there, else on the first tab.
    void setViewControllers(const ControllerList& controllers, bool animated = false);

    long selectedIndex() const;
    void setSelectedIndex(long index);  // out of range is ignored
    std::shared_ptr<UIViewController> selectedViewController() const { return selected_.lock(); }
    void setSelectedViewController(const std::shared_ptr<UIViewController>& controller);  // only one of the tabs

    std::shared_ptr<UITabBar> tabBar() const { return tabBar_; }

    // UITabBarDelegate.
    void didSelectItem(UITabBar& tabBar, const std::shared_ptr<UITabBarItem>& item) override;

protected:
    std::vector<std::shared_ptr<UIViewController>> childViewControllersForAppearance() const override;
    void containerViewDidLoad() override;

private:
    void select(const std::shared_ptr<UIViewController>& controller, bool animated);
    std::shared_ptr<UITabBar> tabBar_;
    std::weak_ptr<UIViewController> selected_;
};
