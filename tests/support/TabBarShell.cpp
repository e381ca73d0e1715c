// Protects the screen tests' root: the tab-bar controller of navigation controllers in a visible window owned by the delegate.
#include "support/TabBarShell.h"

#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarItem.h"

namespace testsupport {

std::shared_ptr<UITabBarItem> TabBarShell::downloadsItem() const {
    const auto& items = tabBar->tabBar()->items();
    return items.size() > static_cast<std::size_t>(kDownloadsTab) ? items[kDownloadsTab] : nullptr;
}

TabBarShell installTabBarShell(const std::shared_ptr<UIApplicationDelegate>& delegate, CGRect frame) {
    TabBarShell shell;
    shell.window = std::make_shared<UIWindow>(frame);
    shell.tabBar = std::make_shared<ShellTabBarController>();
    UITabBarController::ControllerList tabs;
    for (const char* title : {"Movies", "TV Shows", "Search", "Downloads", "Favorites"}) {
        auto screen = std::make_shared<UIViewController>();
        screen->setTitle(title);
        auto navigation = UINavigationController::initWithRootViewController(screen);
        navigation->tabBarItem()->setTitle(title);
        shell.screens.push_back(screen);
        shell.navigations.push_back(navigation);
        tabs.push_back(navigation);
    }
    shell.tabBar->setViewControllers(tabs);
    shell.window->setRootViewController(shell.tabBar);
    // The tabs' content sits above the 49-point tab bar and follows the window's size.
    const UIViewAutoresizing fill = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
    const CGRect content = CGRectMake(0, 0, frame.size.width, frame.size.height - 49);
    for (std::size_t i = 0; i < shell.navigations.size(); ++i) {
        for (const auto& view : {shell.navigations[i]->view(), shell.screens[i]->view()}) {
            view->setFrame(content);
            view->setAutoresizingMask(fill);
        }
    }
    shell.tabBar->tabBar()->setFrame(CGRectMake(0, content.size.height, frame.size.width, 49));
    shell.tabBar->tabBar()->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    shell.window->makeKeyAndVisible();
    if (delegate) delegate->setWindow(shell.window);
    return shell;
}

}  // namespace testsupport
