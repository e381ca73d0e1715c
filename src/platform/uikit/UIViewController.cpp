#include "platform/uikit/UIViewController.h"

#include <algorithm>

#include "platform/dispatch/Dispatch.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

UIViewController::UIViewController() = default;

UIViewController::~UIViewController() = default;

std::shared_ptr<UIView> UIViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) setView(std::make_shared<UIView>());
        containerViewDidLoad();
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_ && view_->viewController_.lock().get() == this) view_->viewController_.reset();
    view_ = std::move(view);
    if (view_) view_->viewController_ = weakSelf<UIViewController>();
}

void UIViewController::loadView() {
    if (viewFactory_) {
        auto factory = viewFactory_;
        setView(factory(*this));
        return;
    }
    setView(std::make_shared<UIView>());
}

UIInterfaceOrientationMask UIViewController::supportedInterfaceOrientations() const {
    if (auto& policy = UIRotationPolicy::installed(); policy.supportedInterfaceOrientations)
        return policy.supportedInterfaceOrientations(*this);
    return UIInterfaceOrientationMaskAllButUpsideDown;
}

bool UIViewController::shouldAutorotate() const {
    if (auto& policy = UIRotationPolicy::installed(); policy.shouldAutorotate) return policy.shouldAutorotate(*this);
    return true;
}

bool UIViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const {
    if (auto& policy = UIRotationPolicy::installed(); policy.shouldAutorotateToInterfaceOrientation)
        return policy.shouldAutorotateToInterfaceOrientation(*this, orientation);
    return orientation != UIInterfaceOrientationPortraitUpsideDown;
}

void UIViewController::setNeedsStatusBarAppearanceUpdate() {
    ++statusBarUpdates_;
    auto app = UIApplication::sharedApplication();
    auto key = app->keyWindow();
    if (!key || key->rootViewController().get() != this) return;
    if (app->statusBarStyle() != preferredStatusBarStyle()) app->setStatusBarStyle(preferredStatusBarStyle());
    if (app->isStatusBarHidden() != prefersStatusBarHidden()) app->setStatusBarHidden(prefersStatusBarHidden());
}

void UIViewController::setTitle(const std::string& title) {
    title_ = title;
    if (tabBarItem_) tabBarItem_->setTitle(title);
    if (auto nav = std::dynamic_pointer_cast<UINavigationController>(parent_.lock())) nav->updateNavigationBarItems();
}

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    auto keep = self<UIViewController>();
    if (isAppearing) {
        if (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing) return;
        view();
        appearance_ = Appearance::Appearing;
        appearanceAnimated_ = animated;
        viewWillAppear(animated);
    } else {
        if (appearance_ == Appearance::Disappeared || appearance_ == Appearance::Disappearing) return;
        appearance_ = Appearance::Disappearing;
        appearanceAnimated_ = animated;
        viewWillDisappear(animated);
    }
    for (auto& child : childViewControllersForAppearance()) child->beginAppearanceTransition(isAppearing, animated);
}

void UIViewController::endAppearanceTransition() {
    auto keep = self<UIViewController>();
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(appearanceAnimated_);
    } else {
        return;
    }
    for (auto& child : childViewControllersForAppearance()) child->endAppearanceTransition();
}

void UIViewController::addChildViewController(const std::shared_ptr<UIViewController>& child) {
    if (!child || child.get() == this) return;
    auto me = self<UIViewController>();
    if (child->parent_.lock() == me) return;
    if (child->parent_.lock()) child->removeFromParentViewController();
    child->willMoveToParentViewController(me);
    child->parent_ = me;
    children_.push_back(child);
}

void UIViewController::removeFromParentViewController() {
    auto parent = parent_.lock();
    if (!parent) return;
    auto keep = self<UIViewController>();
    std::erase(parent->children_, keep);
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

void UIViewController::orderChildren(const std::vector<std::shared_ptr<UIViewController>>& order) {
    std::vector<std::shared_ptr<UIViewController>> sorted;
    for (auto& c : order)
        if (std::find(children_.begin(), children_.end(), c) != children_.end() &&
            std::find(sorted.begin(), sorted.end(), c) == sorted.end())
            sorted.push_back(c);
    for (auto& c : children_)
        if (std::find(sorted.begin(), sorted.end(), c) == sorted.end()) sorted.push_back(c);
    children_ = std::move(sorted);
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
    for (auto vc = std::const_pointer_cast<UIViewController>(self<UIViewController>()); vc; vc = vc->parent_.lock())
        if (auto nav = std::dynamic_pointer_cast<UINavigationController>(vc)) return nav;
    return nullptr;
}

std::shared_ptr<UITabBarController> UIViewController::tabBarController() const {
    for (auto vc = std::const_pointer_cast<UIViewController>(self<UIViewController>()); vc; vc = vc->parent_.lock())
        if (auto tab = std::dynamic_pointer_cast<UITabBarController>(vc)) return tab;
    return nullptr;
}

std::shared_ptr<UITabBarItem> UIViewController::tabBarItem() {
    if (!tabBarItem_) {
        tabBarItem_ = std::make_shared<UITabBarItem>();
        tabBarItem_->setTitle(title_);
    }
    return tabBarItem_;
}

std::shared_ptr<UIViewController> UIViewController::presentedViewController() const {
    for (auto vc = std::const_pointer_cast<UIViewController>(self<UIViewController>()); vc; vc = vc->parent_.lock())
        if (vc->presented_) return vc->presented_;
    return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
    for (auto vc = std::const_pointer_cast<UIViewController>(self<UIViewController>()); vc; vc = vc->parent_.lock())
        if (auto p = vc->presenting_.lock()) return p;
    return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentationRoot() {
    auto vc = self<UIViewController>();
    while (auto p = vc->parent_.lock()) vc = p;
    return vc;
}

void UIViewController::finishTransition(bool animated, std::function<void()> finish) {
    if (animated) dispatch_async(dispatch_get_main_queue(), std::move(finish));
    else finish();
}

std::shared_ptr<UIResponder> UIViewController::nextResponder() const {
    if (auto p = presenting_.lock()) return p;
    if (view_) {
        if (auto s = view_->superview()) return s;
    }
    return parent_.lock();
}

void UIViewController::swapContentView(const std::shared_ptr<UIViewController>& oldChild,
                                       const std::shared_ptr<UIViewController>& newChild) {
    if (!view_) return;
    if (oldChild && oldChild != newChild && oldChild->isViewLoaded() &&
        oldChild->view_->superview() == view_)
        oldChild->view_->removeFromSuperview();
    if (newChild) {
        auto v = newChild->view();
        v->setFrame(view_->bounds());
        v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        if (v->superview() != view_) view_->insertSubview(v, 0);
    }
}
