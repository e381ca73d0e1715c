#pragma once
// Threads with names, each with its run loop.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/foundation/NSObject.h"

class NSRunLoop;

class NSThread : public NSObject {
public:
    explicit NSThread(std::function<void()> main);
    ~NSThread() override;

    static std::shared_ptr<NSThread> currentThread();
    static std::shared_ptr<NSThread> mainThread();
    static bool isMainThread();
    static void sleepForTimeInterval(double seconds);  // real time

    // Starts the thread; its body runs with the thread's run loop available.
    void start();
    void setName(const std::string& name);
    std::string name() const;
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }
    bool isCancelled() const { return cancelled_; }
    void cancel() { cancelled_ = true; }
    bool isMain() const { return isMain_; }

    // The thread's run loop (created with the thread).
    std::shared_ptr<NSRunLoop> runLoop() const;
    // Runs the block on this thread's run loop; waits when asked (runs at once
    // when called on this thread).
    void perform(std::function<void()> block, bool waitUntilDone);

private:
    friend struct ThreadRegistry;
    NSThread();  // adopts the calling thread
    std::function<void()> main_;
    std::thread thread_;
    mutable std::mutex nameMutex_;
    std::string name_;
    std::atomic<bool> executing_{false}, finished_{false}, cancelled_{false};
    bool isMain_ = false;
    std::shared_ptr<NSRunLoop> runLoop_;
    std::thread::id id_;
};
