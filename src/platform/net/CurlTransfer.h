#pragma once
// The state of one load over libcurl: its lifecycle, what the easy handle's
// callbacks recorded, and the events waiting for the delegate. Internal to the
// URL-loading backing. Everything here is touched only on the thread of the
// run loop the connection is scheduled in.
//
// The callbacks (onHeader, onBody, onProgress, onReadBody, and the TLS ones in
// CurlTLSCapture.h) only record; the delegate is called later, by the load
// logic, outside libcurl. No exception leaves a callback: each runs inside
// `guarded`, which turns an exception into a failure of the load.
#include <curl/curl.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/CurlURL.h"
#include "platform/net/HTTPHeaderParser.h"
#include "platform/net/NSURLConnection.h"

struct URLProtocolLoad;

namespace curlbacking {

class Multi;
class BufferPool;

// The lifecycle of a load. Moves go through Transfer::moveTo only.
enum class LoadState {
    Idle,              // no request out: before the first, or between two of one load
    AwaitingHeaders,   // a request is out; the answer's header block is being read
    Answering,         // a URL protocol instance answers the request (URLProtocolLoad.h)
    Receiving,         // the response was handed on; its body follows
    HoldingRedirect,   // a redirect answer: its body is kept aside until the delegate decides
    HoldingChallenge,  // a Basic challenge: its body is kept aside too
    TrustDue,          // the TLS handshake was given up: the server's chain awaits a decision
    TrustRefused,      // the server showed another leaf than the one accepted for it
    Challenging,       // a challenge is with the delegate; nothing moves until it is answered
    Failed,            // the load recorded why it fails (Transfer::failure)
    Ended,             // finished, failed or cancelled: nothing more happens
};
const char* nameOf(LoadState state);
// Whether the lifecycle allows the move.
bool allowedMove(LoadState from, LoadState to);

// Body bytes queued for the delegate beyond which the transfer pauses until
// they are handed over; bytes of one socket action join one event up to
// kMaxCoalescedBody.
constexpr std::size_t kMaxQueuedBody = 2 << 20;
constexpr std::size_t kMaxCoalescedBody = 1 << 20;
constexpr std::size_t kMaxCachedBody = 1 << 20;
// The body of a redirect or a challenge is kept aside up to this size; past
// it, it is let go (and the load fails should that answer become the final one).
constexpr std::size_t kMaxHeldBody = 1 << 20;

}  // namespace curlbacking

struct NSURLConnection::Transfer {
    using LoadState = curlbacking::LoadState;
    struct Event {
        enum class Kind { Response, Body, Sent, Done } kind;
        std::shared_ptr<NSHTTPURLResponse> response;
        Data data;
        std::int64_t sent = 0, totalSent = 0, expected = 0;
        CURLcode code = CURLE_OK;
    };

    ~Transfer();
    void detach();  // takes the easy handle out of the multi handle and frees it
    void push(Event event) { events.push_back(std::move(event)); }

    LoadState state() const { return state_; }
    // Moves the lifecycle on. The move must be one allowedMove accepts (asserted
    // in debug builds, where QUORVANE_TRACE_NET also writes each move to the console).
    void moveTo(LoadState next) noexcept;
    // Fails the load with `code` and a reason for the logs (the first failure
    // recorded wins). Never throws.
    void recordFailure(long code, const std::string& reason) noexcept;
    void recordFailure(NSErrorPtr error) noexcept;
    // Starts the lifecycle over for another request of the same load.
    void restart();

    std::weak_ptr<curlbacking::Multi> multi;
    std::shared_ptr<curlbacking::BufferPool> pool;  // the multi handle's spare body buffers
    std::shared_ptr<NSURLRequest> request;
    curlbacking::URLHandle url;  // the request's URL, parsed once and read by the easy handle
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    Data body;  // the request body, kept while curl sends it
    // A streamed body: the stream being read, how much of it went to curl and
    // how much the request announced (-1: unknown, sent chunked).
    std::shared_ptr<NSInputStream> bodyStream;
    std::int64_t bodyStreamRead = 0;
    std::int64_t bodyStreamLength = -1;
    std::vector<std::shared_ptr<NSInputStream>> readStreams;  // streams read from (closed at the end if opened here)
    std::vector<std::shared_ptr<NSInputStream>> openedStreams;
    std::int64_t expectedUpload = 0;
    char errorText[CURL_ERROR_SIZE] = {};
    NSErrorPtr failure;  // why the load fails, in LoadState::Failed (null: unknown)

    // The answer being read.
    HTTPHeaderParser parser;
    std::shared_ptr<NSHTTPURLResponse> response;
    std::string location;  // of a redirect
    std::string realm;     // of a Basic challenge
    Data heldBody;
    bool heldBodyDropped = false;  // the held body passed kMaxHeldBody and was let go
    bool cacheable = false;
    Data cacheBody;
    std::int64_t uploaded = 0;

    std::deque<Event> events;
    std::size_t queuedBody = 0;  // body bytes in `events`
    bool paused = false;         // the transfer waits for the queued body to be handed over
    bool drainPosted = false;
    int redirects = 0;
    std::shared_ptr<NSURLAuthenticationChallenge> pendingChallenge;
    std::shared_ptr<NSURLCredential> credential;  // sent with every request of the load
    long authFailures = 0;
    // TLS server trust: the leaf certificate accepted per "host:port" in this
    // load, and the chain (DER, leaf first) of a handshake awaiting a decision.
    std::map<std::string, Data> acceptedLeaves;
    std::vector<Data> peerChain;
    // Deferred decisions and holding (NSURLConnection::setLoadingHeld).
    bool held = false;
    bool curlDone = false;  // curl finished the request: nothing left to pause
    bool awaitingRedirect = false;                   // a redirect is with the delegate
    std::shared_ptr<NSURLRequest> awaitingStream;    // a request waiting for a fresh body stream
    std::shared_ptr<NSURLRequest> launchWhenLetGo;   // a request due while the load was held
    double lastActivity = 0;
    std::shared_ptr<NSTimer> idleTimer;
    std::shared_ptr<URLProtocolLoad> protocolLoad;  // the instance answering, in LoadState::Answering

private:
    LoadState state_ = LoadState::Idle;
};

namespace curlbacking {

void touch(NSURLConnection::Transfer& t);

// Runs the body of a callback that a C library makes. An exception never
// crosses into the library: it fails the load, and `refusal` (the callback's
// "stop" answer) is returned instead.
template <class R, class F>
R guarded(NSURLConnection::Transfer& t, R refusal, F&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        t.recordFailure(NSURLErrorUnknown, std::string("Reading the reply failed: ") + e.what());
    } catch (...) {
        t.recordFailure(NSURLErrorUnknown, "Reading the reply failed.");
    }
    return refusal;
}

// The easy handle's callbacks (CURLOPT_HEADERFUNCTION, WRITEFUNCTION,
// XFERINFOFUNCTION, READFUNCTION); `user` is the Transfer.
std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* user);
std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* user);
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow);
std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* user);

}  // namespace curlbacking
