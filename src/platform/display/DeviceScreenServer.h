#pragma once
// The device screen served on 127.0.0.1: the page, the frames and the JSON
// interface of DeviceScreenApi.h, over an HTTP server of its own threads. It
// listens with a backlog of 128, serves one request a connection, and lets
// connections wait for their request without holding a thread; silent ones are
// closed soon (DeviceConnectionGate.h), so they never hold back a real request.
// Requests that wait long by the client's wish (DeviceScreenApi::mayWait: long
// polls, /api/wait, presses) are answered on threads of their own, at most 256
// at once (more answer 503 at once), so they never hold back the others either.
// What the application opens outside itself (UIApplication::openURL) is kept
// for the page (DeviceOpenedURLs.h, GET /api/opened).
//
// start() (main thread) makes the device what the options say (a phone of
// 320 x 568 points or a tablet of 768 x 1024, both at scale 2), starts the
// frames and listens: on the port asked for, or, when the default port is
// taken, on any free one (port 0 always asks for any free one). The port is
// written to the port file when one is named. stop() (or the destructor, main
// thread) ends every wait, stops listening and joins the server's threads.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/display/DeviceInput.h"
#include "platform/display/DeviceOpenedURLs.h"
#include "platform/display/DeviceScreen.h"

inline constexpr int kDeviceScreenDefaultPort = 8377;

struct DeviceScreenServerOptions {
    int port = kDeviceScreenDefaultPort;  // 0: any free port
    bool anyPortWhenTaken = true;         // fall back to a free port when `port` is taken
    std::string portFile;                 // written once listening (empty: none)
    std::string deviceKind = "phone";     // "phone" or "tablet"
    double mainQueueTimeout = 5;          // seconds the main loop has to answer a request
    double longPollTimeout = 25;          // seconds /frame.png?after waits for a newer frame
    DeviceScreen::Options screen = {.onlyWhileWatched = true};

    // QUORVANE_SCREEN_PORT (a port from 0 to 65535; unset: the default, with a
    // free port when it is taken), QUORVANE_SCREEN_PORT_FILE and QUORVANE_DEVICE
    // ("phone" or "tablet"). False with the reason for a bad value.
    [[nodiscard]] static bool fromEnvironment(DeviceScreenServerOptions& options, std::string& error);
};

// Makes UIScreen and UIDevice those of a "phone" or a "tablet"; false for
// another kind (nothing changed).
[[nodiscard]] bool DeviceScreenApplyDeviceKind(const std::string& kind);

class DeviceScreenServer {
public:
    // Null with the reason when no port could be had or the port file written.
    static std::unique_ptr<DeviceScreenServer> start(DeviceScreenServerOptions options, std::string& error);
    ~DeviceScreenServer();
    DeviceScreenServer(const DeviceScreenServer&) = delete;
    DeviceScreenServer& operator=(const DeviceScreenServer&) = delete;

    void stop();
    int port() const { return port_; }
    // "http://127.0.0.1:PORT/"
    std::string url() const;

    // Requests being answered now (any thread).
    std::size_t requestsInProgress() const;

    DeviceScreen& screen() { return *screen_; }
    DeviceInput& input() { return *input_; }
    // The URLs the application opened outside itself while served.
    DeviceOpenedURLs& opened() { return *opened_; }

    struct Backing;  // the HTTP library's server and its thread

private:
    DeviceScreenServer() = default;
    int port_ = 0;
    std::shared_ptr<DeviceScreen> screen_;
    std::shared_ptr<DeviceInput> input_;
    std::shared_ptr<DeviceOpenedURLs> opened_;
    std::uint64_t openedObserver_ = 0;  // UIApplication's observer id
    std::unique_ptr<Backing> backing_;
};
