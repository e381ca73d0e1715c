#pragma once
// The pool of wiped web views that ad web views take instead of making a new
// one. A returned web view is wiped first: on the main queue it loads
// "about:blank" with the pool as its delegate (only that navigation allowed),
// and enters the pool only when that load finishes with an empty body and the
// pool holds fewer than its capacity; otherwise it is released. At most 3 wipes
// run at a time: a web view returned while 3 are running is released at once.
// A web view whose page was never made (UIWebView::hasPage) is blank: it enters
// the pool without a wipe, so it starts no web process.
// A wipe that has not ended after kWipeTimeout seconds is given up and its web
// view released, so a page that never finishes cannot hold a wipe for good.
// Pooled web views are invisible to the engine (no painting) and keep no
// picture of their previous page (a taken one has none at all); they become
// visible again when taken. A memory warning empties the pool.
//
// Threads: main thread only, so web views are only ever kept, handed out and
// released on the main thread. Lifetime: a web view being wiped when the pool
// goes away loses its delegate and stops loading.
//
// Capacity (capacityForStoredValue): the "ak_web_view_cache_max_capacity"
// user default; 4 when absent or outside 0...9; 0 pools nothing.
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/webkit/UIWebView.h"

class AKWebViewCacheSet : public NSObject, public UIWebViewDelegate {
public:
    static constexpr const char* kCapacityKey = "ak_web_view_cache_max_capacity";
    static constexpr std::size_t kDefaultCapacity = 4;
    static constexpr std::size_t kMaximumWipes = 3;
    static constexpr double kWipeTimeout = 10;

    static std::size_t capacityForStoredValue(const Value& stored);
    // initWithMaxCapacity: (make observes memory warnings).
    static std::shared_ptr<AKWebViewCacheSet> make(std::size_t maxCapacity);
    explicit AKWebViewCacheSet(std::size_t maxCapacity) : maxCapacity_(maxCapacity) {}
    ~AKWebViewCacheSet() override;

    // Wipes the web view on the main queue, then pools or releases it.
    void addObject(const std::shared_ptr<UIWebView>& webView);
    // Takes a pooled web view out (engine-visible again); null when empty.
    std::shared_ptr<UIWebView> anyObject();
    void removeAllObjects();

    std::size_t maxCapacity() const { return maxCapacity_; }
    std::size_t count() const { return pooled_.size(); }
    const std::vector<std::shared_ptr<UIWebView>>& clearingWebViews() const { return clearingWebViews_; }

    // UIWebViewDelegate of the web views being wiped.
    bool shouldStartLoadWithRequest(UIWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(UIWebView& webView) override;
    void didFailLoadWithError(UIWebView& webView, const NSError& error) override;

private:
    void clearWebView(const std::shared_ptr<UIWebView>& webView);
    // Hides a blank web view from the engine, without a picture, in the pool.
    void pool(const std::shared_ptr<UIWebView>& webView);
    // Removes the web view from the wipes and clears its delegate; null when it was not there.
    std::shared_ptr<UIWebView> endWipe(UIWebView& webView);

    std::size_t maxCapacity_;
    std::vector<std::shared_ptr<UIWebView>> pooled_;
    std::vector<std::shared_ptr<UIWebView>> clearingWebViews_;
    std::shared_ptr<NSObject> memoryWarningObserver_;
};
