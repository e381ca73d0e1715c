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
class UIControl;
class UIButton;
class UIImageView;
class UILabel;
class UIScrollView;
class UIScrollViewDelegate;
class UIActivityIndicatorView;
class UIToolbar;
class UITouch;
class UIEvent;
class UIScreen;
class UIDevice;
class NSLayoutConstraint;
class UIGestureRecognizer;
class UITapGestureRecognizer;
class UINavigationBar;
class UIBarButtonItem;
class UIStoryboardSegue;
class UISegmentedControl;
class UISearchBar;
class UISearchBarDelegate;
class UITextView;
class UITextViewDelegate;
class UIKeyInput;
class UILongPressGestureRecognizer;
class UIPopoverController;
class UIPopoverControllerDelegate;
class UITabBarDelegate;
class UITabBarButton;
class UIDimmingView;
class UIInterfaceRotation;

using UIViewPtr = std::shared_ptr<UIView>;
using UIViewControllerPtr = std::shared_ptr<UIViewController>;
using UIWindowPtr = std::shared_ptr<UIWindow>;
using UIScrollViewPtr = std::shared_ptr<UIScrollView>;
using NSLayoutConstraintPtr = std::shared_ptr<NSLayoutConstraint>;
