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
// the answer. Each reply closes its connection, so a stop never waits for an idle client.
#include <memory>
#include <string>
#include <thread>

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

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    Answer answer(const httplib::Request& request, const std::string& origin) const;
    void send(Answer answer, const Fault* fault, httplib::Response& response);

    std::shared_ptr<ServerState> state_;
    std::string root_;
    std::string scheme_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace adserver
