#pragma once
// The URLs the application opened outside itself (UIApplication::openURL), for
// the device screen's page: outside the application, here, is the browser
// that shows the screen. Numbered from 1 in the order they were opened; the
// newest few are kept.
//
// record() on any thread (the server records from the main thread); the
// waits on any other. close() wakes every waiter for good.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class DeviceOpenedURLs {
public:
    struct Entry {
        std::uint64_t number = 0;
        std::string url;
    };
    static constexpr std::size_t kKept = 20;

    void record(std::string url);
    // The newest number (0: none yet).
    std::uint64_t last() const;
    // The kept entries numbered above `after`, oldest first, once there is one,
    // waiting up to the timeout (real seconds); none when the time is up or the
    // store closes first.
    std::vector<Entry> after(std::uint64_t after, double timeoutSeconds);
    void close();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> kept_;   // under mutex_
    std::uint64_t last_ = 0;   // under mutex_
    bool closed_ = false;      // under mutex_
};
