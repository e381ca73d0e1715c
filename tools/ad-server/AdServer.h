#pragma once
// One listening port of the ad server, plain HTTP or HTTPS (with the test authority's
// server certificate), on 127.0.0.1. Both ports answer alike from the same ServerState:
//
//   /adnet/ad?slotname=<unit>[&hop=<n>]           the unit's answer, or the hop of its redirect chain
//   /adnet/ping/impression, /adnet/ping/click,
//   /adnet/ping/manual-impression                 204, logged
//   /adnet/log                                    204: the core page's log entries (POST, body logged)
//   /adnet/purchase/report                        204, logged (PurchaseRoutes.h)
//   /adnet/click[?landing=<url>]                  302 to the landing URL (default /adnet/landing)
//   /adnet/landing                                a small HTML landing page
//   /click/...                                    click chains and landing pages (ClickRoutes.h)
//   /adnet/static/sdk/native/sdk-constants.js     the generated script of constants and units
//   anything else                                 the file under the document root, else 404
//
// Every request is logged before it is answered (a POST with its body); a fault ordered for its path then changes
// the answer, and the whole server's mode (ServerModes.h) holds, trickles or replaces it; close() and reopen() take
// the port down and up again. Each reply closes its connection, so a stop never waits for an idle client.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "ListenThread.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace adserver {

class ServerState;
class TestAuthority;
struct Answer;
struct Fault;

class AdServer {
public:
    // `authority` null: plain HTTP; otherwise HTTPS with its server certificate.
    AdServer(std::shared_ptr<ServerState> state, std::string root, const TestAuthority* authority, bool verbose);
    ~AdServer();
    AdServer(const AdServer&) = delete;
    AdServer& operator=(const AdServer&) = delete;

    // Binds 127.0.0.1 on the port (0: any free one).
    [[nodiscard]] bool bind(int port, std::string& error);
    int port() const { return port_; }
    // Serves on a thread of its own until stop().
    void start();
    void stop();
    // Closes the listening socket (connections are refused; replies under way end first), and
    // listens on the same port again.
    void close();
    [[nodiscard]] bool reopen(std::string& error);

private:
    // How a body goes out while the server is slow: `trickleBytes` at a time (0: whole), `everyMs`
    // before each piece after the first unless the mode has been set again since `modeChanges`.
    struct Pace {
        std::size_t trickleBytes = 0;
        long everyMs = 0;
        std::size_t modeChanges = 0;
    };
    // A body sent through a provider: `length` announced, the body repeated up to it, only the
    // first `sendOnly` bytes sent, `piece` bytes at a time, `beforePiece` before each after the first.
    struct Stream {
        std::size_t length = 0;
        std::size_t sendOnly = 0;
        std::size_t piece = 0;
        std::function<bool()> beforePiece;
    };

    std::unique_ptr<httplib::Server> makeServer();
    void handle(const httplib::Request& request, httplib::Response& response);
    Answer answer(const httplib::Request& request, const std::string& origin) const;
    void send(Answer answer, const Fault* fault, const Pace& pace, httplib::Response& response);
    static void streamBody(httplib::Response& response, std::string body, Stream stream);

    std::shared_ptr<ServerState> state_;
    std::string root_;
    const TestAuthority* authority_;
    bool verbose_;
    std::string scheme_;
    std::unique_ptr<httplib::Server> http_;
    peers::ListenThread listening_;
    int port_ = 0;
};

}  // namespace adserver
