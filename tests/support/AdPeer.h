#pragma once
// The ad tests' loopback peer: a LoopbackHttpServer on 127.0.0.1 serving the
// ad server's document root and the test creatives, with a request log and
// faults per path.
//
//   AdPeer peer;                                  // or AdPeer(tlsConnectionFactory(...), "https")
//   peer.origin()                                 // "http://127.0.0.1:<port>": the static-media /
//                                                 // static-content origin the library is pointed at
//   peer.creativeURL("banner-320x50.html")        // <origin>/creatives/banner-320x50.html
//   peer.setFault("/creatives/hang.html", AdPeer::Fault::hanging());
//   runMainUntil(peer.receivedRequestFor("/mraid/v1/mraid_app_banner.js"));
//   peer.requestsFor("/x").front().headers.get("Referer")
//
// Paths: "/creatives/<file>" is tests/fixtures/creatives/<file>; every other
// path is resources/adserver/<path>. A path that names no regular file under
// its root (a folder, a missing file, a ".." segment) answers 404. Files go
// with a content type from their extension and with byte ranges (media
// elements ask for ranges). A path routed with route() answers from its
// handler instead. Query strings play no part in choosing the answer.
//
// A fault on a path changes whatever that path would have answered, until it
// is cleared. Faults and routes may be changed while the peer runs; requests
// are answered on the server's connection threads, and every method here is
// safe from any thread.
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackHttpServer.h"

namespace testsupport {

class AdPeer {
public:
    struct Fault {
        std::optional<int> status;              // answer this status (a short text body) instead
        std::size_t pieceBytes = 0;             // send the body in pieces of this size...
        int pieceDelayMs = 0;                   // ...waiting this long before each piece after the first
        std::optional<std::size_t> dropAfter;   // close the connection after this many body bytes
        bool hang = false;                      // send nothing until releaseHangs() or the peer stops

        static Fault withStatus(int status);
        static Fault paced(std::size_t pieceBytes, int pieceDelayMs);
        static Fault droppedAfter(std::size_t bodyBytes);
        static Fault hanging();
    };

    explicit AdPeer(ConnectionFactory factory = {}, std::string scheme = "http");
    AdPeer(const AdPeer&) = delete;
    AdPeer& operator=(const AdPeer&) = delete;

    // "<scheme>://127.0.0.1:<port>", to hand to AKAdHosts.
    std::string origin() const;
    std::string url(const std::string& target) const;  // origin() + target
    std::string creativeURL(const std::string& file) const;  // url("/creatives/" + file)

    // The document roots in the source tree.
    static std::string adServerRoot();
    static std::string creativesRoot();

    void route(const std::string& path, Handler handler);
    void route(const std::string& path, Reply reply);
    void setFault(const std::string& path, Fault fault);
    void clearFault(const std::string& path);
    // Lets every hanging reply go on.
    void releaseHangs();

    // Every request in arrival order, and those of one path (query ignored).
    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requestsFor(const std::string& path) const;
    std::vector<std::string> requestedPaths() const;
    // Predicate for runMainUntil: the path has been asked for at least n times.
    std::function<bool()> receivedRequestFor(const std::string& path, std::size_t n = 1) const;
    std::size_t hangingCount() const;  // replies holding in a hang right now

    // Stops the server (idempotent; the destructor stops it too).
    void stop();
    LoopbackHttpServer& server() { return server_; }

private:
    Reply answer(const RecordedRequest& request) const;

    mutable std::mutex mutex_;
    std::map<std::string, Handler> routes_;
    std::map<std::string, Fault> faults_;
    // Last: stops (and joins the threads that call answer()) before the maps go.
    LoopbackHttpServer server_;
};

}  // namespace testsupport
