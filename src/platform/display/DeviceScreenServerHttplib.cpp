// The device screen's HTTP server, backed by cpp-httplib. The library accepts
// connections and reads requests; the connections wait for their request in
// DeviceConnectionGate, not on the library's few threads. Its handlers only
// translate between the library's requests and DeviceScreenApi.
#include <httplib.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/display/DeviceConnectionGate.h"
#include "platform/display/DeviceScreenApi.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"

namespace {

constexpr int kListenBacklog = 128;  // the library listens with 5: a burst of connections waits a second for a retry
constexpr int kReadTimeoutMs = 2000;   // for the rest of a request once its first bytes came
constexpr int kWriteTimeoutMs = 5000;

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
        return transfer([&](int flags) { return ::send(socket_, from, size, flags | MSG_NOSIGNAL); }, POLLOUT,
                        kWriteTimeoutMs);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
    int socket() const override { return socket_; }

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
    char buffer_[4096];
    std::size_t begin_ = 0, end_ = 0;
};

// The library's server, its accepted connections handed to the gate and served
// one request each from there.
class GatedServer : public httplib::Server {
public:
    GatedServer() : gate_({}, [this](int socket) { serve(socket); }) {}
    DeviceConnectionGate& gate() { return gate_; }
    // After binding: the backlog the library's own listen() left at 5.
    bool widenBacklog() { return ::listen(svr_sock_, kListenBacklog) == 0; }

private:
    bool process_and_close_socket(socket_t socket) override {
        gate_.admit(socket);
        return true;
    }
    void serve(int socket) {
        SocketStream stream(socket);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
    }

    DeviceConnectionGate gate_;
};

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
    server->backing_->api =
        std::make_unique<DeviceScreenApi>(apiOptions, server->screen_->frames(), server->input_);

    Backing* backing = server->backing_.get();
    auto handler = [backing](const httplib::Request& request, httplib::Response& response) {
        ++backing->inProgress;
        answer(backing->api->handle(translate(request)), response);
        --backing->inProgress;
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
    // A stop that comes before the thread listens would be lost, so it is
    // repeated until the thread has ended.
    while (backing_->thread.joinable() && !backing_->finished) {
        backing_->http.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (backing_->thread.joinable()) backing_->thread.join();
    backing_->http.gate().stop();  // its workers still use the interface
    backing_.reset();
}
