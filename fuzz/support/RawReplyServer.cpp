#include "support/RawReplyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace fuzz {
namespace {

// How long the server waits for a request's header block.
constexpr int kRequestWaitMs = 2000;

bool readable(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    int n;
    do n = ::poll(&p, 1, waitMs);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the client went away: nothing more to tell it
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

RawReplyServer& RawReplyServer::shared() {
    static auto* server = new RawReplyServer();  // lives as long as the process
    return *server;
}

RawReplyServer::RawReplyServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("listen on loopback: ") + std::strerror(errno));
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
    thread_.detach();
}

void RawReplyServer::setReply(std::string bytes) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(bytes);
}

std::string RawReplyServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawReplyServer::serve() {
    for (;;) {
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        answer(connection);
        ::close(connection);
        ++answered_;
    }
}

void RawReplyServer::answer(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
           readable(connection, kRequestWaitMs)) {
        ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::string reply;
    {
        std::lock_guard lock(mutex_);
        reply = reply_;
    }
    sendAll(connection, reply);
    ::shutdown(connection, SHUT_WR);
    // Take what else arrived, so closing does not reset the connection before
    // the client read the reply. A client that keeps the connection for another
    // request finds it closed and connects again.
    while (::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

}  // namespace fuzz
