#pragma once
// libcurl's multi handle as a citizen of one run loop: its sockets are watched
// as the loop's file-descriptor sources, its timer is one NSTimer, and after
// each socket action the loads with new events are drained to their delegates.
// One per run loop (an associated object of the loop); everything here runs on
// that loop's thread, which debug builds assert.
#include <curl/curl.h>

#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/net/NSURLConnection.h"

namespace curlbacking {

// Body buffers handed to delegates come back here and carry the next bytes of
// any load on the same multi handle, so a large body reuses its memory instead
// of mapping fresh pages per chunk, and a small body reuses a spare buffer
// instead of allocating. Holds a few buffers of moderate size only.
class BufferPool {
public:
    // An empty buffer: a spare one, else a new one with room for `bytes`.
    Data take(std::size_t bytes);
    // A delivered buffer; kept when there is room in the pool and it is not oversized.
    void give(Data&& buffer);

private:
    static constexpr std::size_t kMaxBuffers = 4;
    static constexpr std::size_t kMinBuffer = 64 * 1024;
    std::vector<Data> spare_;
};

class Multi : public std::enable_shared_from_this<Multi> {
    struct Private {};

public:
    // The multi handle of `loop`, made on first use; null when libcurl cannot
    // make one.
    static std::shared_ptr<Multi> forRunLoop(const std::shared_ptr<NSRunLoop>& loop);
    Multi(Private, const std::shared_ptr<NSRunLoop>& loop);
    ~Multi();

    void addMode(const NSRunLoopMode& mode);
    // An easy handle for a new request: an idle one handed back by an earlier
    // load (reset to libcurl's defaults), else a new one; null when libcurl
    // cannot make one. Connections stay in this multi handle's cache either way.
    CURL* takeHandle();
    // Registers the load (keeping its connection alive), adds its handle and
    // lets curl start on it at once (no run-loop pass for its first timer).
    [[nodiscard]] CURLMcode add(const NSURLConnectionPtr& connection, NSURLConnection::Transfer* transfer);
    // Takes a handle out and keeps it for a later request (or frees it when
    // enough are idle); its load stays registered until forget().
    void detach(CURL* easy);
    void forget(NSURLConnection::Transfer* transfer);
    const std::shared_ptr<BufferPool>& pool() const { return pool_; }
    void assertOnLoopThread() const;

private:
    struct Socket {
        short events = 0;
        std::vector<NSRunLoop::SourceId> ids;
    };

    [[nodiscard]] bool init();
    NSRunLoop::SourceId addSource(NSRunLoop& loop, int fd, short events, const NSRunLoopMode& mode);
    static int socketCallback(CURL*, curl_socket_t fd, int what, void* user, void*);
    static int timerCallback(CURLM*, long timeoutMs, void* user);
    void watch(curl_socket_t fd, int what);
    void schedule(long timeoutMs);
    void onSocket(int fd, short revents);
    void onTimeout();
    NSRunLoop::SourceId addTimerSource(NSRunLoop& loop, const NSRunLoopMode& mode);
    void act(curl_socket_t fd, int mask);
    void afterAction();
    // Hands finished transfers their Done event; the loads with events.
    std::vector<NSURLConnectionPtr> collectFinished();

    std::weak_ptr<NSRunLoop> loop_;
    std::thread::id thread_ = std::this_thread::get_id();
    CURLM* multi_ = nullptr;
    std::set<NSRunLoopMode> modes_;
    std::map<curl_socket_t, Socket> sockets_;
    // Curl's own timer runs on the monotonic clock (a timerfd), not on Clock:
    // name resolution and connection set-up take real time even while a test
    // runs on virtual time.
    int timerFd_ = -1;
    std::vector<NSRunLoop::SourceId> timerIds_;
    std::map<NSURLConnection::Transfer*, NSURLConnectionPtr> active_;
    std::shared_ptr<BufferPool> pool_ = std::make_shared<BufferPool>();
    // Easy handles of finished requests, reset and ready for the next ones.
    static constexpr std::size_t kMaxIdleHandles = 4;
    std::vector<CURL*> idle_;
};

}  // namespace curlbacking
