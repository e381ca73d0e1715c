#include "platform/net/CurlTransfer.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "platform/foundation/Clock.h"
#include "platform/foundation/LifecycleMove.h"
#include "platform/foundation/NSLog.h"
#include "platform/net/CurlMulti.h"

namespace curlbacking {

const char* nameOf(LoadState state) {
    switch (state) {
        case LoadState::Idle: return "idle";
        case LoadState::AwaitingHeaders: return "awaiting headers";
        case LoadState::Answering: return "answered by a URL protocol";
        case LoadState::Receiving: return "receiving";
        case LoadState::HoldingRedirect: return "holding a redirect";
        case LoadState::HoldingChallenge: return "holding a challenge";
        case LoadState::TrustDue: return "trust due";
        case LoadState::TrustRefused: return "trust refused";
        case LoadState::Challenging: return "challenging";
        case LoadState::Failed: return "failed";
        case LoadState::Ended: return "ended";
    }
    return "?";
}

bool allowedMove(LoadState from, LoadState to) {
    using S = LoadState;
    if (from == S::Ended) return false;
    if (to == S::Ended) return true;
    if (to == S::Failed) return from != S::Failed;
    switch (from) {
        case S::Idle: return to == S::AwaitingHeaders || to == S::Answering;
        case S::AwaitingHeaders:
            return to == S::Receiving || to == S::HoldingRedirect || to == S::HoldingChallenge || to == S::TrustDue ||
                   to == S::TrustRefused;
        case S::Receiving:
        case S::Answering: return false;
        case S::HoldingRedirect: return to == S::Idle || to == S::Receiving;  // followed, or handed over as the answer
        case S::HoldingChallenge:
        case S::TrustDue: return to == S::Challenging;
        case S::Challenging: return to == S::Idle || to == S::Receiving;  // sent again, or the held answer handed over
        case S::TrustRefused:
        case S::Failed:
        case S::Ended: return false;
    }
    return false;
}

namespace {

bool tracing() {
    static const bool on = [] {
        const char* value = std::getenv("QUORVANE_TRACE_NET");
        return value && *value && *value != '0';
    }();
    return on;
}

}  // namespace

void touch(NSURLConnection::Transfer& t) { t.lastActivity = Clock::now(); }

}  // namespace curlbacking

using curlbacking::LoadState;
using Event = NSURLConnection::Transfer::Event;

NSURLConnection::Transfer::~Transfer() {
    detach();
    if (idleTimer) idleTimer->invalidate();
}

void NSURLConnection::Transfer::detach() {
    if (easy) {
        // The multi handle keeps the handle for its next request; without it, it goes.
        if (auto m = multi.lock()) m->detach(easy);
        else curl_easy_cleanup(easy);
        easy = nullptr;
    }
    url.reset();
    curl_slist_free_all(headerList);
    headerList = nullptr;
    paused = false;
}

void NSURLConnection::Transfer::moveTo(LoadState next) noexcept {
    checkLifecycleMove(curlbacking::allowedMove(state_, next), curlbacking::tracing(), "URL load",
                       request ? std::string_view(request->URL()) : std::string_view(), curlbacking::nameOf(state_),
                       curlbacking::nameOf(next), "a URL load moves only as its lifecycle allows");
    state_ = next;
}

void NSURLConnection::Transfer::recordFailure(long code, const std::string& reason) noexcept {
    NSErrorPtr error;
    try {
        error = NSURLErrorMake(code, request ? request->URL() : std::string(), reason);
    } catch (...) {
        // Without memory for the error the load still fails, as unknown.
    }
    recordFailure(std::move(error));
}

void NSURLConnection::Transfer::recordFailure(NSErrorPtr error) noexcept {
    if (state_ == LoadState::Failed || state_ == LoadState::Ended) return;
    failure = std::move(error);
    moveTo(LoadState::Failed);
}

void NSURLConnection::Transfer::restart() {
    if (state_ != LoadState::Idle) moveTo(LoadState::Idle);
    parser = HTTPHeaderParser();
    response.reset();
    location.clear();
    realm.clear();
    Data().swap(heldBody);
    heldBodyDropped = false;
    cacheable = false;
    cacheBody.clear();
    uploaded = 0;
    peerChain.clear();
    errorText[0] = '\0';
}

namespace curlbacking {

namespace {

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The answer's header block has ended: decide what the load does with it.
void headersComplete(NSURLConnection::Transfer& t) {
    HTTPHeaderFields fields = t.parser.mergedFields();
    const long status = t.parser.status();
    auto location = headerValue(fields, "Location");
    t.response = NSHTTPURLResponse::initWithURL(t.request->URL(), status, t.parser.version(), fields);
    Data().swap(t.heldBody);
    t.heldBodyDropped = false;
    t.cacheBody.clear();
    if (isRedirectStatus(status) && location && !trimmedHTTPWhitespace(*location).empty()) {
        t.location = std::string(trimmedHTTPWhitespace(*location));
        return t.moveTo(LoadState::HoldingRedirect);
    }
    if (status == 401) {
        if (auto challenge = basicRealm(headerValue(fields, "WWW-Authenticate").value_or(""))) {
            t.realm = *challenge;
            return t.moveTo(LoadState::HoldingChallenge);
        }
    }
    t.cacheable = t.request->HTTPMethod() == "GET" && status == 200 &&
                  !hasDirective(headerValue(fields, "Cache-Control").value_or(""), "no-store");
    t.moveTo(LoadState::Receiving);
    t.push({Event::Kind::Response, t.response, {}, 0, 0, 0, CURLE_OK});
}

// The body of a redirect or challenge, kept in case that answer becomes the final one.
void holdAside(NSURLConnection::Transfer& t, const char* buffer, std::size_t n) {
    if (t.heldBodyDropped) return;
    if (t.heldBody.size() + n > kMaxHeldBody) {
        Data().swap(t.heldBody);
        t.heldBodyDropped = true;
        return;
    }
    t.heldBody.insert(t.heldBody.end(), buffer, buffer + n);
}

void keepForCache(NSURLConnection::Transfer& t, const char* buffer, std::size_t n) {
    if (t.cacheBody.size() + n > kMaxCachedBody) {
        t.cacheable = false;
        Data().swap(t.cacheBody);
    } else {
        t.cacheBody.insert(t.cacheBody.end(), buffer, buffer + n);
    }
}

// Body bytes for the delegate: they join the last chunk not yet handed over
// (one delivery for what a socket action read), else start a chunk in a buffer
// from the multi handle's pool.
void queueBody(NSURLConnection::Transfer& t, const char* buffer, std::size_t n) {
    if (!t.events.empty() && t.events.back().kind == Event::Kind::Body &&
        t.events.back().data.size() < kMaxCoalescedBody) {
        auto& data = t.events.back().data;
        data.insert(data.end(), buffer, buffer + n);
    } else {
        Event event{Event::Kind::Body, {}, t.pool ? t.pool->take(n) : Data(), 0, 0, 0, CURLE_OK};
        event.data.assign(buffer, buffer + n);
        t.push(std::move(event));
    }
    t.queuedBody += n;
}

}  // namespace

std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    return guarded(t, std::size_t(0), [&]() -> std::size_t {
        touch(t);
        const std::size_t n = size * count;
        if (t.state() == LoadState::Failed) return 0;
        switch (t.parser.take(std::string_view(buffer, n))) {
            case HTTPHeaderParser::Step::Refused:
                t.recordFailure(NSURLErrorBadServerResponse, t.parser.problem());
                return 0;
            case HTTPHeaderParser::Step::Complete:
                headersComplete(t);
                return n;
            case HTTPHeaderParser::Step::More:
            case HTTPHeaderParser::Step::Interim:
            case HTTPHeaderParser::Step::Ignored: return n;
        }
        return n;
    });
}

std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    return guarded(t, std::size_t(0), [&]() -> std::size_t {
        touch(t);
        const std::size_t n = size * count;
        switch (t.state()) {
            case LoadState::HoldingRedirect:
            case LoadState::HoldingChallenge: holdAside(t, buffer, n); return n;
            case LoadState::Receiving: break;
            case LoadState::Failed: return 0;  // stops the transfer
            default: return n;                 // no answer to carry them
        }
        if (t.queuedBody >= kMaxQueuedBody) {
            // The delegate has not taken what came already: curl keeps these
            // bytes and hands them over again once the transfer goes on.
            t.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (t.cacheable) keepForCache(t, buffer, n);
        queueBody(t, buffer, n);
        return n;
    });
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    return guarded(t, 1, [&] {
        // Body bytes only: a chunked upload's count includes the chunk framing.
        if (t.bodyStream) uploadedNow = std::min<curl_off_t>(uploadedNow, t.bodyStreamRead);
        if (uploadedNow > t.uploaded) {
            touch(t);
            t.push({Event::Kind::Sent, {}, {}, uploadedNow - t.uploaded, uploadedNow, t.expectedUpload, CURLE_OK});
            t.uploaded = uploadedNow;
        }
        return 0;
    });
}

// Hands curl the next bytes of a streamed body.
std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    return guarded(t, std::size_t(CURL_READFUNC_ABORT), [&]() -> std::size_t {
        touch(t);
        auto& stream = t.bodyStream;
        if (std::find(t.readStreams.begin(), t.readStreams.end(), stream) == t.readStreams.end()) {
            t.readStreams.push_back(stream);
            if (stream->streamStatus() == NSStreamStatusNotOpen) {
                stream->open();
                t.openedStreams.push_back(stream);
            }
        }
        std::size_t room = size * count;
        if (t.bodyStreamLength >= 0)
            room = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(room),
                                                                     t.bodyStreamLength - t.bodyStreamRead));
        if (room == 0) return 0;
        long n = stream->read(reinterpret_cast<std::uint8_t*>(buffer), room);
        if (n < 0) {
            auto error = stream->streamError();
            t.recordFailure(error ? error : NSURLErrorMake(NSURLErrorUnknown, t.request->URL()));
            return CURL_READFUNC_ABORT;
        }
        if (n == 0 && t.bodyStreamLength >= 0) {
            // The stream ended before the announced length.
            t.recordFailure(NSURLErrorMake(NSURLErrorRequestBodyStreamExhausted, t.request->URL()));
            return CURL_READFUNC_ABORT;
        }
        t.bodyStreamRead += n;
        return static_cast<std::size_t>(n);
    });
}

}  // namespace curlbacking
