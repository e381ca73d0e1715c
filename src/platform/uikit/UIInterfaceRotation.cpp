#include "platform/uikit/UIInterfaceRotation.h"

#include <algorithm>
#include <functional>

#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSThread.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UISystemVersion.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

namespace {

using ControllerList = std::vector<std::shared_ptr<UIViewController>>;

void addOnce(ControllerList& list, const std::shared_ptr<UIViewController>& vc) {
    if (vc && std::find(list.begin(), list.end(), vc) == list.end()) list.push_back(vc);
}

// The window's full-screen windows, by the screen's size before the turn.
bool fillsScreen(const UIWindow& window, CGSize screen) {
    const CGSize size = window.bounds().size;
    return (size.width == screen.width && size.height == screen.height) ||
           (size.width == screen.height && size.height == screen.width);
}

}  // namespace

UIInterfaceOrientation UIInterfaceRotation::interfaceOrientationForDevice(UIDeviceOrientation orientation) {
    // The device turned left shows the interface turned right, and back: the
    // numbers of the two enumerations agree for the four usable orientations.
    switch (orientation) {
    case UIDeviceOrientationPortrait: return UIInterfaceOrientationPortrait;
    case UIDeviceOrientationPortraitUpsideDown: return UIInterfaceOrientationPortraitUpsideDown;
    case UIDeviceOrientationLandscapeLeft: return UIInterfaceOrientationLandscapeRight;
    case UIDeviceOrientationLandscapeRight: return UIInterfaceOrientationLandscapeLeft;
    default: return UIInterfaceOrientationUnknown;
    }
}

CGRect UIInterfaceRotation::screenBoundsForInterfaceOrientation(UIInterfaceOrientation orientation) {
    CGRect bounds = CGRectStandardize(UIScreen::mainScreen()->portraitBounds());
    if (UIInterfaceOrientationIsLandscape(orientation)) std::swap(bounds.size.width, bounds.size.height);
    return bounds;
}

CGRect UIInterfaceRotation::interfaceRectForPortraitRect(CGRect r, CGSize portrait, UIInterfaceOrientation orientation) {
    const CGFloat W = portrait.width, H = portrait.height;
    switch (orientation) {
    case UIInterfaceOrientationPortraitUpsideDown:
        return CGRectMake(W - r.origin.x - r.size.width, H - r.origin.y - r.size.height, r.size.width, r.size.height);
    // Home button on the left: the interface's top is the portrait space's left edge.
    case UIInterfaceOrientationLandscapeLeft:
        return CGRectMake(H - r.origin.y - r.size.height, r.origin.x, r.size.height, r.size.width);
    case UIInterfaceOrientationLandscapeRight:
        return CGRectMake(r.origin.y, W - r.origin.x - r.size.width, r.size.height, r.size.width);
    default: return r;
    }
}

CGRect UIInterfaceRotation::interfaceRectForScreenRect(CGRect r, UIInterfaceOrientation orientation) {
    if (UIScreenBoundsFollowOrientation()) return r;
    return interfaceRectForPortraitRect(r, CGRectStandardize(UIScreen::mainScreen()->portraitBounds()).size,
                                        orientation);
}

void UIInterfaceRotation::deviceDidChangeOrientation(UIDeviceOrientation orientation) {
    const auto interface = interfaceOrientationForDevice(orientation);
    if (interface == UIInterfaceOrientationUnknown) return;
    if (!NSThread::isMainThread()) {
        dispatch_async(dispatch_get_main_queue(), [interface] { rotateToInterfaceOrientation(interface, true); });
        return;
    }
    rotateToInterfaceOrientation(interface, true);
}

ControllerList UIInterfaceRotation::visibleControllers(const std::shared_ptr<UIViewController>& root) {
    ControllerList out;
    // Depth first: a controller, its visible children, then what it presents.
    std::function<void(const std::shared_ptr<UIViewController>&)> visit = [&](const auto& vc) {
        if (!vc || std::find(out.begin(), out.end(), vc) != out.end()) return;
        out.push_back(vc);
        for (auto& child : vc->childViewControllersForAppearance()) visit(child);
        visit(vc->presented_);
    };
    visit(root);
    return out;
}

ControllerList UIInterfaceRotation::allControllers(const UIWindow& window) {
    ControllerList out;
    std::function<void(const std::shared_ptr<UIViewController>&)> visit = [&](const auto& vc) {
        if (!vc || std::find(out.begin(), out.end(), vc) != out.end()) return;
        out.push_back(vc);
        for (auto& child : vc->childViewControllers()) visit(child);
        visit(vc->presented_);
    };
    visit(window.rootViewController());
    return out;
}

bool UIInterfaceRotation::allows(UIViewController& root, UIInterfaceOrientation orientation) {
    ControllerList deciders;
    addOnce(deciders, root.self<UIViewController>());
    // The top controller presented anywhere in the window's hierarchy.
    std::shared_ptr<UIViewController> top;
    std::function<void(const std::shared_ptr<UIViewController>&)> findTop = [&](const auto& vc) {
        if (!vc) return;
        for (auto& child : vc->childViewControllers()) findTop(child);
        if (vc->presented_) {
            top = vc->presented_;
            findTop(vc->presented_);
        }
    };
    findTop(deciders.front());
    addOnce(deciders, top);
    const auto mask = UIInterfaceOrientationMask(1) << orientation;
    for (auto& vc : deciders) {
        if (!vc->shouldAutorotate()) return false;
        if (!(vc->supportedInterfaceOrientations() & mask)) return false;
        if (!vc->shouldAutorotateToInterfaceOrientation(orientation)) return false;
    }
    return true;
}

void UIInterfaceRotation::layoutWindow(UIWindow& window) {
    if (auto root = window.rootViewController(); root && root->isViewLoaded()) {
        auto view = root->view();
        if (view->superview().get() == &window) {
            view->setFrame(window.bounds());
            view->setNeedsLayout();
        }
    }
    for (auto& vc : allControllers(window))
        if (vc->presentingViewController()) vc->layoutPresentationInWindow(window);
    window.layoutIfNeeded();
}

bool UIInterfaceRotation::rotateToInterfaceOrientation(UIInterfaceOrientation orientation, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    if (orientation == UIInterfaceOrientationUnknown) return false;
    auto app = UIApplication::sharedApplication();
    const auto old = app->statusBarOrientation();
    if (orientation == old) return false;
    auto window = app->keyWindow();
    auto root = window ? window->rootViewController() : nullptr;
    if (!root || !allows(*root, orientation)) return false;

    const double duration = animated ? kDuration : 0;
    const auto told = visibleControllers(root);
    for (auto& vc : told) vc->willRotateToInterfaceOrientation(orientation, duration);

    const CGSize screenBefore = screenBoundsForInterfaceOrientation(old).size;
    app->setStatusBarOrientation(orientation, animated);
    const CGRect screen = screenBoundsForInterfaceOrientation(orientation);
    for (auto& w : UIWindow::allWindows()) {
        if (!fillsScreen(*w, screenBefore)) continue;
        w->setFrame(screen);
        layoutWindow(*w);
    }

    UIViewController::finishTransition(animated, [told, old] {
        for (auto& vc : told) vc->didRotateFromInterfaceOrientation(old);
    });
    return true;
}
