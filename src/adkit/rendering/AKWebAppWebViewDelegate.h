#pragma once
// The delegate of a full-screen web-app view (an interstitial or an expanded
// rich-media ad). It presents from the host controller of a transparent
// interstitial, stamps the landing page's load start (once) and end in the
// slot's ad statistics, and sends "onshow" to the page at most once, after
// both the show request (setPendingOnShow) and the page load; a two-piece
// expandable (the expanded part is a second page) also hears
// "onReadyEventReceived". Main thread only; the controller is held weakly.
#include <memory>

#include "adkit/rendering/AKWebViewDelegate.h"

class AKWebAppViewController;

class AKWebAppWebViewDelegate : public AKWebViewDelegate {
public:
    // initWithWebAppViewController:
    explicit AKWebAppWebViewDelegate(const std::shared_ptr<AKWebAppViewController>& controller);

    std::shared_ptr<AKWebAppViewController> webAppViewController() const { return controller_.lock(); }
    bool isTwoPieceExpandable() const;
    void postOnShowEvent();
    void setPendingOnShow(bool pending);
    bool pendingOnShow() const { return pendingOnShow_; }
    bool calledOnShow() const { return calledOnShow_; }

    void webViewDidStartLoad(AKWebView& webView) override;
    void webViewDidFinishLoad(AKWebView& webView) override;

protected:
    std::shared_ptr<UIViewController> viewControllerForPresentingFromWebView(AKWebView& webView) override;

private:
    std::weak_ptr<AKWebAppViewController> controller_;
    bool pendingOnShow_ = false;
    bool calledOnShow_ = false;
};
