// Protects every test that scripts an HTTP peer: the loopback server's routes, framing, pacing, stalls, pieces, drops and request records.
#include "support/LoopbackHttpServer.h"

#include "platform/foundation/NSDataBase64.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSString.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/TestEnvironment.h"

namespace testsupport {

namespace {

// Room for a burst of parallel connections before the server thread accepts them.
constexpr int kListenBacklog = 128;

std::string lower(std::string_view s) { return lowercaseString(s); }

bool equalsIgnoringCase(const std::string& a, const std::string& b) { return caseInsensitiveCompare(a, b) == NSOrderedSame; }

std::string trim(std::string_view s) { return stringByTrimmingCharacters(s, " \t\r\n"); }

bool parseUnsigned(const std::string& s, std::uint64_t& out, int base = 10) {
    if (s.empty()) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        const int d = base == 16 ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return false;
        if (v > (UINT64_MAX - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return false;
        v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    out = v;
    return true;
}

class PlainConnection : public ServerConnection {
public:
    explicit PlainConnection(int fd) : fd_(fd) {}
    ~PlainConnection() override { ::close(fd_); }
    ssize_t read(void* buffer, std::size_t size) override {
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, size, 0);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    ssize_t write(const void* buffer, std::size_t size) override {
        for (;;) {
            ssize_t n = ::send(fd_, buffer, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    void close() override { ::shutdown(fd_, SHUT_RDWR); }

private:
    int fd_;
};

// Buffered reading of lines and exact byte counts over a connection.
class Reader {
public:
    explicit Reader(ServerConnection& io) : io_(io) {}

    bool readLine(std::string& line) {
        for (;;) {
            auto nl = buffer_.find('\n', pos_);
            if (nl != std::string::npos) {
                line.assign(buffer_, pos_, nl - pos_);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                pos_ = nl + 1;
                return true;
            }
            if (buffer_.size() - pos_ > 64 * 1024) return false;
            if (!fill()) return false;
        }
    }

    bool readExact(std::size_t n, std::string& out) {
        while (buffer_.size() - pos_ < n)
            if (!fill()) return false;
        out.append(buffer_, pos_, n);
        pos_ += n;
        return true;
    }

private:
    bool fill() {
        if (pos_ > 0) {
            buffer_.erase(0, pos_);
            pos_ = 0;
        }
        char chunk[16 * 1024];
        ssize_t n = io_.read(chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    ServerConnection& io_;
    std::string buffer_;
    std::size_t pos_ = 0;
};

bool writeAll(ServerConnection& io, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = io.write(data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(ServerConnection& io, const std::string& s) { return writeAll(io, s.data(), s.size()); }

std::string chunkEncode(const std::string& body, std::size_t chunkSize) {
    std::string out;
    std::size_t step = chunkSize == 0 ? std::max<std::size_t>(body.size(), 1) : chunkSize;
    for (std::size_t at = 0; at < body.size(); at += step) {
        std::size_t n = std::min(step, body.size() - at);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        out += size;
        out.append(body, at, n);
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace

// ---------------------------------------------------------------- HttpHeaders

void HttpHeaders::add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }

void HttpHeaders::set(const std::string& name, std::string value) {
    remove(name);
    add(name, std::move(value));
}

void HttpHeaders::remove(const std::string& name) {
    std::erase_if(fields_, [&](const auto& f) { return equalsIgnoringCase(f.first, name); });
}

bool HttpHeaders::has(const std::string& name) const { return find(name).has_value(); }

std::string HttpHeaders::get(const std::string& name) const { return find(name).value_or(std::string()); }

std::optional<std::string> HttpHeaders::find(const std::string& name) const {
    for (const auto& f : fields_)
        if (equalsIgnoringCase(f.first, name)) return f.second;
    return std::nullopt;
}

// ------------------------------------------------------------ RecordedRequest

std::string RecordedRequest::path() const { return target.substr(0, target.find('?')); }

std::string RecordedRequest::query() const {
    auto q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

// ---------------------------------------------------------------------- Reply

Reply Reply::text(std::string body, std::string contentType) {
    Reply r;
    r.body = std::move(body);
    r.headers.set("Content-Type", std::move(contentType));
    return r;
}

Reply Reply::withStatus(int status, std::string body) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

Reply Reply::redirect(int status, const std::string& location) {
    Reply r;
    r.status = status;
    r.headers.set("Location", location);
    r.body = "Moved to " + location;
    return r;
}

Reply Reply::basicChallenge(const std::string& realm) {
    Reply r;
    r.status = 401;
    r.headers.set("WWW-Authenticate", "Basic realm=\"" + realm + "\"");
    r.body = "Authentication required";
    return r;
}

Reply Reply::rawBytes(std::string bytes) {
    Reply r;
    r.raw = std::move(bytes);
    return r;
}

Reply& Reply::header(std::string name, std::string value) {
    headers.add(std::move(name), std::move(value));
    return *this;
}
Reply& Reply::chunked(std::size_t size) {
    framing = Framing::Chunked;
    chunkSize = size;
    return *this;
}
Reply& Reply::closeDelimited() {
    framing = Framing::CloseDelimited;
    return *this;
}
Reply& Reply::trickle(std::size_t bytes, int delayMs) {
    trickleBytes = bytes;
    trickleDelayMs = delayMs;
    return *this;
}
Reply& Reply::inPieces(std::size_t bytes) {
    pieceBytes = bytes;
    return *this;
}

Reply& Reply::stall(std::size_t afterBodyBytes) {
    stallAfter = afterBodyBytes;
    return *this;
}
Reply& Reply::stallFirst() {
    stallBeforeHeaders = true;
    return *this;
}
Reply& Reply::drop(std::size_t afterBodyBytes) {
    dropAfter = afterBodyBytes;
    return *this;
}
Reply& Reply::close() {
    closeAfter = true;
    return *this;
}

std::string reasonPhrase(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 416: return "Range Not Satisfiable";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

std::string base64Encode(const std::string& bytes) { return base64EncodeRFC4648(dataFromString(bytes)); }

// ------------------------------------------------------------- static content

namespace {

// One satisfiable range [first, last], "unsatisfiable", or "none" (serve all).
enum class RangeResult { None, Range, Unsatisfiable };

RangeResult parseRange(const std::string& header, std::uint64_t size, std::uint64_t& first, std::uint64_t& last) {
    std::string spec = trim(header);
    if (lower(spec.substr(0, 6)) != "bytes=") return RangeResult::None;
    spec = trim(spec.substr(6));
    if (spec.find(',') != std::string::npos) return RangeResult::None;  // several ranges: whole content
    auto dash = spec.find('-');
    if (dash == std::string::npos) return RangeResult::None;
    std::string a = trim(spec.substr(0, dash)), b = trim(spec.substr(dash + 1));
    std::uint64_t x = 0, y = 0;
    if (a.empty()) {  // suffix: the last n bytes
        if (!parseUnsigned(b, y)) return RangeResult::None;
        if (y == 0 || size == 0) return RangeResult::Unsatisfiable;
        first = y >= size ? 0 : size - y;
        last = size - 1;
        return RangeResult::Range;
    }
    if (!parseUnsigned(a, x)) return RangeResult::None;
    if (b.empty()) {
        y = UINT64_MAX;
    } else {
        if (!parseUnsigned(b, y)) return RangeResult::None;
        if (y < x) return RangeResult::None;  // invalid syntax: ignored
    }
    if (x >= size) return RangeResult::Unsatisfiable;
    first = x;
    last = std::min(y, size - 1);
    return RangeResult::Range;
}

Reply serveContent(const RecordedRequest& request, const std::string& content, const StaticOptions& options) {
    Reply reply;
    reply.headers.set("Content-Type", options.contentType);
    reply.headers.set("Accept-Ranges", options.ignoreRange ? "none" : "bytes");
    if (!options.etag.empty()) reply.headers.set("ETag", options.etag);
    if (!options.lastModified.empty()) reply.headers.set("Last-Modified", options.lastModified);

    auto range = request.headers.find("Range");
    bool useRange = range && !options.ignoreRange && (request.method == "GET" || request.method == "HEAD");
    if (useRange) {
        if (auto ifRange = request.headers.find("If-Range")) {
            std::string v = trim(*ifRange);
            // A strong ETag or the exact Last-Modified date keeps the range; anything else
            // (a changed resource, a weak tag) gets the whole content.
            bool tagMatches = !options.etag.empty() && v == options.etag && v.rfind("W/", 0) != 0;
            bool dateMatches = !options.lastModified.empty() && v == options.lastModified;
            useRange = tagMatches || dateMatches;
        }
    }
    std::uint64_t first = 0, last = 0;
    auto result = useRange ? parseRange(*range, content.size(), first, last) : RangeResult::None;
    switch (result) {
        case RangeResult::None:
            reply.body = content;
            break;
        case RangeResult::Range:
            reply.status = 206;
            reply.body = content.substr(first, last - first + 1);
            reply.headers.set("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                                   std::to_string(content.size()));
            break;
        case RangeResult::Unsatisfiable:
            reply.status = 416;
            reply.headers.set("Content-Range", "bytes */" + std::to_string(content.size()));
            break;
    }
    return reply;
}

}  // namespace

Handler serveBytes(std::string content, StaticOptions options) {
    auto shared = std::make_shared<const std::string>(std::move(content));
    return [shared, options](const RecordedRequest& request) { return serveContent(request, *shared, options); };
}

Handler serveFile(std::string path, StaticOptions options) {
    return [path, options](const RecordedRequest& request) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return Reply::withStatus(404, "No such file");
        std::ostringstream content;
        content << in.rdbuf();
        return serveContent(request, content.str(), options);
    };
}

Handler requireBasicAuth(std::string user, std::string password, std::string realm, Handler inner) {
    std::string expected = "basic " + base64Encode(user + ":" + password);
    return [expected, realm, inner](const RecordedRequest& request) {
        std::string given = trim(request.headers.get("Authorization"));
        // The scheme is case-insensitive, the credentials are not.
        bool ok = given.size() == expected.size() && lower(given.substr(0, 6)) == "basic " &&
                  given.substr(6) == expected.substr(6);
        return ok ? inner(request) : Reply::basicChallenge(realm);
    };
}

// ---------------------------------------------------------- LoopbackHttpServer

struct LoopbackHttpServer::Connection {
    std::uint64_t id = 0;
    int fd = -1;
    std::thread thread;
    std::mutex mutex;  // guards fdOpen against a concurrent stop()
    bool fdOpen = true;
    std::atomic<bool> finished{false};
};

LoopbackHttpServer::LoopbackHttpServer(ConnectionFactory factory, std::string scheme)
    : factory_(std::move(factory)), scheme_(std::move(scheme)) {
    if (!factory_) factory_ = [](int fd) { return std::make_unique<PlainConnection>(fd); };
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("loopback server: socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, kListenBacklog) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("loopback server: pipe failed");
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() { stop(); }

std::string LoopbackHttpServer::baseURL() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }

std::string LoopbackHttpServer::url(const std::string& target) const { return baseURL() + target; }

void LoopbackHttpServer::route(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[method + " " + path] = std::move(handler);
}

void LoopbackHttpServer::route(const std::string& method, const std::string& path, Reply reply) {
    route(method, path, [reply](const RecordedRequest&) { return reply; });
}

void LoopbackHttpServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(handler);
}

void LoopbackHttpServer::setAnswersContinue(bool answers) {
    std::lock_guard lock(mutex_);
    answersContinue_ = answers;
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackHttpServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::optional<RecordedRequest> LoopbackHttpServer::lastRequest() const {
    std::lock_guard lock(mutex_);
    if (requests_.empty()) return std::nullopt;
    return requests_.back();
}

std::size_t LoopbackHttpServer::connectionCount() const {
    std::lock_guard lock(mutex_);
    return nextConnectionId_ - 1;
}

std::size_t LoopbackHttpServer::stalledCount() const {
    std::lock_guard lock(mutex_);
    return stalled_;
}

std::function<bool()> LoopbackHttpServer::receivedRequests(std::size_t n) const {
    return [this, n] { return requestCount() >= n; };
}

std::size_t LoopbackHttpServer::holdCount() const {
    std::lock_guard lock(mutex_);
    return holds_;
}

std::function<bool()> LoopbackHttpServer::stalledConnections(std::size_t n) const {
    return [this, n] { return stalledCount() >= n; };
}

void LoopbackHttpServer::releaseStalls() {
    std::lock_guard lock(mutex_);
    ++stallGeneration_;
    changed_.notify_all();
}

bool LoopbackHttpServer::deliverPieces(const std::function<bool()>& done, const std::function<std::size_t()>& progress,
                                       double timeoutSeconds) {
    std::size_t seen = progress();
    for (;;) {
        if (!runMainUntil([&] { return done() || (stalledCount() > 0 && progress() > seen); }, timeoutSeconds)) return false;
        if (done()) return true;
        seen = progress();
        releaseStalls();
    }
}

bool LoopbackHttpServer::pause(int ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
    return !stopping_;
}

bool LoopbackHttpServer::holdStall() { return awaitHold(registerHold()); }

std::uint64_t LoopbackHttpServer::registerHold() {
    std::lock_guard lock(mutex_);
    return stallGeneration_;
}

bool LoopbackHttpServer::awaitHold(std::uint64_t registration) {
    std::unique_lock lock(mutex_);
    ++stalled_;
    ++holds_;
    changed_.wait(lock, [&] { return stopping_ || registration != stallGeneration_; });
    --stalled_;
    return !stopping_;
}

void LoopbackHttpServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        stopping_ = true;
        changed_.notify_all();
    }
    char byte = 1;
    [[maybe_unused]] auto n = ::write(wakePipe_[1], &byte, 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::list<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& c : connections) {
        std::lock_guard lock(c->mutex);
        if (c->fdOpen) ::shutdown(c->fd, SHUT_RDWR);
    }
    for (auto& c : connections)
        if (c->thread.joinable()) c->thread.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

void LoopbackHttpServer::reapFinished() {
    std::list<std::shared_ptr<Connection>> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->finished) {
                done.push_back(*it);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : done) c->thread.join();
}

void LoopbackHttpServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int r = ::poll(fds, 2, 200);
        if (r < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        reapFinished();
        if (r <= 0 || !(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        connection->id = nextConnectionId_++;
        connections_.push_back(connection);
        connection->thread = std::thread([this, connection] { serve(connection); });
    }
}

Reply LoopbackHttpServer::answer(const RecordedRequest& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        auto it = routes_.find(request.method + " " + request.path());
        if (it == routes_.end()) it = routes_.find("* " + request.path());
        if (it != routes_.end()) handler = it->second;
        else handler = fallback_;
    }
    if (!handler) return Reply::withStatus(404, "No route for " + request.method + " " + request.path());
    try {
        return handler(request);
    } catch (const std::exception& e) {
        return Reply::withStatus(500, std::string("Handler failed: ") + e.what());
    }
}

void LoopbackHttpServer::serve(const std::shared_ptr<Connection>& connection) {
    std::unique_ptr<ServerConnection> io = factory_(connection->fd);
    if (io) {
        Reader reader(*io);
        for (std::size_t index = 0;; ++index) {
            // Request line (blank lines before it are tolerated) and header fields.
            std::string line;
            do {
                if (!reader.readLine(line)) goto done;
            } while (line.empty());
            RecordedRequest request;
            request.connectionId = connection->id;
            request.indexOnConnection = index;
            {
                std::istringstream parts(line);
                parts >> request.method >> request.target >> request.version;
                if (request.method.empty() || request.target.empty() || request.version.rfind("HTTP/", 0) != 0) {
                    writeAll(*io, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    goto done;
                }
            }
            for (;;) {
                if (!reader.readLine(line)) goto done;
                if (line.empty()) break;
                auto colon = line.find(':');
                if (colon == std::string::npos) continue;
                request.headers.add(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
            }

            // Body: chunked or sized, after an interim 100 when the client waits for one.
            bool chunked = lower(request.headers.get("Transfer-Encoding")).find("chunked") != std::string::npos;
            std::uint64_t length = 0;
            if (!chunked && request.headers.has("Content-Length") &&
                !parseUnsigned(trim(request.headers.get("Content-Length")), length))
                goto done;
            bool answersContinue;
            {
                std::lock_guard lock(mutex_);
                answersContinue = answersContinue_;
            }
            if (answersContinue && equalsIgnoringCase(request.headers.get("Expect"), "100-continue") &&
                (chunked || length > 0))
                if (!writeAll(*io, request.version + " 100 Continue\r\n\r\n")) goto done;
            if (chunked) {
                request.bodyWasChunked = true;
                for (;;) {
                    if (!reader.readLine(line)) goto done;
                    std::uint64_t size = 0;
                    if (!parseUnsigned(trim(line.substr(0, line.find(';'))), size, 16)) goto done;
                    if (size == 0) {
                        do {  // trailer fields, up to the blank line
                            if (!reader.readLine(line)) goto done;
                        } while (!line.empty());
                        break;
                    }
                    if (!reader.readExact(size, request.body) || !reader.readLine(line)) goto done;
                }
            } else if (length > 0) {
                if (!reader.readExact(length, request.body)) goto done;
            }

            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            NSRunLoop::mainRunLoop()->wakeUp();

            Reply reply = answer(request);
            bool keepAlive = request.version == "HTTP/1.1"
                                 ? !equalsIgnoringCase(request.headers.get("Connection"), "close")
                                 : equalsIgnoringCase(request.headers.get("Connection"), "keep-alive");
            if (reply.raw) {
                writeAll(*io, *reply.raw);
                goto done;
            }
            if (reply.stallBeforeHeaders && !holdStall()) goto done;

            bool noBody = request.method == "HEAD" || reply.status == 204 || reply.status == 304 ||
                          (reply.status >= 100 && reply.status < 200);
            HttpHeaders headers = reply.headers;
            std::string wire;
            switch (reply.framing) {
                case Reply::Framing::ContentLength:
                    if (!headers.has("Content-Length") && reply.status != 204 && reply.status != 304)
                        headers.set("Content-Length", std::to_string(reply.body.size()));
                    wire = reply.body;
                    break;
                case Reply::Framing::Chunked:
                    headers.remove("Content-Length");
                    headers.set("Transfer-Encoding", "chunked");
                    wire = chunkEncode(reply.body, reply.chunkSize);
                    break;
                case Reply::Framing::CloseDelimited:
                    headers.remove("Content-Length");
                    headers.remove("Transfer-Encoding");
                    wire = reply.body;
                    reply.closeAfter = true;
                    break;
            }
            if (noBody) wire.clear();
            if (reply.closeAfter) keepAlive = false;
            if (!keepAlive) headers.set("Connection", "close");
            else if (request.version != "HTTP/1.1") headers.set("Connection", "keep-alive");

            std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                               (reply.reason.empty() ? reasonPhrase(reply.status) : reply.reason) + "\r\n";
            for (const auto& [name, value] : headers.fields()) head += name + ": " + value + "\r\n";
            head += "\r\n";
            if (!writeAll(*io, head)) goto done;

            // The body, paced, held and cut as scripted.
            std::size_t limit = reply.dropAfter ? std::min(*reply.dropAfter, wire.size()) : wire.size();
            std::size_t sent = 0;
            bool stallDone = !reply.stallAfter.has_value();
            // A hold that follows bytes is taken before they are written (see registerHold).
            bool holding = false;
            std::uint64_t registration = 0;
            for (bool first = true;;) {
                if (!stallDone && (sent >= *reply.stallAfter || sent >= limit)) {
                    stallDone = true;
                    if (!holding) registration = registerHold();
                    holding = false;
                    if (!awaitHold(registration)) goto done;
                }
                if (sent >= limit) break;
                std::size_t n = limit - sent;
                if (reply.trickleBytes > 0) n = std::min(n, reply.trickleBytes);
                if (reply.pieceBytes > 0) n = std::min(n, reply.pieceBytes);
                if (!stallDone) n = std::min(n, *reply.stallAfter - sent);
                if (!first && reply.trickleDelayMs > 0 && !pause(reply.trickleDelayMs)) goto done;
                first = false;
                const bool piece = reply.pieceBytes > 0 && sent + n < limit;
                const bool reachesStall = !stallDone && (sent + n >= *reply.stallAfter || sent + n >= limit);
                if (piece || reachesStall) {
                    registration = registerHold();
                    holding = true;
                }
                if (!writeAll(*io, wire.data() + sent, n)) goto done;
                sent += n;
                if (piece) {
                    holding = false;
                    if (!awaitHold(registration)) goto done;
                }
            }
            if (limit < wire.size() || !keepAlive) goto done;
        }
    done:
        io->close();
    }
    {
        std::lock_guard lock(connection->mutex);
        if (!io) ::close(connection->fd);  // dropped by the factory
        io.reset();  // releases the descriptor
        connection->fdOpen = false;
    }
    connection->finished = true;
}

}  // namespace testsupport
