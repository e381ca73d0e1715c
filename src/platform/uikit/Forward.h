#pragma once
// The UIKit stand-in's classes, for headers that only pass pointers.
#include <memory>

class UIResponder;
class UIView;
class UIWindow;
class UIViewController;
class UINavigationController;
class UITabBarController;
class UITabBar;
class UITabBarItem;
class UIApplication;
class UIApplicationDelegate;
class UIAlertView;
class UIAlertViewDelegate;

using UIViewPtr = std::shared_ptr<UIView>;
using UIViewControllerPtr = std::shared_ptr<UIViewController>;
