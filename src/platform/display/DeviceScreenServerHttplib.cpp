// The device screen's HTTP server, backed by cpp-httplib. Its handlers only
// translate between the library's requests and DeviceScreenApi.
#include <httplib.h>

#include <atomic>
#include <cassert>
#include <chrono>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/display/DeviceScreenApi.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"


struct DeviceScreenServer::Backing {
    httplib::Server http;
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
    // One request per connection: an idle kept-alive connection would hold a stop
    // for the keep-alive timeout. Loopback connections cost next to nothing.
    http.set_keep_alive_max_count(1);
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
    backing_.reset();
}
