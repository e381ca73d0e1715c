#pragma once
// The HTTP side of the catalogue backend: the six catalogue actions under
// /admin/index.php/apiios_final/, checked against the request token and answered with
// the encrypted envelope, plus poster images, stream files (with byte ranges) and the
// update page the server configuration links to.
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <map>
#include <memory>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ControlPlan.h"
#include "ServerOptions.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace catalogue {

class Catalogue;
class ControlPlan;
class ListeningServer;
struct FaultPlan;

inline constexpr const char* kApiPrefix = "/admin/index.php/apiios_final";

class CatalogueServer {
public:
    CatalogueServer(std::shared_ptr<const Catalogue> catalogue, ServerOptions options);
    ~CatalogueServer();
    CatalogueServer(const CatalogueServer&) = delete;
    CatalogueServer& operator=(const CatalogueServer&) = delete;

    // Routes every catalogue request through the control endpoint's plan (its log and
    // orders). Before run().
    void setControlPlan(std::shared_ptr<ControlPlan> plan) { control_ = std::move(plan); }

    // Binds the listening socket; afterwards port() is the port in use.
    bool bind(std::string& error);
    int port() const { return port_; }

    // Serves until stop(); false when serving could not start.
    bool run();

    // Ends run() and wakes replies held back by a delay fault. Any thread.
    void stop();

private:
    void installRoutes();
    void handleApi(const httplib::Request& request, httplib::Response& response, const std::string& action,
                   const std::string* pathFault);
    void handlePoster(const httplib::Request& request, httplib::Response& response);
    void handleMedia(const httplib::Request& request, httplib::Response& response);
    void handleUpdatePage(httplib::Response& response);

    // Writes `length` bytes of a served file, from `offset`, into `out`.
    using ByteProducer = std::function<void(std::uint64_t offset, std::size_t length, char* out)>;
    // The pace and cut of a reply carrying the bytes from `first` up to `end`.
    using ReplyPlanner = std::function<MediaPlan(std::uint64_t first, std::uint64_t end)>;
    // Answers a GET of a file of `size` bytes, whole or by one byte range, paced
    // and cut as the planner says (none: at full speed, whole). A non-empty `etag` is
    // sent as ETag and guards ranges asked for under If-Range.
    void serveBytes(const httplib::Request& request, httplib::Response& response, std::uint64_t size,
                    const std::string& contentType, ByteProducer produce, const ReplyPlanner& planner = {},
                    const std::string& etag = {});
    void waitOrStop(std::chrono::milliseconds delay);
    // False when the server is stopping (at once, or during the wait).
    bool waitUntilOrStop(std::chrono::steady_clock::time_point deadline);
    std::string baseUrl() const;

    std::shared_ptr<const Catalogue> catalogue_;
    ServerOptions options_;
    std::unique_ptr<ListeningServer> http_;
    std::shared_ptr<ControlPlan> control_;
    int port_ = 0;

    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::map<int, std::shared_ptr<const std::string>> posters_;  // by title id, under mutex_
};

}  // namespace catalogue
