// NSURLConnection over libcurl's multi interface: one multi handle per run
// loop, its sockets watched as run-loop file-descriptor sources and its timer
// kept as an NSTimer. Curl's callbacks only record what happened; the
// delegate is called afterwards, outside curl, so it may cancel, start other
// loads or run the loop.
#include <curl/curl.h>
#include <poll.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/foundation/Clock.h"
#include "platform/net/NSURLConnectionBacking.h"

namespace curlbacking {
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
    bool cacheable = false;
    Data cacheBody;
    std::int64_t uploaded = 0;

    std::deque<Event> events;
    bool drainPosted = false;
    int redirects = 0;
    std::shared_ptr<NSURLAuthenticationChallenge> pendingChallenge;
    std::shared_ptr<NSURLCredential> credential;  // sent with every request of the load
    long authFailures = 0;
    double lastActivity = 0;
    std::shared_ptr<NSTimer> idleTimer;
};

namespace curlbacking {

constexpr int kMaxRedirects = 16;
constexpr std::size_t kMaxCachedBody = 1 << 20;
const char kMultiKey = 0;

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

    static int timerCallback(CURLM*, long timeoutMs, void* user) {
        auto* self = static_cast<Multi*>(user);
        if (self->timer_) {
            self->timer_->invalidate();
            self->timer_.reset();
        }
        auto loop = self->loop_.lock();
        if (timeoutMs < 0 || !loop) return 0;
        std::weak_ptr<Multi> weak = self->weak_from_this();
        self->timer_ = NSTimer::timerWithTimeInterval(
            static_cast<double>(timeoutMs) / 1000.0,
            [weak](NSTimer&) {
                if (auto multi = weak.lock()) multi->onTimeout();
            },
            false);
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
        case CURLE_SSL_CONNECT_ERROR: return NSURLErrorSecureConnectionFailed;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING: return NSURLErrorBadServerResponse;
        default: return NSURLErrorUnknown;
    }
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
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
    std::string lowered = lower(header);
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
        return trim(value.substr(0, value.find(',')));
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
    t.redirecting = isRedirectStatus(t.status) && location && !trim(*location).empty();
    t.challenged = false;
    t.heldBody.clear();
    t.cacheBody.clear();
    if (t.redirecting) {
        t.location = trim(*location);
        return;
    }
    if (t.status == 401) {
        if (auto challenge = basicRealm(headerValue(fields, "WWW-Authenticate").value_or(""))) {
            t.challenged = true;
            t.realm = *challenge;
            return;
        }
    }
    auto cacheControl = lower(headerValue(fields, "Cache-Control").value_or(""));
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
        t.fields.back().second += " " + trim(line);
    } else if (auto colon = line.find(':'); colon != std::string::npos) {
        t.fields.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
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
    NSURLConnection::Transfer::Event event{NSURLConnection::Transfer::Event::Kind::Body, {}, Data(buffer, buffer + n),
                                           0, 0, 0, CURLE_OK};
    t.push(std::move(event));
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
    auto& t = *static_cast<NSURLConnection::Transfer*>(user);
    if (uploadedNow > t.uploaded) {
        touch(t);
        t.push({NSURLConnection::Transfer::Event::Kind::Sent, {}, {}, uploadedNow - t.uploaded, uploadedNow,
                static_cast<std::int64_t>(t.body.size()), CURLE_OK});
        t.uploaded = uploadedNow;
    }
    return 0;
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

    const std::string& method = request.HTTPMethod();
    t.body = request.HTTPBody().value_or(Data());
    bool sendsBody = request.HTTPBody().has_value() || method == "POST";
    if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (sendsBody) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, t.body.empty() ? "" : reinterpret_cast<const char*>(t.body.data()));
        if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    for (const auto& [name, value] : request.allHTTPHeaderFields())
        t.headerList = curl_slist_append(t.headerList, (value.empty() ? name + ";" : name + ": " + value).c_str());
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
    auto self = this->self<NSURLConnection>();
    ended_ = true;
    auto error = NSURLErrorMake(code, currentRequest() ? currentRequest()->URL() : std::string());
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
    if (code != CURLE_OK) return c->fail(curlbacking::errorCodeFor(static_cast<CURLcode>(code)));
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
            next->setValue(std::nullopt, "Content-Type");
            next->setValue(std::nullopt, "Content-Length");
        }
        auto chosen = willSend(c, next, t.response);
        if (!chosen) return stop(c);
        if (*chosen) return launch(c, *chosen);
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
    switch (kind) {
        case Answer::UseCredential:
            if (credential) {
                t.credential = credential;
                ++t.authFailures;  // counted as failed if the server challenges again
                return launch(c, t.request);
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
