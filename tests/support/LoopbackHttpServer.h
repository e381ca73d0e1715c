#pragma once
// A scriptable HTTP/1.1 server on 127.0.0.1 for the networking tests.
//
// Each test scripts its answers (per method and path, or with a catch-all
// handler), and reads back every request the server received. Answers can be
// framed by Content-Length, chunked or delimited by the connection's close, and
// can be paced (trickle), held open (stall) or cut off (drop). A static mode
// serves a file or a buffer with byte ranges.
//
// The server runs on its own threads: one accepting, one per connection.
// Handlers run on a connection thread, so state they share with the test must
// be guarded. Everything else (recorded requests, counters) is safe to read
// from any thread.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// Header fields in arrival order, looked up without regard to case.
class HttpHeaders {
public:
    void add(std::string name, std::string value);
    // Replaces every field of that name by one field.
    void set(const std::string& name, std::string value);
    void remove(const std::string& name);
    bool has(const std::string& name) const;
    // The first field of that name, or "" when absent.
    std::string get(const std::string& name) const;
    std::optional<std::string> find(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }
    std::size_t size() const { return fields_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct RecordedRequest {
    std::string method;
    std::string target;   // as sent: path and query
    std::string version;  // "HTTP/1.1"
    HttpHeaders headers;
    std::string body;  // decoded when it came chunked
    bool bodyWasChunked = false;
    std::uint64_t connectionId = 0;  // the connection that carried it (1, 2, ...)
    std::size_t indexOnConnection = 0;  // 0 for the first request of a connection

    std::string path() const;   // target without the query
    std::string query() const;  // after '?', without it
};

// What the server answers. Build with the helpers and the chained setters:
//   Reply::text("hello").chunked(3).header("X-A", "1")
struct Reply {
    enum class Framing { ContentLength, Chunked, CloseDelimited };

    int status = 200;
    std::string reason;  // empty: the standard phrase for the status
    HttpHeaders headers;
    std::string body;
    Framing framing = Framing::ContentLength;
    std::size_t chunkSize = 0;  // chunked: bytes per chunk (0: the whole body in one chunk)
    bool closeAfter = false;    // close the connection after this reply

    // Pacing and faults. Body byte counts are bytes of the body as it goes on
    // the wire (with the chunk framing when chunked).
    std::size_t trickleBytes = 0;  // send the body in pieces of this size...
    int trickleDelayMs = 0;        // ...pausing this long before each piece after the first
    // Send the body in pieces of this size, holding after each but the last as in
    // a stall until releaseStalls() (see deliverPieces): unlike a trickle, the
    // client then sees every piece apart, however loaded the machine.
    std::size_t pieceBytes = 0;
    bool stallBeforeHeaders = false;        // hold the connection before anything is sent
    std::optional<std::size_t> stallAfter;  // hold after the headers and this many body bytes
    std::optional<std::size_t> dropAfter;   // close the connection after this many body bytes
    std::optional<std::string> raw;         // sent verbatim instead of a formatted reply, then closed

    static Reply text(std::string body, std::string contentType = "text/plain; charset=utf-8");
    static Reply withStatus(int status, std::string body = {});
    static Reply redirect(int status, const std::string& location);
    static Reply basicChallenge(const std::string& realm);
    static Reply rawBytes(std::string bytes);

    Reply& header(std::string name, std::string value);
    Reply& chunked(std::size_t size = 0);
    Reply& closeDelimited();
    Reply& trickle(std::size_t bytes, int delayMs);
    Reply& inPieces(std::size_t bytes);
    Reply& stall(std::size_t afterBodyBytes = 0);
    Reply& stallFirst();
    Reply& drop(std::size_t afterBodyBytes);
    Reply& close();
};

using Handler = std::function<Reply(const RecordedRequest&)>;

// The byte stream of one accepted connection. Plain sockets now; an encrypted
// transport implements the same three operations over the accepted socket.
class ServerConnection {
public:
    virtual ~ServerConnection() = default;
    // Bytes read (0 at the peer's end of stream, -1 on error).
    virtual ssize_t read(void* buffer, std::size_t size) = 0;
    // Bytes written (-1 on error).
    virtual ssize_t write(const void* buffer, std::size_t size) = 0;
    // Ends the connection; safe to call from another thread to unblock read/write.
    virtual void close() = 0;
};
// Wraps an accepted socket; runs on the connection's thread. Returning null drops
// the connection (the server then closes the socket).
using ConnectionFactory = std::function<std::unique_ptr<ServerConnection>(int fd)>;

// Options of the static mode.
struct StaticOptions {
    std::string contentType = "application/octet-stream";
    std::string etag;          // sent as ETag when not empty (give it with its quotes)
    std::string lastModified;  // sent as Last-Modified when not empty
    bool ignoreRange = false;  // always answer 200 with the whole content
};

// Options that name a strong ETag (give it with its quotes).
inline StaticOptions withETag(std::string etag) {
    StaticOptions options;
    options.etag = std::move(etag);
    return options;
}

// Serves `content` with single byte ranges ("bytes=a-b", "bytes=a-", "bytes=-n"):
// 206 with Content-Range, 416 with "bytes */size" for an unsatisfiable range,
// 200 for no, malformed or multiple ranges, and 200 when If-Range names another
// validator than the current ETag / Last-Modified.
Handler serveBytes(std::string content, StaticOptions options = {});
// The same over a file, read at each request (a missing file answers 404).
Handler serveFile(std::string path, StaticOptions options = {});
// Answers 401 with a Basic challenge for `realm` until the request carries the
// credentials, then hands it to `inner`.
Handler requireBasicAuth(std::string user, std::string password, std::string realm, Handler inner);

std::string base64Encode(const std::string& bytes);
std::string reasonPhrase(int status);

class LoopbackHttpServer {
public:
    // Listens on 127.0.0.1 at an ephemeral port at once. Throws when it cannot.
    // `scheme` is what its URLs name ("https" with a TLS factory, see
    // LoopbackTlsConnection.h).
    explicit LoopbackHttpServer(ConnectionFactory factory = {}, std::string scheme = "http");
    ~LoopbackHttpServer();  // stop()
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    std::string baseURL() const;                 // "<scheme>://127.0.0.1:<port>"
    std::string url(const std::string& target) const;  // baseURL() + target

    // Scripting. A route answers one method and path (query ignored); "*" as the
    // method matches any. Unrouted requests go to the catch-all handler, else 404.
    void route(const std::string& method, const std::string& path, Handler handler);
    void route(const std::string& method, const std::string& path, Reply reply);
    void setHandler(Handler handler);
    // Answer "Expect: 100-continue" with an interim 100 (default true).
    void setAnswersContinue(bool answers);

    // Records.
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    std::optional<RecordedRequest> lastRequest() const;
    std::size_t connectionCount() const;  // accepted connections so far
    std::size_t stalledCount() const;     // connections holding in a stall right now
    std::size_t holdCount() const;        // stalls and held pieces entered so far
    // Predicates for testsupport::runMainUntil.
    std::function<bool()> receivedRequests(std::size_t n) const;
    std::function<bool()> stalledConnections(std::size_t n) const;

    // Lets every stalled reply go on with the rest of its bytes.
    void releaseStalls();
    // Drives replies sent inPieces(): runs the main loop, and each time a piece is
    // held and `progress()` (a count the client's callbacks raise, read on the main
    // thread) has grown since the last release, lets the next piece go. So every
    // piece but the first raises the count at least once. Returns when `done()`
    // holds; false when timeoutSeconds pass first.
    bool deliverPieces(const std::function<bool()>& done, const std::function<std::size_t()>& progress,
                       double timeoutSeconds = 30);
    // Stops accepting, ends every connection (stalled ones included) and joins
    // the threads. Idempotent.
    void stop();

private:
    struct Connection;
    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    Reply answer(const RecordedRequest& request);
    bool pause(int ms);   // false when stopping
    bool holdStall();     // false when stopping
    // A hold is registered before the bytes it follows are written, so that a
    // release made once the client has seen them is never missed; awaitHold then
    // holds (counted as stalled) until a release later than the registration.
    std::uint64_t registerHold();
    bool awaitHold(std::uint64_t registration);  // false when stopping
    void reapFinished();

    ConnectionFactory factory_;
    std::string scheme_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool stopped_ = false;
    std::uint64_t stallGeneration_ = 0;
    std::size_t stalled_ = 0;
    std::size_t holds_ = 0;
    std::map<std::string, Handler> routes_;
    Handler fallback_;
    bool answersContinue_ = true;
    std::vector<RecordedRequest> requests_;
    std::uint64_t nextConnectionId_ = 1;
    std::list<std::shared_ptr<Connection>> connections_;
};

}  // namespace testsupport
