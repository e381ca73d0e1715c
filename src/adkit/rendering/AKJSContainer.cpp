#include "adkit/rendering/AKJSContainer.h"

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "platform/base/MainThread.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/net/NSURLError.h"

namespace {

bool allowedMove(AKJSContainerState from, AKJSContainerState to) {
    using S = AKJSContainerState;
    switch (to) {
        case S::loaded: return true;  // every finished load
        case S::fallbackLoad: return from == S::initialLoad;
        case S::fallbackFailed: return from == S::fallbackLoad;
        case S::initialLoad: return false;
    }
    return false;
}

[[maybe_unused]] const char* nameOf(AKJSContainerState state) {  // debug logs
    switch (state) {
        case AKJSContainerState::initialLoad: return "initial load";
        case AKJSContainerState::fallbackLoad: return "fallback load";
        case AKJSContainerState::loaded: return "loaded";
        case AKJSContainerState::fallbackFailed: return "fallback failed";
    }
    return "?";
}

// Only web pages are loaded: anything else counts as no URL.
NSURLPtr httpURLOrNull(const NSURLPtr& URL) { return URL ? AKHTTPURLFromString(URL->absoluteString()) : nullptr; }

}  // namespace

// ---------------------------------------------------------------- life

std::shared_ptr<AKJSContainer> AKJSContainer::initWithURL(const NSURLPtr& URL, Data fallbackData) {
    std::shared_ptr<AKWebView> webView;
    AKRunSynchronouslyOnMainThread([&] { webView = AKWebView::makeForLibraryPage(CGRectZero); });
    return initWithURL(URL, std::move(fallbackData), std::move(webView));
}

std::shared_ptr<AKJSContainer> AKJSContainer::initWithURL(const NSURLPtr& URL, Data fallbackData,
                                                          std::shared_ptr<AKWebView> webView) {
    if (!webView) return nullptr;
    auto container = std::make_shared<AKJSContainer>(httpURLOrNull(URL), std::move(fallbackData), std::move(webView));
    AKRunSynchronouslyOnMainThread([&] {
        container->webView_->setHidden(true);
        container->webView_->setDelegate(container->weakSelf<AKJSContainer>());
        container->startInitialLoad();
    });
    return container;
}

AKJSContainer::AKJSContainer(NSURLPtr remoteURL, Data fallbackData, std::shared_ptr<AKWebView> webView)
    : remoteURL_(std::move(remoteURL)),
      fallbackData_(std::move(fallbackData)),
      lockQueue_(dispatch_queue_create("com.adkit.adnet.js-container")),
      webView_(std::move(webView)) {}

AKJSContainer::~AKJSContainer() {
    if (!webView_) return;
    // The web view is let go on the main thread, without this container as its delegate.
    auto release = [webView = std::move(webView_)] { webView->setDelegate({}); };
    if (isProcessMainThread()) release();
    else dispatch_async(dispatch_get_main_queue(), std::move(release));
}

bool AKJSContainer::moveTo(AKJSContainerState next) {
    QV_ASSERT_ON_QUEUE(lockQueue_);
    if (!allowedMove(state_, next)) {
#ifndef NDEBUG
        NSLog("JavaScript container: no move from %s to %s", nameOf(state_), nameOf(next));
#endif
        return false;
    }
    state_ = next;
    return true;
}

AKJSContainerState AKJSContainer::state() const {
    AKJSContainerState state{};
    dispatch_sync(lockQueue_, [&] { state = state_; });
    return state;
}

std::size_t AKJSContainer::pendingExpressionCount() const {
    std::size_t count = 0;
    dispatch_sync(lockQueue_, [&] { count = pendingExpressions_.size(); });
    return count;
}

std::shared_ptr<AKJSContainerDelegate> AKJSContainer::delegate() const {
    std::shared_ptr<AKJSContainerDelegate> delegate;
    dispatch_sync(lockQueue_, [&] { delegate = delegate_.lock(); });
    return delegate;
}

void AKJSContainer::setDelegate(std::weak_ptr<AKJSContainerDelegate> delegate) {
    dispatch_sync(lockQueue_, [&] { delegate_ = std::move(delegate); });
}

std::shared_ptr<AKJSContainerDelegate> AKJSContainer::delegateOutsideOwnLoads() const {
    std::shared_ptr<AKJSContainerDelegate> delegate;
    dispatch_sync(lockQueue_, [&] {
        if (state_ != AKJSContainerState::initialLoad && state_ != AKJSContainerState::fallbackLoad)
            delegate = delegate_.lock();
    });
    return delegate;
}

// ---------------------------------------------------------------- loading

void AKJSContainer::startInitialLoad() {
    QV_ASSERT_MAIN_THREAD();
    if (remoteURL_) {
        webView_->loadRequest(NSURLRequest::requestWithURL(remoteURL_->absoluteString(),
                                                          NSURLRequestUseProtocolCachePolicy, kLoadTimeout));
        return;
    }
    loadFailed();
}

void AKJSContainer::loadFallback() {
    QV_ASSERT_MAIN_THREAD();
    webView_->webView()->loadData(fallbackData_, "text/html", "UTF-8",
                                  remoteURL_ ? remoteURL_->absoluteString() : std::string());
}

void AKJSContainer::loadFailed() {
    QV_ASSERT_MAIN_THREAD();
    AKJSContainerState next = AKJSContainerState::fallbackLoad;
    bool moved = false;
    dispatch_sync(lockQueue_, [&] {
        if (state_ == AKJSContainerState::fallbackLoad) next = AKJSContainerState::fallbackFailed;
        else if (state_ != AKJSContainerState::initialLoad) return;  // a later page: not ours to mend
        moved = moveTo(next);
        // No page will take what waits: it is dropped rather than kept for ever.
        if (moved && next == AKJSContainerState::fallbackFailed) pendingExpressions_.clear();
    });
    if (!moved) return;
    if (next == AKJSContainerState::fallbackLoad) return loadFallback();
    NSLog("JavaScript container: the fallback page did not load either; expressions sent to it are dropped");
}

bool AKJSContainer::shouldStartLoadWithRequest(AKWebView& /*webView*/, const std::shared_ptr<NSURLRequest>& request,
                                               UIWebViewNavigationType navigationType) {
    QV_ASSERT_MAIN_THREAD();
    auto delegate = delegateOutsideOwnLoads();
    return !delegate || delegate->shouldStartLoadWithRequest(*this, request, navigationType);
}

void AKJSContainer::webViewDidStartLoad(AKWebView& /*webView*/) {
    QV_ASSERT_MAIN_THREAD();
    if (auto delegate = delegateOutsideOwnLoads()) delegate->didStartLoadInJSContainer(*this);
}

void AKJSContainer::webViewDidFinishLoad(AKWebView& webView) {
    QV_ASSERT_MAIN_THREAD();
    // A remote page the server answered with an error is no page: the fallback takes its place.
    const auto status = webView.webView()->mainDocumentStatusCode();
    if (status && *status >= 400 && state() == AKJSContainerState::initialLoad) return loadFailed();
    std::deque<std::string> expressions;
    std::shared_ptr<AKJSContainerDelegate> delegate;
    dispatch_sync(lockQueue_, [&] {
        if (!moveTo(AKJSContainerState::loaded)) return;
        expressions.swap(pendingExpressions_);
        delegate = delegate_.lock();
    });
    for (const auto& expression : expressions) (void)webView_->stringByEvaluatingJavaScriptFromString(expression);
    if (delegate) delegate->didFinishLoadInJSContainer(*this);
}

void AKJSContainer::didFailLoadWithError(AKWebView& /*webView*/, const NSError& error) {
    QV_ASSERT_MAIN_THREAD();
    // A load replaced by another (a navigation, or the library's process
    // coming back) ends with the other.
    if (error.code() == NSURLErrorCancelled) return;
    loadFailed();
}

// ---------------------------------------------------------------- expressions

bool AKJSContainer::invokeJavaScriptFromString(const std::string& expression) {
    bool loaded = false;
    dispatch_sync(lockQueue_, [&] {
        loaded = state_ == AKJSContainerState::loaded;
        if (loaded || state_ == AKJSContainerState::fallbackFailed) return;
        if (pendingExpressions_.size() >= kMaxPendingExpressions) pendingExpressions_.pop_front();
        pendingExpressions_.push_back(expression);
    });
    if (!loaded) return false;
    AKRunSynchronouslyOnMainThread([&] { (void)webView_->stringByEvaluatingJavaScriptFromString(expression); });
    return true;
}

std::string AKJSContainer::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    std::string result;
    AKRunSynchronouslyOnMainThread([&] { result = webView_->stringByEvaluatingJavaScriptFromString(script); });
    return result;
}
