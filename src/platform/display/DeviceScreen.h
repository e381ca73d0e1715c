#pragma once
// The device screen: the key window, the keyboard, the front action sheet, the
// front alert and the status bar (DeviceScene.h) drawn at the screen's scale
// into a bitmap, published as numbered frames. The bitmap has the size of
// the interface, read for every frame: it turns when the key window does.
//
// A frame is drawn on a tick of at most 20 a second, when something asked for
// one (setNeedsFrame from any thread, or a reader of the frame store) or, while
// watching is on (the default; with onlyWhileWatched, only while the frame
// store has readers), when a main-loop pass changed what the frame shows: a
// layer of any window (the layers' change generation), the key window, the
// interface's size, the front alert or sheet, the keyboard or the status bar.
// An idle application costs no drawing. A frame whose pixels equal the last
// one's is dropped; any other gets the next number and is published in the
// frame store at once, as pixels: it is encoded to PNG only when a reader asks
// for it (DeviceFrameStore.h).
//
// Create, start, stop and destroy on the main thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/display/DeviceFrameStore.h"
#include "platform/display/DeviceScreenPainters.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"

class NSTimer;

class DeviceScreen {
public:
    struct Options {
        double frameInterval = 0.05;  // the shortest time between two frames (seconds)
        bool poll = true;             // watch for changes on every tick, not only draw when asked
        // Watch for changes only while a reader watches the frames (DeviceFrameStore.h):
        // an application nobody looks at spends nothing on frames.
        bool onlyWhileWatched = false;
    };

    explicit DeviceScreen(Options options);
    DeviceScreen() : DeviceScreen(Options{}) {}
    ~DeviceScreen();
    DeviceScreen(const DeviceScreen&) = delete;
    DeviceScreen& operator=(const DeviceScreen&) = delete;

    // Starts the ticks (and draws the first frame at once); stop ends them and
    // wakes every reader waiting for a frame.
    void start();
    void stop();

    // Asks for a frame on the next tick. Any thread.
    void setNeedsFrame() { needsFrame_ = true; }
    void setPolling(bool poll) { options_.poll = poll; }

    const DeviceScreenPainters& painters() const { return painters_; }
    void setPainters(DeviceScreenPainters painters);

    // Draws a frame now and publishes it; answers its number (the last one's
    // when the pixels did not change).
    std::uint64_t renderNow();
    std::uint64_t lastFrameNumber() const { return frameNumber_; }

    const std::shared_ptr<DeviceFrameStore>& frames() const { return store_; }

    // What the frame shows, in short: equal states draw equal frames.
    struct SceneState {
        std::uint64_t layerGeneration = 0;
        const void* window = nullptr;
        bool windowShown = false;
        double width = 0, height = 0;
        std::string overlays;  // the front alert's and sheet's texts and buttons, the keyboard's height
        bool statusBarHidden = false;
        long statusBarStyle = 0;
        bool operator==(const SceneState&) const = default;
    };
    static SceneState sceneState();

private:
    void tick();
    std::uint64_t draw();
    bool prepareContext(std::size_t width, std::size_t height);

    Options options_;
    DeviceScreenPainters painters_;
    std::shared_ptr<DeviceFrameStore> store_ = std::make_shared<DeviceFrameStore>();
    std::shared_ptr<NSTimer> timer_;
    std::atomic<bool> needsFrame_{true};

    // Main thread.
    CGContextRef context_;
    std::size_t width_ = 0, height_ = 0;
    CGImageRef lastImage_;  // the last frame published
    SceneState drawnState_;  // what the last frame drawn showed
    std::uint64_t frameNumber_ = 0;
};
