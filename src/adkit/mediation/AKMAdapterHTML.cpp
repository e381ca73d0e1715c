#include "adkit/mediation/AKMAdapterHTML.h"

#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/mediation/AKMAdNetworkConnector.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIColor.h"

namespace {

const char* nameOf(AKMAdapterHTMLState state) {
    switch (state) {
        case AKMAdapterHTMLState::idle: return "idle";
        case AKMAdapterHTMLState::rendering: return "rendering";
        case AKMAdapterHTMLState::reported: return "reported";
        case AKMAdapterHTMLState::gaveUp: return "gaveUp";
        case AKMAdapterHTMLState::stopped: return "stopped";
    }
    return "?";
}

bool allowedMove(AKMAdapterHTMLState from, AKMAdapterHTMLState to) {
    using S = AKMAdapterHTMLState;
    switch (to) {
        case S::idle:      // a new banner attempt starts over
        case S::stopped:   // stopBeingDelegate and release, from anywhere
            return true;
        case S::rendering: return from == S::idle;
        // A failure at once, content, a passback (also after giving up or a banner).
        case S::reported: return from != S::stopped;
        case S::gaveUp: return from == S::rendering;
    }
    return false;
}

}  // namespace

AKMAdapterHTML::~AKMAdapterHTML() { dropWebView(); }

void AKMAdapterHTML::moveTo(AKMAdapterHTMLState next) {
    if (!allowedMove(state_, next)) {
        NSLog("HTML adapter: no move from %s to %s", nameOf(state_), nameOf(next));
        return;
    }
    state_ = next;
}

void AKMAdapterHTML::initWithAKMAdNetworkConnector(const std::shared_ptr<AKMAdNetworkConnector>& connector) {
    connector_ = connector;
}

void AKMAdapterHTML::dropWebView() {
    renderCheck_.stop();
    if (webView_) webView_->setDelegate({});
    webView_.reset();
    passbackUrl_.reset();
    initialLoadURL_.clear();
    pageFramesAfter_.reset();
}

void AKMAdapterHTML::getBannerWithSize(AKAdSize size) {
    QV_ASSERT_MAIN_THREAD();
    auto keep = self<AKMAdapterHTML>();  // a report may drop this adapter
    dropWebView();
    moveTo(AKMAdapterHTMLState::idle);
    checkRenderingCount_ = 0;
    auto connector = connector_.lock();
    if (!connector) return;
    const Value& credentials = connector->credentials();
    const auto html = AKMTextValue(credentials[kHTMLKey]);
    if (const auto passback = AKMTextValue(credentials[kPassbackURLKey])) {
        if (passback->empty()) return failAd(2, "Empty passback URL in TYM response.");
        passbackUrl_ = NSURL::URLWithString(*passback);
        if (!passbackUrl_) return failAd(2, "Invalid passback URL in TYM response.");
    }
    if (!html || html->empty()) return failAd(2, "Missing HTML in TYM response.");
    loadCreative(size, *html);
}

void AKMAdapterHTML::loadCreative(AKAdSize size, const std::string& html) {
    const CGSize cgSize = AKAdSizeToCGSize(size);
    webView_ = std::make_shared<UIWebView>(CGRectMake(0, 0, cgSize.width, cgSize.height),
                                           UIWebViewProcessGroup::Creatives);
    webView_->setScalesPageToFit(false);
    webView_->setClipsToBounds(true);
    webView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    webView_->setOpaque(false);
    webView_->setBackgroundColor(UIColor::clearColor()->CGColor());
    webView_->setAllowsInlineMediaPlayback(true);
    webView_->setMediaPlaybackRequiresUserAction(true);
    webView_->setDataDetectorTypes(UIDataDetectorTypeNone);
    webView_->setDelegate(weakSelf<AKMAdapterHTML>());
    initialLoadURL_ = AKAdHosts::exchangeCreativeOrigin().URLString("/");
    moveTo(AKMAdapterHTMLState::rendering);
    webView_->loadHTMLString(html, initialLoadURL_);
    // The load may have been refused or replaced inside the call (a recording engine decides at once).
    if (webView_ && state_ == AKMAdapterHTMLState::rendering)
        renderCheck_.start(AKMWebViewRenderedChecker::initWithWebView(webView_, weakSelf<AKMAdapterHTML>()),
                           kRenderCheckInterval);
}

void AKMAdapterHTML::getInterstitial() { failInterstitial(); }

void AKMAdapterHTML::presentInterstitialFromRootViewController(const std::shared_ptr<UIViewController>&) {
    failInterstitial();
}

void AKMAdapterHTML::stopBeingDelegate() {
    renderCheck_.stop();
    if (webView_) webView_->setDelegate({});
    moveTo(AKMAdapterHTMLState::stopped);
}

void AKMAdapterHTML::webViewIsRendered(UIWebView& webView, bool rendered) {
    QV_ASSERT_MAIN_THREAD();
    if (&webView != webView_.get()) return;
    auto keep = self<AKMAdapterHTML>();  // the report may drop this adapter
    ++checkRenderingCount_;
    const bool pageFrameShown = pageFramesAfter_ && webView.paintedFrameCount() > *pageFramesAfter_;
    if (rendered && pageFrameShown) {
        renderCheck_.stop();
        moveTo(AKMAdapterHTMLState::reported);
        if (auto connector = connector_.lock()) connector->adapterDidReceiveAdView(*this, webView_);
    } else if (checkRenderingCount_ >= kMaximumRenderChecks) {
        renderCheck_.stop();
        moveTo(AKMAdapterHTMLState::gaveUp);
    }
}

bool AKMAdapterHTML::isPassbackRequest(const NSURLRequest& request) const {
    const NSURLPtr url = NSURL::URLWithString(request.URL());
    return url && ak_isPassbackURL(*url, passbackUrl_.get());
}

bool AKMAdapterHTML::shouldStartLoadWithRequest(UIWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                                UIWebViewNavigationType navigationType) {
    QV_ASSERT_MAIN_THREAD();
    if (&webView != webView_.get() || !request || !NSURL::URLWithString(request->URL())) return false;
    if (!initialLoadURL_.empty() && navigationType == UIWebViewNavigationTypeOther &&
        request->URL() == initialLoadURL_) {
        initialLoadURL_.clear();  // the host's own load of the creative
        return true;
    }
    if (!isPassbackRequest(*request)) return true;
    auto keep = self<AKMAdapterHTML>();  // the report may drop this adapter and its web view
    renderCheck_.stop();
    failAd(1, "Ad network returned no ad.");
    return false;
}

void AKMAdapterHTML::webViewDidStartLoad(UIWebView& webView) {
    if (&webView == webView_.get()) pageFramesAfter_.reset();
}

void AKMAdapterHTML::webViewDidFinishLoad(UIWebView& webView) {
    if (&webView == webView_.get()) pageFramesAfter_ = webView.paintedFrameCount();
}

void AKMAdapterHTML::didFailLoadWithError(UIWebView& webView, const NSError&) {
    if (&webView == webView_.get()) pageFramesAfter_ = webView.paintedFrameCount();
}

void AKMAdapterHTML::failAd(long code, const std::string& message) {
    moveTo(AKMAdapterHTMLState::reported);
    if (auto connector = connector_.lock()) connector->adapterDidFailAd(*this, NSError::make(AKErrorDomain, code, message));
}

void AKMAdapterHTML::failInterstitial() {
    QV_ASSERT_MAIN_THREAD();
    auto keep = self<AKMAdapterHTML>();
    moveTo(AKMAdapterHTMLState::reported);
    if (auto connector = connector_.lock())
        connector->adapterDidFailInterstitial(*this, NSError::make(AKErrorDomain, 0, "Interstitials not supported."));
}

void AKMAdapterHTMLRegister() {
    AKMAdNetworkAdapter::registerAdapterClass({AKMAdapterHTML::kClassName, "NSObject",
                                               [] { return std::make_shared<AKMAdapterHTML>(); },
                                               AKMAdapterHTML::adapterVersion(), AKMAdapterHTML::networkExtrasClass()});
}
