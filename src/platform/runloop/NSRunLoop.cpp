#include "platform/runloop/NSRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSThread.h"

const NSRunLoopMode& NSDefaultRunLoopMode = *new NSRunLoopMode("kCFRunLoopDefaultMode");
const NSRunLoopMode& NSRunLoopCommonModes = *new NSRunLoopMode("kCFRunLoopCommonModes");
const NSRunLoopMode& UITrackingRunLoopMode = *new NSRunLoopMode("UITrackingRunLoopMode");

namespace {
thread_local std::shared_ptr<NSRunLoop> tlsRunLoop;

std::shared_ptr<NSRunLoop>& mainLoopSlot() {
    static auto* slot = new std::shared_ptr<NSRunLoop>(NSRunLoop::makeMain());
    return *slot;
}

// Delayed performs keep their target alive and can be cancelled by target and selector.
struct DelayedPerform {
    const NSObject* target;
    std::string selector;
    std::weak_ptr<NSTimer> timer;
};
}  // namespace

// ---------------------------------------------------------------- NSTimer

NSTimer::NSTimer(double interval, Block block, bool repeats)
    : interval_(interval <= 0 ? 0.0001 : interval), block_(std::move(block)), repeats_(repeats),
      fireDate_(Clock::now() + interval_) {}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(double interval, Block block, bool repeats) {
    return std::make_shared<NSTimer>(interval, std::move(block), repeats);
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, Block block, bool repeats) {
    auto t = timerWithTimeInterval(interval, std::move(block), repeats);
    NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
    return t;
}

void NSTimer::fire() {
    if (!valid_) return;
    auto keep = self<NSTimer>();
    Block b;
    {
        std::lock_guard lock(mutex_);
        b = block_;
    }
    if (b) b(*this);
    if (!repeats_) invalidate();
}

void NSTimer::invalidate() {
    bool was = valid_.exchange(false);
    if (!was) return;
    Block released;
    {
        std::lock_guard lock(mutex_);
        released = std::move(block_);  // drops what the block captured, outside the lock
        block_ = nullptr;
    }
    if (auto loop = runLoop_.lock()) loop->wakeUp();
}

double NSTimer::fireDate() const {
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void NSTimer::setFireDate(double date) {
    {
        std::lock_guard lock(mutex_);
        fireDate_ = date;
    }
    if (auto loop = runLoop_.lock()) loop->wakeUp();
}

// ---------------------------------------------------------------- NSRunLoop

void NSRunLoop::Waker::wake() {
    if (owner.load(std::memory_order_relaxed) == std::this_thread::get_id()) return;
    if (pending.exchange(true)) return;  // a wake-up is already on its way
    std::lock_guard lock(mutex);
    if (fd < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

NSRunLoop::NSRunLoop() : waker_(std::make_shared<Waker>()) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
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

bool NSRunLoop::modeMatches(const NSRunLoopMode& sourceMode, const NSRunLoopMode& running) {
    if (sourceMode == running) return true;
    return sourceMode == NSRunLoopCommonModes && (running == NSDefaultRunLoopMode || running == UITrackingRunLoopMode);
}

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer, const NSRunLoopMode& mode) {
    if (!timer || !timer->isValid()) return;
    {
        std::lock_guard lock(mutex_);
        timer->runLoop_ = std::static_pointer_cast<NSRunLoop>(shared_from_this());
        auto it = std::find_if(timers_.begin(), timers_.end(), [&](const TimerEntry& e) { return e.timer == timer; });
        if (it != timers_.end()) it->modes.insert(mode);
        else timers_.push_back({timer, {mode}});
    }
    wakeUp();
}

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

namespace {
std::mutex& delayedMutex() {
    static auto* m = new std::mutex();
    return *m;
}
std::vector<DelayedPerform>& delayedPerforms() {
    static auto* v = new std::vector<DelayedPerform>();
    return *v;
}
}  // namespace

void NSRunLoop::schedulePerform(std::shared_ptr<NSObject> target, const std::string& selector, double delay,
                                std::function<void()> block) {
    const NSObject* raw = target.get();
    auto timer = NSTimer::timerWithTimeInterval(
        delay,
        [target = std::move(target), block = std::move(block)](NSTimer&) {
            block();
        },
        false);
    {
        std::lock_guard lock(delayedMutex());
        auto& list = delayedPerforms();
        std::erase_if(list, [](const DelayedPerform& p) { return p.timer.expired() || !p.timer.lock()->isValid(); });
        list.push_back({raw, selector, timer});
    }
    addTimer(timer, NSDefaultRunLoopMode);
}

void NSRunLoop::cancelPerforms(const NSObject* target, const std::string& selector) {
    std::vector<std::shared_ptr<NSTimer>> cancel;
    {
        std::lock_guard lock(delayedMutex());
        auto& list = delayedPerforms();
        for (auto it = list.begin(); it != list.end();) {
            if (it->target == target && (selector.empty() || it->selector == selector)) {
                if (auto t = it->timer.lock()) {
                    if (t->runLoop_.lock().get() == this) {
                        cancel.push_back(t);
                        it = list.erase(it);
                        continue;
                    }
                }
            }
            ++it;
        }
    }
    for (auto& t : cancel) t->invalidate();
}

std::vector<std::shared_ptr<NSTimer>> NSRunLoop::dueTimers(const NSRunLoopMode& mode, double now, double* nextFire) {
    std::vector<std::shared_ptr<NSTimer>> due;
    *nextFire = std::numeric_limits<double>::infinity();
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [](const TimerEntry& e) { return !e.timer->isValid(); });
    for (auto& e : timers_) {
        bool inMode = std::any_of(e.modes.begin(), e.modes.end(), [&](const auto& m) { return modeMatches(m, mode); });
        if (!inMode) continue;
        double fd = e.timer->fireDate();
        if (fd <= now) due.push_back(e.timer);
        else *nextFire = std::min(*nextFire, fd);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a->fireDate() < b->fireDate(); });
    return due;
}

bool NSRunLoop::runMode(const NSRunLoopMode& mode, double limitDate) {
    if (waker_->owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
        waker_->owner.store(std::this_thread::get_id());
    {
        std::lock_guard lock(mutex_);
        modeStack_.push_back(mode);
    }
    struct PopMode {
        NSRunLoop* loop;
        ~PopMode() {
            std::lock_guard lock(loop->mutex_);
            loop->modeStack_.pop_back();
        }
    } popMode{this};
    auto keepAlive = shared_from_this();

    bool handled = false;

    // Performs queued so far that run in this mode, in order.
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        for (auto it = performs_.begin(); it != performs_.end();) {
            bool match = std::any_of(it->modes.begin(), it->modes.end(), [&](const auto& m) { return modeMatches(m, mode); });
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
        handled = true;
        if (stopped_) break;
    }

    // Due timers.
    double nextFire;
    auto due = dueTimers(mode, Clock::now(), &nextFire);
    for (auto& t : due) {
        if (!t->isValid()) continue;
        if (t->repeats_) {
            double now = Clock::now();
            double next = t->fireDate() + t->interval_;
            if (next <= now) next += t->interval_ * std::ceil((now - next) / t->interval_ + 1e-9);
            {
                std::lock_guard lock(t->mutex_);
                t->fireDate_ = next;
            }
        }
        t->fire();
        handled = true;
    }
    if (!due.empty()) dueTimers(mode, Clock::now(), &nextFire);

    if (stopped_) return false;

    // Wait for input.
    std::vector<pollfd> fds;
    std::vector<SourceId> ids;
    bool pendingPerforms;
    {
        std::lock_guard lock(mutex_);
        fds.push_back({wakeFd_, POLLIN, 0});
        ids.push_back(0);
        for (auto& [id, s] : sources_) {
            if (!modeMatches(s.mode, mode) || s.events == 0) continue;
            fds.push_back({s.fd, s.events, 0});
            ids.push_back(id);
        }
        pendingPerforms = std::any_of(performs_.begin(), performs_.end(), [&](const Perform& p) {
            return std::any_of(p.modes.begin(), p.modes.end(), [&](const auto& m) { return modeMatches(m, mode); });
        });
    }
    // Waits to the timer's date itself (not rounded up to a millisecond), so
    // a timer due in a few microseconds does not cost a whole millisecond.
    timespec timeout{0, 0};
    if (!handled && !pendingPerforms) {
        double now = Clock::now();
        double until = std::min(nextFire, limitDate);
        if (until > now) {
            double wait = Clock::isVirtual() ? 0.05 : std::min(until - now, 3600.0);
            auto whole = static_cast<time_t>(wait);
            timeout.tv_sec = whole;
            timeout.tv_nsec = std::min(999999999L, static_cast<long>((wait - static_cast<double>(whole)) * 1e9));
        }
    }
    int n = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
    if (n > 0) {
        if (fds[0].revents & POLLIN) {
            std::uint64_t value;
            while (::read(wakeFd_, &value, sizeof value) > 0) {}
            // Cleared after the read, so no written wake-up is consumed while the
            // flag stays set; one coming in between finds it set and writes
            // nothing, but what it announces is seen by the next pass.
            waker_->pending.store(false);
        }
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
    }
    runEndOfPassObservers();
    return !stopped_;
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
