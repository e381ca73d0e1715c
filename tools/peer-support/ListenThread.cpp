#include "ListenThread.h"

#include <httplib.h>

#include <chrono>

namespace peers {

void ListenThread::start(httplib::Server& http) {
    stop();
    http_ = &http;
    finished_ = false;
    thread_ = std::thread([this, server = http_] {
        server->listen_after_bind();
        finished_ = true;
    });
}

void ListenThread::stop() {
    if (!thread_.joinable()) return;
    while (!finished_) {
        http_->stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    thread_.join();
    http_ = nullptr;
}

}  // namespace peers
