#include "adkit/rendering/AKWebViewCacheSet.h"

#include <algorithm>

#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIApplication.h"

namespace {
constexpr const char* kBlankURL = "about:blank";
}

std::size_t AKWebViewCacheSet::capacityForStoredValue(const Value& stored) {
    if (stored.isNull()) return kDefaultCapacity;
    const std::int64_t value = stored.integerValue();
    return value < 0 || value > 9 ? kDefaultCapacity : static_cast<std::size_t>(value);
}

std::shared_ptr<AKWebViewCacheSet> AKWebViewCacheSet::make(std::size_t maxCapacity) {
    QV_ASSERT_MAIN_THREAD();
    auto set = std::make_shared<AKWebViewCacheSet>(maxCapacity);
    std::weak_ptr<AKWebViewCacheSet> weak = set;
    set->memoryWarningObserver_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr, dispatch_get_main_queue(),
        [weak](const NSNotification&) {
            if (auto strong = weak.lock()) strong->removeAllObjects();
        });
    return set;
}

AKWebViewCacheSet::~AKWebViewCacheSet() {
    if (memoryWarningObserver_) NSNotificationCenter::defaultCenter()->removeObserver(memoryWarningObserver_.get());
    for (auto& webView : clearingWebViews_) {
        webView->setDelegate({});
        webView->stopLoading();
    }
}

void AKWebViewCacheSet::addObject(const std::shared_ptr<UIWebView>& webView) {
    QV_ASSERT_MAIN_THREAD();
    if (!webView) return;
    // The wipe starts from the main queue, never inside the caller (often a
    // view's destruction in the middle of another web view callback).
    std::weak_ptr<AKWebViewCacheSet> weak = self<AKWebViewCacheSet>();
    dispatch_async(dispatch_get_main_queue(), [weak, webView] {
        if (auto set = weak.lock()) set->clearWebView(webView);
    });
}

void AKWebViewCacheSet::clearWebView(const std::shared_ptr<UIWebView>& webView) {
    QV_ASSERT_MAIN_THREAD();
    // A full pool or too many wipes at once: the web view is released here, on main.
    if (pooled_.size() >= maxCapacity_) return;
    if (!webView->hasPage()) {
        // Never loaded: blank already, and a wipe would start a page's process for nothing.
        webView->setDelegate({});
        return pool(webView);
    }
    if (clearingWebViews_.size() >= kMaximumWipes) return;
    webView->stopLoading();
    webView->setDelegate(weakSelf<AKWebViewCacheSet>());
    clearingWebViews_.push_back(webView);
    webView->loadRequest(NSURLRequest::requestWithURL(kBlankURL));
    std::weak_ptr<AKWebViewCacheSet> weakSet = self<AKWebViewCacheSet>();
    std::weak_ptr<UIWebView> weakView = webView;
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, Clock::nanosecondsFor(kWipeTimeout)), dispatch_get_main_queue(),
                   [weakSet, weakView] {
                       const auto set = weakSet.lock();
                       const auto view = weakView.lock();
                       if (!set || !view) return;
                       if (auto given = set->endWipe(*view)) given->stopLoading();  // released here, on main
                   });
}

std::shared_ptr<UIWebView> AKWebViewCacheSet::endWipe(UIWebView& webView) {
    auto found = std::find_if(clearingWebViews_.begin(), clearingWebViews_.end(),
                              [&](const std::shared_ptr<UIWebView>& candidate) { return candidate.get() == &webView; });
    if (found == clearingWebViews_.end()) return nullptr;
    auto held = *found;
    clearingWebViews_.erase(found);
    held->setDelegate({});
    return held;
}

bool AKWebViewCacheSet::shouldStartLoadWithRequest(UIWebView& /*webView*/, const std::shared_ptr<NSURLRequest>& request,
                                                   UIWebViewNavigationType /*navigationType*/) {
    return request && request->URL() == kBlankURL;
}

void AKWebViewCacheSet::webViewDidFinishLoad(UIWebView& webView) {
    QV_ASSERT_MAIN_THREAD();
    auto wiped = endWipe(webView);
    if (!wiped) return;
    if (!wiped->stringByEvaluatingJavaScriptFromString("document.body.innerHTML").empty()) return;
    if (pooled_.size() >= maxCapacity_) return;
    pool(wiped);
}

void AKWebViewCacheSet::pool(const std::shared_ptr<UIWebView>& webView) {
    webView->setEngineVisible(false);
    // The engine may not have painted the blank page before it stopped painting:
    // no picture of the previous ad stays with the pooled web view.
    webView->layer()->setContents(nullptr);
    pooled_.push_back(webView);
}

void AKWebViewCacheSet::didFailLoadWithError(UIWebView& webView, const NSError& /*error*/) {
    QV_ASSERT_MAIN_THREAD();
    endWipe(webView);  // a web view whose wipe failed is released
}

std::shared_ptr<UIWebView> AKWebViewCacheSet::anyObject() {
    QV_ASSERT_MAIN_THREAD();
    if (pooled_.empty()) return nullptr;
    auto webView = std::move(pooled_.back());
    pooled_.pop_back();
    webView->layer()->setContents(nullptr);  // a frame that came late while pooled
    webView->setEngineVisible(true);
    return webView;
}

void AKWebViewCacheSet::removeAllObjects() {
    QV_ASSERT_MAIN_THREAD();
    pooled_.clear();
}
