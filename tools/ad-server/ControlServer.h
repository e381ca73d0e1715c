#pragma once
// The control endpoint (--control): an HTTP server on its own port of 127.0.0.1, apart
// from the ad ports, through which a test reads the request log and changes what the
// ad ports answer. Bodies are JSON objects:
//
//   GET  /control/log        {"requests": [{"scheme", "method", "path", "query", "headers", "time"}, ...]}
//   POST /control/units      a unit table: its "units" and/or "constants" replace those in force
//   POST /control/constants  {"<key>": "<text>", ...}: the constants in force
//   POST /control/fault      {"path", "count", "kind", "status" | "ms" | "bytes"}
//   POST /control/reset      {}: forgets the log and the faults, the start-up table comes back, the server healthy
//   GET  /control/mode       the whole server's mode in force (ServerModes.h)
//   POST /control/mode       {"mode", ...}: the whole server's mode from now on
//
// A bad body answers 400 with a plain text reason.
#include <functional>
#include <memory>
#include <string>

#include "ListenThread.h"

namespace httplib {
class Server;
}

namespace adserver {

class ServerState;
struct ServerMode;

class ControlServer {
public:
    // Sets the whole server's mode, closing or opening the ad ports; false with `error` set when a port cannot be
    // opened again.
    using ModeSetter = std::function<bool(const ServerMode& mode, std::string& error)>;

    ControlServer(std::shared_ptr<ServerState> state, ModeSetter setMode);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Binds 127.0.0.1 on the port (0: any free one) and serves on a thread of its own.
    [[nodiscard]] bool start(int port, std::string& error);
    int port() const { return port_; }
    void stop();

private:
    void installRoutes();
    std::shared_ptr<ServerState> state_;
    ModeSetter setMode_;
    std::unique_ptr<httplib::Server> http_;
    peers::ListenThread listening_;
    int port_ = 0;
};

}  // namespace adserver
