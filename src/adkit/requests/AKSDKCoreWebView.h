#pragma once
// One core page: the library's hidden page of the static-content server
// (ak_SDKJavaScriptURLString: that origin, https unless configured otherwise,
// and the path "/adnet/static/sdk/native/sdk-core-v40.html") in an off-screen ad web
// view of the library's web process group, with its load state, the observers
// waiting for the end of the current load and the JavaScript commands waiting
// for the page to load.
//
// States (AKSDKCoreWebViewState): idle → loading (refreshSDKCore, or any
// navigation to the page's address) → loaded (the load finished with no HTTP
// status or one of 200-299) or failed (it failed, its main document was
// answered with another status, or it had not finished kLoadLimit seconds of
// Clock time after it started); a reload goes back to loading. The web view
// fails a load on an error status as soon as its headers arrive, so no script
// of an error page runs. A load replaced by another
// (NSURLErrorCancelled) changes nothing: the replacing load ends it.
//
// Navigation: the page's address loads; page messages ("amsg") while loaded
// go to the message handler (refused when it takes them) and then to a plain
// ad web-view delegate, whose answer counts; everything else is refused.
//
// Commands: at most kMaxPendingJSCommands wait (the oldest goes first when
// another comes); they run in order, each evaluated on the main thread, once
// the page is loaded; in the failed state new commands are dropped. A command
// given an answer key is awaiting the page's answer: once run it is kept until
// forgetJavaScriptCommand(key), and when the document it ran in goes (any new
// load of the page's address: a reload, or the library's web process ended
// and the platform bringing the page back) it waits again, ahead of later
// commands, to run in the next loaded document. A document that is gone
// answers nothing, so the command runs again rather than waiting in vain;
// an answer of the old document that still arrives is the one taken, and the
// caller's forget drops the repeat (a repeat already run answers nobody).
//
// Observers (held weakly) hear didFinishLoadingSDKCoreInSDKCoreWebView once, on
// the main queue, when the current load ends; one added while the page is
// loaded or failed hears it at once. The calls hold the page weakly.
//
// Threads: any caller. State, observers and commands live on the lock queue
// "com.adkit.adnet.sdk-core-web-view"; loads and command runs are ordered on
// the command queue "com.adkit.adnet.sdk-core-web-view-js", which waits for
// the main thread; neither queue is ever waited on from the main thread
// except the lock queue, which waits on nothing. The web view is made on the
// main thread by the first load (or setUpWebView) and let go there.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "adkit/rendering/AKWebView.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSObject.h"

class AKSDKCoreAMSGHandler;
class AKSDKCoreWebView;
class AKWebViewDelegate;

enum class AKSDKCoreWebViewState : std::int64_t { idle = 0, loading = 1, loaded = 2, failed = 3 };

class AKSDKCoreWebViewObserver {
public:
    virtual ~AKSDKCoreWebViewObserver() = default;
    // On the main queue, once per registration.
    virtual void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page) = 0;
};

class AKSDKCoreWebView : public NSObject, public AKWebViewDelegateProtocol {
public:
    static constexpr std::size_t kMaxPendingJSCommands = 50;
    static constexpr double kLoadLimit = 15;  // seconds of Clock time

    // Any thread.
    static std::shared_ptr<AKSDKCoreWebView> make();
    AKSDKCoreWebView();
    ~AKSDKCoreWebView() override;

    // The page's address, and whether a URL is it (however the engine writes it back).
    static std::string SDKCoreURL();
    static bool isSDKCoreURL(const std::string& URL);

    AKSDKCoreWebViewState state() const;
    bool hasSDKCoreLoadedAtLeastOnce() const;
    std::size_t pendingJSCommandCount() const;
    // Main thread: null before the first load.
    const std::shared_ptr<AKWebView>& webView() const;
    const std::shared_ptr<AKSDKCoreAMSGHandler>& SDKCoreAMSGHandler() const { return handler_; }

    // The page (re)loads: loading at once, the load itself on the main thread.
    void refreshSDKCore();
    void addObserverForOneTimeNotification(std::weak_ptr<AKSDKCoreWebViewObserver> observer);
    void removeObserver(const std::shared_ptr<AKSDKCoreWebViewObserver>& observer);
    void executeJavaScriptCommand(std::string command, std::string answerKey = {});
    // The command of that key no longer awaits an answer (any thread).
    void forgetJavaScriptCommand(std::string answerKey);
    // Makes the web view now rather than at the first load (main thread; once).
    void setUpWebView();

    // AKWebViewDelegateProtocol (main thread).
    bool shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                    UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(AKWebView& webView) override;
    void webViewDidFinishLoad(AKWebView& webView) override;
    void didFailLoadWithError(AKWebView& webView, const NSError& error) override;

private:
    // The one transition function (on the lock queue): checks the move.
    void moveTo(AKSDKCoreWebViewState next);
    void loadTimedOut(std::uint64_t load);
    void notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
    struct Command {
        std::string script;
        std::string answerKey;  // empty: nothing awaited
    };
    void executePendingJavaScriptCommands();
    void dispatchPendingJavaScriptCommands();
    void runPendingJavaScriptCommands();  // main thread
    void requeueCommandsOfGoneDocument();  // lock queue

    const std::shared_ptr<AKSDKCoreAMSGHandler> handler_;
    const dispatch_queue_t lockQueue_;
    const dispatch_queue_t commandQueue_;

    // Main thread.
    std::shared_ptr<AKWebView> webView_;
    std::shared_ptr<AKWebViewDelegate> webViewDelegate_;
    std::uint64_t loadNumber_ = 0;  // loads of the page's address started and ended: a time limit acts only for its own load

    // Lock queue.
    AKSDKCoreWebViewState state_ = AKSDKCoreWebViewState::idle;
    bool hasSDKCoreLoadedAtLeastOnce_ = false;
    std::vector<std::weak_ptr<AKSDKCoreWebViewObserver>> observers_;
    std::deque<Command> pendingJSCommands_;
    std::vector<Command> awaitedJSCommands_;  // run in the current document, answer awaited
};
