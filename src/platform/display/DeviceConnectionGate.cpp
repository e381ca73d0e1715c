#include "platform/display/DeviceConnectionGate.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

// The client's address, without its port: every connection of one client shares it.
std::string clientOf(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const void* host = address.ss_family == AF_INET6
                           ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
                           : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
    return ::inet_ntop(address.ss_family, host, text, sizeof text) ? text : "";
}

void closeSocket(int socket) {
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

// Whether bytes (or the peer's end) are there to read, without waiting.
bool hasInput(int socket) {
    pollfd one{socket, POLLIN, 0};
    return ::poll(&one, 1, 0) > 0;
}

}  // namespace

DeviceConnectionGate::DeviceConnectionGate(Limits limits, Serve serve)
    : limits_(limits), serve_(std::move(serve)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    watcher_ = std::thread([this] { watch(); });
    for (std::size_t i = 0; i < std::max<std::size_t>(limits_.workers, 1); ++i)
        workers_.emplace_back([this] { work(); });
}

DeviceConnectionGate::~DeviceConnectionGate() {
    stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void DeviceConnectionGate::admit(int socket) {
    const std::string client = clientOf(socket);
    {
        std::lock_guard lock(mutex_);
        if (!stopped_) {
            waiting_.push_back({nextId_++, socket, client, SteadyClock::now()});
            capClient(client);
            socket = -1;
        }
    }
    if (socket >= 0) closeSocket(socket);
    wakeWatcher();
}

void DeviceConnectionGate::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        for (const auto& w : waiting_) closeSocket(w.socket);
        waiting_.clear();
    }
    handed_.notify_all();
    wakeWatcher();
    if (watcher_.joinable()) watcher_.join();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
}

std::size_t DeviceConnectionGate::waitingCount() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

std::uint64_t DeviceConnectionGate::droppedCount() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void DeviceConnectionGate::wakeWatcher() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void DeviceConnectionGate::drop(std::size_t index) {
    closeSocket(waiting_[index].socket);
    waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(index));
    ++dropped_;
}

void DeviceConnectionGate::capClient(const std::string& client) {
    std::size_t count = 0;
    for (const auto& w : waiting_) count += w.client == client;
    // Oldest first; one whose request has come meanwhile is left for the watcher to hand on.
    for (std::size_t i = 0; i < waiting_.size() && count > limits_.waitingPerClient;) {
        if (waiting_[i].client != client || hasInput(waiting_[i].socket)) {
            ++i;
            continue;
        }
        drop(i);
        --count;
    }
}

void DeviceConnectionGate::watch() {
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> ids;  // of polled[1...]: a socket number may be reused meanwhile
    while (true) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(mutex_);
            if (stopped_) return;
            polled.assign(1, pollfd{wakeFd_, POLLIN, 0});
            ids.clear();
            const auto now = SteadyClock::now();
            for (const auto& w : waiting_) {
                polled.push_back({w.socket, POLLIN, 0});
                ids.push_back(w.id);
                const double left = limits_.idleSeconds - std::chrono::duration<double>(now - w.since).count();
                const int ms = std::max(0, static_cast<int>(std::ceil(left * 1000)));
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            }
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR) return;
        if (polled[0].revents) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
        }
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        const auto now = SteadyClock::now();
        for (std::size_t p = 1; p < polled.size(); ++p) {
            auto it = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return w.id == ids[p - 1]; });
            if (it == waiting_.end()) continue;  // dropped meanwhile
            if (polled[p].revents) {
                ready_.push_back(it->socket);
                waiting_.erase(it);
                handed_.notify_one();
            } else if (std::chrono::duration<double>(now - it->since).count() >= limits_.idleSeconds) {
                drop(static_cast<std::size_t>(it - waiting_.begin()));
            }
        }
    }
}

void DeviceConnectionGate::work() {
    while (true) {
        int socket = -1;
        {
            std::unique_lock lock(mutex_);
            handed_.wait(lock, [this] { return stopped_ || !ready_.empty(); });
            if (ready_.empty()) return;  // stopped, and nothing left to serve
            socket = ready_.front();
            ready_.pop_front();
        }
        serve_(socket);
    }
}
