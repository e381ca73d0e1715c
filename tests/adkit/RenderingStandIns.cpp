// Stand-ins that let the rendering tests link on a branch where the ad web
// view and the slot's rich-media operations are not built yet: the smallest
// AKWebView (a plain view with a delegate, no web view behind it) and
// AKSlot::willLoadMRAIDAd. This file goes away when the real ones are merged.
#include "adkit/rendering/AKSlot.h"
#include "adkit/rendering/AKWebView.h"

std::shared_ptr<AKWebView> AKWebView::make(CGRect frame) { return std::make_shared<AKWebView>(frame); }
AKWebView::AKWebView(CGRect frame) : UIView(frame) {}
AKWebView::~AKWebView() = default;
void AKWebView::setBackgroundColor(CGColorRef color) { UIView::setBackgroundColor(color); }
void AKWebView::setOpaque(bool opaque) { UIView::setOpaque(opaque); }
void AKWebView::setFrame(CGRect frame) { UIView::setFrame(frame); }
std::shared_ptr<UIView> AKWebView::hitTest(CGPoint point, UIEvent* event) { return UIView::hitTest(point, event); }
bool AKWebView::shouldStartLoadWithRequest(UIWebView&, const std::shared_ptr<NSURLRequest>&, UIWebViewNavigationType) {
    return true;
}
void AKWebView::webViewDidStartLoad(UIWebView&) {}
void AKWebView::webViewDidFinishLoad(UIWebView&) {}
void AKWebView::didFailLoadWithError(UIWebView&, const NSError&) {}
void AKWebView::clickedButtonAtIndex(UIAlertView&, long) {}

void AKSlot::willLoadMRAIDAd() { setMRAIDEnabledOnAds(true); }
