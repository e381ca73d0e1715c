#pragma once
// cpp-httplib's server with a listening backlog of 128 connections. The library
// listens with a backlog of 5, so a burst of parallel connections (a grid's
// posters fetched side by side) has some refused and retried a second later.
#include <httplib.h>
#include <sys/socket.h>

namespace catalogue {

class ListeningServer : public httplib::Server {
public:
    static constexpr int kBacklog = 128;
    // After a bind_to_port or bind_to_any_port that succeeded.
    bool widenBacklog() { return ::listen(svr_sock_, kBacklog) == 0; }
};

}  // namespace catalogue
