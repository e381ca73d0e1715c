#include "adkit/rendering/AKBannerWebViewDelegate.h"

#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKAppEventAMSGHandler.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKSwipeToViewControllerAMSGHandler.h"
#include "adkit/rendering/AKWebAppAMSGHandler.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

AKBannerWebViewDelegate::AKBannerWebViewDelegate(const std::shared_ptr<AKSlot>& slot) : slot_(slot) {
    opener()->setSlot(slot);
    addAMSGHandler(std::make_shared<AKAppEventAMSGHandler>(slot));
    addAMSGHandler(std::make_shared<AKWebAppAMSGHandler>());
    addAMSGHandler(std::make_shared<AKSwipeToViewControllerAMSGHandler>(slot));
}

bool AKBannerWebViewDelegate::isClick(UIWebViewNavigationType navigationType) const {
    auto slot = slot_.lock();
    if (!slot) return false;
    switch (slot->state()) {
    case AKSlotStateIdle:
    case AKSlotStateRequestingAdURL:
    case AKSlotStateReceivedAdURL:
    case AKSlotStateFetchingAdContent:
    case AKSlotStateValidAd:
    case AKSlotStateFailed: break;
    default: return false;
    }
    const auto now = static_cast<std::int64_t>(AKAbsoluteTime::absoluteTimeInMilliseconds());
    if (now - slot->timeLastLoaded() < static_cast<std::int64_t>(kMinimumClickDelayMilliseconds)) return false;
    if (navigationType == UIWebViewNavigationTypeBackForward || navigationType == UIWebViewNavigationTypeReload)
        return false;
    auto webView = slot->webView();
    return webView && webView->touched();
}

bool AKBannerWebViewDelegate::shouldStartLoadWithRequest(AKWebView& webView,
                                                         const std::shared_ptr<NSURLRequest>& request,
                                                         UIWebViewNavigationType navigationType) {
    auto slot = slot_.lock();
    if (slot && !slot->isInterstitial()) opener()->setViewController(webView.viewController());
    if (!isClick(navigationType)) return AKWebViewDelegate::shouldStartLoadWithRequest(webView, request, navigationType);
    // The referrer is the ad's page, also for the links the routing itself
    // opens (a rich-media ad's links go to the in-app browser).
    auto current = webView.request();
    opener()->setReferringURL(current ? current->URL() : std::string());
    if (!AKWebViewDelegate::shouldStartLoadWithRequest(webView, request, navigationType)) return false;
    slot->adWasClicked();
    const std::string clickURL = slot->spamClickURLWithURL(opener()->navigationURL());
    const NSURLPtr url = NSURL::URLWithString(request->URL());
    if (url && lowercaseString(url->scheme().value_or("")).starts_with("http")) opener()->openApp(clickURL);
    return false;  // a click never loads in the ad's own web view
}

void AKBannerWebViewDelegate::webViewDidFinishLoad(AKWebView& webView) {
    AKWebViewDelegate::webViewDidFinishLoad(webView);
    auto slot = slot_.lock();
    if (!slot || slot->state() != AKSlotStateRendering) return;
    slot->didReceiveValidAd();
    slot->didLoadAdHTMLInWebView();
    if (slot->isMRAIDAd()) slot->didLoadMRAIDAd();
    webView.setHidden(false);
    if (!slot->isInterstitial()) slot->didMakeAdImpression();
    slot->startViewabilityForLoadedAd();
    slot->adFinishedLoadingContent();
}

void AKBannerWebViewDelegate::didFailLoadWithError(AKWebView& webView, const NSError& error) {
    AKWebViewDelegate::didFailLoadWithError(webView, error);
    auto slot = slot_.lock();
    if (!slot || slot->state() == AKSlotStateValidAd) return;
    slot->failWithError(AKRequestError::errorWithCode(2, slot->currentRequest()), false, false);
}
