#include "adkit/requests/AKSDKCoreWebView.h"

#include <algorithm>

#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/rendering/AKWebViewDelegate.h"
#include "adkit/requests/AKSDKCoreAMSGHandler.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/net/NSURLError.h"

namespace {

bool allowedMove(AKSDKCoreWebViewState from, AKSDKCoreWebViewState to) {
    using S = AKSDKCoreWebViewState;
    if (to == S::loading) return true;  // any state reloads
    if (from == S::loading) return to == S::loaded || to == S::failed;
    return from == S::loaded && to == S::failed;
}

[[maybe_unused]] const char* nameOf(AKSDKCoreWebViewState state) {  // debug logs
    switch (state) {
        case AKSDKCoreWebViewState::idle: return "idle";
        case AKSDKCoreWebViewState::loading: return "loading";
        case AKSDKCoreWebViewState::loaded: return "loaded";
        case AKSDKCoreWebViewState::failed: return "failed";
    }
    return "?";
}

bool isSuccessStatus(const std::optional<long>& status) { return !status || (*status >= 200 && *status <= 299); }

}  // namespace

std::shared_ptr<AKSDKCoreWebView> AKSDKCoreWebView::make() {
    auto page = std::make_shared<AKSDKCoreWebView>();
    return page;
}

AKSDKCoreWebView::AKSDKCoreWebView()
    : handler_(std::make_shared<AKSDKCoreAMSGHandler>()),
      lockQueue_(dispatch_queue_create("com.adkit.adnet.sdk-core-web-view")),
      commandQueue_(dispatch_queue_create("com.adkit.adnet.sdk-core-web-view-js")) {}

AKSDKCoreWebView::~AKSDKCoreWebView() {
    if (!webView_) return;
    // The web view is let go on the main thread, without this page as its delegate.
    auto release = [webView = std::move(webView_), plain = std::move(webViewDelegate_)] {
        webView->setDelegate({});
    };
    if (isProcessMainThread()) release();
    else dispatch_async(dispatch_get_main_queue(), std::move(release));
}

std::string AKSDKCoreWebView::SDKCoreURL() { return ak_SDKJavaScriptURLString(); }

bool AKSDKCoreWebView::isSDKCoreURL(const std::string& URL) {
    const auto parsed = NSURL::URLWithString(URL);
    return parsed && ak_isSDKJavaScriptURL(*parsed);
}

AKSDKCoreWebViewState AKSDKCoreWebView::state() const {
    AKSDKCoreWebViewState state{};
    dispatch_sync(lockQueue_, [&] { state = state_; });
    return state;
}

bool AKSDKCoreWebView::hasSDKCoreLoadedAtLeastOnce() const {
    bool loaded = false;
    dispatch_sync(lockQueue_, [&] { loaded = hasSDKCoreLoadedAtLeastOnce_; });
    return loaded;
}

std::size_t AKSDKCoreWebView::pendingJSCommandCount() const {
    std::size_t count = 0;
    dispatch_sync(lockQueue_, [&] { count = pendingJSCommands_.size(); });
    return count;
}

const std::shared_ptr<AKWebView>& AKSDKCoreWebView::webView() const {
    QV_ASSERT_MAIN_THREAD();
    return webView_;
}

void AKSDKCoreWebView::moveTo(AKSDKCoreWebViewState next) {
    QV_ASSERT_ON_QUEUE(lockQueue_);
    if (!allowedMove(state_, next)) {
#ifndef NDEBUG
        NSLog("Core page: no move from %s to %s", nameOf(state_), nameOf(next));
#endif
        return;
    }
    state_ = next;
}

void AKSDKCoreWebView::setUpWebView() {
    QV_ASSERT_MAIN_THREAD();
    if (webView_) return;
    webView_ = AKWebView::makeForLibraryPage(CGRectMake(0, 0, 320, 50));
    // A page the server answered with an error status is no core page: it
    // fails on its headers, so none of its scripts runs or reports.
    webView_->webView()->setFailsLoadOnErrorStatus(true);
    webViewDelegate_ = std::make_shared<AKWebViewDelegate>();
    webView_->setDelegate(weakSelf<AKSDKCoreWebView>());
}

// ---------------------------------------------------------------- loading

void AKSDKCoreWebView::refreshSDKCore() {
    dispatch_sync(lockQueue_, [this] { moveTo(AKSDKCoreWebViewState::loading); });
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    dispatch_async(commandQueue_, [weak] {
        AKRunSynchronouslyOnMainThread([weak] {
            auto page = weak.lock();
            if (!page) return;
            page->setUpWebView();
            page->webView_->loadRequest(NSURLRequest::requestWithURL(SDKCoreURL()));
        });
    });
}

bool AKSDKCoreWebView::shouldStartLoadWithRequest(AKWebView& webView, const std::shared_ptr<NSURLRequest>& request,
                                                  UIWebViewNavigationType navigationType) {
    QV_ASSERT_MAIN_THREAD();
    if (!request) return false;
    const std::string& URL = request->URL();
    if (isSDKCoreURL(URL)) {
        dispatch_sync(lockQueue_, [this] {
            moveTo(AKSDKCoreWebViewState::loading);
            requeueCommandsOfGoneDocument();
        });
        const std::uint64_t load = ++loadNumber_;
        std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
        dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(kLoadLimit * NSEC_PER_SEC)),
                       dispatch_get_main_queue(), [weak, load] {
                           if (auto page = weak.lock()) page->loadTimedOut(load);
                       });
    } else if (!AKNotification::isNotificationURL(URL) || state() != AKSDKCoreWebViewState::loaded) {
        return false;
    }
    if (handler_->handleRequest(request, webView.self<AKWebView>())) return false;
    return !webViewDelegate_ || webViewDelegate_->shouldStartLoadWithRequest(webView, request, navigationType);
}

void AKSDKCoreWebView::webViewDidStartLoad(AKWebView& webView) {
    if (webViewDelegate_) webViewDelegate_->webViewDidStartLoad(webView);
}

void AKSDKCoreWebView::webViewDidFinishLoad(AKWebView& webView) {
    QV_ASSERT_MAIN_THREAD();
    // A page the server answered with an error status is no core page (a
    // backing that cannot refuse it on its headers tells only now).
    const bool succeeded = isSuccessStatus(webView.webView()->mainDocumentStatusCode());
    dispatch_sync(lockQueue_, [this, succeeded] {
        if (state_ != AKSDKCoreWebViewState::loading) return;
        moveTo(succeeded ? AKSDKCoreWebViewState::loaded : AKSDKCoreWebViewState::failed);
        if (succeeded) hasSDKCoreLoadedAtLeastOnce_ = true;
    });
    ++loadNumber_;  // the ended load's time limit no longer applies (not even to a reload decided later)
    if (webViewDelegate_) webViewDelegate_->webViewDidFinishLoad(webView);
    executePendingJavaScriptCommands();
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void AKSDKCoreWebView::didFailLoadWithError(AKWebView& webView, const NSError& error) {
    QV_ASSERT_MAIN_THREAD();
    // A load replaced by another ends with the other (a reload, or the
    // library's process coming back).
    if (error.code() != NSURLErrorCancelled) {
        dispatch_sync(lockQueue_, [this] { moveTo(AKSDKCoreWebViewState::failed); });
        ++loadNumber_;  // the ended load's time limit no longer applies
    }
    if (webViewDelegate_) webViewDelegate_->didFailLoadWithError(webView, error);
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

void AKSDKCoreWebView::loadTimedOut(std::uint64_t load) {
    QV_ASSERT_MAIN_THREAD();
    if (load != loadNumber_) return;
    bool timedOut = false;
    dispatch_sync(lockQueue_, [&] {
        if (state_ != AKSDKCoreWebViewState::loading) return;
        moveTo(AKSDKCoreWebViewState::failed);
        timedOut = true;
    });
    if (!timedOut) return;
    NSLog("Core page: not loaded within %g s; it has failed", kLoadLimit);
    if (webView_) webView_->stopLoading();
    notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished();
}

// ---------------------------------------------------------------- observers

void AKSDKCoreWebView::addObserverForOneTimeNotification(std::weak_ptr<AKSDKCoreWebViewObserver> observer) {
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    dispatch_async(lockQueue_, [this, weak, observer = std::move(observer)] {
        auto page = weak.lock();  // keeps the page while its queue runs this
        if (!page) return;
        if (state_ == AKSDKCoreWebViewState::loaded || state_ == AKSDKCoreWebViewState::failed) {
            dispatch_async(dispatch_get_main_queue(), [weak, observer] {
                auto late = weak.lock();
                auto target = observer.lock();
                if (late && target) target->didFinishLoadingSDKCoreInSDKCoreWebView(late);
            });
            return;
        }
        const bool known = std::any_of(observers_.begin(), observers_.end(), [&](const auto& other) {
            return !other.owner_before(observer) && !observer.owner_before(other);
        });
        if (!known) observers_.push_back(observer);
    });
}

void AKSDKCoreWebView::removeObserver(const std::shared_ptr<AKSDKCoreWebViewObserver>& observer) {
    dispatch_sync(lockQueue_, [&] {
        std::erase_if(observers_, [&](const auto& other) {
            auto known = other.lock();
            return !known || known == observer;
        });
    });
}

void AKSDKCoreWebView::notifyAllObserversOnlyOnceThatSDKCoreRequestIsFinished() {
    std::vector<std::weak_ptr<AKSDKCoreWebViewObserver>> observers;
    dispatch_sync(lockQueue_, [&] { observers.swap(observers_); });
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    for (auto& observer : observers) {
        dispatch_async(dispatch_get_main_queue(), [weak, observer] {
            auto page = weak.lock();
            auto target = observer.lock();
            if (page && target) target->didFinishLoadingSDKCoreInSDKCoreWebView(page);
        });
    }
}

// ---------------------------------------------------------------- commands

void AKSDKCoreWebView::executeJavaScriptCommand(std::string command, std::string answerKey) {
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    dispatch_async(lockQueue_, [this, weak, command = std::move(command), key = std::move(answerKey)]() mutable {
        auto page = weak.lock();
        if (!page) return;
        if (state_ == AKSDKCoreWebViewState::failed) return;
        if (pendingJSCommands_.size() >= kMaxPendingJSCommands) pendingJSCommands_.pop_front();
        pendingJSCommands_.push_back(Command{std::move(command), std::move(key)});
        executePendingJavaScriptCommands();
    });
}

void AKSDKCoreWebView::forgetJavaScriptCommand(std::string answerKey) {
    if (answerKey.empty()) return;
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    dispatch_async(lockQueue_, [this, weak, key = std::move(answerKey)] {
        auto page = weak.lock();
        if (!page) return;
        const auto keyed = [&](const Command& command) { return command.answerKey == key; };
        std::erase_if(awaitedJSCommands_, keyed);
        std::erase_if(pendingJSCommands_, keyed);
    });
}

void AKSDKCoreWebView::requeueCommandsOfGoneDocument() {
    QV_ASSERT_ON_QUEUE(lockQueue_);
    pendingJSCommands_.insert(pendingJSCommands_.begin(), awaitedJSCommands_.begin(), awaitedJSCommands_.end());
    awaitedJSCommands_.clear();
    while (pendingJSCommands_.size() > kMaxPendingJSCommands) pendingJSCommands_.pop_front();
}

void AKSDKCoreWebView::executePendingJavaScriptCommands() {
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    dispatch_async(commandQueue_, [weak] {
        if (auto page = weak.lock()) page->dispatchPendingJavaScriptCommands();
    });
}

void AKSDKCoreWebView::dispatchPendingJavaScriptCommands() {
    QV_ASSERT_ON_QUEUE(commandQueue_);
    bool due = false;
    dispatch_sync(lockQueue_, [&] { due = state_ == AKSDKCoreWebViewState::loaded && !pendingJSCommands_.empty(); });
    if (!due) return;
    std::weak_ptr<AKSDKCoreWebView> weak = weakSelf<AKSDKCoreWebView>();
    AKRunSynchronouslyOnMainThread([&] {
        if (auto page = weak.lock()) page->runPendingJavaScriptCommands();
    });
}

void AKSDKCoreWebView::runPendingJavaScriptCommands() {
    QV_ASSERT_MAIN_THREAD();
    if (!webView_) return;
    // Taken on the main thread, where a new document starts: each command runs
    // in the document it was counted as run in.
    std::deque<Command> commands;
    dispatch_sync(lockQueue_, [&] {
        if (state_ != AKSDKCoreWebViewState::loaded) return;
        commands.swap(pendingJSCommands_);
        for (const auto& command : commands)
            if (!command.answerKey.empty()) awaitedJSCommands_.push_back(command);
    });
    const std::uint64_t load = loadNumber_;
    for (const auto& command : commands) {
        // A new document started meanwhile (the evaluation waits on the page): the
        // awaited rest wait for it again; the others were meant for the one gone.
        if (loadNumber_ != load) break;
        (void)webView_->stringByEvaluatingJavaScriptFromString(command.script);
    }
}
