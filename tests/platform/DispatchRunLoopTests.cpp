// Dispatch queues and run loops: order, modes, timers, sources, waits and
// wake-ups between threads.
#include <doctest/doctest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/runloop/NSThread.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/runloop/RunLoopSchedule.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {
struct VirtualTime {
    VirtualTime() { Clock::useVirtualTime(1000000); }
    ~VirtualTime() { Clock::useRealTime(); }
};
}  // namespace

TEST_CASE("main queue runs blocks in FIFO order on the main thread") {
    std::vector<int> order;
    bool allOnMain = true;
    for (int i = 0; i < 100; ++i)
        dispatch_async(dispatch_get_main_queue(), [&, i] {
            order.push_back(i);
            allOnMain = allOnMain && NSThread::isMainThread();
        });
    // Blocks queued from other threads keep their order too.
    std::thread producer([&] {
        for (int i = 100; i < 200; ++i) dispatch_async(dispatch_get_main_queue(), [&, i] { order.push_back(i); });
    });
    producer.join();
    REQUIRE(runMainUntil([&] { return order.size() == 200; }));
    for (int i = 0; i < 200; ++i) CHECK(order[static_cast<std::size_t>(i)] == i);
    CHECK(allOnMain);
}

TEST_CASE("dispatch_after follows the virtual clock") {
    VirtualTime vt;
    std::vector<std::string> fired;
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC), dispatch_get_main_queue(), [&] { fired.push_back("2s"); });
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC / 2), dispatch_get_main_queue(), [&] { fired.push_back("0.5s"); });
    NSRunLoop::mainRunLoop()->runFor(0.2);
    CHECK(fired.empty());  // no virtual time passed
    Clock::advance(1);
    REQUIRE(runMainUntil([&] { return fired.size() == 1; }));
    CHECK(fired[0] == "0.5s");
    NSRunLoop::mainRunLoop()->runFor(0.1);
    CHECK(fired.size() == 1);
    Clock::advance(1);
    REQUIRE(runMainUntil([&] { return fired.size() == 2; }));
    CHECK(fired[1] == "2s");
}

TEST_CASE("a worker's sync dispatch to main completes while main runs its loop") {
    std::atomic<bool> ranOnMain{false}, workerDone{false};
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
        dispatch_sync(dispatch_get_main_queue(), [&] { ranOnMain = NSThread::isMainThread(); });
        workerDone = true;
    });
    REQUIRE(runMainUntil([&] { return workerDone.load(); }));
    CHECK(ranOnMain);
}

TEST_CASE("serial queues run one block at a time, in order") {
    auto q = dispatch_queue_create("com.quorvane.test.serial");
    std::vector<int> order;
    std::atomic<int> concurrent{0}, maxConcurrent{0};
    std::atomic<bool> labelSeen{true};
    for (int i = 0; i < 500; ++i)
        dispatch_async(q, [&, i] {
            int c = ++concurrent;
            maxConcurrent = std::max(maxConcurrent.load(), c);
            if (dispatch_queue_get_label(nullptr) != "com.quorvane.test.serial") labelSeen = false;
            order.push_back(i);
            --concurrent;
        });
    dispatch_sync(q, [] {});
    REQUIRE(order.size() == 500);
    for (int i = 0; i < 500; ++i) CHECK(order[static_cast<std::size_t>(i)] == i);
    CHECK(maxConcurrent == 1);
    CHECK(labelSeen);
}

TEST_CASE("concurrent queue barriers wait for earlier blocks and hold back later ones") {
    auto q = dispatch_queue_create("com.quorvane.test.concurrent", DISPATCH_QUEUE_CONCURRENT);
    std::mutex m;
    std::vector<std::string> log;
    auto sema = dispatch_semaphore_create(0);
    std::atomic<int> started{0};
    for (int i = 0; i < 3; ++i)
        dispatch_async(q, [&] {
            ++started;
            dispatch_semaphore_wait(sema, DISPATCH_TIME_FOREVER);
            std::lock_guard l(m);
            log.push_back("reader");
        });
    dispatch_barrier_async(q, [&] {
        std::lock_guard l(m);
        log.push_back("barrier");
    });
    dispatch_async(q, [&] {
        std::lock_guard l(m);
        log.push_back("after");
    });
    // The three readers run at the same time: all must start before any is released.
    REQUIRE(runMainUntil([&] { return started.load() == 3; }));
    for (int i = 0; i < 3; ++i) dispatch_semaphore_signal(sema);
    dispatch_barrier_sync(q, [] {});
    std::lock_guard l(m);
    REQUIRE(log.size() == 5);
    CHECK(log[3] == "barrier");
    CHECK(log[4] == "after");
}

TEST_CASE("groups notify after every member left and semaphores time out on the clock") {
    auto group = dispatch_group_create();
    std::atomic<int> done{0};
    for (int i = 0; i < 8; ++i)
        dispatch_group_async(group, dispatch_get_global_queue(0, 0), [&] { ++done; });
    bool notified = false;
    dispatch_group_notify(group, dispatch_get_main_queue(), [&] { notified = true; });
    REQUIRE(runMainUntil([&] { return notified; }));
    CHECK(done == 8);
    CHECK(dispatch_group_wait(group, DISPATCH_TIME_NOW) == 0);

    auto sema = dispatch_semaphore_create(0);
    CHECK(dispatch_semaphore_wait(sema, dispatch_time(DISPATCH_TIME_NOW, 20 * NSEC_PER_MSEC)) != 0);
    dispatch_semaphore_signal(sema);
    CHECK(dispatch_semaphore_wait(sema, DISPATCH_TIME_NOW) == 0);
    CHECK(dispatch_semaphore_create(-1) == nullptr);
}

TEST_CASE("run loop timers fire in their modes and invalidated timers never fire") {
    VirtualTime vt;
    auto loop = NSRunLoop::currentRunLoop();
    int repeating = 0, once = 0, tracking = 0, cancelled = 0;
    auto t1 = NSTimer::timerWithTimeInterval(1, [&](NSTimer&) { ++repeating; }, true);
    auto t2 = NSTimer::timerWithTimeInterval(1.5, [&](NSTimer&) { ++once; }, false);
    auto t3 = NSTimer::timerWithTimeInterval(1, [&](NSTimer&) { ++tracking; }, true);
    auto t4 = NSTimer::timerWithTimeInterval(1, [&](NSTimer&) { ++cancelled; }, false);
    loop->addTimer(t1, NSRunLoopCommonModes);
    loop->addTimer(t2, NSDefaultRunLoopMode);
    loop->addTimer(t3, UITrackingRunLoopMode);
    loop->addTimer(t4, NSDefaultRunLoopMode);
    t4->invalidate();
    // A one-shot timer of no interval is due at once, with no time passed; a repeating one is not.
    int atOnce = 0, spinning = 0;
    auto t5 = NSTimer::timerWithTimeInterval(0, [&](NSTimer&) { ++atOnce; }, false);
    auto t6 = NSTimer::timerWithTimeInterval(0, [&](NSTimer&) { ++spinning; }, true);
    loop->addTimer(t5, NSDefaultRunLoopMode);
    loop->addTimer(t6, NSDefaultRunLoopMode);
    loop->runMode(NSDefaultRunLoopMode, Clock::now());
    CHECK(atOnce == 1);
    CHECK(spinning == 0);
    t6->invalidate();
    Clock::advance(1);
    loop->runMode(NSDefaultRunLoopMode, Clock::now());
    CHECK(repeating == 1);
    CHECK(once == 0);
    Clock::advance(1);
    loop->runMode(NSDefaultRunLoopMode, Clock::now());
    CHECK(repeating == 2);
    CHECK(once == 1);
    CHECK(!t2->isValid());
    CHECK(tracking == 0);
    loop->runMode(UITrackingRunLoopMode, Clock::now());
    CHECK(tracking == 1);  // missed intervals fire once, not twice
    CHECK(cancelled == 0);
    t1->invalidate();
    t3->invalidate();
}

TEST_CASE("run loop timers keep their order through moves, invalidation and nested passes") {
    VirtualTime vt;
    auto loop = NSRunLoop::currentRunLoop();
    std::vector<std::string> fired;
    std::vector<std::shared_ptr<NSTimer>> timers;
    auto add = [&](const std::string& name, double interval, bool repeats, NSTimer::Block extra = {}) {
        auto t = NSTimer::timerWithTimeInterval(
            interval,
            [&fired, name, extra](NSTimer& self) {
                fired.push_back(name);
                if (extra) extra(self);
            },
            repeats);
        loop->addTimer(t, NSDefaultRunLoopMode);
        timers.push_back(t);
        return t;
    };
    auto late = add("late", 5, false);
    auto early = add("early", 1, false);
    auto moved = add("moved", 0.5, false);
    auto never = add("never", 0.1, false);
    auto cancelled = add("cancelled", 2, false);
    // A one-shot timer whose block runs a nested pass must not fire again inside it.
    add("nested", 3, false, [&](NSTimer&) { loop->runMode(NSDefaultRunLoopMode, Clock::now()); });
    // One whose block invalidates a later one.
    add("canceller", 1.5, false, [&](NSTimer&) { cancelled->invalidate(); });
    auto repeating = add("repeating", 2, true);
    // Moved from another thread: later than "late", and to no date at all.
    std::thread mover([&] {
        moved->setFireDate(Clock::now() + 6);
        never->setFireDate(std::numeric_limits<double>::quiet_NaN());
    });
    mover.join();
    // Many timers that are not due do not get in the way.
    for (int i = 0; i < 1000; ++i) add("far", 1000 + i, false);

    Clock::advance(7);
    loop->runMode(NSDefaultRunLoopMode, Clock::now());
    CHECK(fired == std::vector<std::string>{"early", "canceller", "repeating", "nested", "late", "moved"});
    fired.clear();
    Clock::advance(2);
    loop->runMode(NSDefaultRunLoopMode, Clock::now());
    CHECK(fired == std::vector<std::string>{"repeating"});
    CHECK(std::isnan(never->fireDate()));
    CHECK(never->isValid());
    for (auto& t : timers) t->invalidate();
}

TEST_CASE("a signal does not cut a run loop's wait short") {
    struct sigaction action {}, previous{};
    static std::atomic<int> signals{0};
    signals = 0;
    action.sa_handler = [](int) { signals.fetch_add(1); };
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restarting: the wait sees EINTR
    REQUIRE(sigaction(SIGUSR1, &action, &previous) == 0);

    int fds[2];
    REQUIRE(pipe(fds) == 0);
    // The waiting thread has a run loop of its own, with nothing else to do.
    std::atomic<pid_t> waiterTid{0};
    std::atomic<bool> got{false}, returned{false};
    std::thread waiter([&] {
        auto loop = NSRunLoop::currentRunLoop();
        auto id = loop->addFileDescriptor(fds[0], POLLIN, [&](int fd, short) {
            char c;
            got = read(fd, &c, 1) == 1;
        }, NSDefaultRunLoopMode);
        loop->runMode(NSDefaultRunLoopMode, Clock::now());  // takes the wake-up of adding the source
        waiterTid = static_cast<pid_t>(syscall(SYS_gettid));
        // One pass: it returns when the pipe is readable, not at the first signal.
        loop->runMode(NSDefaultRunLoopMode, Clock::now() + 60);
        returned = true;
        loop->removeFileDescriptor(id);
    });
    while (waiterTid.load() == 0) std::this_thread::yield();
    auto sleeping = [&] {
        std::ifstream stat("/proc/self/task/" + std::to_string(waiterTid.load()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        auto paren = text.rfind(')');
        return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'S';
    };
    // Interrupts the waiting thread many times, each time once it sleeps in its wait.
    for (int sent = 0; sent < 20 && !returned.load(); ++sent) {
        while (!sleeping() && !returned.load()) std::this_thread::yield();
        pthread_kill(waiter.native_handle(), SIGUSR1);
        while (signals.load() <= sent && !returned.load()) std::this_thread::yield();
    }
    CHECK_MESSAGE(!returned.load(), "the wait ended at a signal, with nothing ready");
    CHECK(write(fds[1], "x", 1) == 1);
    waiter.join();
    CHECK(got.load());
    close(fds[0]);
    close(fds[1]);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST_CASE("delayed performs run after their delay and can be cancelled") {
    VirtualTime vt;
    auto obj = std::make_shared<NSObject>();
    int a = 0, b = 0;
    NSRunLoop::currentRunLoop()->schedulePerform(obj, "a", 0.5, [&] { ++a; });
    NSRunLoop::currentRunLoop()->schedulePerform(obj, "b", 0.5, [&] { ++b; });
    NSRunLoop::currentRunLoop()->cancelPerforms(obj.get(), "b");
    Clock::advance(0.6);
    REQUIRE(runMainUntil([&] { return a == 1; }));
    NSRunLoop::mainRunLoop()->runFor(0.05);
    CHECK(b == 0);
}

TEST_CASE("delayed work runs once the clock was advanced by its whole delay, in any pieces, and not before") {
    auto loop = NSRunLoop::mainRunLoop();
    auto obj = std::make_shared<NSObject>();
    // Waits until the delayed-dispatch thread handled the clock as it stands:
    // two rounds, so that a batch taken with the first probe has reached the main queue.
    auto settle = [] {
        for (int round = 0; round < 2; ++round) {
            bool probed = false;
            dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 0), dispatch_get_main_queue(), [&] { probed = true; });
            REQUIRE_MESSAGE(runMainUntil([&] { return probed; }), "waited for a dispatch due now");
        }
    };
    // 0: the virtual clock starts at the real time; the others are dates of today with fractions.
    for (double start : {0.0, 1796912345.123456789, 1799999999.7, 1800000000.3, 1812345678.987654, 1765123456.55}) {
        for (double delay : {0.25, 1.0, 5.0, 20.0, 30.0}) {
            std::vector<double> tenths(static_cast<std::size_t>(std::ceil(delay * 10 - 1e-9)) - 1, 0.1);
            tenths.push_back(delay - 0.1 * static_cast<double>(tenths.size()));
            for (const auto& pieces : {tenths, std::vector<double>{delay - 0.1, 0.1}}) {
                INFO("start ", std::to_string(start), ", delay ", delay, ", ", pieces.size(), " pieces");
                Clock::useVirtualTime(start);
                // Counted apart per case, so that work left over from a failed case cannot count here.
                auto ran = std::make_shared<std::array<int, 3>>();
                auto all = [ran](int n) { return (*ran)[0] == n && (*ran)[1] == n && (*ran)[2] == n; };
                dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<std::int64_t>(delay * 1e9)),
                               dispatch_get_main_queue(), [ran] { ++(*ran)[0]; });
                auto timer = NSTimer::scheduledTimerWithTimeInterval(delay, [ran](NSTimer&) { ++(*ran)[1]; }, false);
                loop->schedulePerform(obj, "run", delay, [ran] { ++(*ran)[2]; });
                for (std::size_t i = 0; i + 1 < pieces.size(); ++i) Clock::advance(pieces[i]);
                Clock::advance(pieces.back() - 0.001);
                settle();
                CHECK(all(0));
                Clock::advance(0.001);
                CHECK_MESSAGE(runMainUntil([&] { return all(1); }, 2), "waited for all three to run once");
                timer->invalidate();
                loop->cancelPerforms(obj.get(), "run");
            }
        }
    }
    Clock::useRealTime();
}

TEST_CASE("file-descriptor sources call back on their run loop's thread") {
    int fds[2];
    REQUIRE(pipe(fds) == 0);
    std::string got;
    auto loop = NSRunLoop::mainRunLoop();
    auto id = loop->addFileDescriptor(fds[0], POLLIN, [&](int fd, short) {
        char buf[16];
        auto n = read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    });
    std::thread writer([&] { CHECK(write(fds[1], "ping", 4) == 4); });
    writer.join();
    CHECK(runMainUntil([&] { return got == "ping"; }));
    loop->removeFileDescriptor(id);
    close(fds[0]);
    close(fds[1]);
}

namespace {
// Runs the main loop until the condition holds, each pass allowed to wait up
// to the deadline (no short slices that would cover a lost wake-up); false
// when the deadline came first.
bool runMainWithLongWaits(const std::function<bool()>& condition, double seconds) {
    auto loop = NSRunLoop::mainRunLoop();
    const double deadline = Clock::monotonic() + seconds;
    while (!condition()) {
        const double left = deadline - Clock::monotonic();
        if (left <= 0) return false;
        loop->runMode(NSDefaultRunLoopMode, Clock::now() + left);
    }
    return true;
}

// Busy for a pseudo-random while (up to some tens of microseconds), from `seed`.
void busyFor(std::uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    volatile std::uint32_t sink = 0;
    for (std::uint32_t i = 0, n = (seed >> 8) % 3000; i < n; ++i) sink = sink + i;
}
}  // namespace

TEST_CASE("wake-ups between two run loops are never lost, whether the other loop waits or is busy") {
    // The other thread runs its loop with no time limit, as the network thread
    // does: a lost wake-up would leave it waiting for good. Each side works a
    // varying while before it answers, so each finds the other waiting, about
    // to wait, or in the middle of a pass. Answers alternate between a perform
    // and a timer due at once (which the loop finds only through the wake-up).
    constexpr int kRoundTrips = 10000;
    auto worker = std::make_shared<NSThread>([] { NSRunLoop::currentRunLoop()->run(); });
    worker->start();
    auto workerLoop = worker->runLoop();
    REQUIRE(workerLoop);
    auto mainLoop = NSRunLoop::mainRunLoop();
    const auto send = [](const std::shared_ptr<NSRunLoop>& to, int trip, std::function<void()> block) {
        if (trip % 2 == 0) return to->performBlock(std::move(block));
        to->addTimer(NSTimer::timerWithTimeInterval(0, [block = std::move(block)](NSTimer&) { block(); }, false),
                     NSDefaultRunLoopMode);
    };
    int answered = 0;
    std::uint32_t mainSeed = 1;
    std::function<void()> ask = [&] {
        const int trip = answered;
        send(workerLoop, trip / 2, [&, trip] {
            std::uint32_t seed = static_cast<std::uint32_t>(trip) * 7919u;
            busyFor(seed);
            send(mainLoop, trip, [&] {
                if (++answered == kRoundTrips) return;
                busyFor(mainSeed);
                ask();
            });
        });
    };
    ask();
    CHECK_MESSAGE(runMainWithLongWaits([&] { return answered == kRoundTrips; }, 20),
                  "waited for ", kRoundTrips, " round trips, got ", answered);
    workerLoop->stop();
    CHECK(runMainUntil([&] { return worker->isFinished(); }));
}

TEST_CASE("named threads run their body with a run loop that takes performs") {
    std::atomic<bool> ran{false};
    std::string seenName;
    auto t = std::make_shared<NSThread>([&] {
        seenName = NSThread::currentThread()->name();
        NSRunLoop::currentRunLoop()->runUntil([&] { return ran.load(); }, 5);
    });
    t->setName("Netline");
    t->start();
    t->perform([&] { ran = true; }, true);
    CHECK(ran);
    CHECK(runMainUntil([&] { return t->isFinished(); }));
    CHECK(seenName == "Netline");
    CHECK(NSThread::isMainThread());
}

TEST_CASE("a run-loop schedule keeps one loop and its modes") {
    auto main = NSRunLoop::mainRunLoop();
    auto other = std::make_shared<NSRunLoop>();
    RunLoopSchedule schedule;
    CHECK_FALSE(schedule.snapshot());
    CHECK(schedule.add(main, NSRunLoopCommonModes));
    CHECK(schedule.add(main, NSRunLoopCommonModes));  // once only
    CHECK_FALSE(schedule.add(other, NSDefaultRunLoopMode));
    auto where = schedule.snapshot();
    REQUIRE(where);
    CHECK(where.runLoop == main);
    CHECK(where.modes == std::vector<NSRunLoopMode>{NSRunLoopCommonModes});
    struct Case {
        NSRunLoopMode running;
        bool included;
    };
    for (const Case& c : std::vector<Case>{{NSDefaultRunLoopMode, true}, {UITrackingRunLoopMode, true},
                                           {NSRunLoopCommonModes, true}, {"custom", false}})
        CHECK(where.includes(c.running) == c.included);
    bool ran = false;
    where.perform([&] { ran = true; });
    CHECK(runMainUntil([&] { return ran; }));
    schedule.remove(main, NSRunLoopCommonModes);
    CHECK(schedule.empty());
    CHECK(schedule.add(other, "custom"));  // free to move once empty
    other.reset();
    CHECK_FALSE(schedule.snapshot());  // the loop went with its owner
}

TEST_CASE("wait observers add sources for the same pass and bound its wait in real time") {
    int fds[2];
    REQUIRE(pipe(fds) == 0);
    REQUIRE(write(fds[1], "x", 1) == 1);
    auto loop = NSRunLoop::mainRunLoop();
    NSRunLoop::SourceId source = 0;
    std::vector<std::string> steps;
    auto id = loop->addWaitObserver(
        [&] {
            steps.push_back("before");
            if (!source)
                source = loop->addFileDescriptor(fds[0], POLLIN, [&](int fd, short) {
                    char byte;
                    CHECK(read(fd, &byte, 1) == 1);
                    steps.push_back("ready");
                });
            return 0.0;
        },
        [&] { steps.push_back("after"); });
    // The first pass sees the source its observer added; the second has
    // nothing to wake it and returns only because the observer bounds its wait.
    std::atomic<bool> rescued{false};
    std::atomic<bool> done{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 3000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done) {
            rescued = true;
            loop->wakeUp();
        }
    });
    const double forever = std::numeric_limits<double>::infinity();
    loop->runMode(NSDefaultRunLoopMode, forever);
    loop->runMode(NSDefaultRunLoopMode, forever);
    done = true;
    rescuer.join();
    CHECK_FALSE(rescued.load());
    CHECK(steps == std::vector<std::string>{"before", "ready", "after", "before", "after"});
    loop->removeWaitObserver(id);
    loop->removeFileDescriptor(source);
    steps.clear();
    loop->runMode(NSDefaultRunLoopMode, 0);
    CHECK(steps.empty());
    close(fds[0]);
    close(fds[1]);
}
