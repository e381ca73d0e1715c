#pragma once
// A loopback server that answers every request with the same raw bytes, as a
// hostile server would: status line, header block and body exactly as given,
// then the end of its sending side. The HTTP harnesses give it the fuzz input.
//
// One server serves the whole process on 127.0.0.1 (its own thread accepts and
// answers one connection at a time); it keeps nothing from one reply to the
// next except the bytes set for the next one.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace fuzz {

class RawReplyServer {
public:
    static RawReplyServer& shared();

    // The bytes every following request is answered with.
    void setReply(std::string bytes);
    std::string url(const std::string& path) const;
    // Connections answered so far.
    std::uint64_t answered() const { return answered_.load(); }

private:
    RawReplyServer();
    void serve();
    void answer(int connection);

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::string reply_;  // guarded by mutex_
    std::atomic<std::uint64_t> answered_{0};
    std::thread thread_;
};

}  // namespace fuzz
