#pragma once
// One run loop per thread: modes, timers, file-descriptor sources and performs.
// The main thread's run loop also drains the main dispatch queue. A loop is run
// by one thread only (checked in debug builds); any thread may add work to it,
// move or invalidate its timers, and stop or wake it.
#include <atomic>
#include <deque>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NSObject.h"

using NSRunLoopMode = std::string;
// The mode names live for the whole process: run loops of detached threads may
// still compare them while the process exits.
extern const NSRunLoopMode& NSDefaultRunLoopMode;   // "kCFRunLoopDefaultMode"
extern const NSRunLoopMode& NSRunLoopCommonModes;   // "kCFRunLoopCommonModes"
extern const NSRunLoopMode& UITrackingRunLoopMode;  // "UITrackingRunLoopMode"

struct pollfd;
class NSRunLoop;
class RunLoopTimerQueue;

// A timer fires its block on the run loop it was added to, in the modes it was
// added for, at its fire date; a repeating one then moves on by whole intervals
// (missed intervals fire once). Any thread may move or invalidate it.
class NSTimer : public NSObject {
public:
    using Block = std::function<void(NSTimer&)>;
    NSTimer(double interval, Block block, bool repeats);
    // A timer that still has to be added to a run loop.
    static std::shared_ptr<NSTimer> timerWithTimeInterval(double interval, Block block, bool repeats);
    // A timer added to the current run loop in the default mode.
    static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double interval, Block block, bool repeats);

    void fire();  // runs the block now; a non-repeating timer is then invalid
    void invalidate();
    bool isValid() const { return valid_; }
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    double fireDate() const;
    void setFireDate(double date);

private:
    friend class NSRunLoop;
    friend class RunLoopTimerQueue;
    // The run loop the timer was added to (the last one, if several).
    void attach(const std::shared_ptr<NSRunLoop>& runLoop);
    std::shared_ptr<NSRunLoop> runLoop() const;
    // After a firing that was due at `now`: the next date, whole intervals on
    // from the last one, later than `now`.
    void advanceAfterFiring(double now);

    const double interval_;
    const bool repeats_;
    std::atomic<bool> valid_{true};
    mutable std::mutex mutex_;  // guards the fields below
    Block block_;
    double fireDate_;
    // The same date in Clock nanoseconds while it is finite: repeats step on
    // from it in whole nanoseconds, so that they do not drift from a clock
    // advanced by the interval, however many times it fires.
    std::int64_t fireNanoseconds_;
    std::weak_ptr<NSRunLoop> runLoop_;
};

class NSRunLoop : public NSObject {
public:
    static std::shared_ptr<NSRunLoop> makeMain();  // the main thread's loop; made once
    NSRunLoop();
    ~NSRunLoop() override;

    static std::shared_ptr<NSRunLoop> currentRunLoop();
    static std::shared_ptr<NSRunLoop> mainRunLoop();

    // Whether something scheduled in `scheduled` runs while the loop runs in
    // `running` (the common modes stand for the default and tracking modes).
    static bool modeIncludes(const NSRunLoopMode& scheduled, const NSRunLoopMode& running);

    void addTimer(const std::shared_ptr<NSTimer>& timer, const NSRunLoopMode& mode);

    // File-descriptor sources: the callback runs on this run loop's thread with the
    // poll(2) events that are ready. Any thread may add, change or remove them.
    using SourceId = std::uint64_t;
    using FdCallback = std::function<void(int fd, short revents)>;
    SourceId addFileDescriptor(int fd, short events, FdCallback callback, const NSRunLoopMode& mode = NSRunLoopCommonModes);
    void setFileDescriptorEvents(SourceId id, short events);
    void removeFileDescriptor(SourceId id);

    // Performs: run once, in order, the next time the loop runs in one of the modes.
    // Safe from any thread; wakes the loop.
    void performBlock(std::function<void()> block, const std::vector<NSRunLoopMode>& modes = {NSRunLoopCommonModes});

    // Delayed performs of NSObject (performSelector:afterDelay: and its cancel).
    void schedulePerform(std::shared_ptr<NSObject> target, const std::string& selector, double delay,
                         std::function<void()> block);
    void cancelPerforms(const NSObject* target, const std::string& selector);

    // Runs one pass in `mode`: performs, due timers and ready sources, waiting for
    // input until `limitDate` (a Clock time) when nothing was ready. A signal
    // that interrupts the wait does not end it. Returns false when the loop was stopped.
    bool runMode(const NSRunLoopMode& mode, double limitDate);
    // Runs until stop() is called.
    void run();
    // Runs until the condition holds or `timeout` real seconds passed; returns the condition.
    bool runUntil(const std::function<bool()>& condition, double timeout = 10,
                  const NSRunLoopMode& mode = NSDefaultRunLoopMode);
    // Runs for `seconds` real seconds (or until stopped).
    void runFor(double seconds, const NSRunLoopMode& mode = NSDefaultRunLoopMode);
    void stop();
    void wakeUp();

    // End-of-pass observers: run on this loop's thread after every pass of
    // runMode (performs, timers and sources handled), in the order added. The
    // user interface lays out and redraws its windows from here. Added and
    // removed on this loop's thread only. An observer may add or remove
    // observers; a pass started inside an observer does not run them again.
    using ObserverId = std::uint64_t;
    ObserverId addEndOfPassObserver(std::function<void()> block);
    void removeEndOfPassObserver(ObserverId id);
    // Wait observers: run on this loop's thread around the wait of every pass
    // of runMode. `before` runs before the loop gathers the sources it waits
    // on (it may add, change or remove sources) and answers the longest wait
    // it allows, in real seconds (infinity: no bound); `after` runs once the
    // ready sources were handled. A library with a poll loop of its own runs
    // it here: its descriptors as sources, its time-out as the bound. Added
    // and removed on this loop's thread only; passes nested inside an
    // observer run the observers too.
    ObserverId addWaitObserver(std::function<double()> before, std::function<void()> after);
    void removeWaitObserver(ObserverId id);
    NSRunLoopMode currentMode() const;
    bool isMain() const { return isMain_; }

private:
    friend class NSTimer;
    struct Perform {
        std::function<void()> block;
        std::vector<NSRunLoopMode> modes;
    };
    struct Source {
        int fd;
        short events;
        std::shared_ptr<FdCallback> callback;
        NSRunLoopMode mode;
    };
    // The wake-up descriptor, shared with the clock's listener so that a late
    // wake-up never writes to a descriptor this loop already closed.
    //
    // A wake-up writes to the descriptor only when the loop's thread waits (or
    // is about to) with a time-out: a loop that is awake finds `pending` set
    // before it would wait and looks again instead. The waker sets `pending`,
    // then reads `sleeping`; the loop sets `sleeping`, then reads `pending`.
    // Both in sequentially consistent order, so at least one side sees the
    // other: the loop does not wait, or the waker writes.
    struct Waker {
        std::mutex mutex;
        int fd = -1;
        // Set by every wake-up since the loop's current pass began (a pass
        // looks at everything queued before it began, and clears it then):
        // later wake-ups in the same pass find it set and do nothing more.
        std::atomic<bool> pending{false};
        // Set while the loop's thread waits for input with a time-out.
        std::atomic<bool> sleeping{false};
        // The thread running the loop: a wake-up from it needs no system call,
        // as that thread is not waiting and looks at everything before it waits.
        std::atomic<std::thread::id> owner{};
        void wake();
    };
    class ModeScope;

    // Called by timers, from any thread.
    void timerMoved(const NSTimer* timer);
    void timerInvalidated(const NSTimer* timer);

    // The steps of one pass.
    bool runPerforms(const NSRunLoopMode& mode);
    bool fireDueTimers(const NSRunLoopMode& mode, double* nextFire);
    double waitInterval(double nextFire, double limitDate) const;
    bool waitForInput(const NSRunLoopMode& mode, double interval);
    int poll(std::vector<pollfd>& fds, double interval);
    void drainWakeUps();
    bool dispatchReady(const std::vector<pollfd>& fds, const std::vector<SourceId>& ids);
    bool hasPerformsFor(const NSRunLoopMode& mode) const;  // with mutex_ held

    mutable std::mutex mutex_;  // guards the fields up to modeStack_
    std::deque<Perform> performs_;
    std::map<SourceId, Source> sources_;
    SourceId nextSource_ = 1;
    std::unique_ptr<RunLoopTimerQueue> timers_;
    std::vector<NSRunLoopMode> modeStack_;

    std::shared_ptr<Waker> waker_;
    int wakeFd_ = -1;  // -1 when no descriptor could be made: waits are then kept short
    std::atomic<bool> stopped_{false};
    std::atomic<bool> isMain_{false};  // set once, when the main loop is made
    std::atomic<bool> pollFailureReported_{false};
    std::uint64_t clockListener_ = 0;
    // This loop's thread only.
    std::vector<std::pair<ObserverId, std::shared_ptr<std::function<void()>>>> endOfPass_;
    ObserverId nextObserver_ = 1;
    bool inEndOfPass_ = false;
    void runEndOfPassObservers();
    struct WaitObserver {
        ObserverId id;
        std::shared_ptr<std::function<double()>> before;
        std::shared_ptr<std::function<void()>> after;
    };
    std::vector<WaitObserver> waitObservers_;
    double runBeforeWaitObservers();
    void runAfterWaitObservers();
};
