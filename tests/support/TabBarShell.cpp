#include "support/TabBarShell.h"

#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarItem.h"

namespace testsupport {

std::shared_ptr<UITabBarItem> TabBarShell::downloadsItem() const {
    const auto& items = tabBar->tabBar()->items();
    return items.size() > static_cast<std::size_t>(kDownloadsTab) ? items[kDownloadsTab] : nullptr;
}

TabBarShell installTabBarShell(const std::shared_ptr<UIApplicationDelegate>& delegate) {
    TabBarShell shell;
    shell.window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
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
    shell.window->makeKeyAndVisible();
    if (delegate) delegate->setWindow(shell.window);
    return shell;
}

}  // namespace testsupport
