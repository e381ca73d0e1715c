#pragma once
// Where the device screen's accepted connections wait for their request,
// without holding a thread: one watcher polls them all, and a connection whose
// first bytes arrived goes on to a worker that serves it. So connections that
// send nothing (a browser's speculative ones, or a flood of idle sockets) never
// stand between a real request and a worker.
//
// A connection that sends nothing within the idle limit is closed, and so is a
// client's oldest silent connection once that client (its address) has more
// than the cap of connections waiting. Serving threads are a fixed few; the
// server answers a request that waits long (a long poll) on a thread of its
// own (DeviceScreenServerHttplib.cpp), so a client's wait never holds one.
//
// admit() from any thread; stop() (or the destructor) closes what waits, lets
// the workers finish what they were handed and joins every thread. A connection
// admitted after stop() is closed at once.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DeviceConnectionGate {
public:
    struct Limits {
        std::size_t waitingPerClient = 32;  // silent connections a client may keep waiting
        double idleSeconds = 1;             // how long a connection may wait for its first bytes
        std::size_t workers = 16;           // threads that serve requests
    };
    // Serves one connection and closes its socket, on a worker.
    using Serve = std::function<void(int socket)>;

    DeviceConnectionGate(Limits limits, Serve serve);
    ~DeviceConnectionGate();
    DeviceConnectionGate(const DeviceConnectionGate&) = delete;
    DeviceConnectionGate& operator=(const DeviceConnectionGate&) = delete;

    // Takes the connected socket over.
    void admit(int socket);
    void stop();

    // Connections waiting now, and the silent ones closed so far (any thread).
    std::size_t waitingCount() const;
    std::uint64_t droppedCount() const;

private:
    using SteadyClock = std::chrono::steady_clock;
    struct Waiting {
        std::uint64_t id;
        int socket;
        std::string client;
        SteadyClock::time_point since;
    };
    void watch();
    void work();
    void drop(std::size_t index);           // under mutex_
    void capClient(const std::string& client);  // under mutex_
    void wakeWatcher() const;

    const Limits limits_;
    const Serve serve_;
    int wakeFd_ = -1;  // an eventfd that ends the watcher's poll
    mutable std::mutex mutex_;
    std::condition_variable handed_;
    std::vector<Waiting> waiting_;  // under mutex_, oldest first
    std::deque<int> ready_;         // under mutex_: sockets for the workers
    std::uint64_t nextId_ = 1, dropped_ = 0;  // under mutex_
    bool stopped_ = false;                    // under mutex_
    std::thread watcher_;
    std::vector<std::thread> workers_;
};
