#pragma once
// The root the screens install: a tab-bar controller whose tabs are navigation
// controllers (movies, TV shows, search, downloads at index 3, favourites), in a
// visible window that the application delegate owns.
#include <memory>
#include <vector>

#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UIWindow.h"

class UIApplicationDelegate;

namespace testsupport {

class ShellTabBarController : public UITabBarController {};

struct TabBarShell {
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<ShellTabBarController> tabBar;
    std::vector<std::shared_ptr<UINavigationController>> navigations;
    std::vector<std::shared_ptr<UIViewController>> screens;  // each navigation's root

    static constexpr long kDownloadsTab = 3;
    std::shared_ptr<UITabBarItem> downloadsItem() const;
};

// Builds the shell in a window of the frame (a phone's unless given), makes the
// window key and visible and gives it to the delegate.
TabBarShell installTabBarShell(const std::shared_ptr<UIApplicationDelegate>& delegate,
                               CGRect frame = CGRectMake(0, 0, 320, 568));

}  // namespace testsupport
