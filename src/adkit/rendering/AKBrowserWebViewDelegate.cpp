#include "adkit/rendering/AKBrowserWebViewDelegate.h"

#include "adkit/rendering/AKBrowserViewController.h"
#include "adkit/rendering/AKBrowserWebView.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

std::shared_ptr<AKBrowserViewController> AKBrowserWebViewDelegate::browserControllerForWebView(AKWebView& webView) {
    auto* browserWebView = dynamic_cast<AKBrowserWebView*>(&webView);
    return browserWebView ? browserWebView->browserViewController() : nullptr;
}

bool AKBrowserWebViewDelegate::shouldStartLoadWithRequest(AKWebView& webView,
                                                          const std::shared_ptr<NSURLRequest>& request,
                                                          UIWebViewNavigationType navigationType) {
    auto browser = browserControllerForWebView(webView);
    const bool followed =
        navigationType == UIWebViewNavigationTypeLinkClicked || navigationType == UIWebViewNavigationTypeFormSubmitted;
    const NSURLPtr url = request ? NSURL::URLWithString(request->URL()) : nullptr;
    auto slot = browser ? browser->slot() : nullptr;
    if (slot && followed && url) {
        const std::string scheme = lowercaseString(url->scheme().value_or(""));
        if (scheme == "http") slot->incrementAdStatistic("plpnc");
        else if (scheme == "https") slot->incrementAdStatistic("plpsnc");
    }
    return AKWebViewDelegate::shouldStartLoadWithRequest(webView, request, navigationType);
}

void AKBrowserWebViewDelegate::webViewDidStartLoad(AKWebView& webView) {
    auto browser = browserControllerForWebView(webView);
    if (browser) stampAdStatistic(browser->slot(), "tlanding_page_load_start", true);
    AKWebViewDelegate::webViewDidStartLoad(webView);
    if (browser) browser->refreshToolbar();
}

void AKBrowserWebViewDelegate::webViewDidFinishLoad(AKWebView& webView) {
    auto browser = browserControllerForWebView(webView);
    if (browser) stampAdStatistic(browser->slot(), "tlanding_page_load_end", false);
    AKWebViewDelegate::webViewDidFinishLoad(webView);
    if (browser) browser->refreshToolbar();
}

void AKBrowserWebViewDelegate::didFailLoadWithError(AKWebView& webView, const NSError& error) {
    AKWebViewDelegate::didFailLoadWithError(webView, error);
    if (auto browser = browserControllerForWebView(webView)) browser->refreshToolbar();
}
