#include "platform/net/NSURLConnection.h"

#include <algorithm>
#include <cctype>

#include "platform/net/NSURLConnectionBacking.h"

NSURLConnection::NSURLConnection(std::shared_ptr<NSURLRequest> request,
                                 std::shared_ptr<NSURLConnectionDelegate> delegate)
    : originalRequest_(request ? request->copy() : nullptr),
      currentRequest_(originalRequest_),
      delegate_(std::move(delegate)) {}

NSURLConnectionPtr NSURLConnection::connectionWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                          const std::shared_ptr<NSURLConnectionDelegate>& delegate) {
    return initWithRequest(request, delegate, true);
}

NSURLConnectionPtr NSURLConnection::initWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                    const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                                    bool startImmediately) {
    if (!request) return nullptr;
    auto connection = std::make_shared<NSURLConnection>(request, delegate);
    if (startImmediately) connection->start();
    return connection;
}

bool NSURLConnection::canHandleRequest(const std::shared_ptr<NSURLRequest>& request) {
    if (!request) return false;
    const std::string& url = request->URL();
    auto colon = url.find("://");
    if (colon == std::string::npos) return false;
    std::string scheme = url.substr(0, colon);
    for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "http" || scheme == "https";
}

void NSURLConnection::scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    if (!runLoop) return;
    std::lock_guard lock(mutex_);
    if (started_) return;
    auto current = runLoop_.lock();
    if (modes_.empty()) runLoop_ = runLoop;
    else if (current != runLoop) return;
    for (const auto& m : modes_)
        if (m == mode) return;
    modes_.push_back(mode);
}

void NSURLConnection::unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    if (!runLoop) return;
    std::lock_guard lock(mutex_);
    if (started_ || runLoop_.lock() != runLoop) return;
    modes_.erase(std::remove(modes_.begin(), modes_.end(), mode), modes_.end());
    if (modes_.empty()) runLoop_.reset();
}

void NSURLConnection::start() {
    std::shared_ptr<NSRunLoop> loop;
    std::vector<NSRunLoopMode> modes;
    {
        std::lock_guard lock(mutex_);
        if (started_ || cancelled_) return;
        started_ = true;
        if (modes_.empty()) {
            runLoop_ = NSRunLoop::currentRunLoop();
            modes_.push_back(NSDefaultRunLoopMode);
        }
        loop = runLoop_.lock();
        modes = modes_;
    }
    if (!loop) return;  // the scheduled run loop is gone with its thread
    auto self = this->self<NSURLConnection>();
    loop->performBlock([self] { NSURLConnectionBacking::begin(self); }, modes);
}

void NSURLConnection::cancel() {
    std::shared_ptr<NSURLConnectionDelegate> released;
    {
        // Waits for a delegate call running on the loop's thread; re-entered
        // when the delegate itself cancels.
        std::lock_guard lock(callbackMutex_);
        if (cancelled_.exchange(true)) return;
        released = std::move(delegate_);
    }
    std::shared_ptr<NSRunLoop> loop;
    std::vector<NSRunLoopMode> modes;
    {
        std::lock_guard lock(mutex_);
        if (!started_) return;
        loop = runLoop_.lock();
        modes = modes_;
    }
    if (!loop || ended_) return;
    auto self = this->self<NSURLConnection>();
    if (NSRunLoop::currentRunLoop() == loop) {
        NSURLConnectionBacking::stop(self);
    } else {
        // Any mode will do for letting go of the transfer.
        modes.push_back(NSRunLoopCommonModes);
        modes.push_back(NSDefaultRunLoopMode);
        loop->performBlock([self] { NSURLConnectionBacking::stop(self); }, modes);
    }
}

std::shared_ptr<NSURLRequest> NSURLConnection::originalRequest() const { return originalRequest_; }

std::shared_ptr<NSURLRequest> NSURLConnection::currentRequest() const {
    std::lock_guard lock(mutex_);
    return currentRequest_;
}

bool NSURLConnection::modeAllowed() const {
    std::shared_ptr<NSRunLoop> loop;
    std::vector<NSRunLoopMode> modes;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_.lock();
        modes = modes_;
    }
    if (!loop) return false;
    NSRunLoopMode running = loop->currentMode();
    if (running.empty()) return true;  // called outside a run of the loop (a perform run directly)
    for (const auto& m : modes) {
        if (m == running) return true;
        if (m == NSRunLoopCommonModes && (running == NSDefaultRunLoopMode || running == UITrackingRunLoopMode))
            return true;
    }
    return false;
}

void NSURLConnection::postChallengeAnswer(int answer, const std::shared_ptr<NSURLCredential>& credential,
                                          const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    if (!challenge) return;
    // Always after the delegate call that got the challenge has returned.
    auto self = this->self<NSURLConnection>();
    onLoop(
        [self, challenge, answer, credential] {
            NSURLConnectionBacking::answer(self, challenge, static_cast<NSURLConnectionBacking::Answer>(answer),
                                           credential);
        },
        false);
}

void NSURLConnection::useCredential(const std::shared_ptr<NSURLCredential>& credential,
                                    const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    postChallengeAnswer(static_cast<int>(NSURLConnectionBacking::Answer::UseCredential), credential, challenge);
}

void NSURLConnection::continueWithoutCredentialForAuthenticationChallenge(
    const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    postChallengeAnswer(static_cast<int>(NSURLConnectionBacking::Answer::ContinueWithout), nullptr, challenge);
}

void NSURLConnection::cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    postChallengeAnswer(static_cast<int>(NSURLConnectionBacking::Answer::Cancel), nullptr, challenge);
}

void NSURLConnection::performDefaultHandlingForAuthenticationChallenge(
    const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    postChallengeAnswer(static_cast<int>(NSURLConnectionBacking::Answer::Default), nullptr, challenge);
}

void NSURLConnection::onLoop(std::function<void()> block, bool now) {
    std::shared_ptr<NSRunLoop> loop;
    std::vector<NSRunLoopMode> modes;
    {
        std::lock_guard lock(mutex_);
        if (!started_) return;
        loop = runLoop_.lock();
        modes = modes_;
    }
    if (!loop || ended_ || cancelled_) return;
    if (now && NSRunLoop::currentRunLoop() == loop) return block();
    loop->performBlock(std::move(block), modes);
}

void NSURLConnection::setLoadingHeld(bool held) {
    holdWanted_ = held;
    auto self = this->self<NSURLConnection>();
    onLoop([self, held] { NSURLConnectionBacking::hold(self, held); }, true);
}

void NSURLConnection::continueWithRedirectRequest(const std::shared_ptr<NSURLRequest>& request) {
    auto self = this->self<NSURLConnection>();
    onLoop([self, request] { NSURLConnectionBacking::redirectAnswered(self, request); }, false);
}

void NSURLConnection::continueWithBodyStream(const std::shared_ptr<NSInputStream>& stream) {
    auto self = this->self<NSURLConnection>();
    onLoop([self, stream] { NSURLConnectionBacking::streamAnswered(self, stream); }, false);
}
