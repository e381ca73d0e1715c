#include "adkit/requests/AKSDKCoreController.h"

#include <algorithm>

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/rendering/AKCorePage.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

std::shared_ptr<AKSDKCoreController> AKSDKCoreController::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<AKSDKCoreController>> shared([] {
        auto controller = std::make_shared<AKSDKCoreController>();
        controller->activeSDKCoreWebView_ = controller->makeActivePage();  // no queue runs for it yet
        // Ad rendering reaches the active page through this source (the one it replaces is none).
        AKCorePage::setActiveWebViewSource([weak = std::weak_ptr(controller)]() -> std::shared_ptr<AKWebView> {
            const auto self = weak.lock();
            const auto page = self ? self->activeSDKCoreWebView() : nullptr;
            return page ? page->webView() : nullptr;
        });
        return controller;
    }());
    return *shared;
}

AKSDKCoreController::AKSDKCoreController()
    : lockQueue_(dispatch_queue_create("com.adkit.adnet.sdk-core-controller")),
      requestURLQueue_(dispatch_queue_create("com.adkit.adnet.sdk-core-controller-url")) {}

std::shared_ptr<AKSDKCoreWebView> AKSDKCoreController::makeActivePage() {
    auto page = AKSDKCoreWebView::make();
    page->SDKCoreAMSGHandler()->setDelegate(weakSelf<AKSDKCoreController>());
    return page;
}

std::shared_ptr<AKSDKCoreWebView> AKSDKCoreController::activeSDKCoreWebView() const {
    std::shared_ptr<AKSDKCoreWebView> page;
    dispatch_sync(lockQueue_, [&] { page = activeSDKCoreWebView_; });
    return page;
}

std::uint64_t AKSDKCoreController::lastWebViewRefreshTimestamp() const {
    std::uint64_t timestamp = 0;
    dispatch_sync(lockQueue_, [&] { timestamp = lastWebViewRefreshTimestamp_; });
    return timestamp;
}

std::size_t AKSDKCoreController::pendingBuildCount() const {
    std::size_t count = 0;
    dispatch_sync(lockQueue_, [&] { count = pendingBuildAdURLDelegates_.size(); });
    return count;
}

std::string AKSDKCoreController::JavaScriptCommand(const std::string& function, const std::string& JSON) {
    return format("%@(%@);", function, JSON);
}

void AKSDKCoreController::failBuild(const SlotRef& slot, std::int64_t code, const std::string& reason) {
    NSLog("Core page: a build failed (code %lld): %s", static_cast<long long>(code), reason.c_str());
    dispatch_async(dispatch_get_main_queue(), [slot, code, reason] {
        if (auto target = slot.lock()) target->buildAdURLFailedWithError(AKRequestError::errorWithCode(code, reason));
    });
}

// ---------------------------------------------------------------- builds

void AKSDKCoreController::buildAdURL(const std::shared_ptr<AKSDKCoreControllerDelegate>& slot) {
    if (!slot) return;
    auto self = this->self<AKSDKCoreController>();
    dispatch_async(lockQueue_, [self, slot = SlotRef(slot)] {
        self->refreshActiveWebViewSDKCoreLocked();
        self->pendingActiveWebViewLoadDelegates_.push_back(slot);
        self->activeSDKCoreWebView_->addObserverForOneTimeNotification(self->weakSelf<AKSDKCoreController>());
    });
}

void AKSDKCoreController::refreshActiveWebViewSDKCoreLocked() {
    QV_ASSERT_ON_QUEUE(lockQueue_);
    const std::uint64_t now = AKAbsoluteTime::absoluteTimeInMilliseconds();
    const AKSDKCoreWebViewState state = activeSDKCoreWebView_->state();
    const bool current = state == AKSDKCoreWebViewState::loading || state == AKSDKCoreWebViewState::loaded;
    if (current && now - lastWebViewRefreshTimestamp_ <= kRefreshInterval) return;
    SDKConstantsNeedReload_ = true;
    SDKConstantsRequested_ = false;
    activeSDKCoreWebView_->refreshSDKCore();
    lastWebViewRefreshTimestamp_ = now;
}

void AKSDKCoreController::didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page) {
    QV_ASSERT_MAIN_THREAD();
    std::vector<SlotRef> failed, ready;
    bool askConstants = false, observeAgain = false;
    dispatch_sync(lockQueue_, [&] {
        if (page != activeSDKCoreWebView_) return;  // a page replaced meanwhile
        const AKSDKCoreWebViewState state = page->state();
        if (SDKConstantsNeedReload_ && !SDKConstantsRequested_ && state == AKSDKCoreWebViewState::loaded) {
            askConstants = SDKConstantsRequested_ = true;
        }
        if (state != AKSDKCoreWebViewState::loading) {
            auto& waiting = pendingActiveWebViewLoadDelegates_;
            (state == AKSDKCoreWebViewState::loaded ? ready : failed).assign(waiting.begin(), waiting.end());
            waiting.clear();
        }
        if (!page->hasSDKCoreLoadedAtLeastOnce()) lastWebViewRefreshTimestamp_ = 0;
        observeAgain = !pendingActiveWebViewLoadDelegates_.empty();
    });
    if (askConstants) {
        Value version = Value({{"js", AKRequest::sdkVersion()}});
        const std::string JSON = AKMacros::dictionaryToJSONString(version);
        page->executeJavaScriptCommand(JavaScriptCommand("ADNET_getSdkConstants", JSON), kConstantsCommandKey);
    }
    for (auto& slot : failed) {
        dispatch_async(dispatch_get_main_queue(), [slot] {
            if (auto target = slot.lock()) target->failedJavaScriptFile();
        });
    }
    for (auto& slot : ready) asynchronouslyRequestURLForDelegate(slot);
    if (observeAgain) page->addObserverForOneTimeNotification(weakSelf<AKSDKCoreController>());
}

void AKSDKCoreController::asynchronouslyRequestURLForDelegate(SlotRef slot) {
    auto self = this->self<AKSDKCoreController>();
    dispatch_async(requestURLQueue_, [self, slot = std::move(slot)] {
        const std::string requestID = std::to_string(self->requestID_);
        bool alive = false;
        Value parameters;
        // One hop: the slot's fields and views are the main thread's.
        AKRunSynchronouslyOnMainThread([&] {
            auto target = slot.lock();
            if (!target) return;
            alive = true;
            target->setRequestID(requestID);
            parameters = target->requestParameters();
        });
        if (!alive) return;  // a slot gone causes no request
        ++self->requestID_;
        std::string failure;
        const auto ready = parameters.isDictionary() ? AKRequestJSONReadyParameters(parameters, &failure) : std::nullopt;
        const std::string JSON = ready ? adRequestParameterJSONFromParameters(*ready) : std::string();
        if (JSON.empty()) {
            failBuild(slot, 0, "the request parameters cannot be JSON" + (failure.empty() ? "" : ": " + failure));
            return;
        }
        self->sendBuild(slot, requestID, JSON);
    });
}

void AKSDKCoreController::sendBuild(const SlotRef& slot, const std::string& requestID, const std::string& JSON) {
    std::shared_ptr<AKSDKCoreWebView> page;
    std::uint64_t token = 0;
    std::string key;
    // The answer's time runs from before the build is seen waiting: whoever sees
    // it waiting (and moves the clock) finds its deadline already set.
    const dispatch_time_t deadline =
        dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(kBuildAnswerLimit * NSEC_PER_SEC));
    dispatch_sync(lockQueue_, [&] {
        token = nextBuildToken_++;
        key = buildCommandKey(token);
        page = activeSDKCoreWebView_;
        pendingBuildAdURLDelegates_[requestID] = PendingBuild{slot, token, page};
    });
    std::weak_ptr<AKSDKCoreController> weak = weakSelf<AKSDKCoreController>();
    dispatch_after(deadline, lockQueue_, [weak, requestID, token] {
        auto self = weak.lock();
        if (!self) return;
        auto entry = self->pendingBuildAdURLDelegates_.find(requestID);
        if (entry == self->pendingBuildAdURLDelegates_.end() || entry->second.token != token) return;
        SlotRef late = entry->second.slot;
        self->forgetBuildCommandLocked(entry->second);
        self->pendingBuildAdURLDelegates_.erase(entry);
        failBuild(late, 5, "the core page did not answer request " + requestID + " in time");
    });
    page->executeJavaScriptCommand(JavaScriptCommand("ADNET_buildAdURL", JSON), key);
}

std::string AKSDKCoreController::buildCommandKey(std::uint64_t token) { return "build " + std::to_string(token); }

void AKSDKCoreController::forgetBuildCommandLocked(const PendingBuild& build) {
    QV_ASSERT_ON_QUEUE(lockQueue_);
    if (auto page = build.page.lock()) page->forgetJavaScriptCommand(buildCommandKey(build.token));
}

// ---------------------------------------------------------------- answers

AKSDKCoreController::SlotRef AKSDKCoreController::takePendingBuild(const AKSDKCoreAMSGHandler& handler,
                                                                   const std::string& requestID) {
    SlotRef slot;
    dispatch_sync(lockQueue_, [&] {
        // Builds are sent to the active page only; another page's answer is no answer to them.
        if (activeSDKCoreWebView_->SDKCoreAMSGHandler().get() != &handler) return;
        auto entry = pendingBuildAdURLDelegates_.find(requestID);
        if (entry == pendingBuildAdURLDelegates_.end()) return;
        slot = entry->second.slot;
        forgetBuildCommandLocked(entry->second);
        pendingBuildAdURLDelegates_.erase(entry);
    });
    return slot;
}

void AKSDKCoreController::SDKCoreAMSGHandlerLoadAdParameters(AKSDKCoreAMSGHandler& handler, const Value& parameters,
                                                             const std::string& requestID) {
    if (auto slot = takePendingBuild(handler, requestID).lock()) slot->loadAdURLWithParameters(parameters);
}

void AKSDKCoreController::SDKCoreAMSGHandlerLoadAd(AKSDKCoreAMSGHandler& handler, const std::shared_ptr<AKAd>& ad,
                                                   const Value& headers, const std::string& requestID) {
    if (auto slot = takePendingBuild(handler, requestID).lock()) slot->loadAdHeaders(ad, headers);
}

void AKSDKCoreController::SDKCoreAMSGHandlerDidReceiveInvalidAdParameters(AKSDKCoreAMSGHandler& handler, const Value&,
                                                                          const std::string& requestID) {
    if (auto slot = takePendingBuild(handler, requestID).lock()) slot->invalidJavaScriptRequest();
}

void AKSDKCoreController::SDKCoreAMSGHandlerDidReceiveUnusableAnswer(AKSDKCoreAMSGHandler& handler, const std::string& reason,
                                                                     const std::string& requestID) {
    SlotRef slot = takePendingBuild(handler, requestID);
    if (slot.expired()) return;
    failBuild(slot, 13, "the core page's answer to request " + requestID + " cannot be used: " + reason);
}

// ---------------------------------------------------------------- Viewability

std::shared_ptr<AKSDKCoreWebView> AKSDKCoreController::nextSDKCoreWebView() {
    QV_ASSERT_MAIN_THREAD();
    removeFinishedViewabilityWebViews();
    auto page = AKSDKCoreWebView::make();
    page->setUpWebView();  // its web view at once, for the run's observer
    page->refreshSDKCore();
    return page;
}

void AKSDKCoreController::finishedUsingSDKCoreWebView(const std::shared_ptr<AKSDKCoreWebView>& page) {
    QV_ASSERT_MAIN_THREAD();
    if (!page) return;
    const auto& webView = page->webView();
    if (webView && !webView->viewabilityUnloadPingReceived()) cacheRunningViewabilityWebView(page);
}

void AKSDKCoreController::cacheRunningViewabilityWebView(const std::shared_ptr<AKSDKCoreWebView>& page) {
    QV_ASSERT_MAIN_THREAD();
    dispatch_sync(lockQueue_, [&] { viewabilitySDKCoreWebViews_.push_back(page); });
    removeFinishedViewabilityWebViews();
}

std::vector<std::shared_ptr<AKSDKCoreWebView>> AKSDKCoreController::viewabilitySDKCoreWebViews() const {
    std::vector<std::shared_ptr<AKSDKCoreWebView>> pages;
    dispatch_sync(lockQueue_, [&] { pages = viewabilitySDKCoreWebViews_; });
    return pages;
}

void AKSDKCoreController::removeFinishedViewabilityWebViews() {
    QV_ASSERT_MAIN_THREAD();  // the pages' ping flags are the main thread's; only it changes the list
    std::vector<std::shared_ptr<AKSDKCoreWebView>> pages = viewabilitySDKCoreWebViews(), kept, finished;
    // The newest running pages stay, in their order.
    for (auto page = pages.rbegin(); page != pages.rend(); ++page) {
        const auto& webView = (*page)->webView();
        const bool running = webView && !webView->viewabilityUnloadPingReceived();
        (running && kept.size() < kViewabilityCacheSize ? kept : finished).push_back(*page);
    }
    std::reverse(kept.begin(), kept.end());
    dispatch_sync(lockQueue_, [&] { viewabilitySDKCoreWebViews_ = kept; });
    for (auto& page : finished) {
        if (const auto& webView = page->webView()) webView->setViewabilityUnloadPingReceived(true);
        finishedUsingSDKCoreWebView(page);  // now lets it go
    }
}

std::vector<double> AKSDKCoreController::viewabilityMonitorRefreshIntervals() const {
    std::vector<double> intervals;
    dispatch_sync(lockQueue_, [&] { intervals = viewabilityMonitorRefreshIntervals_.value_or(std::vector<double>()); });
    return intervals;
}

void AKSDKCoreController::setViewabilityMonitorRefreshIntervals(std::vector<double> intervals) {
    dispatch_async(lockQueue_, [self = this->self<AKSDKCoreController>(), intervals = std::move(intervals)]() mutable {
        self->viewabilityMonitorRefreshIntervals_ = std::move(intervals);
    });
}

// ---------------------------------------------------------------- tests

void AKSDKCoreController::resetForTesting(AKSDKCoreControllerTestingKey) {
    QV_ASSERT_MAIN_THREAD();
    auto fresh = makeActivePage();
    std::shared_ptr<AKSDKCoreWebView> old;
    std::vector<std::shared_ptr<AKSDKCoreWebView>> viewability;
    dispatch_sync(lockQueue_, [&] {
        old = std::exchange(activeSDKCoreWebView_, fresh);
        viewability.swap(viewabilitySDKCoreWebViews_);
        pendingActiveWebViewLoadDelegates_.clear();
        pendingBuildAdURLDelegates_.clear();
        SDKConstantsNeedReload_ = true;
        SDKConstantsRequested_ = false;
        lastWebViewRefreshTimestamp_ = 0;
        viewabilityMonitorRefreshIntervals_.reset();
    });
    // Builds queued before this ran on the old page; later ones count from 1.
    dispatch_async(requestURLQueue_, [self = this->self<AKSDKCoreController>()] { self->requestID_ = 1; });
}
