#include "adkit/rendering/AKBrowserWebView.h"

#include "adkit/rendering/AKBrowserViewController.h"

std::shared_ptr<AKBrowserWebView> AKBrowserWebView::make(CGRect frame) {
    auto view = std::make_shared<AKBrowserWebView>(frame);
    view->setUp();
    return view;
}

void AKBrowserWebView::setViewController(const std::shared_ptr<UIViewController>& controller) {
    if (std::dynamic_pointer_cast<AKBrowserViewController>(controller)) AKWebView::setViewController(controller);
}

std::shared_ptr<AKBrowserViewController> AKBrowserWebView::browserViewController() const {
    return std::dynamic_pointer_cast<AKBrowserViewController>(viewController());
}
