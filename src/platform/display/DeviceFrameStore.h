#pragma once
// The frames the device screen published, for readers on other threads: the
// newest frame's number and pixels, a wait for a newer one, and its PNG.
//
// Frame numbers start at 1 and grow by one with every frame whose pixels
// differ from the one before. A frame is encoded to PNG only when a reader
// asks for its bytes (png), and once: readers of the same frame share the
// bytes, and a frame replaced before anyone asked is never encoded.
//
// The store is watched while a reader waits for a newer frame or one asked for
// a frame within the last two seconds; a screen that draws only while watched
// (DeviceScreen::Options::onlyWhileWatched) learns here that a reader wants a
// frame drawn, and tells when it drew or found the screen unchanged. Any thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/foundation/Data.h"
#include "platform/graphics/CGImage.h"

// One published frame. Copies share the pixels and the PNG encoded from them.
struct DeviceFrame {
    std::uint64_t number = 0;  // 0: none yet
    std::size_t pixelWidth = 0, pixelHeight = 0;
    struct Source;  // the pixels and, once asked for, their PNG
    std::shared_ptr<Source> source;
};

class DeviceFrameStore {
public:
    // Frames must come in order of their numbers; an older one is ignored.
    void publish(std::uint64_t number, CGImageRef pixels);
    DeviceFrame latest() const;
    // The newest frame once its number is above `after`, waiting up to the
    // timeout (real seconds); the newest frame as it is when the time is up or the
    // store closes (number 0 when there is none).
    DeviceFrame waitNewer(std::uint64_t after, double timeoutSeconds);
    // The newest frame as the screen is now: at once while watched, else once
    // the screen has looked again after this call (up to the timeout).
    DeviceFrame current(double timeoutSeconds);
    bool isWatched() const;
    // For the screen: whether a reader wants a frame drawn (once), and that it
    // drew one or found the screen unchanged.
    bool takeWanted();
    void markLooked();
    // The frame's PNG, encoded on the first ask (on the asking thread; others
    // asking meanwhile wait for it); null for no frame or when it cannot be encoded.
    std::shared_ptr<const Data> png(const DeviceFrame& frame);
    // Frames encoded so far.
    std::uint64_t encodedCount() const;
    // Wakes every waiter for good (the screen is going away).
    void close();
    bool isClosed() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    DeviceFrame latest_;  // under mutex_
    bool closed_ = false;  // under mutex_
    std::uint64_t encoded_ = 0;  // under mutex_
    // Readers' interest, under mutex_.
    bool watchedLocked(std::chrono::steady_clock::time_point now) const;
    std::size_t waiters_ = 0;
    std::chrono::steady_clock::time_point lastAsked_{};
    bool wanted_ = false;
    std::uint64_t looks_ = 0;
};
