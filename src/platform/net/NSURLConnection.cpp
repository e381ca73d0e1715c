#include "platform/net/NSURLConnection.h"

#include <cctype>

#include "platform/net/NSURLConnectionBacking.h"
#include "platform/net/NSURLProtocol.h"

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
    if (NSURLProtocol::classForRequest(*request)) return true;
    const std::string& url = request->URL();
    auto colon = url.find("://");
    if (colon == std::string::npos) return false;
    std::string scheme = url.substr(0, colon);
    for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "http" || scheme == "https";
}

void NSURLConnection::scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    AnnotatedLock lock(mutex_);
    if (started_) return;
    (void)schedule_.add(runLoop, mode);  // another loop than the first is ignored
}

void NSURLConnection::unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    AnnotatedLock lock(mutex_);
    if (started_) return;
    schedule_.remove(runLoop, mode);
}

RunLoopSchedule::Snapshot NSURLConnection::schedule() const {
    AnnotatedLock lock(mutex_);
    return schedule_.snapshot();
}

void NSURLConnection::start() {
    RunLoopSchedule::Snapshot where;
    {
        AnnotatedLock lock(mutex_);
        if (started_ || cancelled_) return;
        started_ = true;
        if (schedule_.empty()) (void)schedule_.add(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
        where = schedule_.snapshot();
    }
    // Nothing when the scheduled run loop is gone with its thread.
    auto self = this->self<NSURLConnection>();
    where.perform([self] { NSURLConnectionBacking::begin(self); });
}

void NSURLConnection::cancel() {
    std::shared_ptr<NSURLConnectionDelegate> released;
    {
        // Waits for a delegate call running on the loop's thread; re-entered
        // when the delegate itself cancels.
        AnnotatedLock lock(callbackMutex_);
        if (cancelled_.exchange(true)) return;
        released = std::move(delegate_);
    }
    RunLoopSchedule::Snapshot where;
    {
        AnnotatedLock lock(mutex_);
        if (!started_) return;
        where = schedule_.snapshot();
    }
    if (!where || ended_) return;
    auto self = this->self<NSURLConnection>();
    if (NSRunLoop::currentRunLoop() == where.runLoop) {
        NSURLConnectionBacking::stop(self);
    } else {
        // Any mode will do for letting go of the transfer.
        where.modes.push_back(NSRunLoopCommonModes);
        where.modes.push_back(NSDefaultRunLoopMode);
        where.perform([self] { NSURLConnectionBacking::stop(self); });
    }
}

std::shared_ptr<NSURLRequest> NSURLConnection::originalRequest() const { return originalRequest_; }

std::shared_ptr<NSURLRequest> NSURLConnection::currentRequest() const {
    AnnotatedLock lock(mutex_);
    return currentRequest_;
}

bool NSURLConnection::modeAllowed() const {
    std::shared_ptr<NSRunLoop> loop;
    {
        AnnotatedLock lock(mutex_);
        loop = schedule_.runLoop();
    }
    if (!loop) return false;
    NSRunLoopMode running = loop->currentMode();  // outside our lock: no order between the two
    // Called outside a run of the loop (a perform run directly): any mode.
    if (running.empty()) return true;
    AnnotatedLock lock(mutex_);
    return schedule_.includes(running);
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
    RunLoopSchedule::Snapshot where;
    {
        AnnotatedLock lock(mutex_);
        if (!started_) return;
        where = schedule_.snapshot();
    }
    if (!where || ended_ || cancelled_) return;
    if (now && NSRunLoop::currentRunLoop() == where.runLoop) return block();
    where.perform(std::move(block));
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
