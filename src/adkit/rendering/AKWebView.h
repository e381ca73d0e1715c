#pragma once
// The view that shows an ad's HTML: a UIView wrapping one UIWebView taken from
// (and given back to) the process-wide pool. It sends SDK events and the
// interface orientation into the page, records whether the user touched it,
// registers its base URL in the ad URL stash, saves and restores its place in
// the view tree when a rich-media ad expands, and offers the debug dialog.
// Main thread only.
//
// Lifetime: make() builds the view (it becomes its web view's delegate, which
// needs shared ownership); destruction removes its URL from the stash and gives
// the wrapped web view back to the pool (AKWebViewCacheSet.h), which wipes it
// before another view may take it.
//
// Page events carry {"version": AKSDKInfo::SDKVersion(), "device": the device
// submodel} and are dropped until the page has loaded (didReceiveLoadEvent).
// Orientation texts: "window.__defineGetter__('orientation',function(){return
// %ld;});" with 0, 180, 90 or -90 degrees for the orientations 1 to 4, then
// the "orientationchange" event when asked; an orientation already given or
// outside 1...4 sends nothing.
//
// Debug dialog "Debug Creative Info" (cancel "OK"): 1 "Publisher Toolbar"
// routes kPublisherToolbarURL through this view's own navigation callback;
// with debug text, 2 "Copy" puts it on the pasteboard and 3 "Report" reports
// the ad (AKBadAdUtil).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIView.h"
#include "platform/webkit/UIWebView.h"

class AKWebView;
class AKWebViewCacheSet;
class AKUIWebViewGestureDelegate;
class AKImpressionTicketTouchRecognizer;
class UIViewController;

// The AKWebViewDelegate protocol: every callback optional (the defaults allow
// the load and do nothing).
class AKWebViewDelegateProtocol {
public:
    virtual ~AKWebViewDelegateProtocol() = default;
    virtual bool shouldStartLoadWithRequest(AKWebView& /*webView*/, const std::shared_ptr<NSURLRequest>& /*request*/,
                                            UIWebViewNavigationType /*navigationType*/) {
        return true;
    }
    virtual void webViewDidStartLoad(AKWebView& /*webView*/) {}
    virtual void webViewDidFinishLoad(AKWebView& /*webView*/) {}
    virtual void didFailLoadWithError(AKWebView& /*webView*/, const NSError& /*error*/) {}
};

// Viewability's observer of a web view (AKWebViewViewabilityMonitoring):
// told when the web view's viewabilityVisibility was set from a page message.
class AKWebViewViewabilityMonitoring {
public:
    virtual ~AKWebViewViewabilityMonitoring() = default;
    virtual void webViewDidChangeViewabilityVisibility(AKWebView& /*webView*/) {}
};

class AKWebView : public UIView, public UIWebViewDelegate, public UIAlertViewDelegate {
public:
    // The publisher toolbar sentinel URL (asked of the view's own navigation callback).
    static constexpr const char* kPublisherToolbarURL = "publisherToolbar://toolbar";

    // initWithFrame: (use make: the view becomes its web view's delegate).
    static std::shared_ptr<AKWebView> make(CGRect frame);
    // A view for one of the library's own pages (the core page): a new web
    // view in the library's process group, never taken from nor given to the
    // pool of creative web views.
    static std::shared_ptr<AKWebView> makeForLibraryPage(CGRect frame);
    explicit AKWebView(CGRect frame);
    ~AKWebView() override;

    // The pool.
    static std::shared_ptr<AKWebViewCacheSet> webViewCache();
    static std::shared_ptr<UIWebView> cachedWebView();
    static void cacheWebView(const std::shared_ptr<UIWebView>& webView);

    void configureAsBannerAdView();
    void configureAsInterstitialAdView();
    void reset();
    void loadHTMLString(const std::string& html, const std::string& baseURL);
    // setURL:forView:
    void setURL(const std::string& URL, const std::shared_ptr<AKWebView>& view);
    void notifyOfSdkEvent(const std::string& event);
    void setHTMLWindowOrientation(std::int64_t orientation, bool shouldDispatchOrientationChangeEvent);
    void forceRotateToOrientation(std::int64_t orientation);
    void didRotateToOrientation(std::int64_t orientation);
    void saveState();
    void restoreState();
    void reportBadAd(const std::string& text);
    void createGestureRecognizer();
    // The debug gesture: shows "Debug Creative Info" when showDebug is set.
    void handleGesture();
    const std::shared_ptr<AKImpressionTicketTouchRecognizer>& gesture() const { return gesture_; }
    const std::shared_ptr<AKUIWebViewGestureDelegate>& gestureDelegate() const { return gestureDelegate_; }

    // Forwarded to the wrapped web view.
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    void loadRequest(std::shared_ptr<NSURLRequest> request);
    void goBack();
    void goForward();
    void stopLoading();
    void reload();
    bool canGoBack() const;
    bool canGoForward() const;
    bool isLoading() const;
    std::shared_ptr<NSURLRequest> request() const;
    std::shared_ptr<UIScrollView> scrollView() const;
    UIDataDetectorTypes dataDetectorTypes() const;
    void setDataDetectorTypes(UIDataDetectorTypes types);
    bool mediaPlaybackRequiresUserAction() const;
    void setMediaPlaybackRequiresUserAction(bool required);
    void setBackgroundColor(CGColorRef color) override;  // the wrapped web view only
    const CGColorRef& webViewBackgroundColor() const;
    void setOpaque(bool opaque) override;                // the view and the wrapped web view
    void setFrame(CGRect frame) override;                // then the web view gets the bounds
    std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event) override;  // a touch sets touched

    // Fields.
    const std::shared_ptr<UIWebView>& webView() const { return webView_; }
    bool touched() const { return touched_; }
    void setTouched(bool touched) { touched_ = touched; }
    bool showDebug() const { return showDebug_; }
    void setShowDebug(bool show) { showDebug_ = show; }
    bool didReceiveLoadEvent() const { return didReceiveLoadEvent_; }
    void setDidReceiveLoadEvent(bool received) { didReceiveLoadEvent_ = received; }
    bool savedState() const { return savedState_; }
    bool viewabilityUnloadPingReceived() const { return viewabilityUnloadPingReceived_; }
    void setViewabilityUnloadPingReceived(bool received) { viewabilityUnloadPingReceived_ = received; }
    bool viewabilityVisibility() const { return viewabilityVisibility_; }
    void setViewabilityVisibility(bool visible) { viewabilityVisibility_ = visible; }
    virtual std::shared_ptr<UIViewController> viewController() const { return viewController_.lock(); }
    virtual void setViewController(const std::shared_ptr<UIViewController>& controller) { viewController_ = controller; }
    const std::optional<std::string>& adDebugDialog() const { return adDebugDialog_; }
    void setAdDebugDialog(std::optional<std::string> text) { adDebugDialog_ = std::move(text); }
    std::int64_t orientation() const { return orientation_; }
    const std::shared_ptr<UIAlertView>& alertView() const { return alertView_; }
    std::shared_ptr<AKWebViewDelegateProtocol> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AKWebViewDelegateProtocol> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<AKWebViewViewabilityMonitoring> viewabilityObserver() const { return viewabilityObserver_.lock(); }
    void setViewabilityObserver(std::weak_ptr<AKWebViewViewabilityMonitoring> observer) {
        viewabilityObserver_ = std::move(observer);
    }
    const std::optional<std::string>& URL() const { return URL_; }

    // UIWebViewDelegate (the wrapped web view's).
    bool shouldStartLoadWithRequest(UIWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(UIWebView& webView) override;
    void webViewDidFinishLoad(UIWebView& webView) override;
    void didFailLoadWithError(UIWebView& webView, const NSError& error) override;
    // UIAlertViewDelegate (the debug dialog).
    void clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) override;

protected:
    // Steps 2 to 5 of the creation (make() and subclasses' makers call it once).
    void setUp();

    std::weak_ptr<UIViewController> viewController_;

private:
    std::shared_ptr<UIWebView> webView_;
    bool touched_ = false;
    bool showDebug_ = true;
    bool didReceiveLoadEvent_ = false;
    bool savedState_ = false;
    bool viewabilityUnloadPingReceived_ = false;
    bool viewabilityVisibility_ = false;
    std::optional<std::string> adDebugDialog_;
    std::int64_t orientation_ = 0;
    std::shared_ptr<AKUIWebViewGestureDelegate> gestureDelegate_;
    std::shared_ptr<AKImpressionTicketTouchRecognizer> gesture_;
    std::shared_ptr<UIAlertView> alertView_;
    CGRect savedFrame_ = CGRectZero;
    std::shared_ptr<UIView> savedSuperview_;
    std::shared_ptr<AKWebViewDelegateProtocol> savedDelegate_;
    std::weak_ptr<UIViewController> viewControllerBeforeExpanded_;
    std::weak_ptr<AKWebViewViewabilityMonitoring> viewabilityObserver_;
    std::weak_ptr<AKWebViewDelegateProtocol> delegate_;
    std::optional<std::string> URL_;
    UIWebViewProcessGroup group_ = UIWebViewProcessGroup::Creatives;
};
