// NSURLConnection over libcurl's multi interface: one multi handle per run
// loop, its sockets watched as run-loop file-descriptor sources and its timer
// kept as an NSTimer. Curl's callbacks only record what happened; the
// delegate is called afterwards, outside curl, so it may cancel, start other
// loads or run the loop.
//
// TLS: curl's OpenSSL context gets a chain-verification callback of ours.
// The first handshake with a server in a load only records the server's
// certificates and is given up; the challenge is then raised outside curl and,
// once the server is accepted, the request goes out on a new connection whose
// leaf certificate must be the accepted one. Session resumption is off (a
// resumed session shows no certificates) and HTTPS connections are not kept
// for other loads.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSString.h"
#include "platform/net/NSURLConnectionBacking.h"
#include "platform/security/SecTrust.h"

namespace curlbacking {

namespace {
std::string trimmed(std::string_view s) { return stringByTrimmingCharacters(s, " \t\r\n"); }
}  // namespace
class Multi;
}

struct NSURLConnection::Transfer {
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

    std::weak_ptr<curlbacking::Multi> multi;
    std::shared_ptr<NSURLRequest> request;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    Data body;  // the request body, kept while curl sends it
    // A streamed body: the stream being read, how much of it went to curl and
    // how much the request announced (-1: unknown, sent chunked).
    std::shared_ptr<NSInputStream> bodyStream;
    std::int64_t bodyStreamRead = 0;
    std::int64_t bodyStreamLength = -1;
    NSErrorPtr bodyStreamError;  // the read failed (or ended early): the load fails with this
    std::vector<std::shared_ptr<NSInputStream>> readStreams;  // streams read from (closed at the end if opened here)
    std::vector<std::shared_ptr<NSInputStream>> openedStreams;
    std::int64_t expectedUpload = 0;
    char errorText[CURL_ERROR_SIZE] = {};

    // The response being read.
    long status = 0;
    std::string version;
    std::vector<std::pair<std::string, std::string>> fields;
    std::shared_ptr<NSHTTPURLResponse> response;
    bool redirecting = false;  // a redirect answer: its body is kept aside
    std::string location;
    bool challenged = false;  // a Basic challenge: its body is kept aside too
    std::string realm;
    Data heldBody;
    // The buffer of the last body chunk handed over, kept for the next one: a
    // large body reuses its memory instead of mapping fresh pages per chunk.
    Data spareChunk;
    bool cacheable = false;
    Data cacheBody;
    std::int64_t uploaded = 0;

    std::deque<Event> events;
    bool drainPosted = false;
    int redirects = 0;
    std::shared_ptr<NSURLAuthenticationChallenge> pendingChallenge;
    std::shared_ptr<NSURLCredential> credential;  // sent with every request of the load
    long authFailures = 0;
    // TLS server trust: the leaf certificate accepted per "host:port" in this
    // load, and the chain (DER, leaf first) of a handshake awaiting a decision.
    std::map<std::string, Data> acceptedLeaves;
    std::vector<Data> peerChain;
    bool trustDecisionDue = false;  // the handshake was given up for a challenge
    bool trustRefused = false;      // the server showed another leaf than the accepted one
    double lastActivity = 0;
    std::shared_ptr<NSTimer> idleTimer;
};

namespace curlbacking {

constexpr int kMaxRedirects = 16;
constexpr std::size_t kMaxCachedBody = 1 << 20;
// Curl's receive buffer: larger reads mean fewer callbacks and deliveries per body.
constexpr std::size_t kReceiveBuffer = 256 * 1024;
constexpr std::size_t kMaxCoalescedBody = 1 << 20;
const char kMultiKey = 0;
constexpr double kNever = 1e12;  // a fire date (and repeat interval) that does not come

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The multi handle of one run loop. Lives as an associated object of the run
// loop; touched only on the loop's thread.
class Multi : public std::enable_shared_from_this<Multi> {
public:
    explicit Multi(const std::shared_ptr<NSRunLoop>& loop) : loop_(loop) {
        globalInit();
        multi_ = curl_multi_init();
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &Multi::socketCallback);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &Multi::timerCallback);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    }

    ~Multi() {
        for (auto& [transfer, connection] : active_)
            if (transfer->easy) curl_multi_remove_handle(multi_, transfer->easy);  // freed by its transfer
        if (timer_) timer_->invalidate();
        if (auto loop = loop_.lock())
            for (auto& [fd, socket] : sockets_)
                for (auto id : socket.ids) loop->removeFileDescriptor(id);
        curl_multi_cleanup(multi_);
    }

    static std::shared_ptr<Multi> forRunLoop(const std::shared_ptr<NSRunLoop>& loop) {
        if (auto existing = loop->associated<Multi>(&kMultiKey)) return existing;
        auto multi = std::make_shared<Multi>(loop);
        loop->setAssociatedObject(&kMultiKey, multi);
        return multi;
    }

    void addMode(const NSRunLoopMode& mode) {
        if (!modes_.insert(mode).second) return;
        auto loop = loop_.lock();
        if (!loop) return;
        for (auto& [fd, socket] : sockets_) socket.ids.push_back(addSource(*loop, fd, socket.events, mode));
        if (timer_) loop->addTimer(timer_, mode);
    }

    // Registers the load (keeping its connection alive) and adds its handle.
    void add(const NSURLConnectionPtr& connection, NSURLConnection::Transfer* transfer) {
        active_[transfer] = connection;
        curl_multi_add_handle(multi_, transfer->easy);
    }

    // Takes a handle out; its load stays registered until forget().
    void detach(CURL* easy) { curl_multi_remove_handle(multi_, easy); }
    void forget(NSURLConnection::Transfer* transfer) { active_.erase(transfer); }

private:
    struct Socket {
        short events = 0;
        std::vector<NSRunLoop::SourceId> ids;
    };

    NSRunLoop::SourceId addSource(NSRunLoop& loop, int fd, short events, const NSRunLoopMode& mode) {
        std::weak_ptr<Multi> weak = weak_from_this();
        return loop.addFileDescriptor(
            fd, events,
            [weak](int readyFd, short revents) {
                if (auto self = weak.lock()) self->onSocket(readyFd, revents);
            },
            mode);
    }

    static int socketCallback(CURL*, curl_socket_t fd, int what, void* user, void*) {
        auto* self = static_cast<Multi*>(user);
        auto loop = self->loop_.lock();
        if (!loop) return 0;
        if (what == CURL_POLL_REMOVE) {
            auto it = self->sockets_.find(fd);
            if (it != self->sockets_.end()) {
                for (auto id : it->second.ids) loop->removeFileDescriptor(id);
                self->sockets_.erase(it);
            }
            return 0;
        }
        short events = 0;
        if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= POLLIN;
        if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= POLLOUT;
        auto it = self->sockets_.find(fd);
        if (it == self->sockets_.end()) {
            Socket socket;
            socket.events = events;
            for (const auto& mode : self->modes_) socket.ids.push_back(self->addSource(*loop, fd, events, mode));
            self->sockets_[fd] = std::move(socket);
        } else if (it->second.events != events) {
            it->second.events = events;
            for (auto id : it->second.ids) loop->setFileDescriptorEvents(id, events);
        }
        return 0;
    }

    // Curl asks for its timer again and again (often for "now"): one timer,
    // made once and added in every mode, is moved instead of remade.
    static int timerCallback(CURLM*, long timeoutMs, void* user) {
        auto* self = static_cast<Multi*>(user);
        if (timeoutMs < 0) {
            if (self->timer_) self->timer_->setFireDate(kNever);
            return 0;
        }
        auto loop = self->loop_.lock();
        if (!loop) return 0;
        double date = Clock::now() + static_cast<double>(timeoutMs) / 1000.0;
        if (self->timer_ && self->timer_->isValid()) {
            self->timer_->setFireDate(date);
            return 0;
        }
        std::weak_ptr<Multi> weak = self->weak_from_this();
        // Repeating only so that firing keeps it valid; each firing is rescheduled
        // by curl (or parked far away) before it could come round again.
        self->timer_ = NSTimer::timerWithTimeInterval(
            kNever,
            [weak](NSTimer& timer) {
                timer.setFireDate(kNever);
                if (auto multi = weak.lock()) multi->onTimeout();
            },
            true);
        self->timer_->setFireDate(date);
        for (const auto& mode : self->modes_) loop->addTimer(self->timer_, mode);
        return 0;
    }

    void onSocket(int fd, short revents) {
        auto keep = shared_from_this();
        int mask = 0;
        if (revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
        if (revents & POLLOUT) mask |= CURL_CSELECT_OUT;
        if (revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
        int running = 0;
        curl_multi_socket_action(multi_, fd, mask, &running);
        afterAction();
    }

    void onTimeout() {
        auto keep = shared_from_this();
        int running = 0;
        curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
        afterAction();
    }

    void afterAction() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            char* owner = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
            auto it = active_.find(reinterpret_cast<NSURLConnection::Transfer*>(owner));
            if (it == active_.end()) continue;
            CURLcode code = message->data.result;
            curl_multi_remove_handle(multi_, message->easy_handle);
            it->first->push({NSURLConnection::Transfer::Event::Kind::Done, {}, {}, 0, 0, 0, code});
        }
        // The delegate may end or start loads while events are handed over.
        std::vector<NSURLConnectionPtr> pending;
        for (auto& [transfer, connection] : active_)
            if (!transfer->events.empty()) pending.push_back(connection);
        for (auto& connection : pending) NSURLConnectionBacking::drain(connection);
    }

    std::weak_ptr<NSRunLoop> loop_;
    CURLM* multi_ = nullptr;
    std::set<NSRunLoopMode> modes_;
    std::map<curl_socket_t, Socket> sockets_;
    std::shared_ptr<NSTimer> timer_;
    std::map<NSURLConnection::Transfer*, NSURLConnectionPtr> active_;
};

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
        case CURLE_UNSUPPORTED_PROTOCOL: return NSURLErrorUnsupportedURL;
        case CURLE_URL_MALFORMAT: return NSURLErrorBadURL;
        case CURLE_PEER_FAILED_VERIFICATION: return NSURLErrorServerCertificateUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED: return NSURLErrorSecureConnectionFailed;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING: return NSURLErrorBadServerResponse;
        default: return NSURLErrorUnknown;
    }
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// `location` resolved against `base`; empty when it cannot be.
std::string resolve(const std::string& base, const std::string& location) {
    CURLU* url = curl_url();
    std::string result;
    if (curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
        char* out = nullptr;
        if (curl_url_get(url, CURLUPART_URL, &out, 0) == CURLUE_OK && out) result = out;
        curl_free(out);
    }
    curl_url_cleanup(url);
    return result;
}

bool parses(const std::string& address) {
    CURLU* url = curl_url();
    bool ok = curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(url);
    return ok;
}

// The realm of a Basic challenge among the challenges of a WWW-Authenticate value.
std::optional<std::string> basicRealm(const std::string& header) {
    std::string lowered = lowercaseString(header);
    for (std::size_t at = lowered.find("basic"); at != std::string::npos; at = lowered.find("basic", at + 5)) {
        bool starts = at == 0 || lowered[at - 1] == ' ' || lowered[at - 1] == ',';
        bool ends = at + 5 == lowered.size() || lowered[at + 5] == ' ';
        if (!starts || !ends) continue;
        auto realm = lowered.find("realm=", at);
        if (realm == std::string::npos) return std::string();
        std::string value = header.substr(realm + 6);
        if (!value.empty() && value[0] == '"') {
            auto close = value.find('"', 1);
            return value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        }
        return trimmed(value.substr(0, value.find(',')));
    }
    return std::nullopt;
}

struct URLParts {
    std::string scheme, host;
    long port = 0;
};

URLParts partsOf(const std::string& address) {
    URLParts parts;
    CURLU* url = curl_url();
    if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK) {
        char* out = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &out, 0) == CURLUE_OK && out) parts.scheme = out;
        curl_free(out);
        out = nullptr;
        if (curl_url_get(url, CURLUPART_HOST, &out, 0) == CURLUE_OK && out) parts.host = out;
        curl_free(out);
        out = nullptr;
        if (curl_url_get(url, CURLUPART_PORT, &out, CURLU_DEFAULT_PORT) == CURLUE_OK && out)
            parts.port = std::strtol(out, nullptr, 10);
        curl_free(out);
    }
    curl_url_cleanup(url);
    return parts;
}

void touch(NSURLConnection::Transfer& t) { t.lastActivity = Clock::now(); }

void headersComplete(NSURLConnection::Transfer& t) {
    HTTPHeaderFields fields;
    for (auto& [name, value] : t.fields) {
        auto it = fields.find(name);
        if (it == fields.end()) fields.emplace(name, value);
        else it->second += ", " + value;
    }
    auto location = headerValue(fields, "Location");
    t.response = NSHTTPURLResponse::initWithURL(t.request->URL(), t.status, t.version, fields);
    t.redirecting = isRedirectStatus(t.status) && location && !trimmed(*location).empty();
    t.challenged = false;
    t.heldBody.clear();
    t.cacheBody.clear();
    if (t.redirecting) {
        t.location = trimmed(*location);
        return;
    }
    if (t.status == 401) {
        if (auto challenge = basicRealm(headerValue(fields, "WWW-Authenticate").value_or(""))) {
            t.challenged = true;
            t.realm = *challenge;
            return;
        }
    }
    auto cacheControl = lowercaseString(headerValue(fields, "Cache-Control").value_or(""));
    t.cacheable = t.request->HTTPMethod() == "GET" && t.status == 200 &&
                  cacheControl.find("no-store") == std::string::npos;
    t.push({NSURLConnection::Transfer::Event::Kind::Response, t.response, {}, 0, 0, 0, CURLE_OK});
}

std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    touch(t);
    std::string line(buffer, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        auto space = line.find(' ');
        t.version = line.substr(0, space);
        t.status = space == std::string::npos ? 0 : std::strtol(line.c_str() + space + 1, nullptr, 10);
        t.fields.clear();
    } else if (line.empty()) {
        if (t.status >= 200 || t.status == 0) headersComplete(t);  // interim 1xx answers are skipped
    } else if ((line[0] == ' ' || line[0] == '\t') && !t.fields.empty()) {
        t.fields.back().second += " " + trimmed(line);
    } else if (auto colon = line.find(':'); colon != std::string::npos) {
        t.fields.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    return size * count;
}

std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    touch(t);
    std::size_t n = size * count;
    if (t.redirecting || t.challenged) {
        t.heldBody.insert(t.heldBody.end(), buffer, buffer + n);
        return n;
    }
    if (t.cacheable) {
        if (t.cacheBody.size() + n > kMaxCachedBody) {
            t.cacheable = false;
            Data().swap(t.cacheBody);
        } else {
            t.cacheBody.insert(t.cacheBody.end(), buffer, buffer + n);
        }
    }
    // Bytes that follow bytes not yet handed over join them: one delivery (and
    // one allocation) for what a socket action read, not one per curl write.
    if (!t.events.empty() && t.events.back().kind == NSURLConnection::Transfer::Event::Kind::Body &&
        t.events.back().data.size() < kMaxCoalescedBody) {
        auto& data = t.events.back().data;
        data.insert(data.end(), buffer, buffer + n);
        return n;
    }
    NSURLConnection::Transfer::Event event{NSURLConnection::Transfer::Event::Kind::Body, {}, std::move(t.spareChunk),
                                           0, 0, 0, CURLE_OK};
    t.spareChunk = Data();
    event.data.assign(buffer, buffer + n);
    t.push(std::move(event));
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    // Body bytes only: a chunked upload's count includes the chunk framing.
    if (t.bodyStream) uploadedNow = std::min<curl_off_t>(uploadedNow, t.bodyStreamRead);
    if (uploadedNow > t.uploaded) {
        touch(t);
        t.push({NSURLConnection::Transfer::Event::Kind::Sent, {}, {}, uploadedNow - t.uploaded, uploadedNow,
                t.expectedUpload, CURLE_OK});
        t.uploaded = uploadedNow;
    }
    return 0;
}

// Hands curl the next bytes of a streamed body (on the loop's thread).
std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
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
        t.bodyStreamError = stream->streamError();
        if (!t.bodyStreamError) t.bodyStreamError = NSURLErrorMake(NSURLErrorUnknown, t.request->URL());
        return CURL_READFUNC_ABORT;
    }
    if (n == 0 && t.bodyStreamLength >= 0) {
        // The stream ended before the announced length.
        t.bodyStreamError = NSURLErrorMake(NSURLErrorRequestBodyStreamExhausted, t.request->URL());
        return CURL_READFUNC_ABORT;
    }
    t.bodyStreamRead += n;
    return static_cast<std::size_t>(n);
}

std::string serverKey(const URLParts& parts) { return parts.host + ":" + std::to_string(parts.port); }

Data derOf(X509* certificate) {
    int length = i2d_X509(certificate, nullptr);
    if (length <= 0) return {};
    Data der(static_cast<std::size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(certificate, &out);
    return der;
}

// OpenSSL's verification of the server's chain, replaced: the chain is taken
// as it came; whether it is trusted is decided by the challenge.
int onVerifyChain(X509_STORE_CTX* store, void* user) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    touch(t);
    std::vector<Data> chain;
    if (X509* leaf = X509_STORE_CTX_get0_cert(store)) chain.push_back(derOf(leaf));
    if (STACK_OF(X509)* presented = X509_STORE_CTX_get0_untrusted(store)) {
        for (int i = 0; i < sk_X509_num(presented); ++i) {
            Data der = derOf(sk_X509_value(presented, i));
            if (std::find(chain.begin(), chain.end(), der) == chain.end()) chain.push_back(std::move(der));
        }
    }
    if (chain.empty() || chain.front().empty()) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_UNSPECIFIED);
        return 0;
    }
    auto accepted = t.acceptedLeaves.find(serverKey(partsOf(t.request->URL())));
    if (accepted != t.acceptedLeaves.end()) {
        if (accepted->second == chain.front()) {
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return 1;
        }
        t.trustRefused = true;
    } else {
        t.peerChain = std::move(chain);
        t.trustDecisionDue = true;
    }
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
}

CURLcode onSslContext(CURL*, void* context, void* user) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, &onVerifyChain, user);
    return CURLE_OK;
}

// Prepares the easy handle of `t` for t.request.
void configure(NSURLConnection::Transfer& t) {
    const NSURLRequest& request = *t.request;
    CURL* easy = t.easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, request.URL().c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.errorText);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(curlbacking::kReceiveBuffer));
    if (lowercaseString(request.URL()).rfind("https:", 0) == 0) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);  // verified by onVerifyChain and the challenge
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &onSslContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &t);
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    }

    const std::string& method = request.HTTPMethod();
    t.body = request.HTTPBody().value_or(Data());
    t.bodyStream = method == "HEAD" ? nullptr : request.HTTPBodyStream();
    t.bodyStreamRead = 0;
    t.bodyStreamLength = -1;
    t.bodyStreamError.reset();
    bool sendsBody = request.HTTPBody().has_value() || method == "POST";
    t.expectedUpload = static_cast<std::int64_t>(t.body.size());
    if (t.bodyStream) {
        if (auto length = request.valueForHTTPHeaderField("Content-Length")) {
            std::string digits = trimmed(*length);
            if (!digits.empty() && digits.size() < 19 &&
                std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
                t.bodyStreamLength = std::strtoll(digits.c_str(), nullptr, 10);
        }
        t.expectedUpload = t.bodyStreamLength;
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &onReadBody);
        curl_easy_setopt(easy, CURLOPT_READDATA, &t);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.bodyStreamLength));
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        sendsBody = true;
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (sendsBody) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, t.body.empty() ? "" : reinterpret_cast<const char*>(t.body.data()));
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        // A streamed body's framing is curl's, from the length found above.
        if (t.bodyStream && (lowercaseString(name) == "content-length" || lowercaseString(name) == "transfer-encoding")) continue;
        t.headerList = curl_slist_append(t.headerList, (value.empty() ? name + ";" : name + ": " + value).c_str());
    }
    // Only what the request names is sent: no implicit form type, no waiting for 100-continue.
    if (sendsBody && !request.valueForHTTPHeaderField("Content-Type"))
        t.headerList = curl_slist_append(t.headerList, "Content-Type:");
    if (!request.valueForHTTPHeaderField("Expect")) t.headerList = curl_slist_append(t.headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headerList);
    if (t.credential && !request.valueForHTTPHeaderField("Authorization")) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, t.credential->user().c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, t.credential->password().c_str());
    }
}

}  // namespace curlbacking

using curlbacking::Multi;
using Event = NSURLConnection::Transfer::Event;

NSURLConnection::Transfer::~Transfer() {
    detach();
    if (idleTimer) idleTimer->invalidate();
}

void NSURLConnection::Transfer::detach() {
    if (easy) {
        if (auto m = multi.lock()) m->detach(easy);
        curl_easy_cleanup(easy);
        easy = nullptr;
    }
    curl_slist_free_all(headerList);
    headerList = nullptr;
}

NSURLConnection::~NSURLConnection() = default;

void NSURLConnection::TransferDeleter::operator()(Transfer* transfer) const { delete transfer; }

void NSURLConnection::release() {
    ended_ = true;
    if (transfer_) {
        auto multi = transfer_->multi.lock();
        transfer_->detach();
        for (auto& stream : transfer_->openedStreams) stream->close();
        transfer_->openedStreams.clear();
        if (transfer_->idleTimer) transfer_->idleTimer->invalidate();
        auto keep = self<NSURLConnection>();  // forget() may drop the last other owner
        if (multi) multi->forget(transfer_.get());
        transfer_.reset();
    }
    std::shared_ptr<NSURLConnectionDelegate> released;
    {
        std::lock_guard lock(callbackMutex_);
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

std::optional<std::shared_ptr<NSURLRequest>> NSURLConnectionBacking::willSend(
    const NSURLConnectionPtr& c, const std::shared_ptr<NSURLRequest>& request,
    const std::shared_ptr<NSURLResponse>& redirect) {
    std::shared_ptr<NSURLRequest> chosen = request;
    c->deliver([&](NSURLConnectionDelegate& d) { chosen = d.connectionWillSendRequest(c, request, redirect); });
    if (c->cancelled_) return std::nullopt;
    return chosen;
}

void NSURLConnectionBacking::begin(const NSURLConnectionPtr& c) {
    if (c->cancelled_ || c->ended_ || c->transfer_) return;
    auto loop = NSRunLoop::currentRunLoop();
    c->transfer_.reset(new NSURLConnection::Transfer());
    auto multi = Multi::forRunLoop(loop);
    c->transfer_->multi = multi;
    {
        std::lock_guard lock(c->mutex_);
        for (const auto& mode : c->modes_) multi->addMode(mode);
    }
    if (!c->originalRequest_) return c->fail(NSURLErrorBadURL);
    auto chosen = willSend(c, c->originalRequest_, nullptr);
    if (!chosen) return stop(c);
    if (!*chosen) return c->fail(NSURLErrorCancelled);
    launch(c, *chosen);
}

void NSURLConnectionBacking::launch(const NSURLConnectionPtr& c, std::shared_ptr<NSURLRequest> request) {
    auto& t = *c->transfer_;
    request = request->copy();
    {
        std::lock_guard lock(c->mutex_);
        c->currentRequest_ = request;
    }
    if (!NSURLConnection::canHandleRequest(request)) return c->fail(NSURLErrorUnsupportedURL);
    if (!curlbacking::parses(request->URL())) return c->fail(NSURLErrorBadURL);
    t.detach();
    t.request = request;
    t.status = 0;
    t.version.clear();
    t.fields.clear();
    t.response.reset();
    t.redirecting = false;
    t.challenged = false;
    t.cacheable = false;
    t.uploaded = 0;
    t.trustDecisionDue = false;
    t.trustRefused = false;
    t.peerChain.clear();
    curlbacking::configure(t);
    curlbacking::touch(t);
    armIdleTimer(c);
    if (auto multi = t.multi.lock()) multi->add(c, &t);
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
            double idleUntil = transfer.lastActivity + timeout;
            if (Clock::now() < idleUntil) return timer.setFireDate(idleUntil);
            // Nothing moved for the whole interval: the load times out.
            timer.invalidate();
            transfer.detach();
            transfer.push({Event::Kind::Done, {}, {}, 0, 0, 0, CURLE_OPERATION_TIMEDOUT});
            drain(connection);
        },
        true);
    auto loop = c->runLoop_.lock();
    if (!loop) return;
    std::lock_guard lock(c->mutex_);
    for (const auto& mode : c->modes_) loop->addTimer(t.idleTimer, mode);
}

void NSURLConnectionBacking::stop(const NSURLConnectionPtr& c) { c->release(); }

void NSURLConnectionBacking::drain(const NSURLConnectionPtr& c) {
    while (c->transfer_ && !c->transfer_->events.empty()) {
        if (c->cancelled_) return stop(c);
        if (!c->modeAllowed()) {
            // Handed over when the loop runs in one of the connection's modes.
            if (c->transfer_->drainPosted) return;
            c->transfer_->drainPosted = true;
            auto loop = c->runLoop_.lock();
            std::vector<NSRunLoopMode> modes;
            {
                std::lock_guard lock(c->mutex_);
                modes = c->modes_;
            }
            if (loop)
                loop->performBlock(
                    [c] {
                        if (c->transfer_) c->transfer_->drainPosted = false;
                        drain(c);
                    },
                    modes);
            return;
        }
        Event event = std::move(c->transfer_->events.front());
        c->transfer_->events.pop_front();
        switch (event.kind) {
            case Event::Kind::Response:
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, event.response); });
                break;
            case Event::Kind::Body:
                c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveData(c, event.data); });
                if (c->transfer_ && event.data.capacity() <= 2 * curlbacking::kMaxCoalescedBody) {
                    event.data.clear();
                    c->transfer_->spareChunk = std::move(event.data);
                }
                break;
            case Event::Kind::Sent:
                c->deliver([&](NSURLConnectionDelegate& d) {
                    d.connectionDidSendBodyData(c, event.sent, event.totalSent, event.expected);
                });
                break;
            case Event::Kind::Done:
                complete(c, event.code);
                break;
        }
    }
    if (c->cancelled_ && c->transfer_) stop(c);
}

void NSURLConnectionBacking::complete(const NSURLConnectionPtr& c, int code) {
    auto& t = *c->transfer_;
    t.detach();
    if (code != CURLE_OK) {
        if (t.trustDecisionDue) return challengeServerTrust(c);
        if (t.trustRefused) return c->fail(NSURLErrorServerCertificateUntrusted);
        if (t.bodyStreamError) return c->fail(t.bodyStreamError);
        return c->fail(curlbacking::errorCodeFor(static_cast<CURLcode>(code)));
    }
    if (t.challenged) return challenge(c);
    if (!t.redirecting) return succeed(c);

    // A redirect: the delegate decides whether and where to go on.
    std::string target = curlbacking::resolve(t.request->URL(), t.location);
    if (!target.empty()) {
        if (++t.redirects > curlbacking::kMaxRedirects) return c->fail(NSURLErrorHTTPTooManyRedirects);
        auto next = t.request->mutableCopy();
        next->setURL(target);
        // Credentials given for one server are not offered to another.
        auto from = curlbacking::partsOf(t.request->URL()), to = curlbacking::partsOf(target);
        if (from.host != to.host || from.port != to.port || from.scheme != to.scheme) {
            t.credential.reset();
            t.authFailures = 0;
        }
        const std::string method = t.request->HTTPMethod();
        if ((t.status == 303 && method != "HEAD") || ((t.status == 301 || t.status == 302) && method == "POST")) {
            next->setHTTPMethod("GET");
            next->setHTTPBody(std::nullopt);
            next->setHTTPBodyStream(nullptr);
            next->setValue(std::nullopt, "Content-Type");
            next->setValue(std::nullopt, "Content-Length");
        }
        auto chosen = willSend(c, next, t.response);
        if (!chosen) return stop(c);
        if (*chosen) {
            auto sendable = resendable(c, *chosen);
            if (c->cancelled_) return stop(c);
            if (!sendable) return c->fail(NSURLErrorRequestBodyStreamExhausted);
            return launch(c, sendable);
        }
    }
    // Refused (or unusable): the redirect answer is the final one.
    deliverHeldResponse(c);
}

void NSURLConnectionBacking::deliverHeldResponse(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    auto response = t.response;
    Data body = std::move(t.heldBody);
    t.redirecting = false;
    t.challenged = false;
    c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveResponse(c, response); });
    if (c->cancelled_) return stop(c);
    if (!body.empty()) c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidReceiveData(c, body); });
    if (c->cancelled_) return stop(c);
    succeed(c);
}

void NSURLConnectionBacking::challenge(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    // The load waits for the answer: no idle time-out meanwhile.
    if (t.idleTimer) t.idleTimer->invalidate();
    t.idleTimer.reset();
    auto parts = curlbacking::partsOf(t.request->URL());
    auto space = std::make_shared<NSURLProtectionSpace>(parts.host, parts.port, parts.scheme, t.realm,
                                                        NSURLAuthenticationMethodHTTPBasic);
    std::weak_ptr<NSURLAuthenticationChallengeSender> sender = std::shared_ptr<NSURLAuthenticationChallengeSender>(c);
    auto challenge = std::make_shared<NSURLAuthenticationChallenge>(space, t.credential, t.authFailures, t.response,
                                                                    nullptr, sender);
    t.pendingChallenge = challenge;
    bool answers = false;
    c->deliver([&](NSURLConnectionDelegate& d) {
        answers = d.respondsToWillSendRequestForAuthenticationChallenge();
        if (answers) d.connectionWillSendRequestForAuthenticationChallenge(c, challenge);
    });
    if (c->cancelled_) return stop(c);
    if (!answers) answer(c, challenge, Answer::Default, nullptr);
}

void NSURLConnectionBacking::answer(const NSURLConnectionPtr& c,
                                    const std::shared_ptr<NSURLAuthenticationChallenge>& challenge, Answer kind,
                                    const std::shared_ptr<NSURLCredential>& credential) {
    if (c->cancelled_ || c->ended_ || !c->transfer_ || c->transfer_->pendingChallenge != challenge) return;
    auto& t = *c->transfer_;
    t.pendingChallenge.reset();
    if (challenge->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodServerTrust)
        return answerServerTrust(c, challenge, kind, credential);
    switch (kind) {
        case Answer::UseCredential:
            if (credential && !credential->trust()) {
                t.credential = credential;
                ++t.authFailures;  // counted as failed if the server challenges again
                auto again = resendable(c, t.request);
                if (c->cancelled_) return stop(c);
                if (!again) return c->fail(NSURLErrorRequestBodyStreamExhausted);
                return launch(c, again);
            }
            return deliverHeldResponse(c);
        case Answer::Cancel:
            return c->fail(NSURLErrorUserCancelledAuthentication);
        case Answer::ContinueWithout:
        case Answer::Default:
            // No credential store: the challenging response is the answer.
            return deliverHeldResponse(c);
    }
}

void NSURLConnectionBacking::succeed(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    if (t.cacheable && t.response) {
        auto offered = std::make_shared<NSCachedURLResponse>(t.response, std::move(t.cacheBody));
        // No response cache is kept yet: the delegate's answer is not stored.
        c->deliver([&](NSURLConnectionDelegate& d) { (void)d.connectionWillCacheResponse(c, offered); });
        if (c->cancelled_) return stop(c);
    }
    c->ended_ = true;
    c->deliver([&](NSURLConnectionDelegate& d) { d.connectionDidFinishLoading(c); });
    c->release();
}

std::shared_ptr<NSURLRequest> NSURLConnectionBacking::resendable(const NSURLConnectionPtr& c,
                                                                 const std::shared_ptr<NSURLRequest>& request) {
    auto& t = *c->transfer_;
    const auto& stream = request->HTTPBodyStream();
    if (!stream || request->HTTPMethod() == "HEAD" ||
        std::find(t.readStreams.begin(), t.readStreams.end(), stream) == t.readStreams.end())
        return request;
    std::shared_ptr<NSInputStream> fresh;
    c->deliver([&](NSURLConnectionDelegate& d) { fresh = d.connectionNeedNewBodyStream(c, request); });
    if (!fresh || fresh == stream) return nullptr;
    auto next = request->mutableCopy();
    next->setHTTPBodyStream(fresh);
    return next;
}

void NSURLConnectionBacking::challengeServerTrust(const NSURLConnectionPtr& c) {
    auto& t = *c->transfer_;
    t.trustDecisionDue = false;
    if (t.idleTimer) t.idleTimer->invalidate();
    t.idleTimer.reset();
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : t.peerChain)
        if (auto certificate = SecCertificateCreateWithData(der)) certificates.push_back(certificate);
    auto parts = curlbacking::partsOf(t.request->URL());
    SecTrustRef trust;
    if (certificates.empty() ||
        SecTrustCreateWithCertificates(certificates, SecPolicyCreateSSL(true, parts.host), &trust) != errSecSuccess)
        return c->fail(NSURLErrorSecureConnectionFailed);
    auto space = std::make_shared<NSURLProtectionSpace>(parts.host, parts.port, parts.scheme, std::string(),
                                                        NSURLAuthenticationMethodServerTrust, trust);
    std::weak_ptr<NSURLAuthenticationChallengeSender> sender = std::shared_ptr<NSURLAuthenticationChallengeSender>(c);
    auto challenge = std::make_shared<NSURLAuthenticationChallenge>(space, nullptr, 0, nullptr, nullptr, sender);
    t.pendingChallenge = challenge;
    bool answers = false;
    c->deliver([&](NSURLConnectionDelegate& d) {
        answers = d.respondsToWillSendRequestForAuthenticationChallenge();
        if (answers) d.connectionWillSendRequestForAuthenticationChallenge(c, challenge);
    });
    if (c->cancelled_) return stop(c);
    if (!answers) answer(c, challenge, Answer::Default, nullptr);
}

void NSURLConnectionBacking::answerServerTrust(const NSURLConnectionPtr& c,
                                               const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                               Answer kind, const std::shared_ptr<NSURLCredential>& credential) {
    auto& t = *c->transfer_;
    const auto& space = *challenge->protectionSpace();
    Data leaf = t.peerChain.empty() ? Data() : t.peerChain.front();
    auto accept = [&] {
        t.acceptedLeaves[curlbacking::serverKey({space.protocol(), space.host(), space.port()})] = leaf;
        launch(c, t.request);
    };
    if (kind == Answer::Cancel) return c->fail(NSURLErrorUserCancelledAuthentication);
    if (kind == Answer::UseCredential && credential && credential->trust() &&
        SecTrustGetCertificateCount(credential->trust()) > 0 &&
        SecCertificateCopyData(SecTrustGetCertificateAtIndex(credential->trust(), 0)) == leaf)
        return accept();
    // Default handling: the system's roots and the TLS server policy for the host,
    // on a trust of our own (the delegate may have changed the offered one).
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : t.peerChain)
        if (auto certificate = SecCertificateCreateWithData(der)) certificates.push_back(certificate);
    SecTrustRef trust;
    SecTrustResultType result = kSecTrustResultInvalid;
    bool trusted = !certificates.empty() &&
                   SecTrustCreateWithCertificates(certificates, SecPolicyCreateSSL(true, space.host()), &trust) ==
                       errSecSuccess &&
                   SecTrustEvaluate(trust, &result) == errSecSuccess &&
                   (result == kSecTrustResultProceed || result == kSecTrustResultUnspecified);
    if (!trusted) return c->fail(NSURLErrorServerCertificateUntrusted);
    accept();
}
