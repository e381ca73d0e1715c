#include "adkit/rendering/AKWebView.h"

#include "adkit/foundation/AKImpressionTicketTouchRecognizer.h"
#include "adkit/rendering/AKAdURLStash.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/rendering/AKUIWebViewGestureDelegate.h"
#include "adkit/rendering/AKWebViewCacheSet.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIScrollView.h"

// ---------------------------------------------------------------- the pool

std::shared_ptr<AKWebViewCacheSet> AKWebView::webViewCache() {
    QV_ASSERT_MAIN_THREAD();
    static ProcessLifetime<std::shared_ptr<AKWebViewCacheSet>> shared(AKWebViewCacheSet::make(
        AKWebViewCacheSet::capacityForStoredValue(
            NSUserDefaults::standardUserDefaults()->objectForKey(AKWebViewCacheSet::kCapacityKey))));
    return *shared;
}

std::shared_ptr<UIWebView> AKWebView::cachedWebView() { return webViewCache()->anyObject(); }

void AKWebView::cacheWebView(const std::shared_ptr<UIWebView>& webView) { webViewCache()->addObject(webView); }

// ---------------------------------------------------------------- life

AKWebView::AKWebView(CGRect frame) : UIView(frame) {}

std::shared_ptr<AKWebView> AKWebView::make(CGRect frame) {
    auto view = std::make_shared<AKWebView>(frame);
    view->setUp();
    return view;
}

std::shared_ptr<AKWebView> AKWebView::makeForLibraryPage(CGRect frame) {
    auto view = std::make_shared<AKWebView>(frame);
    view->group_ = UIWebViewProcessGroup::Library;
    view->setUp();
    return view;
}

void AKWebView::setUp() {
    QV_ASSERT_MAIN_THREAD();
    // Rich-media pages ask for their script from the first ad view on.
    AKMRAIDInterceptor::registerClass();
    gestureDelegate_ = std::make_shared<AKUIWebViewGestureDelegate>();
    gesture_ = std::make_shared<AKImpressionTicketTouchRecognizer>();
    gesture_->setDelegate(gestureDelegate_);
    showDebug_ = true;
    // The web view fills the view (the view's frame would offset it by the
    // view's own origin).
    const CGRect area = bounds();
    if (group_ == UIWebViewProcessGroup::Creatives) webView_ = cachedWebView();
    if (webView_) webView_->setFrame(area);
    else webView_ = std::make_shared<UIWebView>(area, group_);
    webView_->setDelegate(weakSelf<AKWebView>());
    webView_->scrollView()->setBounces(true);
    addSubview(webView_);
    reset();
}

AKWebView::~AKWebView() {
    if (webView_) webView_->setDelegate({});
    if (alertView_) alertView_->setDelegate({});
    if (gesture_) gesture_->removeAllTargets();
    if (URL_) AKAdURLStash::remove(*URL_);
    if (webView_) {
        webView_->layer()->removeFromSuperlayer();
        if (group_ == UIWebViewProcessGroup::Creatives) cacheWebView(webView_);
    }
}

void AKWebView::reset() {
    webView_->setClipsToBounds(true);
    webView_->setScalesPageToFit(true);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor()->CGColor());
    webView_->setDataDetectorTypes(UIDataDetectorTypeNone);
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setMediaPlaybackRequiresUserAction(false);
    webView_->setMediaPlaybackAllowsAirPlay(true);
    webView_->scrollView()->setScrollEnabled(true);
    webView_->scrollView()->setScrollsToTop(false);
    createGestureRecognizer();
}

void AKWebView::createGestureRecognizer() {
    if (!gesture_) return;
    std::weak_ptr<AKWebView> weak = weakSelf<AKWebView>();
    gesture_->removeAllTargets();
    gesture_->addTarget(self<AKWebView>(), [weak](UIGestureRecognizer&) {
        if (auto view = weak.lock()) view->handleGesture();
    });
    addGestureRecognizer(gesture_);
}

void AKWebView::configureAsBannerAdView() {
    webView_->scrollView()->setBounces(false);
    webView_->setScalesPageToFit(false);
    webView_->setMediaPlaybackRequiresUserAction(true);
    setHidden(true);
}

void AKWebView::configureAsInterstitialAdView() { webView_->setScalesPageToFit(false); }

// ---------------------------------------------------------------- loading

void AKWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    QV_ASSERT_MAIN_THREAD();
    didReceiveLoadEvent_ = false;
    setURL(baseURL, self<AKWebView>());
    webView_->loadHTMLString(html, baseURL);
}

void AKWebView::setURL(const std::string& URL, const std::shared_ptr<AKWebView>& view) {
    if (URL_) AKAdURLStash::remove(*URL_);
    URL_ = URL;
    AKAdURLStash::add(URL, view);
}

// ---------------------------------------------------------------- forwarded

std::string AKWebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    return webView_->stringByEvaluatingJavaScriptFromString(script);
}
void AKWebView::loadRequest(std::shared_ptr<NSURLRequest> request) { webView_->loadRequest(std::move(request)); }
void AKWebView::goBack() { webView_->goBack(); }
void AKWebView::goForward() { webView_->goForward(); }
void AKWebView::stopLoading() { webView_->stopLoading(); }
void AKWebView::reload() { webView_->reload(); }
bool AKWebView::canGoBack() const { return webView_->canGoBack(); }
bool AKWebView::canGoForward() const { return webView_->canGoForward(); }
bool AKWebView::isLoading() const { return webView_->isLoading(); }
std::shared_ptr<NSURLRequest> AKWebView::request() const { return webView_->request(); }
std::shared_ptr<UIScrollView> AKWebView::scrollView() const { return webView_->scrollView(); }
UIDataDetectorTypes AKWebView::dataDetectorTypes() const { return webView_->dataDetectorTypes(); }
void AKWebView::setDataDetectorTypes(UIDataDetectorTypes types) { webView_->setDataDetectorTypes(types); }
bool AKWebView::mediaPlaybackRequiresUserAction() const { return webView_->mediaPlaybackRequiresUserAction(); }
void AKWebView::setMediaPlaybackRequiresUserAction(bool required) {
    webView_->setMediaPlaybackRequiresUserAction(required);
}
void AKWebView::setBackgroundColor(CGColorRef color) { webView_->setBackgroundColor(std::move(color)); }
const CGColorRef& AKWebView::webViewBackgroundColor() const { return webView_->backgroundColor(); }

void AKWebView::setOpaque(bool opaque) {
    UIView::setOpaque(opaque);
    webView_->setOpaque(opaque);
}

void AKWebView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
    if (webView_) webView_->setFrame(bounds());
}

std::shared_ptr<UIView> AKWebView::hitTest(CGPoint point, UIEvent* event) {
    if (event && event->type() == UIEventTypeTouches) touched_ = true;
    return UIView::hitTest(point, event);
}

// ---------------------------------------------------------------- web view delegate

bool AKWebView::shouldStartLoadWithRequest(UIWebView& /*webView*/, const std::shared_ptr<NSURLRequest>& request,
                                           UIWebViewNavigationType navigationType) {
    auto delegate = delegate_.lock();
    return !delegate || delegate->shouldStartLoadWithRequest(*this, request, navigationType);
}

void AKWebView::webViewDidStartLoad(UIWebView& /*webView*/) {
    if (auto delegate = delegate_.lock()) delegate->webViewDidStartLoad(*this);
}

void AKWebView::webViewDidFinishLoad(UIWebView& /*webView*/) {
    if (auto delegate = delegate_.lock()) delegate->webViewDidFinishLoad(*this);
}

void AKWebView::didFailLoadWithError(UIWebView& /*webView*/, const NSError& error) {
    if (auto delegate = delegate_.lock()) delegate->didFailLoadWithError(*this, error);
}
