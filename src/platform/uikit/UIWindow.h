#pragma once
// The top of a view tree. A window is hidden until made visible; its root view
// controller's view fills it.
#include <memory>

#include "platform/uikit/UIView.h"

class UIViewController;

class UIWindow : public UIView {
public:
    explicit UIWindow(CGRect frame = CGRectZero);
    ~UIWindow() override;

    std::shared_ptr<UIViewController> rootViewController() const { return rootViewController_; }
    // Replaces the root: the old root's view leaves the window and the new one's
    // fills it; on a visible window the roots get their appearance callbacks.
    void setRootViewController(std::shared_ptr<UIViewController> controller);

    // Shows the window and makes it the application's key window.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    bool isVisible() const { return !isHidden(); }

    std::shared_ptr<UIWindow> window() const override;
    // The application follows the window in the responder chain.
    std::shared_ptr<UIResponder> nextResponder() const override;

private:
    std::shared_ptr<UIViewController> rootViewController_;
};
