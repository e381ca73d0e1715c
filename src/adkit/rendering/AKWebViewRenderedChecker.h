#pragma once
// Decides whether an ad web view shows anything yet: the wrapped web view's
// layer (whose contents are the engine's frames) is drawn into an image of the
// view's size at scale 1, and the content counts as rendered when under 90 % of
// the pixels are the view's background colour. The wrapped web view is drawn
// rather than the ad view, so a banner still hidden until its ad renders is
// read all the same.
//
// Pixels are compared as the bitmap stores them: 8-bit components with alpha
// premultiplied. The background colour is premultiplied and rounded to 8 bits
// the same way, and a component may differ by one step (drawing rounds
// premultiplied values either way). A grey colour (2 components) spreads to
// red, green and blue; a colour of any other model or component count gives
// 0.0 (rendered); an empty image gives NaN (not rendered).
//
// isContentRendered is the whole decision for any view (draw, count, compare
// with the threshold); the mediation render check uses it as well.
//
// Main thread only; the checker holds its web view and delegate weakly.
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"

class AKWebView;
class UIImage;
class UIView;

class AKWebViewRenderedCheckerDelegate {
public:
    virtual ~AKWebViewRenderedCheckerDelegate() = default;
    virtual void webViewDidRenderContent(AKWebView& webView) = 0;
    virtual void webViewDidFailToRenderContent(AKWebView& webView) = 0;
};

class AKWebViewRenderedChecker : public NSObject {
public:
    static constexpr double kThreshold = 0.9;

    // One check; nothing when the web view or the delegate is gone.
    void checkIsContentRenderedInWebView();
    // The fraction of the image's pixels that are the colour (see above).
    static double percentOfImage(const std::shared_ptr<UIImage>& image, const CGColorRef& color);
    // The view drawn at scale 1 shows content over its background: under
    // kThreshold of its pixels are the colour (an empty image, or no view:
    // false, unless the colour is of another model).
    static bool isContentRendered(UIView* view, const CGColorRef& background);

    std::shared_ptr<AKWebView> webView() const { return webView_.lock(); }
    void setWebView(const std::shared_ptr<AKWebView>& webView) { webView_ = webView; }
    std::shared_ptr<AKWebViewRenderedCheckerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AKWebViewRenderedCheckerDelegate> delegate) { delegate_ = std::move(delegate); }

private:
    std::weak_ptr<AKWebView> webView_;
    std::weak_ptr<AKWebViewRenderedCheckerDelegate> delegate_;
};
