// The run loop's own costs, without any network: performs queued from the
// loop's thread and from another thread (each one waits for the previous, so
// every perform is a wake-up and a pass), a timer moved and fired again and
// again (as the network layer's transfer timer is), and main-queue blocks.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/dispatch/Dispatch.h"
#include "platform/runloop/NSThread.h"
#include "platform/runloop/NSRunLoop.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

using SteadyClock = std::chrono::steady_clock;

double seconds(SteadyClock::time_point since) {
    return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

void report(const char* what, int count, double elapsed) {
    std::printf("%-40s %8d   %8.3f s   %8.2f us each\n", what, count, elapsed, elapsed / count * 1e6);
}

}  // namespace

int main() {
    NSThread::currentThread();
    auto loop = NSRunLoop::mainRunLoop();
    std::printf("bench_runloop (%s build)\n", QUORVANE_BUILD_TYPE);

    // Performs from the loop's own thread, one at a time.
    constexpr int kSameThread = 200000;
    int done = 0;
    auto start = SteadyClock::now();
    for (int i = 0; i < kSameThread; ++i) {
        loop->performBlock([&] { ++done; });
        loop->runMode(NSDefaultRunLoopMode, 0);
    }
    report("performs from the loop's thread", kSameThread, seconds(start));
    if (done != kSameThread) return 1;

    // Performs from another thread, each after the previous one ran: a wake-up each.
    constexpr int kOtherThread = 20000;
    std::atomic<int> ran{0};
    start = SteadyClock::now();
    std::thread producer([&] {
        for (int i = 0; i < kOtherThread; ++i) {
            loop->performBlock([&] { ran.fetch_add(1); });
            while (ran.load() <= i) std::this_thread::yield();
        }
    });
    loop->runUntil([&] { return ran.load() == kOtherThread; }, 600);
    producer.join();
    report("performs from another thread (ping-pong)", kOtherThread, seconds(start));
    if (ran.load() != kOtherThread) return 1;

    // A timer moved to "now" after each firing, as curl asks for its timer.
    constexpr int kFirings = 100000;
    int fired = 0;
    auto timer = NSTimer::timerWithTimeInterval(
        1e9, [&](NSTimer& t) { if (++fired < kFirings) t.setFireDate(0); }, true);
    timer->setFireDate(0);
    loop->addTimer(timer, NSDefaultRunLoopMode);
    start = SteadyClock::now();
    loop->runUntil([&] { return fired >= kFirings; }, 600);
    report("timer moved to now and fired", kFirings, seconds(start));
    timer->invalidate();
    if (fired != kFirings) return 1;

    // A 100 us timer fired repeatedly: how late each firing comes.
    constexpr int kShortTimers = 2000;
    int shortFired = 0;
    start = SteadyClock::now();
    auto shortTimer = NSTimer::timerWithTimeInterval(0.0001, [&](NSTimer&) { ++shortFired; }, true);
    loop->addTimer(shortTimer, NSDefaultRunLoopMode);
    loop->runUntil([&] { return shortFired >= kShortTimers; }, 600);
    report("100 us repeating timer (ideal 100 us)", kShortTimers, seconds(start));
    shortTimer->invalidate();

    // Main-queue blocks from another thread.
    constexpr int kMainBlocks = 100000;
    std::atomic<int> mainRan{0};
    start = SteadyClock::now();
    std::thread poster([&] {
        for (int i = 0; i < kMainBlocks; ++i) dispatch_async(dispatch_get_main_queue(), [&] { mainRan.fetch_add(1); });
    });
    loop->runUntil([&] { return mainRan.load() == kMainBlocks; }, 600);
    poster.join();
    report("main-queue blocks from another thread", kMainBlocks, seconds(start));
    return mainRan.load() == kMainBlocks ? 0 : 1;
}
