#pragma once
// The delegate of the in-app browser's web view. While the web view belongs to
// a browser controller, link clicks and form submissions count in the slot's
// ad statistics ("plpnc" for http, "plpsnc" for https), the landing page's
// load start (once) and end are stamped, and the controller refreshes its
// toolbar after every load event. Main thread only.
#include <memory>

#include "adkit/rendering/AKWebViewDelegate.h"

class AKBrowserViewController;

class AKBrowserWebViewDelegate : public AKWebViewDelegate {
public:
    // The web view's browser controller when it is a browser web view, else null.
    static std::shared_ptr<AKBrowserViewController> browserControllerForWebView(AKWebView& webView);

    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(AKWebView& webView) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override;
};
