#pragma once
// Between NSURLConnection and the library that moves its bytes. Internal to
// the URL-loading folder.
#include <optional>

#include "platform/net/NSURLConnection.h"

struct NSURLConnectionBacking {
    // On the scheduled run loop's thread: ask for the first request and begin.
    static void begin(const NSURLConnectionPtr& connection);
    // On the scheduled run loop's thread: stop moving bytes and let go.
    static void stop(const NSURLConnectionPtr& connection);
    // On the loop's thread: hands the pending events of the load to the delegate.
    static void drain(const NSURLConnectionPtr& connection);
    enum class Answer { UseCredential, ContinueWithout, Cancel, Default };
    // On the loop's thread: the answer to the pending challenge.
    static void answer(const NSURLConnectionPtr& connection,
                       const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer answer,
                       const std::shared_ptr<NSURLCredential>& credential);

private:
    static void launch(const NSURLConnectionPtr& connection, std::shared_ptr<NSURLRequest> request);
    static void complete(const NSURLConnectionPtr& connection, int code);
    static void succeed(const NSURLConnectionPtr& connection);
    static void challenge(const NSURLConnectionPtr& connection);
    static void challengeServerTrust(const NSURLConnectionPtr& connection);
    static void answerServerTrust(const NSURLConnectionPtr& connection,
                                  const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer answer,
                                  const std::shared_ptr<NSURLCredential>& credential);
    // `request` ready to be sent (again): with a fresh body stream when its
    // stream was already read from; null when none can be had.
    static std::shared_ptr<NSURLRequest> resendable(const NSURLConnectionPtr& connection,
                                                    const std::shared_ptr<NSURLRequest>& request);
    static void deliverHeldResponse(const NSURLConnectionPtr& connection);
    static std::optional<std::shared_ptr<NSURLRequest>> willSend(const NSURLConnectionPtr& connection,
                                                                 const std::shared_ptr<NSURLRequest>& request,
                                                                 const std::shared_ptr<NSURLResponse>& redirect);
    static void armIdleTimer(const NSURLConnectionPtr& connection);
};

template <class F>
bool NSURLConnection::deliver(F&& call) {
    std::lock_guard lock(callbackMutex_);
    if (cancelled_ || !delegate_) return false;
    auto delegate = delegate_;  // kept for the call even if it cancels and lets go
    call(*delegate);
    return !cancelled_;
}
