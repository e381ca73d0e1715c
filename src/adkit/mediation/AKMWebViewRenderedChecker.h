#pragma once
// The render check of the HTML mediation adapter: one check draws the plain
// web view (its layer, whose contents are the engine's painted frames) at
// scale 1 and tells the delegate whether it shows content, with the very
// decision of the ad rendering checker (AKWebViewRenderedChecker::
// isContentRendered: under 90 % of the pixels the view's background colour,
// compared as premultiplied 8-bit bytes; a grey colour such as the clear
// colour spreads its white to red, green and blue; an image without pixels
// is not rendered).
//
// The checker is the target of the adapter's repeating render timer, which
// holds it weakly; it holds its web view and delegate weakly and does nothing
// once either is gone or detached. Main thread only.
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"

class UIImage;
class UIWebView;

class AKMWebViewRenderedCheckerDelegate {
public:
    virtual ~AKMWebViewRenderedCheckerDelegate() = default;
    // webView:isRendered:
    virtual void webViewIsRendered(UIWebView& webView, bool rendered) = 0;
};

class AKMWebViewRenderedChecker : public NSObject {
public:
    // initWithWebView:delegate:
    static std::shared_ptr<AKMWebViewRenderedChecker> initWithWebView(
        const std::shared_ptr<UIWebView>& webView, std::weak_ptr<AKMWebViewRenderedCheckerDelegate> delegate);

    // The timer's action: one check, answered to the delegate.
    void checkIsContentRenderedInWebView();
    // The fraction of the image's pixels that are the colour (NaN for an
    // image without pixels).
    static double percentOfImage(const std::shared_ptr<UIImage>& image, const CGColorRef& color);

    std::shared_ptr<UIWebView> webView() const { return webView_.lock(); }
    void setWebView(const std::shared_ptr<UIWebView>& webView) { webView_ = webView; }
    std::shared_ptr<AKMWebViewRenderedCheckerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AKMWebViewRenderedCheckerDelegate> delegate) { delegate_ = std::move(delegate); }

private:
    std::weak_ptr<UIWebView> webView_;
    std::weak_ptr<AKMWebViewRenderedCheckerDelegate> delegate_;
};
