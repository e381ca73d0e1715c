// The device screen's HTTP server, backed by cpp-httplib. The library accepts
// connections and reads requests; the connections wait for their request in
// DeviceConnectionGate, not on the library's few threads. Its handlers only
// translate between the library's requests and DeviceScreenApi. A request that
// may wait long (DeviceScreenApi::mayWait) is answered on a thread of its own,
// so that waiting clients never hold the workers that serve everyone else.
#include <httplib.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <vector>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/display/DeviceConnectionGate.h"
#include "platform/display/DeviceOpenedURLs.h"
#include "platform/display/DeviceScreenApi.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"

namespace {

constexpr int kListenBacklog = 128;  // the library listens with 5: a burst of connections waits a second for a retry
constexpr int kReadTimeoutMs = 2000;   // for the rest of a request once its first bytes came
constexpr int kWriteTimeoutMs = 5000;
constexpr std::size_t kMostWaiting = 256;  // requests waiting at once on threads of their own

// A connected socket as the library's stream, reading through a small buffer
// (the library reads request lines a byte at a time) and waiting for the socket
// only when it has nothing to give or take.
class SocketStream : public httplib::Stream {
public:
    explicit SocketStream(int socket) : socket_(socket) {}
    bool is_readable() const override { return ready(POLLIN, kReadTimeoutMs); }
    bool is_writable() const override { return ready(POLLOUT, kWriteTimeoutMs); }
    ssize_t read(char* to, size_t size) override {
        if (begin_ == end_) {
            ssize_t n = transfer([&](int flags) { return ::recv(socket_, buffer_, sizeof buffer_, flags); }, POLLIN,
                                 kReadTimeoutMs);
            if (n <= 0) return n;
            begin_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, end_ - begin_);
        std::memcpy(to, buffer_ + begin_, n);
        begin_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* from, size_t size) override {
        if (muted_) return static_cast<ssize_t>(size);  // the answer goes out from elsewhere
        return transfer([&](int flags) { return ::send(socket_, from, size, flags | MSG_NOSIGNAL); }, POLLOUT,
                        kWriteTimeoutMs);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
    int socket() const override { return socket_; }
    // Whatever the library writes from now on is dropped.
    void mute() { muted_ = true; }
    // Writes all the bytes; false when the peer does not take them in time.
    bool writeAll(const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    bool ready(short events, int timeoutMs) const {
        pollfd one{socket_, events, 0};
        int n;
        while ((n = ::poll(&one, 1, timeoutMs)) < 0 && errno == EINTR) {}
        return n > 0;
    }
    // Tries at once, then waits for the socket (up to the timeout) and tries once more.
    template <class Call>
    ssize_t transfer(Call call, short events, int timeoutMs) const {
        ssize_t n;
        while ((n = call(MSG_DONTWAIT)) < 0 && errno == EINTR) {}
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || !ready(events, timeoutMs)) return n;
        while ((n = call(MSG_DONTWAIT)) < 0 && errno == EINTR) {}
        return n;
    }
    template <class Name>
    void address(Name name, std::string& ip, int& port) const {
        sockaddr_storage a{};
        socklen_t length = sizeof a;
        ip.clear();
        port = 0;
        if (name(socket_, reinterpret_cast<sockaddr*>(&a), &length) != 0) return;
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) {
            const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
            ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
            port = ntohs(v4.sin_port);
        } else if (a.ss_family == AF_INET6) {
            const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
            ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
            port = ntohs(v6.sin6_port);
        }
        ip = text;
    }

    int socket_;
    bool muted_ = false;
    char buffer_[4096];
    std::size_t begin_ = 0, end_ = 0;
};

// Threads of their own for requests that wait: each runs one request to its
// end. At most `most` at once; stop() waits for every one of them.
class WaitingLane {
public:
    explicit WaitingLane(std::size_t most) : most_(most) {}
    ~WaitingLane() { stop(); }
    // False, and nothing run, when `most` are running or the lane stopped.
    bool run(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        reap();
        if (stopped_ || runners_.size() >= most_) return false;
        auto done = std::make_shared<std::atomic<bool>>(false);
        runners_.push_back({std::thread([work = std::move(work), done] {
                                work();
                                *done = true;
                            }),
                            done});
        return true;
    }
    void stop() {
        std::vector<Runner> running;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            running.swap(runners_);
        }
        for (auto& runner : running) runner.thread.join();
    }

private:
    struct Runner {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reap() {  // under mutex_
        for (auto it = runners_.begin(); it != runners_.end();) {
            if (!*it->done) {
                ++it;
                continue;
            }
            it->thread.join();
            it = runners_.erase(it);
        }
    }
    const std::size_t most_;
    std::mutex mutex_;
    std::vector<Runner> runners_;  // under mutex_
    bool stopped_ = false;         // under mutex_
};

// "HTTP/1.1 200 OK" and the rest of the head of an answer written by us, not the library.
std::string answerHead(const DeviceHttpResponse& response, std::size_t length) {
    static const std::map<int, const char*> kReasons = {
        {200, "OK"}, {400, "Bad Request"}, {403, "Forbidden"}, {404, "Not Found"}, {405, "Method Not Allowed"},
        {408, "Request Timeout"}, {409, "Conflict"}, {413, "Payload Too Large"}, {415, "Unsupported Media Type"},
        {500, "Internal Server Error"}, {503, "Service Unavailable"}};
    const auto reason = kReasons.find(response.status);
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       (reason == kReasons.end() ? "Status" : reason->second) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

// The library's server, its accepted connections handed to the gate and served
// one request each from there. A request handed to the waiting lane is read by
// the library as any other, its answer written by the lane's thread.
class GatedServer : public httplib::Server {
public:
    // The API's answer to a request (any thread).
    using Answer = std::function<DeviceHttpResponse(const DeviceHttpRequest&)>;

    GatedServer() : lane_(kMostWaiting), gate_({}, [this](int socket) { serve(socket); }) {}
    DeviceConnectionGate& gate() { return gate_; }
    WaitingLane& lane() { return lane_; }
    // After binding: the backlog the library's own listen() left at 5.
    bool widenBacklog() { return ::listen(svr_sock_, kListenBacklog) == 0; }
    void setAnswer(Answer answer) { answer_ = std::move(answer); }

    // From a handler: the request is answered on the waiting lane once the
    // library is done with it; what the handler's response holds is dropped.
    // False outside a connection served here (the handler answers it itself).
    static bool handToLane(DeviceHttpRequest& request) {
        if (!serving_) return false;
        serving_->stream.mute();
        serving_->handed = std::move(request);
        return true;
    }

private:
    struct Serving {
        explicit Serving(int socket) : stream(socket) {}
        SocketStream stream;
        std::optional<DeviceHttpRequest> handed;
    };

    bool process_and_close_socket(socket_t socket) override {
        gate_.admit(socket);
        return true;
    }
    void serve(int socket) {
        Serving serving(socket);
        serving_ = &serving;
        bool closed = false;
        process_request(serving.stream, true, closed, nullptr);
        serving_ = nullptr;
        if (serving.handed) {
            const bool head = serving.handed->method == "HEAD";
            DeviceHttpRequest request = std::move(*serving.handed);
            // The lane's thread owns the socket from here: this one no longer touches it.
            if (lane_.run([this, request, head, socket] {
                    write(socket, answer_(request), head);
                    closeSocket(socket);
                }))
                return;
            DeviceHttpResponse busy;
            busy.status = 503;
            busy.body = R"({"error":"too many requests are waiting"})";
            write(socket, busy, head);
        }
        closeSocket(socket);
    }
    static void write(int socket, const DeviceHttpResponse& response, bool head) {
        const std::size_t length = response.bytes ? response.bytes->size() : response.body.size();
        std::string bytes = answerHead(response, length);
        if (!head) {
            if (response.bytes) bytes.append(reinterpret_cast<const char*>(response.bytes->data()), length);
            else bytes += response.body;
        }
        SocketStream out(socket);
        if (!out.writeAll(bytes)) NSLog("Device screen: a waiting request's client did not take its answer");
    }
    static void closeSocket(int socket) {
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
    }

    Answer answer_;
    WaitingLane lane_;  // outlives the gate, whose workers hand requests to it
    DeviceConnectionGate gate_;
    static thread_local Serving* serving_;  // the connection a worker serves now
};

thread_local GatedServer::Serving* GatedServer::serving_ = nullptr;

}  // namespace

struct DeviceScreenServer::Backing {
    GatedServer http;
    std::unique_ptr<DeviceScreenApi> api;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<std::size_t> inProgress{0};
};

namespace {

DeviceHttpRequest translate(const httplib::Request& request) {
    DeviceHttpRequest out;
    out.method = request.method;
    out.path = request.path;
    for (const auto& [name, value] : request.params) out.query.emplace(name, value);
    for (const auto& [name, value] : request.headers) {
        std::string key = name;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.headers.emplace(std::move(key), value);
    }
    out.body = request.body;
    return out;
}

void answer(const DeviceHttpResponse& from, httplib::Response& to) {
    to.status = from.status;
    for (const auto& [name, value] : from.headers) to.set_header(name.c_str(), value);
    if (from.bytes)
        to.set_content(reinterpret_cast<const char*>(from.bytes->data()), from.bytes->size(), from.contentType.c_str());
    else
        to.set_content(from.body, from.contentType.c_str());
}

// Written beside the target and renamed over it, so a reader never sees half a number.
bool writePortFile(const std::string& path, int port) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!(out << port << '\n')) return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) std::filesystem::remove(temporary, error);
    return !error;
}

constexpr const char* kHost = "127.0.0.1";

}  // namespace

std::unique_ptr<DeviceScreenServer> DeviceScreenServer::start(DeviceScreenServerOptions options, std::string& error) {
    QV_ASSERT_MAIN_THREAD();
    if (!DeviceScreenApplyDeviceKind(options.deviceKind)) {
        error = "unknown device kind \"" + options.deviceKind + "\"";
        return nullptr;
    }
    std::unique_ptr<DeviceScreenServer> server(new DeviceScreenServer());
    server->backing_ = std::make_unique<Backing>();
    auto& http = server->backing_->http;

    // The library's default socket options share the port with other listeners
    // (SO_REUSEPORT); the screen wants it alone, so that a taken port shows.
    http.set_socket_options([](int socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    int port = -1;
    if (options.port != 0 && http.bind_to_port(kHost, options.port)) port = options.port;
    else if (options.port == 0 || options.anyPortWhenTaken) port = http.bind_to_any_port(kHost);
    if (port <= 0) {
        error = options.port == 0 ? "no free port on 127.0.0.1"
                                  : "port " + std::to_string(options.port) + " on 127.0.0.1 is taken";
        return nullptr;
    }
    if (!http.widenBacklog()) NSLog("Device screen: the listening backlog stays at the library's");
    if (options.port != 0 && port != options.port)
        NSLog("Device screen: port %d is taken, using %d", options.port, port);
    server->port_ = port;
    if (!options.portFile.empty() && !writePortFile(options.portFile, port)) {
        error = "cannot write the port to " + options.portFile;
        return nullptr;
    }

    server->screen_ = std::make_shared<DeviceScreen>(options.screen);
    server->input_ = std::make_shared<DeviceInput>();
    DeviceScreenApi::Options apiOptions;
    apiOptions.port = port;
    apiOptions.mainQueueTimeout = options.mainQueueTimeout;
    apiOptions.longPollTimeout = options.longPollTimeout;
    apiOptions.deviceKind = options.deviceKind;
    server->opened_ = std::make_shared<DeviceOpenedURLs>();
    server->backing_->api = std::make_unique<DeviceScreenApi>(apiOptions, server->screen_->frames(), server->input_,
                                                              server->opened_);
    // Outside the application is the browser showing the screen: the page learns what was opened.
    server->openedObserver_ = UIApplication::sharedApplication()->addOpenedURLObserver(
        [opened = server->opened_](const std::string& url) { opened->record(url); });

    Backing* backing = server->backing_.get();
    const GatedServer::Answer handle = [backing](const DeviceHttpRequest& request) {
        ++backing->inProgress;
        DeviceHttpResponse response = backing->api->handle(request);
        --backing->inProgress;
        return response;
    };
    http.setAnswer(handle);
    auto handler = [handle](const httplib::Request& request, httplib::Response& response) {
        DeviceHttpRequest translated = translate(request);
        if (DeviceScreenApi::mayWait(translated) && GatedServer::handToLane(translated)) return;
        answer(handle(translated), response);
    };
    const char* everything = R"(/.*)";
    http.Get(everything, handler);
    http.Post(everything, handler);
    http.Put(everything, handler);
    http.Delete(everything, handler);
    http.Patch(everything, handler);
    http.Options(everything, handler);
    http.set_payload_max_length(apiOptions.maxBodyBytes);
    // One request per connection (GatedServer serves one and closes): an idle
    // kept-alive connection would hold a worker. Loopback connections cost next to nothing.
    http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        std::string why = response.status == 413 ? "the body is larger than 64 KiB" : "bad request";
        response.set_content("{\"error\":\"" + why + "\"}", "application/json");
    });

    server->screen_->start();
    backing->thread = std::thread([backing] {
        if (!backing->http.listen_after_bind()) NSLog("Device screen: the server stopped listening");
        backing->finished = true;
    });
    return server;
}

DeviceScreenServer::~DeviceScreenServer() { stop(); }

std::size_t DeviceScreenServer::requestsInProgress() const { return backing_ ? backing_->inProgress.load() : 0; }

void DeviceScreenServer::stop() {
    QV_ASSERT_MAIN_THREAD();
    if (!backing_) return;
    if (backing_->api) backing_->api->cancel();
    if (screen_) screen_->stop();  // wakes the readers waiting for a frame
    if (opened_) {
        UIApplication::sharedApplication()->removeOpenedURLObserver(openedObserver_);
        opened_->close();  // and those waiting for an opened URL
    }
    // A stop that comes before the thread listens would be lost, so it is
    // repeated until the thread has ended.
    while (backing_->thread.joinable() && !backing_->finished) {
        backing_->http.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (backing_->thread.joinable()) backing_->thread.join();
    backing_->http.gate().stop();  // its workers still use the interface
    backing_->http.lane().stop();  // the waits ended with the interface's cancel
    backing_.reset();
}
