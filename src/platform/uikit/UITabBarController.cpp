#include "platform/uikit/UITabBarController.h"

#include <algorithm>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIView.h"

UITabBarController::UITabBarController() : tabBar_(std::make_shared<UITabBar>(CGRectMake(0, 0, 0, UITabBar::kHeight))) {}

UITabBarController::~UITabBarController() = default;

void UITabBarController::setViewControllers(const ControllerList& controllers, bool animated) {
    auto me = self<UIViewController>();
    auto previous = selected_.lock();
    for (auto& child : ControllerList(childViewControllers())) {
        if (std::find(controllers.begin(), controllers.end(), child) != controllers.end()) continue;
        child->willMoveToParentViewController(nullptr);
        child->removeFromParentViewController();
    }
    for (auto& c : controllers) {
        if (!c || c->parentViewController() == me) continue;
        if (c->parentViewController() || c->presentingViewController() || c.get() == this) {
            NSLog("UITabBarController: %@ is already shown elsewhere and is not added as a tab", c);
            continue;
        }
        addChildViewController(c);
        c->didMoveToParentViewController(me);
    }
    orderChildren(controllers);

    std::vector<std::shared_ptr<UITabBarItem>> items;
    for (auto& c : childViewControllers()) items.push_back(c->tabBarItem());
    tabBar_->setDelegate(std::static_pointer_cast<UITabBarController>(me));
    tabBar_->setItems(std::move(items));

    const auto& list = childViewControllers();
    if (previous && std::find(list.begin(), list.end(), previous) != list.end()) {
        tabBar_->setSelectedItem(previous->tabBarItem());
        return;
    }
    selected_.reset();
    if (previous && isViewVisible()) {
        previous->beginAppearanceTransition(false, animated);
        previous->endAppearanceTransition();
    }
    if (previous && previous->isViewLoaded() && isViewLoaded() && previous->view()->superview() == view()) previous->view()->removeFromSuperview();
    select(list.empty() ? nullptr : list.front(), animated);
}

long UITabBarController::selectedIndex() const {
    auto sel = selected_.lock();
    const auto& list = childViewControllers();
    auto it = std::find(list.begin(), list.end(), sel);
    if (!sel || it == list.end()) return NotFound;
    return static_cast<long>(it - list.begin());
}

void UITabBarController::setSelectedIndex(long index) {
    const auto& list = childViewControllers();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
    select(list[static_cast<std::size_t>(index)], false);
}

void UITabBarController::setSelectedViewController(const std::shared_ptr<UIViewController>& controller) {
    const auto& list = childViewControllers();
    if (std::find(list.begin(), list.end(), controller) == list.end()) return;
    select(controller, false);
}

void UITabBarController::select(const std::shared_ptr<UIViewController>& controller, bool animated) {
    auto old = selected_.lock();
    if (old == controller) return;
    bool visible = isViewVisible();
    if (visible && old) old->beginAppearanceTransition(false, animated);
    selected_ = controller;
    tabBar_->setSelectedItem(controller ? controller->tabBarItem() : nullptr);
    if (visible && controller) controller->beginAppearanceTransition(true, animated);
    swapContentView(old, controller);
    if (isViewLoaded()) view()->bringSubviewToFront(tabBar_);
    if (!visible) return;
    finishTransition(animated, [old, controller] {
        if (old) old->endAppearanceTransition();
        if (controller) controller->endAppearanceTransition();
    });
}

std::vector<std::shared_ptr<UIViewController>> UITabBarController::childViewControllersForAppearance() const {
    if (auto sel = selected_.lock()) return {sel};
    return {};
}

void UITabBarController::containerViewDidLoad() {
    tabBar_->setDelegate(self<UITabBarController>());
    swapContentView(nullptr, selected_.lock());
    auto v = view();
    CGRect b = v->bounds();
    tabBar_->setFrame(CGRectMake(0, b.size.height - UITabBar::kHeight, b.size.width, UITabBar::kHeight));
    tabBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    v->addSubview(tabBar_);
}

void UITabBarController::didSelectItem(UITabBar&, const std::shared_ptr<UITabBarItem>& item) {
    for (auto& c : childViewControllers())
        if (c->tabBarItem() == item) return select(c, false);
}
