#pragma once
// Between NSURLConnection and the library that moves its bytes. Internal to
// the URL-loading folder. Every function here runs on the thread of the run
// loop the connection is scheduled in (asserted in debug builds).
#include <optional>

#include "platform/net/NSURLConnection.h"
#include "platform/net/NSURLProtocol.h"

struct URLProtocolLoad;

struct NSURLConnectionBacking {
    // Ask for the first request and begin.
    static void begin(const NSURLConnectionPtr& connection);
    // Stop moving bytes and let go.
    static void stop(const NSURLConnectionPtr& connection);
    // Hand the pending events of the load to the delegate.
    static void drain(const NSURLConnectionPtr& connection);
    // The same in a later pass of the loop, in the connection's modes.
    static void postDrain(const NSURLConnectionPtr& connection);
    enum class Answer { UseCredential, ContinueWithout, Cancel, Default };
    // The answer to the pending challenge.
    static void answer(const NSURLConnectionPtr& connection,
                       const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer answer,
                       const std::shared_ptr<NSURLCredential>& credential);

    // Holds or lets go of the load (NSURLConnection::setLoadingHeld).
    static void hold(const NSURLConnectionPtr& connection, bool held);
    // The delegate's later answers to a redirect and to a new body stream.
    static void redirectAnswered(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request);
    static void streamAnswered(const NSURLConnectionPtr& connection, const std::shared_ptr<NSInputStream>& stream);
    // A URL protocol instance reported (any thread): its reports are handed
    // over in a later pass of the loop (NSURLConnectionProtocols.cpp).
    static void protocolReported(const NSURLConnectionPtr& connection, const std::shared_ptr<URLProtocolLoad>& load);

private:
    static void assertOnLoopThread(const NSURLConnectionPtr& connection);
    static void launch(const NSURLConnectionPtr& connection, std::shared_ptr<NSURLRequest> request);
    // The request is answered by an instance of the class that claimed it.
    static void answerWithProtocol(const NSURLConnectionPtr& connection,
                                   const std::shared_ptr<const NSURLProtocol::Class>& protocolClass,
                                   const std::shared_ptr<NSURLRequest>& request);
    static void drainProtocol(const NSURLConnectionPtr& connection, const std::shared_ptr<URLProtocolLoad>& load);
    static void fail(const NSURLConnectionPtr& connection, long code, const std::string& reason);
    static void complete(const NSURLConnectionPtr& connection, int code);
    static void followRedirect(const NSURLConnectionPtr& connection);
    static void succeed(const NSURLConnectionPtr& connection);
    static void challenge(const NSURLConnectionPtr& connection);
    static void challengeServerTrust(const NSURLConnectionPtr& connection);
    // Hands a challenge to the delegate (or to the default handling).
    static void offer(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLProtectionSpace>& space,
                      const std::shared_ptr<NSURLCredential>& proposed, long failures,
                      const std::shared_ptr<NSURLResponse>& failureResponse);
    static void answerServerTrust(const NSURLConnectionPtr& connection,
                                  const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer answer,
                                  const std::shared_ptr<NSURLCredential>& credential);
    // Whether `request`'s body stream was read from already (so it needs a fresh one).
    static void streamArrived(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request,
                              const std::shared_ptr<NSInputStream>& fresh);
    static bool needsFreshStream(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request);
    static void deliverHeldResponse(const NSURLConnectionPtr& connection);
    static std::optional<std::shared_ptr<NSURLRequest>> willSend(const NSURLConnectionPtr& connection,
                                                                 const std::shared_ptr<NSURLRequest>& request,
                                                                 const std::shared_ptr<NSURLResponse>& redirect);
    static void armIdleTimer(const NSURLConnectionPtr& connection);
    // Follows the redirect to `chosen`, or hands the held answer over for null.
    static void proceedWithRedirect(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& chosen);
    // Sends `request` again: with a fresh body stream when its stream was
    // already read from (asked of the delegate, now or later), else as it is.
    static void sendAgain(const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLRequest>& request);
    // Lets a paused transfer go on once its queued body was handed over.
    static void resumeIfDrained(const NSURLConnectionPtr& connection);
};

template <class F>
bool NSURLConnection::deliver(F&& call) {
    AnnotatedLock lock(callbackMutex_);
    if (cancelled_ || !delegate_) return false;
    auto delegate = delegate_;  // kept for the call even if it cancels and lets go
    call(*delegate);
    return !cancelled_;
}
