#include "adkit/rendering/AKAdNetworkJavasSciptWebViewDelegate.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKSlot.h"
#include "platform/foundation/NSURL.h"

AKAdNetworkJavasSciptWebViewDelegate::AKAdNetworkJavasSciptWebViewDelegate(const std::shared_ptr<AKSlot>& slot,
                                                                           std::optional<std::string> passbackURL)
    : AKBannerWebViewDelegate(slot), passbackURL_(std::move(passbackURL)) {}

std::shared_ptr<AKAdNetworkJavasSciptWebViewDelegate> AKAdNetworkJavasSciptWebViewDelegate::loadAdHTML(
    const std::shared_ptr<AKSlot>& slot, const std::string& html, const std::string& baseURL,
    std::optional<std::string> passbackURL) {
    if (!slot) return nullptr;
    if (html.empty()) {
        slot->failWithError(AKRequestError::errorWithCode(2, slot->currentRequest(), 0, "Empty ad HTML."), true,
                            true);
        return nullptr;
    }
    auto delegate = std::make_shared<AKAdNetworkJavasSciptWebViewDelegate>(slot, std::move(passbackURL));
    if (auto webView = slot->webView()) {
        webView->setDelegate(delegate);
        webView->loadHTMLString(html, baseURL);
    }
    return delegate;
}

bool AKAdNetworkJavasSciptWebViewDelegate::isPassbackRequest(const std::shared_ptr<NSURLRequest>& request) const {
    const NSURLPtr url = request ? NSURL::URLWithString(request->URL()) : nullptr;
    if (!url) return false;
    const NSURLPtr passback = passbackURL_ ? NSURL::URLWithString(*passbackURL_) : nullptr;
    return ak_isPassbackURL(*url, passback.get());
}

bool AKAdNetworkJavasSciptWebViewDelegate::shouldStartLoadWithRequest(AKWebView& webView,
                                                                      const std::shared_ptr<NSURLRequest>& request,
                                                                      UIWebViewNavigationType navigationType) {
    if (!request || !NSURL::URLWithString(request->URL())) return false;
    if (!isPassbackRequest(request))
        return AKBannerWebViewDelegate::shouldStartLoadWithRequest(webView, request, navigationType);
    wasPassbackReceived_ = true;
    stopRenderingTimer();
    if (auto slot = this->slot())
        slot->failWithError(
            AKRequestError::errorWithCode(1, slot->currentRequest(), 0, std::string("Passback URL received.")),
            true, true);
    return false;
}

void AKAdNetworkJavasSciptWebViewDelegate::webViewDidFinishLoad(AKWebView& webView) {
    // The banner's step waits for the content to render.
    if (renderingCheckHasStarted_ || wasPassbackReceived_) return;
    renderingCheckHasStarted_ = true;
    if (auto slot = this->slot()) slot->willLoadAdHTMLInWebView();
    startRenderingTimerForWebView(webView.self<AKWebView>());
}

void AKAdNetworkJavasSciptWebViewDelegate::startRenderingTimerForWebView(const std::shared_ptr<AKWebView>& webView) {
    auto checker = std::make_shared<AKWebViewRenderedChecker>();
    checker->setWebView(webView);
    checker->setDelegate(self<AKAdNetworkJavasSciptWebViewDelegate>());
    renderCheck_.start(std::move(checker), kRenderCheckInterval);
}

void AKAdNetworkJavasSciptWebViewDelegate::stopRenderingTimer() { renderCheck_.stop(); }

void AKAdNetworkJavasSciptWebViewDelegate::webViewDidRenderContent(AKWebView& webView) {
    auto keep = self<AKAdNetworkJavasSciptWebViewDelegate>();  // stopping drops the checker calling here
    stopRenderingTimer();
    AKBannerWebViewDelegate::webViewDidFinishLoad(webView);
}

void AKAdNetworkJavasSciptWebViewDelegate::webViewDidFailToRenderContent(AKWebView& webView) {
    if (++checkRenderingCount_ <= kMaximumFailedChecks) return;
    auto keep = self<AKAdNetworkJavasSciptWebViewDelegate>();
    stopRenderingTimer();
    auto error = AKRequestError::errorWithCode(1, std::string("Ad check timed out."));
    didFailLoadWithError(webView, *error);
}
