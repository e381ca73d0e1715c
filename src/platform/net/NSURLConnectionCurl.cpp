// NSURLConnection over libcurl: the load logic. A load moves through the
// lifecycle of CurlTransfer.h; curl's callbacks only record what happened
// (CurlTransfer.cpp, CurlTLSCapture.cpp), and the delegate is called here,
// afterwards and outside curl, so it may cancel, start other loads or run the
// loop. The multi handle and its run-loop glue live in CurlMulti.cpp, the easy
// handle's set-up in CurlEasySetup.cpp, the challenges in CurlChallenges.cpp.
#include <algorithm>
#include <cassert>
#include <typeinfo>

#include "platform/foundation/Clock.h"
#include "platform/net/CurlEasySetup.h"
#include "platform/net/CurlMulti.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/CurlURL.h"
#include "platform/net/NSURLConnectionBacking.h"
#include "platform/net/URLProtocolLoad.h"

using curlbacking::LoadState;
using curlbacking::Multi;
using Event = NSURLConnection::Transfer::Event;

namespace {

constexpr int kMaxRedirects = 16;

long errorCodeFor(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: return NSURLErrorTimedOut;
        case CURLE_COULDNT_CONNECT: return NSURLErrorCannotConnectToHost;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return NSURLErrorCannotFindHost;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING: return NSURLErrorNetworkConnectionLost;
        case CURLE_URL_MALFORMAT: return NSURLErrorBadURL;
        case CURLE_PEER_FAILED_VERIFICATION: return NSURLErrorServerCertificateUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED: return NSURLErrorSecureConnectionFailed;
        // The URL's scheme was checked before the transfer: curl names an
        // answer that is no HTTP (an HTTP/0.9 reply) an unsupported protocol.
        case CURLE_UNSUPPORTED_PROTOCOL:
        // A header line past libcurl's size limit (a later libcurl says "too large").
        case CURLE_OUT_OF_MEMORY:
#if LIBCURL_VERSION_NUM >= 0x080600
        case CURLE_TOO_LARGE:
#endif
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING: return NSURLErrorBadServerResponse;
        default: return NSURLErrorUnknown;
    }
}

// Why curl gave up, in its own words when it left any.
std::string reasonFor(const NSURLConnection::Transfer& t, CURLcode code) {
    return t.errorText[0] ? std::string(t.errorText) : std::string(curl_easy_strerror(code));
}

}  // namespace

NSURLConnection::~NSURLConnection() = default;

void NSURLConnection::TransferDeleter::operator()(Transfer* transfer) const { delete transfer; }

void NSURLConnection::release() {
    ended_ = true;
    if (transfer_) {
        auto keep = self<NSURLConnection>();  // the protocol load or forget() may drop the last other owner
        if (transfer_->protocolLoad) transfer_->protocolLoad->stop();
        auto multi = transfer_->multi.lock();
        transfer_->detach();
        transfer_->moveTo(LoadState::Ended);
        for (auto& stream : transfer_->openedStreams) stream->close();
        transfer_->openedStreams.clear();
        if (transfer_->idleTimer) transfer_->idleTimer->invalidate();
        if (multi) multi->forget(transfer_.get());
        transfer_.reset();
    }
    std::shared_ptr<NSURLConnectionDelegate> released;
    {
        AnnotatedLock lock(callbackMutex_);
        released = std::move(delegate_);
    }
}

void NSURLConnection::fail(long code) {
    fail(NSURLErrorMake(code, currentRequest() ? currentRequest()->URL() : std::string()));
}

void NSURLConnection::fail(const NSErrorPtr& error) {
    auto self = this->self<NSURLConnection>();
    ended_ = true;
    if (transfer_) transfer_->detach();
    deliver([&](NSURLConnectionDelegate& d) { d.connectionDidFailWithError(self, error); });
    release();
}

void NSURLConnectionBacking::assertOnLoopThread([[maybe_unused]] const NSURLConnectionPtr& c) {
#ifndef NDEBUG
    auto loop = c->schedule().runLoop;
    assert((!loop || loop == NSRunLoop::currentRunLoop()) && "a URL load runs on its run loop's thread only");
#endif
}

void NSURLConnectionBacking::fail(const NSURLConnectionPtr& c, long code, const std::string& reason) {
    auto request = c->currentRequest();
    c->fail(NSURLErrorMake(code, request ? request->URL() : std::string(), reason));
}

std::optional<std::shared_ptr<NSURLRequest>> NSURLConnectionBacking::willSend(
    const NSURLConnectionPtr& c, const std::shared_ptr<NSURLRequest>& request,
    const std::shared_ptr<NSURLResponse>& redirect) {
    std::shared_ptr<NSURLRequest> chosen = request;
    c->deliver([&](NSURLConnectionDelegate& d) { chosen = d.connectionWillSendRequest(c, request, redirect); });
    if (c->cancelled_) return std::nullopt;
    return chosen;
}

void NSURLConnectionBacking::begin(const NSURLConnectionPtr& c) {
    assertOnLoopThread(c);
    if (c->cancelled_ || c->ended_ || c->transfer_) return;
    c->transfer_.reset(new NSURLConnection::Transfer());
    auto multi = Multi::forRunLoop(NSRunLoop::currentRunLoop());
    if (!multi) return fail(c, NSURLErrorUnknown, "libcurl could not make a multi handle");
    c->transfer_->multi = multi;
    c->transfer_->pool = multi->pool();
    c->transfer_->held = c->holdWanted_;
    for (const auto& mode : c->schedule().modes) multi->addMode(mode);
    if (!c->originalRequest_) return c->fail(NSURLErrorBadURL);
    auto chosen = willSend(c, c->originalRequest_, nullptr);
    if (!chosen) return stop(c);
    if (!*chosen) return c->fail(NSURLErrorCancelled);
    launch(c, *chosen);
}

void NSURLConnectionBacking::launch(const NSURLConnectionPtr& c, std::shared_ptr<NSURLRequest> request) {
    auto& t = *c->transfer_;
    if (t.held) {
        t.launchWhenLetGo = std::move(request);
        return;
    }
    // A plain request cannot change: it is kept as it is. Any other (a mutable
    // one) is copied, so that later changes do not reach the load.
    if (typeid(*request) != typeid(NSURLRequest)) request = request->copy();
    {
        AnnotatedLock lock(c->mutex_);
        c->currentRequest_ = request;
    }
    // A registered URL protocol class may claim it before the network does.
    if (auto protocolClass = NSURLProtocol::classForRequest(*request))
        return answerWithProtocol(c, protocolClass, request);
    if (!NSURLConnection::canHandleRequest(request)) return c->fail(NSURLErrorUnsupportedURL);
    auto url = curlbacking::parsed(request->URL());
    if (!url) return c->fail(NSURLErrorBadURL);
    t.detach();
    t.curlDone = false;
    t.request = request;
    t.url = std::move(url);
    t.restart();
    t.moveTo(LoadState::AwaitingHeaders);
    if (auto failure = curlbacking::configure(t)) return fail(c, NSURLErrorUnknown, *failure);
    curlbacking::touch(t);
    armIdleTimer(c);
    auto multi = t.multi.lock();
    if (!multi) return fail(c, NSURLErrorUnknown, "the run loop of the load is gone");
    if (CURLMcode code = multi->add(c, &t); code != CURLM_OK)
        return fail(c, NSURLErrorUnknown, std::string("libcurl refused the transfer: ") + curl_multi_strerror(code));
}

void NSURLConnectionBacking::armIdleTimer(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    double timeout = t.request->timeoutInterval();
    if (t.idleTimer) t.idleTimer->invalidate();
    t.idleTimer.reset();
    if (!(timeout > 0)) return;
    std::weak_ptr<NSURLConnection> weak = c;
    t.idleTimer = NSTimer::timerWithTimeInterval(
        timeout,
        [weak, timeout](NSTimer& timer) {
            auto connection = weak.lock();
            if (!connection || !connection->transfer_ || connection->ended_) return timer.invalidate();
            auto& transfer = *connection->transfer_;
            if (transfer.held) return timer.invalidate();  // re-armed when let go
            double idleUntil = transfer.lastActivity + timeout;
            if (!Clock::reached(idleUntil)) return timer.setFireDate(idleUntil);
            // Nothing moved for the whole interval: the load times out.
            timer.invalidate();
            transfer.detach();
            transfer.push({Event::Kind::Done, {}, {}, 0, 0, 0, CURLE_OPERATION_TIMEDOUT});
            drain(connection);
        },
        true);
    auto where = c->schedule();
    if (!where) return;
    for (const auto& mode : where.modes) where.runLoop->addTimer(t.idleTimer, mode);
}

void NSURLConnectionBacking::stop(const NSURLConnectionPtr& c) {
    assertOnLoopThread(c);
    c->release();
}

void NSURLConnectionBacking::postDrain(const NSURLConnectionPtr& c) {
    // Handed over when the loop runs in one of the connection's modes.
    if (c->transfer_->drainPosted) return;
    c->transfer_->drainPosted = true;
    c->schedule().perform([c] {
        if (c->transfer_) c->transfer_->drainPosted = false;
        drain(c);
    });
}

void NSURLConnectionBacking::drain(const NSURLConnectionPtr& c) {
    assertOnLoopThread(c);
    while (c->transfer_ && !c->transfer_->events.empty()) {
        if (c->cancelled_) return stop(c);
        if (!c->modeAllowed()) return postDrain(c);
        auto& t = *c->transfer_;
        if (t.held) return;  // handed over once let go
        Event event = std::move(t.events.front());
        t.events.pop_front();
        switch (event.kind) {
            case Event::Kind::Response:
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, event.response); });
                break;
            case Event::Kind::Body: {
                t.queuedBody -= std::min(t.queuedBody, event.data.size());
                auto pool = t.pool;  // the transfer may be gone after the call
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveData(c, event.data); });
                if (pool) pool->give(std::move(event.data));
                break;
            }
            case Event::Kind::Sent:
                c->deliver([&](NSURLConnectionDelegate& d) {
                    d.connectionDidSendBodyData(c, event.sent, event.totalSent, event.expected);
                });
                break;
            case Event::Kind::Done:
                complete(c, event.code);
                break;
        }
        if (c->transfer_ && c->transfer_->events.empty() && !c->cancelled_) resumeIfDrained(c);
    }
    if (c->cancelled_ && c->transfer_) stop(c);
}

void NSURLConnectionBacking::resumeIfDrained(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    if (!t.paused || t.held || t.queuedBody > 0 || !t.easy) return;
    t.paused = false;
    curlbacking::touch(t);
    // May hand over the bytes curl kept at once (onBody queues them).
    if (CURLcode code = curl_easy_pause(t.easy, CURLPAUSE_CONT); code != CURLE_OK)
        fail(c, NSURLErrorUnknown, std::string("the transfer could not go on: ") + curl_easy_strerror(code));
}

void NSURLConnectionBacking::complete(const NSURLConnectionPtr& c, int result) {
    auto& t = *c->transfer_;
    const auto code = static_cast<CURLcode>(result);
    t.detach();
    switch (t.state()) {
        case LoadState::TrustDue: return challengeServerTrust(c);
        case LoadState::TrustRefused:
            return fail(c, NSURLErrorServerCertificateUntrusted, "The server showed another certificate than the one accepted.");
        case LoadState::Failed:
            return c->fail(t.failure ? t.failure : NSURLErrorMake(NSURLErrorUnknown, t.request->URL()));
        default: break;
    }
    if (code != CURLE_OK) return fail(c, errorCodeFor(code), reasonFor(t, code));
    switch (t.state()) {
        case LoadState::Receiving: return succeed(c);
        case LoadState::HoldingRedirect: return followRedirect(c);
        case LoadState::HoldingChallenge: return challenge(c);
        case LoadState::AwaitingHeaders:
            // Whatever curl thinks of it, a load that delivered no response failed.
            return fail(c, NSURLErrorNetworkConnectionLost,
                        t.parser.inBlock() ? "The connection ended inside the reply's header block."
                                           : "The connection ended before a reply came.");
        default: return fail(c, NSURLErrorUnknown, std::string("The load ended while ") + nameOf(t.state()) + ".");
    }
}

void NSURLConnectionBacking::followRedirect(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    // The delegate decides whether and where to go on.
    std::string target = curlbacking::resolve(t.request->URL(), t.location);
    if (!target.empty()) {
        if (++t.redirects > kMaxRedirects) return c->fail(NSURLErrorHTTPTooManyRedirects);
        auto next = t.request->mutableCopy();
        next->setURL(target);
        // Credentials given for one server are not offered to another.
        auto from = curlbacking::partsOf(t.request->URL()), to = curlbacking::partsOf(target);
        if (from.host != to.host || from.port != to.port || from.scheme != to.scheme) {
            t.credential.reset();
            t.authFailures = 0;
        }
        const std::string method = t.request->HTTPMethod();
        const long status = t.parser.status();
        if ((status == 303 && method != "HEAD") || ((status == 301 || status == 302) && method == "POST")) {
            next->setHTTPMethod("GET");
            next->setHTTPBody(std::nullopt);
            next->setHTTPBodyStream(nullptr);
            next->setValue(std::nullopt, "Content-Type");
            next->setValue(std::nullopt, "Content-Length");
        }
        bool later = false;
        c->deliver([&](NSURLConnectionDelegate& d) { later = d.respondsToDeferredDecisions(); });
        if (later) {
            // The load waits for the answer: no idle time-out meanwhile.
            t.awaitingRedirect = true;
            if (t.idleTimer) t.idleTimer->invalidate();
            t.idleTimer.reset();
            auto response = t.response;
            c->deliver([&](NSURLConnectionDelegate& d) { d.connectionWillRedirectRequest(c, next, response); });
            if (c->cancelled_) return stop(c);
            return;
        }
        auto chosen = willSend(c, next, t.response);
        if (!chosen) return stop(c);
        return proceedWithRedirect(c, *chosen);
    }
    // Unusable: the redirect answer is the final one.
    deliverHeldResponse(c);
}

void NSURLConnectionBacking::proceedWithRedirect(const NSURLConnectionPtr& c,
                                                 const std::shared_ptr<NSURLRequest>& chosen) {
    // Refused: the redirect answer is the final one.
    if (!chosen) return deliverHeldResponse(c);
    sendAgain(c, chosen);
}

void NSURLConnectionBacking::redirectAnswered(const NSURLConnectionPtr& c,
                                              const std::shared_ptr<NSURLRequest>& request) {
    assertOnLoopThread(c);
    if (c->cancelled_ || c->ended_ || !c->transfer_ || !c->transfer_->awaitingRedirect) return;
    c->transfer_->awaitingRedirect = false;
    proceedWithRedirect(c, request);
}

void NSURLConnectionBacking::hold(const NSURLConnectionPtr& c, bool held) {
    assertOnLoopThread(c);
    if (c->cancelled_ || c->ended_ || !c->transfer_) return;
    auto& t = *c->transfer_;
    if (t.held == held) return;
    t.held = held;
    if (held) {
        if (t.idleTimer) t.idleTimer->invalidate();
        t.idleTimer.reset();
        if (t.easy && !t.curlDone) {
            if (CURLcode code = curl_easy_pause(t.easy, CURLPAUSE_ALL); code != CURLE_OK)
                fail(c, NSURLErrorUnknown, std::string("the transfer could not be held: ") + curl_easy_strerror(code));
        }
        return;
    }
    curlbacking::touch(t);
    if (auto due = std::move(t.launchWhenLetGo)) return launch(c, due);
    // Nothing to watch while a decision is with the delegate.
    if (t.easy && !t.curlDone && !t.awaitingRedirect && !t.awaitingStream && !t.pendingChallenge) armIdleTimer(c);
    if (t.easy && !t.curlDone && !t.paused) {
        if (CURLcode code = curl_easy_pause(t.easy, CURLPAUSE_CONT); code != CURLE_OK)
            return fail(c, NSURLErrorUnknown, std::string("the transfer could not go on: ") + curl_easy_strerror(code));
    }
    if (c->transfer_ && !c->transfer_->events.empty()) postDrain(c);
    if (c->transfer_ && c->transfer_->protocolLoad) protocolReported(c, c->transfer_->protocolLoad);
    if (c->transfer_) resumeIfDrained(c);
}

void NSURLConnectionBacking::deliverHeldResponse(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    if (t.heldBodyDropped)
        return fail(c, NSURLErrorDataLengthExceedsMaximum,
                    "The body of the redirect or challenge answer was larger than is kept aside.");
    auto response = t.response;
    Data body = std::move(t.heldBody);
    t.moveTo(LoadState::Receiving);
    c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, response); });
    if (c->cancelled_) return stop(c);
    if (!body.empty()) c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveData(c, body); });
    if (c->cancelled_) return stop(c);
    succeed(c);
}

void NSURLConnectionBacking::succeed(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    if (t.state() != LoadState::Receiving || !t.response)
        return fail(c, NSURLErrorBadServerResponse, "The load ended without a response.");
    if (t.cacheable) {
        auto offered = std::make_shared<NSCachedURLResponse>(t.response, std::move(t.cacheBody));
        // No response cache is kept yet: the delegate's answer is not stored.
        c->deliver([&](NSURLConnectionDelegate& d) { (void)d.connectionWillCacheResponse(c, offered); });
        if (c->cancelled_) return stop(c);
    }
    c->ended_ = true;
    c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidFinishLoading(c); });
    c->release();
}

bool NSURLConnectionBacking::needsFreshStream(const NSURLConnectionPtr& c,
                                              const std::shared_ptr<NSURLRequest>& request) {
    auto& t = *c->transfer_;
    const auto& stream = request->HTTPBodyStream();
    return stream && request->HTTPMethod() != "HEAD" &&
           std::find(t.readStreams.begin(), t.readStreams.end(), stream) != t.readStreams.end();
}

void NSURLConnectionBacking::sendAgain(const NSURLConnectionPtr& c, const std::shared_ptr<NSURLRequest>& request) {
    if (!needsFreshStream(c, request)) return launch(c, request);
    bool later = false;
    c->deliver([&](NSURLConnectionDelegate& d) { later = d.respondsToDeferredDecisions(); });
    if (later) {
        auto& t = *c->transfer_;
        t.awaitingStream = request;
        if (t.idleTimer) t.idleTimer->invalidate();
        t.idleTimer.reset();
        c->deliver([&](NSURLConnectionDelegate& d) { d.connectionNeedNewBodyStreamLater(c, request); });
        if (c->cancelled_) stop(c);
        return;
    }
    std::shared_ptr<NSInputStream> fresh;
    c->deliver([&](NSURLConnectionDelegate& d) { fresh = d.connectionNeedNewBodyStream(c, request); });
    if (c->cancelled_) return stop(c);
    streamArrived(c, request, fresh);
}

void NSURLConnectionBacking::streamAnswered(const NSURLConnectionPtr& c, const std::shared_ptr<NSInputStream>& stream) {
    assertOnLoopThread(c);
    if (c->cancelled_ || c->ended_ || !c->transfer_ || !c->transfer_->awaitingStream) return;
    auto request = std::move(c->transfer_->awaitingStream);
    c->transfer_->awaitingStream.reset();
    streamArrived(c, request, stream);
}

void NSURLConnectionBacking::streamArrived(const NSURLConnectionPtr& c, const std::shared_ptr<NSURLRequest>& request,
                                           const std::shared_ptr<NSInputStream>& fresh) {
    if (!fresh || fresh == request->HTTPBodyStream()) return c->fail(NSURLErrorRequestBodyStreamExhausted);
    auto next = request->mutableCopy();
    next->setHTTPBodyStream(fresh);
    launch(c, next);
}
