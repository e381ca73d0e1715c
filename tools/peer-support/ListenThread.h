#pragma once
// A bound HTTP server served on a thread of its own. The server ignores a stop
// that comes before its thread has begun listening, and such a stop would leave
// the thread listening for ever: stop() repeats it until the thread has ended.
#include <atomic>
#include <thread>

namespace httplib {
class Server;
}

namespace peers {

class ListenThread {
public:
    ListenThread() = default;
    ~ListenThread() { stop(); }
    ListenThread(const ListenThread&) = delete;
    ListenThread& operator=(const ListenThread&) = delete;

    // Serves `http`, already bound, until stop(); `http` outlives the serving.
    void start(httplib::Server& http);
    // Ends the serving and waits for its thread; nothing when not serving.
    void stop();
    bool serving() const { return thread_.joinable(); }

private:
    httplib::Server* http_ = nullptr;
    std::thread thread_;
    std::atomic<bool> finished_{false};
};

}  // namespace peers
