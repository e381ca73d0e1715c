#include "adkit/mediation/AKMWebViewRenderedChecker.h"

#include "adkit/rendering/AKWebViewRenderedChecker.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/webkit/UIWebView.h"

std::shared_ptr<AKMWebViewRenderedChecker> AKMWebViewRenderedChecker::initWithWebView(
    const std::shared_ptr<UIWebView>& webView, std::weak_ptr<AKMWebViewRenderedCheckerDelegate> delegate) {
    auto checker = std::make_shared<AKMWebViewRenderedChecker>();
    checker->setWebView(webView);
    checker->setDelegate(std::move(delegate));
    return checker;
}

double AKMWebViewRenderedChecker::percentOfImage(const std::shared_ptr<UIImage>& image, const CGColorRef& color) {
    return AKWebViewRenderedChecker::percentOfImage(image, color);
}

void AKMWebViewRenderedChecker::checkIsContentRenderedInWebView() {
    QV_ASSERT_MAIN_THREAD();
    auto webView = webView_.lock();
    auto delegate = delegate_.lock();
    if (!webView || !delegate) return;
    delegate->webViewIsRendered(*webView,
                                AKWebViewRenderedChecker::isContentRendered(webView.get(), webView->backgroundColor()));
}
