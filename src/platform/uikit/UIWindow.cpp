#include "platform/uikit/UIWindow.h"

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIViewController.h"

UIWindow::UIWindow(CGRect frame) : UIView(frame) { setHidden(true); }

UIWindow::~UIWindow() = default;

void UIWindow::setRootViewController(std::shared_ptr<UIViewController> controller) {
    if (controller == rootViewController_) return;
    auto old = rootViewController_;
    bool visible = isVisible();
    if (old) {
        if (visible) old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded() && old->view()->superview().get() == this) old->view()->removeFromSuperview();
    }
    rootViewController_ = std::move(controller);
    if (rootViewController_) {
        auto v = rootViewController_->view();
        v->setFrame(bounds());
        insertSubview(v, 0);
        if (visible) rootViewController_->beginAppearanceTransition(true, false);
    }
    if (visible) {
        if (old) old->endAppearanceTransition();
        if (rootViewController_) rootViewController_->endAppearanceTransition();
    }
}

void UIWindow::makeKeyAndVisible() {
    bool wasHidden = isHidden();
    setHidden(false);
    makeKeyWindow();
    if (wasHidden && rootViewController_) {
        rootViewController_->beginAppearanceTransition(true, false);
        rootViewController_->endAppearanceTransition();
    }
}

void UIWindow::makeKeyWindow() { UIApplication::sharedApplication()->setKeyWindow(self<UIWindow>()); }

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication()->keyWindow().get() == this; }

std::shared_ptr<UIWindow> UIWindow::window() const {
    return std::const_pointer_cast<UIWindow>(self<UIWindow>());
}

std::shared_ptr<UIResponder> UIWindow::nextResponder() const { return UIApplication::sharedApplication(); }
