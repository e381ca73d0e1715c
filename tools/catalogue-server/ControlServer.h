#pragma once
// The control endpoint (--control): a second HTTP server on 127.0.0.1, apart from
// the catalogue's port, through which a test reads the log of requests and orders
// what the next replies of an action do. Bodies are JSON objects:
//
//   GET  /control/log    {"requests": [{"action", "parameters"}, ...]}
//   POST /control/fault  {"action", "count", "fault"}  (a fault list as the fault modes take)
//   POST /control/data   {"action", "count", "data"}   (any JSON value for the envelope's "data")
//   POST /control/delay  {"action", "count", "ms"}
//   POST /control/reset  {}                             (forgets the logs and every order)
//   GET  /control/media-log   {"requests": [{"file", "range"}, ...]}
//   POST /control/media-rate  {"file", "bytesPerSecond"}  (0 lifts the pace; "*" for every file)
//   POST /control/media-drop  {"file", "at"}              (one reply carrying that byte is cut before it)
//
// A bad body answers 400 with a plain text reason.
#include <memory>
#include <string>

#include "ListenThread.h"

namespace catalogue {

class ControlPlan;
class ListeningServer;

class ControlServer {
public:
    explicit ControlServer(std::shared_ptr<ControlPlan> plan);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Binds 127.0.0.1 on the port (0: any free one) and serves on a thread of its own.
    bool start(int port, std::string& error);
    int port() const { return port_; }
    void stop();

private:
    void installRoutes();
    std::shared_ptr<ControlPlan> plan_;
    std::unique_ptr<ListeningServer> http_;
    peers::ListenThread listening_;
    int port_ = 0;
};

}  // namespace catalogue
