#pragma once
// One HTTP load, driven by the run loop it is scheduled in.
//
// A connection is created unstarted (or started at once by the factories),
// scheduled in one run loop in one or more modes, and started from any thread.
// Every delegate call runs on the scheduled run loop's thread while that loop
// runs in one of the connection's modes, in this order:
//   connectionWillSendRequest (first request, then once per redirect),
//   connectionDidSendBodyData (as the body goes out),
//   connectionDidReceiveResponse, connectionDidReceiveData (repeated),
//   connectionWillCacheResponse, then connectionDidFinishLoading
//   or connectionDidFailWithError (NSURLErrorDomain, see NSURLError.h).
// A 401 answer with a Basic challenge goes to
// connectionWillSendRequestForAuthenticationChallenge before any response.
//
// HTTPS: each TLS connection's server certificates are offered to the same
// delegate method as a challenge with the authentication method
// NSURLAuthenticationMethodServerTrust, the host and port of the request and
// the server's trust (protectionSpace()->serverTrust(), leaf first), before any
// byte of the request is sent. The answers:
//   useCredential(NSURLCredential::credentialForTrust(that trust)): go on with
//     that server (a credential for another certificate counts as default handling);
//   cancelAuthenticationChallenge: fail with NSURLErrorUserCancelledAuthentication,
//     as for a cancelled Basic challenge;
//   performDefaultHandling, continueWithoutCredential, or a delegate that does
//     not answer challenges: the chain must be trusted by the system's roots and
//     name the request's host, else the load fails with
//     NSURLErrorServerCertificateUntrusted.
// Other TLS failures fail with NSURLErrorSecureConnectionFailed. The answer may
// come later, from any thread: the handshake that brought the certificates is
// given up, and the accepted server is connected to again once the answer is
// there; that connection must present the same leaf certificate, else the load
// fails with NSURLErrorServerCertificateUntrusted. A decision holds for one
// load (its redirects included). Every HTTPS request makes its own connection
// and no TLS session is resumed, so no load goes over a connection that
// another load's delegate accepted.
//
// A request's HTTPBodyStream is opened on the loop's thread when the first
// byte is needed and read in order as the body goes out, with the
// request's Content-Length when it names one (else chunked); a stream that ends
// before that length fails the load with NSURLErrorRequestBodyStreamExhausted,
// a stream read of -1 fails it with the stream's error. Sending the body again
// (a 307/308 redirect, a retry with a credential) takes a fresh stream from
// connectionNeedNewBodyStream. Streams the connection opened are closed when
// the load ends.
// Redirects are followed by the connection itself, after asking the delegate,
// which may rewrite the next request or refuse it (null): a refused redirect
// delivers the redirect response and its body as the final answer.
// The time-out of the request is an idle time-out: the load fails with
// NSURLErrorTimedOut when no byte moved for that many seconds.
//
// URL protocols: each request about to be sent (the first, and each redirect,
// after connectionWillSendRequest) is offered to the registered NSURLProtocol
// classes first. A claimed request is answered by an instance of the class,
// made and started on the loop's thread; what its client reports becomes
// connectionDidReceiveResponse, connectionDidReceiveData and then
// connectionDidFinishLoading or connectionDidFailWithError (the instance's
// error as it is), each in a later pass of the loop, in order, whatever thread
// reported it. The instance is stopped (stopLoading, on the loop's thread) once
// the load ends, fails or is cancelled. No idle time-out applies to it.
//
// While loading, the connection keeps itself and its delegate alive (the run
// loop holds them); both are released when loading ends or is cancelled.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSCachedURLResponse.h"
#include "platform/net/NSURLAuthenticationChallenge.h"
#include "platform/net/NSHTTPURLResponse.h"
#include "platform/net/NSURLError.h"
#include "platform/net/NSURLRequest.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/runloop/RunLoopSchedule.h"

class NSOperationQueue;
class NSURLConnection;
using NSURLConnectionPtr = std::shared_ptr<NSURLConnection>;

// The connection's delegate (data and connection protocols together). Every
// method has a default; the defaults are what the connection does for a
// delegate that does not take part in that step.
class NSURLConnectionDelegate {
public:
    virtual ~NSURLConnectionDelegate() = default;

    // The request about to be sent: the first one (with no redirect response)
    // and each redirect (with the response that asked for it). Return the
    // request to send (the proposed one, or a rewritten one), or null to refuse.
    // Refusing the first request fails the load with NSURLErrorCancelled.
    virtual std::shared_ptr<NSURLRequest> connectionWillSendRequest(const NSURLConnectionPtr& connection,
                                                                    const std::shared_ptr<NSURLRequest>& request,
                                                                    const std::shared_ptr<NSURLResponse>& redirectResponse) {
        (void)connection;
        (void)redirectResponse;
        return request;
    }
    virtual void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                              const std::shared_ptr<NSURLResponse>& response) {
        (void)connection;
        (void)response;
    }
    virtual void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) {
        (void)connection;
        (void)data;
    }
    virtual void connectionDidSendBodyData(const NSURLConnectionPtr& connection, std::int64_t bytesWritten,
                                           std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) {
        (void)connection;
        (void)bytesWritten;
        (void)totalBytesWritten;
        (void)totalBytesExpectedToWrite;
    }
    // Offered for a successful, storable GET response of moderate size; the
    // answer (null: do not store) is what a response cache would keep.
    virtual std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
        (void)connection;
        return cachedResponse;
    }
    virtual void connectionDidFinishLoading(const NSURLConnectionPtr& connection) { (void)connection; }
    virtual void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) {
        (void)connection;
        (void)error;
    }
    // A fresh stream over the same bytes as the request's body stream, when the
    // body must be sent again (a redirect that keeps the body, a retry with a
    // credential). Null fails the load with NSURLErrorRequestBodyStreamExhausted.
    // By default the stream's own fresh copy (NSInputStream::copyStream), if it
    // can make one.
    virtual std::shared_ptr<NSInputStream> connectionNeedNewBodyStream(const NSURLConnectionPtr& connection,
                                                                     const std::shared_ptr<NSURLRequest>& request) {
        (void)connection;
        return request && request->HTTPBodyStream() ? request->HTTPBodyStream()->copyStream() : nullptr;
    }
    // Deferred decisions. A delegate that answers later returns true here; the
    // connection then asks connectionWillRedirectRequest instead of
    // connectionWillSendRequest for each redirect, and
    // connectionNeedNewBodyStreamLater instead of connectionNeedNewBodyStream,
    // and the load waits (no byte moves, no idle time-out) until the answer
    // comes through continueWithRedirectRequest / continueWithBodyStream.
    virtual bool respondsToDeferredDecisions() const { return false; }
    virtual void connectionWillRedirectRequest(const NSURLConnectionPtr& connection,
                                               const std::shared_ptr<NSURLRequest>& request,
                                               const std::shared_ptr<NSURLResponse>& redirectResponse) {
        (void)connection;
        (void)request;
        (void)redirectResponse;
    }
    virtual void connectionNeedNewBodyStreamLater(const NSURLConnectionPtr& connection,
                                                  const std::shared_ptr<NSURLRequest>& request) {
        (void)connection;
        (void)request;
    }
    // Asked before a stored credential is used for a challenge.
    virtual bool connectionShouldUseCredentialStorage(const NSURLConnectionPtr& connection) {
        (void)connection;
        return true;
    }
    // Whether this delegate answers authentication challenges. When it does not,
    // the connection's default handling applies: the challenging response is
    // taken as the answer.
    virtual bool respondsToWillSendRequestForAuthenticationChallenge() const { return false; }
    // A challenge (HTTP Basic, or TLS server trust); answer it through
    // challenge->sender(), now or later.
    virtual void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
        (void)connection;
        (void)challenge;
    }
};

class NSURLConnection : public NSObject, public NSURLAuthenticationChallengeSender {
public:
    // Use the factories; the constructor leaves the connection unscheduled and unstarted.
    NSURLConnection(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSURLConnectionDelegate> delegate);
    ~NSURLConnection() override;

    // Started at once in the current run loop's default mode; null for a null request.
    static NSURLConnectionPtr connectionWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                    const std::shared_ptr<NSURLConnectionDelegate>& delegate);
    // Started at once in the current run loop's default mode when asked; else
    // the caller schedules it and calls start(). Null for a null request.
    static NSURLConnectionPtr initWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                              bool startImmediately = true);
    // Whether a registered URL protocol class claims the request, or its URL
    // names the http or https scheme.
    static bool canHandleRequest(const std::shared_ptr<NSURLRequest>& request);

    // sendAsynchronousRequest:queue:completionHandler:. The request loads on a
    // loop thread of its own (any thread may call); the handler then runs once,
    // as an operation of `queue`, with the final response and the whole body and
    // no error, or with the error (the response when one came, and no data).
    // A body longer than `maximumBodyBytes` (when not negative), by its
    // Content-Length or as it arrives, ends the load with
    // NSURLErrorDataLengthExceedsMaximum. Nothing for a null request or queue.
    using AsynchronousCompletion =
        std::function<void(const std::shared_ptr<NSURLResponse>& response, const Data& data, const NSErrorPtr& error)>;
    static void sendAsynchronousRequest(const std::shared_ptr<NSURLRequest>& request,
                                        const std::shared_ptr<NSOperationQueue>& queue,
                                        AsynchronousCompletion completionHandler, std::int64_t maximumBodyBytes = -1);

    // Adds a mode in `runLoop`. A connection lives in one run loop: calls naming
    // another run loop than the first one, and calls after start(), are ignored.
    void scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
    // Takes a mode away again, before start() (later calls are ignored). With no
    // mode left, the connection may be scheduled in another run loop.
    void unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
    // Begins loading on the scheduled run loop (the current one, default mode,
    // when none was given). Any thread; later calls are ignored.
    void start();
    // Stops loading. Any thread. No delegate method runs after cancel returns; a
    // delegate call running on the loop's thread at that moment is waited for
    // (so that call must not wait for the cancelling thread).
    void cancel();

    // Holds the load: no byte moves, no delegate call is made and the idle
    // time-out stops until it is let go again (which restarts the idle time).
    // Any thread; from the loop's thread (a delegate call) it holds at once.
    void setLoadingHeld(bool held);
    // The answers to connectionWillRedirectRequest (the request to send, or
    // null to take the redirect response as the answer) and to
    // connectionNeedNewBodyStreamLater (null fails the load with
    // NSURLErrorRequestBodyStreamExhausted). Any thread, later or at once;
    // each takes effect on the loop's thread after the delegate call returned.
    void continueWithRedirectRequest(const std::shared_ptr<NSURLRequest>& request);
    void continueWithBodyStream(const std::shared_ptr<NSInputStream>& stream);

    // Answers to a challenge of this connection; any thread. Each takes effect
    // on the loop's thread after the delegate call that received the challenge.
    void useCredential(const std::shared_ptr<NSURLCredential>& credential,
                       const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;
    void continueWithoutCredentialForAuthenticationChallenge(
        const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;
    void cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;
    void performDefaultHandlingForAuthenticationChallenge(
        const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;

    std::shared_ptr<NSURLRequest> originalRequest() const;
    // The request being sent (after the delegate's rewrites and redirects).
    std::shared_ptr<NSURLRequest> currentRequest() const;

    // The backing's state of one load (defined by the backing).
    struct Transfer;

private:
    friend struct NSURLConnectionBacking;
    bool modeAllowed() const;
    // Runs one delegate call unless cancelled; false when the connection was
    // cancelled before or during the call.
    template <class F>
    bool deliver(F&& call);
    void fail(long code);
    void fail(const NSErrorPtr& error);
    void postChallengeAnswer(int answer, const std::shared_ptr<NSURLCredential>& credential,
                             const std::shared_ptr<NSURLAuthenticationChallenge>& challenge);
    void release();
    // Runs `block` on the loop's thread in the connection's modes: at once when
    // called there and `now`, else as a perform. Nothing when the loop is gone.
    void onLoop(std::function<void()> block, bool now);

    // Where the connection runs, taken under the lock.
    RunLoopSchedule::Snapshot schedule() const QV_EXCLUDES(mutex_);

    const std::shared_ptr<NSURLRequest> originalRequest_;
    mutable AnnotatedMutex mutex_;  // guards the fields below that other threads read
    std::shared_ptr<NSURLRequest> currentRequest_ QV_GUARDED_BY(mutex_);
    RunLoopSchedule schedule_ QV_GUARDED_BY(mutex_);
    bool started_ QV_GUARDED_BY(mutex_) = false;

    AnnotatedRecursiveMutex callbackMutex_;  // held across each delegate call
    std::shared_ptr<NSURLConnectionDelegate> delegate_ QV_GUARDED_BY(callbackMutex_);
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> holdWanted_{false};  // the last setLoadingHeld, applied when the load begins

    struct TransferDeleter {
        void operator()(Transfer* transfer) const;
    };
    std::unique_ptr<Transfer, TransferDeleter> transfer_;  // the run loop's thread only
};
