// What an ad web view says to its page (SDK events, the window orientation),
// its place in the view tree across an expansion, and the debug dialog.
#include <cstdio>

#include "adkit/foundation/AKDevice.h"
#include "adkit/rendering/AKBadAdUtil.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "adkit/rendering/AKSDKInfo.h"
#include "adkit/rendering/AKWebView.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/net/NSURLRequest.h"

namespace {
constexpr const char* kDebugTitle = "Debug Creative Info";
constexpr const char* kNoDebugInfo = "Creative information is not available";
constexpr const char* kOrientationEvent =
    "(function(){var event = document.createEvent('Events');event.initEvent('orientationchange', true, "
    "false);window.dispatchEvent(event);})();";

enum DebugButton : long { kPublisherToolbarButton = 1, kCopyButton = 2, kReportButton = 3 };

// The degrees the page's window.orientation answers for an interface orientation.
long degreesOfOrientation(std::int64_t orientation) {
    switch (orientation) {
    case 2: return 180;
    case 3: return 90;
    case 4: return -90;
    default: return 0;
    }
}
}  // namespace

void AKWebView::notifyOfSdkEvent(const std::string& event) {
    QV_ASSERT_MAIN_THREAD();
    if (!didReceiveLoadEvent_) return;  // the page cannot hear it before it loaded
    Value payload{{"version", Value(AKSDKInfo::SDKVersion())},
                  {"device", Value(AKDevice::currentDevice()->deviceSubmodel())}};
    AKNotificationCenter::postJSNotification(event, payload, self<AKWebView>());
}

void AKWebView::setHTMLWindowOrientation(std::int64_t orientation, bool shouldDispatchOrientationChangeEvent) {
    QV_ASSERT_MAIN_THREAD();
    if (orientation < 1 || orientation > 4 || orientation == orientation_) return;
    orientation_ = orientation;
    char getter[96];
    std::snprintf(getter, sizeof getter, "window.__defineGetter__('orientation',function(){return %ld;});",
                  degreesOfOrientation(orientation));
    std::string script = getter;
    if (shouldDispatchOrientationChangeEvent) script += kOrientationEvent;
    stringByEvaluatingJavaScriptFromString(script);
}

void AKWebView::forceRotateToOrientation(std::int64_t orientation) { setHTMLWindowOrientation(orientation, true); }

void AKWebView::didRotateToOrientation(std::int64_t orientation) { setHTMLWindowOrientation(orientation, false); }

void AKWebView::saveState() {
    savedFrame_ = frame();
    savedSuperview_ = superview();
    savedDelegate_ = delegate_.lock();
    viewControllerBeforeExpanded_ = viewController_;
    savedState_ = true;
}

void AKWebView::restoreState() {
    if (!savedState_) return;
    auto me = self<AKWebView>();  // alive while it moves between parents
    removeFromSuperview();
    setFrame(savedFrame_);
    savedFrame_ = CGRectZero;
    if (savedSuperview_) savedSuperview_->addSubview(me);
    savedSuperview_.reset();
    delegate_ = savedDelegate_;
    savedDelegate_.reset();
    setViewController(viewControllerBeforeExpanded_.lock());
    viewControllerBeforeExpanded_.reset();
    savedState_ = false;
}

void AKWebView::reportBadAd(const std::string& text) { AKBadAdUtil::sharedInstance()->reportBadAd(text); }

void AKWebView::handleGesture() {
    QV_ASSERT_MAIN_THREAD();
    if (!showDebug_) return;
    const std::string message = adDebugDialog_ ? *adDebugDialog_ : kNoDebugInfo;
    alertView_ = UIAlertView::initWithTitle(kDebugTitle, message, weakSelf<AKWebView>(), "OK", {"Publisher Toolbar"});
    if (adDebugDialog_) {
        alertView_->addButtonWithTitle("Copy");
        alertView_->addButtonWithTitle("Report");
    }
    alertView_->show();
}

void AKWebView::clickedButtonAtIndex(UIAlertView& /*alertView*/, long buttonIndex) {
    QV_ASSERT_MAIN_THREAD();
    if (buttonIndex == kPublisherToolbarButton) {
        // Routed like a page navigation: the delegate opens the toolbar and refuses it.
        shouldStartLoadWithRequest(*webView_, NSURLRequest::requestWithURL(kPublisherToolbarURL),
                                   UIWebViewNavigationTypeOther);
        return;
    }
    if (!adDebugDialog_ || adDebugDialog_->empty()) return;
    if (buttonIndex == kCopyButton) UIPasteboard::generalPasteboard()->setString(*adDebugDialog_);
    else if (buttonIndex == kReportButton) reportBadAd(*adDebugDialog_);
}
