#include "platform/runloop/NSRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/runloop/NSThread.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/RunLoopTimerQueue.h"

const NSRunLoopMode& NSDefaultRunLoopMode = *new NSRunLoopMode("kCFRunLoopDefaultMode");
const NSRunLoopMode& NSRunLoopCommonModes = *new NSRunLoopMode("kCFRunLoopCommonModes");
const NSRunLoopMode& UITrackingRunLoopMode = *new NSRunLoopMode("UITrackingRunLoopMode");

namespace {
thread_local std::shared_ptr<NSRunLoop> tlsRunLoop;

// Without a wake-up descriptor the loop cannot be woken, so it never waits longer than this.
constexpr double kUnwakeableWait = 0.01;


std::shared_ptr<NSRunLoop>& mainLoopSlot() {
    static ProcessLifetime<std::shared_ptr<NSRunLoop>> slot(NSRunLoop::makeMain());
    return *slot;
}

// Delayed performs keep their target alive and can be cancelled by target and selector.
struct DelayedPerform {
    const NSObject* target;
    std::string selector;
    std::weak_ptr<NSTimer> timer;
};

std::mutex& delayedMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
std::vector<DelayedPerform>& delayedPerforms() {
    static ProcessLifetime<std::vector<DelayedPerform>> v;
    return *v;
}

timespec toTimespec(double seconds) {
    if (!(seconds > 0)) return {0, 0};
    auto whole = static_cast<time_t>(seconds);
    long nanos = std::min(999999999L, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9));
    return {whole, nanos};
}
}  // namespace

// ---------------------------------------------------------------- the wake-up descriptor

void NSRunLoop::Waker::wake() {
    if (owner.load(std::memory_order_relaxed) == std::this_thread::get_id()) return;
    if (pending.exchange(true)) return;  // announced already in this pass of the loop
    if (!sleeping.load()) return;        // awake: the loop sees `pending` before it waits
    std::lock_guard lock(mutex);
    if (fd < 0) return;
    const std::uint64_t one = 1;
    for (;;) {
        if (::write(fd, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) return;
        if (errno == EINTR) continue;
        // EAGAIN: the counter is full, so the loop has wake-ups to read anyway.
        if (errno == EAGAIN) return;
        int err = errno;
        pending.store(false);  // nothing was written: the next wake-up tries again
        NSLog("Run loop: cannot wake the loop (%s)", std::strerror(err));
        return;
    }
}

void NSRunLoop::drainWakeUps() {
    std::uint64_t value;
    for (;;) {
        // One read takes the whole counter.
        if (::read(wakeFd_, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) NSLog("Run loop: cannot read its wake-ups (%s)", std::strerror(errno));
        break;
    }
}

// ---------------------------------------------------------------- life

NSRunLoop::NSRunLoop() : timers_(std::make_unique<RunLoopTimerQueue>()), waker_(std::make_shared<Waker>()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        NSLog("Run loop: no wake-up descriptor (%s); the loop looks for work every %g s", std::strerror(errno),
              kUnwakeableWait);
    waker_->fd = wakeFd_;
    clockListener_ = Clock::addListener([waker = waker_] { waker->wake(); });
}

NSRunLoop::~NSRunLoop() {
    Clock::removeListener(clockListener_);
    {
        std::lock_guard lock(waker_->mutex);
        waker_->fd = -1;
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::shared_ptr<NSRunLoop> NSRunLoop::currentRunLoop() {
    if (!tlsRunLoop) {
        if (NSThread::isMainThread()) {
            tlsRunLoop = mainLoopSlot();
        } else {
            tlsRunLoop = std::make_shared<NSRunLoop>();
        }
    }
    return tlsRunLoop;
}

std::shared_ptr<NSRunLoop> NSRunLoop::mainRunLoop() { return mainLoopSlot(); }

std::shared_ptr<NSRunLoop> NSRunLoop::makeMain() {
    auto loop = std::make_shared<NSRunLoop>();
    loop->isMain_ = true;
    return loop;
}

bool NSRunLoop::modeIncludes(const NSRunLoopMode& scheduled, const NSRunLoopMode& running) {
    if (scheduled == running) return true;
    return scheduled == NSRunLoopCommonModes && (running == NSDefaultRunLoopMode || running == UITrackingRunLoopMode);
}

// ---------------------------------------------------------------- timers

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer, const NSRunLoopMode& mode) {
    if (!timer || !timer->isValid()) return;
    {
        std::lock_guard lock(mutex_);
        timer->attach(std::static_pointer_cast<NSRunLoop>(shared_from_this()));
        timers_->add(timer, mode);
    }
    wakeUp();
}

void NSRunLoop::timerMoved(const NSTimer* timer) {
    {
        std::lock_guard lock(mutex_);
        timers_->moved(timer);
    }
    wakeUp();
}

void NSRunLoop::timerInvalidated(const NSTimer* timer) {
    std::shared_ptr<NSTimer> released;
    {
        std::lock_guard lock(mutex_);
        released = timers_->remove(timer);
    }
    wakeUp();
}

// ---------------------------------------------------------------- sources and performs

NSRunLoop::SourceId NSRunLoop::addFileDescriptor(int fd, short events, FdCallback callback, const NSRunLoopMode& mode) {
    SourceId id;
    {
        std::lock_guard lock(mutex_);
        id = nextSource_++;
        sources_[id] = Source{fd, events, std::make_shared<FdCallback>(std::move(callback)), mode};
    }
    wakeUp();
    return id;
}

void NSRunLoop::setFileDescriptorEvents(SourceId id, short events) {
    {
        std::lock_guard lock(mutex_);
        auto it = sources_.find(id);
        if (it != sources_.end()) it->second.events = events;
    }
    wakeUp();
}

void NSRunLoop::removeFileDescriptor(SourceId id) {
    std::shared_ptr<FdCallback> released;
    {
        std::lock_guard lock(mutex_);
        auto it = sources_.find(id);
        if (it == sources_.end()) return;
        released = std::move(it->second.callback);
        sources_.erase(it);
    }
    wakeUp();
}

void NSRunLoop::performBlock(std::function<void()> block, const std::vector<NSRunLoopMode>& modes) {
    {
        std::lock_guard lock(mutex_);
        performs_.push_back({std::move(block), modes});
    }
    wakeUp();
}

void NSRunLoop::schedulePerform(std::shared_ptr<NSObject> target, const std::string& selector, double delay,
                                std::function<void()> block) {
    const NSObject* raw = target.get();
    auto timer = NSTimer::timerWithTimeInterval(
        delay, [target = std::move(target), block = std::move(block)](NSTimer&) { block(); }, false);
    {
        std::lock_guard lock(delayedMutex());
        auto& list = delayedPerforms();
        std::erase_if(list, [](const DelayedPerform& p) {
            auto t = p.timer.lock();
            return !t || !t->isValid();
        });
        list.push_back({raw, selector, timer});
    }
    addTimer(timer, NSDefaultRunLoopMode);
}

void NSRunLoop::cancelPerforms(const NSObject* target, const std::string& selector) {
    std::vector<std::shared_ptr<NSTimer>> cancel;
    {
        std::lock_guard lock(delayedMutex());
        std::erase_if(delayedPerforms(), [&](const DelayedPerform& p) {
            if (p.target != target || (!selector.empty() && p.selector != selector)) return false;
            auto t = p.timer.lock();
            if (!t || t->runLoop().get() != this) return false;
            cancel.push_back(std::move(t));
            return true;
        });
    }
    for (auto& t : cancel) t->invalidate();
}

// ---------------------------------------------------------------- one pass

// Names the mode the loop runs in while a pass lasts (passes nest).
class NSRunLoop::ModeScope {
public:
    ModeScope(NSRunLoop& loop, const NSRunLoopMode& mode) : loop_(loop) {
        std::lock_guard lock(loop_.mutex_);
        loop_.modeStack_.push_back(mode);
    }
    ~ModeScope() {
        std::lock_guard lock(loop_.mutex_);
        loop_.modeStack_.pop_back();
    }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    NSRunLoop& loop_;
};

bool NSRunLoop::runMode(const NSRunLoopMode& mode, double limitDate) {
    // One thread runs a loop: wake-ups from that thread are skipped on that promise.
    const auto runner = std::this_thread::get_id();
    const auto owner = waker_->owner.load(std::memory_order_relaxed);
    assert((owner == std::thread::id() || owner == runner) && "a run loop is run by one thread only");
    if (owner != runner) waker_->owner.store(runner);
    ModeScope scope(*this, mode);
    auto keepAlive = shared_from_this();
    // What was announced so far is looked at by this pass; what comes from now
    // on sets the flag again and keeps the pass from waiting.
    if (waker_->pending.load(std::memory_order_relaxed)) waker_->pending.exchange(false);

    bool handled = runPerforms(mode);
    double nextFire;
    handled = fireDueTimers(mode, &nextFire) || handled;
    // (A pass run inside this one, from a perform or a timer, takes the
    // wake-ups meanwhile; this pass has handled something then and does not wait.)
    if (stopped_) return false;
    const double bound = runBeforeWaitObservers();
    waitForInput(mode, handled ? 0 : std::min(bound, waitInterval(nextFire, limitDate)));
    runAfterWaitObservers();
    runEndOfPassObservers();
    return !stopped_;
}

bool NSRunLoop::hasPerformsFor(const NSRunLoopMode& mode) const {
    return std::any_of(performs_.begin(), performs_.end(), [&](const Perform& p) {
        return std::any_of(p.modes.begin(), p.modes.end(), [&](const auto& m) { return modeIncludes(m, mode); });
    });
}

// Performs queued so far that run in this mode, in order.
bool NSRunLoop::runPerforms(const NSRunLoopMode& mode) {
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        for (auto it = performs_.begin(); it != performs_.end();) {
            bool match = std::any_of(it->modes.begin(), it->modes.end(), [&](const auto& m) { return modeIncludes(m, mode); });
            if (match) {
                batch.push_back(std::move(it->block));
                it = performs_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& b : batch) {
        b();
        if (stopped_) break;
    }
    return !batch.empty();
}

bool NSRunLoop::fireDueTimers(const NSRunLoopMode& mode, double* nextFire) {
    RunLoopTimerQueue::Due due;
    {
        std::lock_guard lock(mutex_);
        due = timers_->takeDue(mode, Clock::now());
    }
    *nextFire = due.nextFire;
    for (auto& t : due.timers) t->fire();
    return !due.timers.empty();
}

// How long to wait for input when nothing was done: up to the next timer or the limit.
double NSRunLoop::waitInterval(double nextFire, double limitDate) const {
    const double now = Clock::now();
    const double until = std::min(nextFire, limitDate);
    if (std::isnan(until) || Clock::reached(until, now)) return 0;
    // Virtual time moves by itself only in steps, and every step wakes the loop.
    double wait = Clock::isVirtual() ? 0.05 : std::min(until - now, 3600.0);
    if (wakeFd_ < 0) wait = std::min(wait, kUnwakeableWait);
    return wait;
}

bool NSRunLoop::waitForInput(const NSRunLoopMode& mode, double interval) {
    std::vector<pollfd> fds;
    std::vector<SourceId> ids;
    {
        std::lock_guard lock(mutex_);
        if (hasPerformsFor(mode)) interval = 0;  // queued since this pass took its performs
        fds.reserve(sources_.size() + 1);  // one allocation each, not one per doubling
        ids.reserve(sources_.size() + 1);
        fds.push_back({wakeFd_, POLLIN, 0});  // a negative descriptor is left out by ppoll
        ids.push_back(0);
        for (auto& [id, s] : sources_) {
            if (!modeIncludes(s.mode, mode) || s.events == 0) continue;
            fds.push_back({s.fd, s.events, 0});
            ids.push_back(id);
        }
    }
    if (interval > 0) {
        waker_->sleeping.store(true);
        if (waker_->pending.load()) interval = 0;  // announced since the pass began: look again at once
    }
    // Nothing to wait for and no source to look at: no system call. (A late
    // wake-up written meanwhile stays in the descriptor for the next wait.)
    const int ready = interval > 0 || fds.size() > 1 ? poll(fds, interval) : 0;
    waker_->sleeping.store(false, std::memory_order_relaxed);
    if (ready <= 0) return false;
    if (fds[0].revents & POLLIN) drainWakeUps();
    return dispatchReady(fds, ids);
}

// ppoll until something is ready or the interval passed; a signal does not end
// the wait early. Waits to the timer's date itself (not rounded to a
// millisecond), so a timer due in a few microseconds does not cost a whole one.
int NSRunLoop::poll(std::vector<pollfd>& fds, double interval) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(interval));
    for (;;) {
        timespec timeout = toTimespec(interval);
        int n = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (n >= 0) return n;
        if (errno == EINTR) {
            interval = std::chrono::duration<double>(deadline - Steady::now()).count();
            continue;
        }
        // The descriptors cannot be watched (no memory, too many): wait out the
        // interval, briefly, so the loop neither spins nor stalls.
        if (!pollFailureReported_.exchange(true))
            NSLog("Run loop: cannot wait for input (%s)", std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::duration<double>(std::min(interval, kUnwakeableWait)));
        return 0;
    }
}

bool NSRunLoop::dispatchReady(const std::vector<pollfd>& fds, const std::vector<SourceId>& ids) {
    bool handled = false;
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        std::shared_ptr<FdCallback> cb;
        {
            std::lock_guard lock(mutex_);
            auto it = sources_.find(ids[i]);
            if (it == sources_.end() || it->second.fd != fds[i].fd) continue;
            cb = it->second.callback;
        }
        (*cb)(fds[i].fd, fds[i].revents);
        handled = true;
        if (stopped_) break;
    }
    return handled;
}

NSRunLoop::ObserverId NSRunLoop::addEndOfPassObserver(std::function<void()> block) {
    auto id = nextObserver_++;
    endOfPass_.emplace_back(id, std::make_shared<std::function<void()>>(std::move(block)));
    return id;
}

void NSRunLoop::removeEndOfPassObserver(ObserverId id) {
    std::erase_if(endOfPass_, [id](const auto& entry) { return entry.first == id; });
}

void NSRunLoop::runEndOfPassObservers() {
    if (inEndOfPass_ || endOfPass_.empty()) return;
    inEndOfPass_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inEndOfPass_};
    auto observers = endOfPass_;  // an observer may change the list
    for (auto& [id, block] : observers) (*block)();
}

NSRunLoop::ObserverId NSRunLoop::addWaitObserver(std::function<double()> before, std::function<void()> after) {
    auto id = nextObserver_++;
    waitObservers_.push_back({id, std::make_shared<std::function<double()>>(std::move(before)),
                              std::make_shared<std::function<void()>>(std::move(after))});
    return id;
}

void NSRunLoop::removeWaitObserver(ObserverId id) {
    std::erase_if(waitObservers_, [id](const WaitObserver& entry) { return entry.id == id; });
}

double NSRunLoop::runBeforeWaitObservers() {
    double bound = std::numeric_limits<double>::infinity();
    if (waitObservers_.empty()) return bound;
    auto observers = waitObservers_;  // an observer may change the list
    for (auto& observer : observers) bound = std::min(bound, std::max(0.0, (*observer.before)()));
    return bound;
}

void NSRunLoop::runAfterWaitObservers() {
    if (waitObservers_.empty()) return;
    auto observers = waitObservers_;
    for (auto& observer : observers) (*observer.after)();
}

// ---------------------------------------------------------------- running

void NSRunLoop::run() {
    stopped_ = false;
    while (!stopped_) runMode(NSDefaultRunLoopMode, std::numeric_limits<double>::infinity());
    stopped_ = false;
}

bool NSRunLoop::runUntil(const std::function<bool()>& condition, double timeout, const NSRunLoopMode& mode) {
    double deadline = Clock::monotonic() + timeout;
    while (!condition()) {
        double remaining = deadline - Clock::monotonic();
        if (remaining <= 0) return condition();
        runMode(mode, Clock::now() + std::min(remaining, 0.02));
        if (stopped_) {
            stopped_ = false;
            return condition();
        }
    }
    return true;
}

void NSRunLoop::runFor(double seconds, const NSRunLoopMode& mode) {
    runUntil([] { return false; }, seconds, mode);
}

void NSRunLoop::stop() {
    stopped_ = true;
    wakeUp();
}

void NSRunLoop::wakeUp() { waker_->wake(); }

NSRunLoopMode NSRunLoop::currentMode() const {
    std::lock_guard lock(mutex_);
    return modeStack_.empty() ? NSRunLoopMode() : modeStack_.back();
}
