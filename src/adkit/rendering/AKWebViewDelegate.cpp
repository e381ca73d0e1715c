#include "adkit/rendering/AKWebViewDelegate.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKDefaultAMSGHandler.h"
#include "adkit/rendering/AKMRAIDAMSGHandler.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKOpener.h"
#include "adkit/rendering/AKOpenerAMSGHandler.h"
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKViewabilityAMSGHandler.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIApplication.h"

AKWebViewDelegate::AKWebViewDelegate()
    : opener_(AKOpener::make()), openerAMSGHandler_(std::make_shared<AKOpenerAMSGHandler>(opener_)) {
    amsgHandlers_.push_back(openerAMSGHandler_);
    amsgHandlers_.push_back(std::make_shared<AKDefaultAMSGHandler>());
    amsgHandlers_.push_back(std::make_shared<AKViewabilityAMSGHandler>());
    amsgHandlers_.push_back(std::make_shared<AKMRAIDAMSGHandler>(opener_));
}

AKWebViewDelegate::~AKWebViewDelegate() {
    if (!opener_) return;
    opener_->setViewController(nullptr);
    opener_->setSlot(nullptr);
    opener_->setWebView(nullptr);
}

void AKWebViewDelegate::addAMSGHandler(std::shared_ptr<AKAMSGHandler> handler) {
    if (handler) amsgHandlers_.push_back(std::move(handler));
}

std::shared_ptr<UIViewController> AKWebViewDelegate::viewControllerForPresentingFromWebView(AKWebView& webView) {
    return webView.viewController();
}

void AKWebViewDelegate::stampAdStatistic(const std::shared_ptr<AKSlot>& slot, const std::string& key,
                                         bool onlyWhenAbsent) {
    if (!slot) return;
    const auto milliseconds = static_cast<std::int64_t>(Clock::now() * 1000.0);
    slot->setAdStatistic(key, Value(milliseconds), onlyWhenAbsent);
}

bool AKWebViewDelegate::shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                                   UIWebViewNavigationType navigationType) {
    QV_ASSERT_MAIN_THREAD();
    const NSURLPtr url = request ? NSURL::URLWithString(request->URL()) : nullptr;
    if (!url) return false;
    const std::string& absolute = url->absoluteString();
    opener_->setNavigationURL(absolute);
    if (absolute == AKWebView::kPublisherToolbarURL) {
        const std::string html = webView.stringByEvaluatingJavaScriptFromString("document.body.innerHTML");
        std::optional<std::string> adUnitID;
        auto parent = webView.superview();
        if (auto* adUnitView = dynamic_cast<AKAdUnitView*>(parent.get())) adUnitID = adUnitView->adUnitID();
        opener_->openPublisherToolbar(adUnitID, html);
        return false;
    }
    const std::string scheme = lowercaseString(url->scheme().value_or(""));
    if (auto userAgent = request->valueForHTTPHeaderField("User-Agent"))
        AKDevice::currentDevice()->setUserAgentString(userAgent);
    auto view = webView.self<AKWebView>();
    opener_->setViewController(viewControllerForPresentingFromWebView(webView));
    opener_->setWebView(view);
    if (navigationType == UIWebViewNavigationTypeLinkClicked) {
        auto current = webView.request();
        const NSURLPtr currentURL = current ? NSURL::URLWithString(current->URL()) : nullptr;
        if (url->fragment() && currentURL &&
            ak_absoluteStringWithoutFragmentComponent(*currentURL) == ak_absoluteStringWithoutFragmentComponent(*url))
            return false;  // a jump within the page shown
        auto slot = opener_->slot();
        if (scheme.starts_with("http") && slot && slot->isMRAIDAd()) {
            opener_->openBrowserToURL(absolute, AKSupportedOrientationsAny);
            return false;
        }
    }
    if (AKNotification::isNotificationURL(absolute)) {
        Value userInfo{{"u", Value(absolute)}};
        if (auto note = AKNotification::initWithNotificationURL(absolute)) userInfo.setObject("a", Value(note->name()));
        NSNotificationCenter::defaultCenter()->postNotificationName(kDidReceiveWebActionNotification, view, userInfo);
        handleAMSGRequest(request, view);
        return false;
    }
    if (navigationType != UIWebViewNavigationTypeOther || url->path().size() >= 2)
        NSNotificationCenter::defaultCenter()->postNotificationName(kDidReceiveWebActionNotification, view,
                                                                    Value{{"u", Value(absolute)}});
    return routeByScheme(webView, scheme, absolute);
}

bool AKWebViewDelegate::routeByScheme(AKWebView& webView, const std::string& scheme, const std::string& URL) {
    if (scheme == "mailto") {
        opener_->openEmailComposer(URL);
        return false;
    }
    if (scheme == "sms") {
        opener_->openSmsComposer(URL);
        return false;
    }
    if (scheme == "file") return fileAccessAllowed_;
    if (scheme == "about") return true;
    if (scheme == "http" || scheme == "https") {
        webView.setURL(URL, webView.self<AKWebView>());
        return true;
    }
    opener_->openApp(URL);
    return false;
}

void AKWebViewDelegate::handleAMSGRequest(const std::shared_ptr<NSURLRequest>& request,
                                          const std::shared_ptr<AKWebView>& webView) {
    // One block per message on the serial main queue: messages keep the order
    // the page sent them, and every handler has answered before the last step.
    dispatch_async(dispatch_get_main_queue(), [handlers = amsgHandlers_, request, webView] {
        bool handled = false;
        for (const auto& handler : handlers) handled = handler->handleRequest(request, webView) || handled;
        if (!handled) AKNotificationCenter::postNotificationFromURL(request->URL(), webView);
    });
}

void AKWebViewDelegate::webViewDidStartLoad(AKWebView& /*webView*/) {}

void AKWebViewDelegate::webViewDidFinishLoad(AKWebView& webView) {
    QV_ASSERT_MAIN_THREAD();
    webView.forceRotateToOrientation(UIApplication::sharedApplication()->statusBarOrientation());
    webView.setDidReceiveLoadEvent(true);
    if (hasLoadedAtLeastOnce_) return;
    hasLoadedAtLeastOnce_ = true;
    AKNotificationCenter::defaultCenter()->postNotificationName(kWebViewDidFinishLoadNotification,
                                                                webView.self<AKWebView>());
    loadedFirstPage(webView);
}

void AKWebViewDelegate::didFailLoadWithError(AKWebView& webView, const NSError& /*error*/) {
    AKNotificationCenter::defaultCenter()->postNotificationName(kWebViewDidFailLoadNotification,
                                                                webView.self<AKWebView>());
}
