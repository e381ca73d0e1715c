#pragma once
// The ad web view of the in-app browser: its view controller is always a
// browser controller (any other controller is ignored and the old one stays).
// Main thread only.
#include <memory>

#include "adkit/rendering/AKWebView.h"

class AKBrowserViewController;

class AKBrowserWebView : public AKWebView {
public:
    static std::shared_ptr<AKBrowserWebView> make(CGRect frame);
    using AKWebView::AKWebView;

    void setViewController(const std::shared_ptr<UIViewController>& controller) override;
    // The view controller when it is a browser controller, else null.
    std::shared_ptr<AKBrowserViewController> browserViewController() const;
};
