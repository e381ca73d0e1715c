#pragma once
// A hidden web page that runs script for a client: the container loads one
// remote page (an http or https URL; a request with the default cache policy
// and a kLoadTimeout-second time-out) in an off-screen ad web view of the
// library's process group, and then evaluates expressions in it.
//
// Lifecycle (AKJSContainerState, one checked transition function):
//   initialLoad  → loaded         the remote page finished with no HTTP status or one below 400
//   initialLoad  → fallbackLoad   the remote page failed or was answered 400 or above: the
//                                 client's fallback bytes load as "text/html" in "UTF-8"
//                                 under the remote URL as base URL; nobody is told
//   fallbackLoad → loaded         the fallback finished
//   fallbackLoad → fallbackFailed the fallback failed too: waiting expressions are dropped
//   fallbackFailed, loaded → loaded  any later page of the view finished
// A URL that is missing, or not http(s), is not loaded: the first load counts
// as failed at once and the fallback loads with no base URL. A load replaced by
// another (NSURLErrorCancelled) changes nothing: the replacing load ends it.
//
// Expressions: invokeJavaScriptFromString evaluates at once (result dropped)
// when a page has loaded and answers true; before that it answers false and
// the expression waits (at most kMaxPendingExpressions, the oldest going
// first), except after a failed fallback, when it is dropped. Waiting
// expressions run in order when a load finishes, before the delegate hears
// didFinishLoadInJSContainer. stringByEvaluatingJavaScriptFromString evaluates
// at once, loaded or not.
//
// Delegate (held weakly; every call optional, on the main thread): hears every
// finished load (the first one and the fallback included), and the starts and
// navigation vetoes only outside the first load and the fallback load, during
// which every navigation is allowed.
//
// Threads: any caller. State, waiting expressions and the delegate live on the
// lock queue "com.adkit.adnet.js-container", which waits on nothing; web-view
// work runs synchronously on the main thread after the queue has been left.
// The web view is made, used and let go on the main thread.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "adkit/rendering/AKWebView.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class AKJSContainer;

// The AKJSContainerDelegate protocol: every callback optional (the defaults
// allow the navigation and do nothing).
class AKJSContainerDelegate {
public:
    virtual ~AKJSContainerDelegate() = default;
    virtual void didStartLoadInJSContainer(AKJSContainer& /*container*/) {}
    virtual void didFinishLoadInJSContainer(AKJSContainer& /*container*/) {}
    // container:shouldStartLoadWithRequest:navigationType:
    virtual bool shouldStartLoadWithRequest(AKJSContainer& /*container*/,
                                            const std::shared_ptr<NSURLRequest>& /*request*/,
                                            UIWebViewNavigationType /*navigationType*/) {
        return true;
    }
};

enum class AKJSContainerState : std::int64_t { initialLoad = 0, fallbackLoad = 1, loaded = 2, fallbackFailed = 3 };

class AKJSContainer : public NSObject, public AKWebViewDelegateProtocol {
public:
    static constexpr std::size_t kMaxPendingExpressions = 50;
    static constexpr double kLoadTimeout = 5;  // seconds, the remote page's request

    // initWithURL:fallbackData: (any thread): a new hidden web view with a zero frame.
    static std::shared_ptr<AKJSContainer> initWithURL(const NSURLPtr& URL, Data fallbackData);
    // initWithURL:fallbackData:webView: (any thread; the web view is the caller's,
    // made on the main thread, and becomes hidden with the container as its delegate).
    static std::shared_ptr<AKJSContainer> initWithURL(const NSURLPtr& URL, Data fallbackData,
                                                      std::shared_ptr<AKWebView> webView);
    AKJSContainer(NSURLPtr remoteURL, Data fallbackData, std::shared_ptr<AKWebView> webView);
    ~AKJSContainer() override;

    // Any thread.
    [[nodiscard]] bool invokeJavaScriptFromString(const std::string& expression);
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    std::shared_ptr<AKJSContainerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<AKJSContainerDelegate> delegate);

    AKJSContainerState state() const;
    bool loaded() const { return state() == AKJSContainerState::loaded; }
    bool initialLoadSequence() const { return state() == AKJSContainerState::initialLoad; }
    bool failureLoadSequence() const { return state() == AKJSContainerState::fallbackLoad; }
    std::size_t pendingExpressionCount() const;
    // The page loaded: the http(s) URL given, null when it was missing or of another scheme.
    const NSURLPtr& remoteURL() const { return remoteURL_; }
    const Data& fallbackData() const { return fallbackData_; }
    // Use on the main thread only.
    const std::shared_ptr<AKWebView>& webView() const { return webView_; }

    // AKWebViewDelegateProtocol (main thread).
    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(AKWebView& webView) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override;

private:
    // The one transition function (on the lock queue): checks the move.
    [[nodiscard]] bool moveTo(AKJSContainerState next);
    // Main thread: the first load, or the fallback at once when there is no page to load.
    void startInitialLoad();
    void loadFallback();
    // Main thread: the sequence under way ended in failure.
    void loadFailed();
    // Delegate outside the container's own loads, else null (lock queue inside).
    std::shared_ptr<AKJSContainerDelegate> delegateOutsideOwnLoads() const;

    const NSURLPtr remoteURL_;
    const Data fallbackData_;
    const dispatch_queue_t lockQueue_;
    std::shared_ptr<AKWebView> webView_;  // set before the container is shared; main thread only after

    // Lock queue.
    AKJSContainerState state_ = AKJSContainerState::initialLoad;
    std::deque<std::string> pendingExpressions_;
    std::weak_ptr<AKJSContainerDelegate> delegate_;
};
