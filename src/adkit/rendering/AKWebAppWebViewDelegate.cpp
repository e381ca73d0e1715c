#include "adkit/rendering/AKWebAppWebViewDelegate.h"

#include "adkit/rendering/AKAppEventAMSGHandler.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebAppAMSGHandler.h"
#include "adkit/rendering/AKWebAppViewController.h"

AKWebAppWebViewDelegate::AKWebAppWebViewDelegate(const std::shared_ptr<AKWebAppViewController>& controller)
    : controller_(controller) {
    addAMSGHandler(std::make_shared<AKWebAppAMSGHandler>());
    if (!controller) return;
    if (auto interstitialSlot = controller->interstitialSlot())
        addAMSGHandler(std::make_shared<AKAppEventAMSGHandler>(interstitialSlot));
}

std::shared_ptr<UIViewController> AKWebAppWebViewDelegate::viewControllerForPresentingFromWebView(AKWebView& webView) {
    auto controller = controller_.lock();
    if (controller && controller->isTransparentInterstitial()) return controller->hostViewController();
    return webView.viewController();
}

void AKWebAppWebViewDelegate::webViewDidStartLoad(AKWebView& webView) {
    if (auto controller = controller_.lock()) stampAdStatistic(controller->slot(), "tlanding_page_load_start", true);
    AKWebViewDelegate::webViewDidStartLoad(webView);
}

void AKWebAppWebViewDelegate::webViewDidFinishLoad(AKWebView& webView) {
    if (auto controller = controller_.lock()) stampAdStatistic(controller->slot(), "tlanding_page_load_end", false);
    AKWebViewDelegate::webViewDidFinishLoad(webView);
    postOnShowEvent();
}

void AKWebAppWebViewDelegate::setPendingOnShow(bool pending) {
    pendingOnShow_ = pending;
    auto controller = controller_.lock();
    auto webView = controller ? controller->webView() : nullptr;
    if (webView && webView->didReceiveLoadEvent()) postOnShowEvent();
}

void AKWebAppWebViewDelegate::postOnShowEvent() {
    if (!pendingOnShow_ || calledOnShow_) return;
    auto controller = controller_.lock();
    auto webView = controller ? controller->webView() : nullptr;
    if (webView) {
        webView->notifyOfSdkEvent("onshow");
        if (isTwoPieceExpandable()) webView->notifyOfSdkEvent("onReadyEventReceived");
    }
    pendingOnShow_ = false;
    calledOnShow_ = true;
}

bool AKWebAppWebViewDelegate::isTwoPieceExpandable() const {
    auto controller = controller_.lock();
    auto slot = controller ? controller->slot() : nullptr;
    return slot && slot->isMRAIDAd() && slot->webView() != controller->webView();
}
