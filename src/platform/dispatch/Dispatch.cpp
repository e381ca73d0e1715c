#include "platform/dispatch/Dispatch.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cmath>
#include <deque>
#include <future>
#include <limits>
#include <map>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/runloop/NSThread.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSRunLoop.h"

namespace {

thread_local std::vector<std::shared_ptr<DispatchQueue>> tlsQueueStack;

struct CurrentQueueScope {
    explicit CurrentQueueScope(std::shared_ptr<DispatchQueue> q) { tlsQueueStack.push_back(std::move(q)); }
    ~CurrentQueueScope() { tlsQueueStack.pop_back(); }
};

// A pool of worker threads that grows on demand; idle workers wait for jobs.
class WorkerPool {
public:
    static WorkerPool& shared() {
        static ProcessLifetime<WorkerPool> pool;
        return *pool;
    }
    void submit(std::function<void()> job) {
        std::unique_lock lock(mutex_);
        jobs_.push_back(std::move(job));
        // Idle workers that were notified but have not taken a job yet still
        // count as idle: compare with the jobs waiting, or a job could sit
        // behind one that blocks its worker for long (an operation's run loop).
        if (static_cast<int>(jobs_.size()) > idle_ && threads_ < kMaxThreads) {
            ++threads_;
            std::thread([this] { work(); }).detach();
        } else {
            cv_.notify_one();
        }
    }

private:
    static constexpr int kMaxThreads = 128;
    void work() {
        pthread_setname_np(pthread_self(), "dispatch-worker");
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            cv_.wait(lock, [this] { return !jobs_.empty(); });
            --idle_;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    int threads_ = 0;
    int idle_ = 0;
};

class MainQueue final : public DispatchQueue {
public:
    MainQueue() : DispatchQueue("com.quorvane.main-thread", DispatchQueueKind::Main) {}
    void async(dispatch_block_t block, bool) override {
        auto self = shared_from_this();
        NSRunLoop::mainRunLoop()->performBlock([self, block = std::move(block)] {
            CurrentQueueScope scope(self);
            block();
        });
    }
    void sync(dispatch_block_t block, bool barrier) override {
        if (NSThread::isMainThread()) {
            CurrentQueueScope scope(shared_from_this());
            block();
            return;
        }
        DispatchQueue::sync(std::move(block), barrier);
    }
};

class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label) : DispatchQueue(std::move(label), DispatchQueueKind::Serial) {}
    void async(dispatch_block_t block, bool) override {
        bool schedule = false;
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(block));
            if (!draining_) draining_ = schedule = true;
        }
        if (schedule) {
            auto self = shared_from_this();
            WorkerPool::shared().submit([self] { static_cast<SerialQueue*>(self.get())->drain(); });
        }
    }

private:
    void drain() {
        CurrentQueueScope scope(shared_from_this());
        for (int run = 0; run < 64; ++run) {
            dispatch_block_t block;
            {
                std::lock_guard lock(mutex_);
                if (items_.empty()) {
                    draining_ = false;
                    return;
                }
                block = std::move(items_.front());
                items_.pop_front();
            }
            block();
        }
        // Yield the worker to other queues, then go on.
        auto self = shared_from_this();
        WorkerPool::shared().submit([self] { static_cast<SerialQueue*>(self.get())->drain(); });
    }
    std::mutex mutex_;
    std::deque<dispatch_block_t> items_;
    bool draining_ = false;
};

class ConcurrentQueue final : public DispatchQueue {
public:
    explicit ConcurrentQueue(std::string label) : DispatchQueue(std::move(label), DispatchQueueKind::Concurrent) {}
    void async(dispatch_block_t block, bool barrier) override {
        {
            std::lock_guard lock(mutex_);
            items_.push_back({std::move(block), barrier});
        }
        pump();
    }

private:
    struct Item {
        dispatch_block_t block;
        bool barrier;
    };
    // Starts every item that may run now: plain items while no barrier runs or
    // waits ahead of them, a barrier once nothing else runs.
    void pump() {
        std::vector<Item> start;
        {
            std::lock_guard lock(mutex_);
            while (!items_.empty() && !barrierRunning_) {
                auto& front = items_.front();
                if (front.barrier) {
                    if (running_ > 0) break;
                    barrierRunning_ = true;
                } else {
                    ++running_;
                }
                start.push_back(std::move(front));
                items_.pop_front();
                if (barrierRunning_) break;
            }
        }
        auto self = shared_from_this();
        for (auto& item : start) {
            WorkerPool::shared().submit([self, item = std::move(item)]() mutable {
                auto* q = static_cast<ConcurrentQueue*>(self.get());
                {
                    CurrentQueueScope scope(self);
                    item.block();
                    item.block = nullptr;
                }
                {
                    std::lock_guard lock(q->mutex_);
                    if (item.barrier) q->barrierRunning_ = false;
                    else --q->running_;
                }
                q->pump();
            });
        }
    }
    std::mutex mutex_;
    std::deque<Item> items_;
    int running_ = 0;
    bool barrierRunning_ = false;
};

// Delayed dispatches: one thread waits for the earliest due time on the Clock.
class AfterService {
public:
    static AfterService& shared() {
        static ProcessLifetime<AfterService> s;
        return *s;
    }
    void add(double due, dispatch_queue_t queue, dispatch_block_t block) {
        {
            std::lock_guard lock(mutex_);
            items_.emplace(std::make_pair(due, seq_++), Entry{std::move(queue), std::move(block)});
        }
        cv_.notify_all();
    }

private:
    struct Entry {
        dispatch_queue_t queue;
        dispatch_block_t block;
    };
    friend class ProcessLifetime<AfterService>;
    AfterService() {
        Clock::addListener([this] {
            std::lock_guard lock(mutex_);
            cv_.notify_all();
        });
        std::thread([this] { loop(); }).detach();
    }
    void loop() {
        pthread_setname_np(pthread_self(), "dispatch-after");
        std::unique_lock lock(mutex_);
        for (;;) {
            double due = items_.empty() ? std::numeric_limits<double>::infinity() : items_.begin()->first.first;
            Clock::waitUntil(cv_, lock, due, [&] {
                return !items_.empty() && (items_.begin()->first.first < due || Clock::reached(items_.begin()->first.first));
            });
            double now = Clock::now();
            std::vector<Entry> ready;
            while (!items_.empty() && Clock::reached(items_.begin()->first.first, now)) {
                ready.push_back(std::move(items_.begin()->second));
                items_.erase(items_.begin());
            }
            lock.unlock();
            for (auto& e : ready) e.queue->async(std::move(e.block));
            ready.clear();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::map<std::pair<double, std::uint64_t>, Entry> items_;
    std::uint64_t seq_ = 0;
};

// The same conversion as the Clock's own, so a time of exactly now reads as now.
double clockSecondsFor(dispatch_time_t t) {
    if (t > static_cast<dispatch_time_t>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<double>::infinity();  // FOREVER, or centuries ahead
    if (t == DISPATCH_TIME_NOW) return Clock::now();
    return Clock::secondsFor(static_cast<std::int64_t>(t));
}

}  // namespace

void DispatchQueue::sync(dispatch_block_t block, bool barrier) {
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    async(
        [&block, done] {
            block();
            done->set_value();
        },
        barrier);
    future.wait();
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
    return tlsQueueStack.empty() ? nullptr : tlsQueueStack.back();
}

dispatch_queue_t dispatch_get_main_queue() {
    static ProcessLifetime<dispatch_queue_t> q(std::make_shared<MainQueue>());
    return *q;
}

dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long) {
    static ProcessLifetime<std::mutex> m;
    static ProcessLifetime<std::map<long, dispatch_queue_t>> queues;
    std::lock_guard lock(*m);
    auto& q = (*queues)[priority];
    if (!q) {
        std::string name = priority > 0 ? "high" : priority == 0 ? "default" : priority == DISPATCH_QUEUE_PRIORITY_LOW ? "low" : "background";
        q = std::make_shared<ConcurrentQueue>("com.quorvane.root." + name + "-priority");
    }
    return q;
}

dispatch_queue_t dispatch_queue_create(const std::string& label, DispatchQueueKind kind) {
    if (kind == DispatchQueueKind::Concurrent) return std::make_shared<ConcurrentQueue>(label);
    return std::make_shared<SerialQueue>(label);
}

std::string dispatch_queue_get_label(const dispatch_queue_t& queue) {
    if (queue) return queue->label();
    auto current = DispatchQueue::current();
    return current ? current->label() : std::string();
}

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block) { queue->async(std::move(block)); }
void dispatch_sync(const dispatch_queue_t& queue, dispatch_block_t block) { queue->sync(std::move(block)); }
void dispatch_barrier_async(const dispatch_queue_t& queue, dispatch_block_t block) { queue->async(std::move(block), true); }
void dispatch_barrier_sync(const dispatch_queue_t& queue, dispatch_block_t block) { queue->sync(std::move(block), true); }

dispatch_time_t dispatch_time(dispatch_time_t when, std::int64_t delta) {
    if (when == DISPATCH_TIME_FOREVER) return DISPATCH_TIME_FOREVER;
    // In whole nanoseconds, so that a delay after now lands where the clock will stand.
    const dispatch_time_t base =
        when == DISPATCH_TIME_NOW ? static_cast<dispatch_time_t>(std::max<std::int64_t>(0, Clock::nanoseconds())) : when;
    if (delta < 0) {
        const auto back = static_cast<dispatch_time_t>(-(delta + 1)) + 1;
        return base > back + 1 ? base - back : 1;  // never NOW
    }
    const auto ahead = static_cast<dispatch_time_t>(delta);
    return DISPATCH_TIME_FOREVER - base > ahead ? base + ahead : DISPATCH_TIME_FOREVER;
}

void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block) {
    AfterService::shared().add(clockSecondsFor(when), queue, std::move(block));
}

// ---------------------------------------------------------------- groups

// Waiters keep their object alive and are woken through a weak reference, so a
// clock listener that fires late never touches a destroyed object.
class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
public:
    void enter() {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    void leave() {
        std::vector<std::pair<dispatch_queue_t, dispatch_block_t>> fire;
        {
            std::lock_guard lock(mutex_);
            if (--count_ > 0) return;
            count_ = 0;
            fire.swap(notify_);
        }
        cv_.notify_all();
        for (auto& [q, b] : fire) q->async(std::move(b));
    }
    void notify(dispatch_queue_t q, dispatch_block_t b) {
        {
            std::lock_guard lock(mutex_);
            if (count_ > 0) {
                notify_.emplace_back(std::move(q), std::move(b));
                return;
            }
        }
        q->async(std::move(b));
    }
    long wait(double deadline) {
        auto listener = Clock::addListener([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                std::lock_guard l(self->mutex_);
                self->cv_.notify_all();
            }
        });
        std::unique_lock lock(mutex_);
        bool ok = Clock::waitUntil(cv_, lock, deadline, [this] { return count_ == 0; });
        lock.unlock();
        Clock::removeListener(listener);
        return ok ? 0 : 1;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long count_ = 0;
    std::vector<std::pair<dispatch_queue_t, dispatch_block_t>> notify_;
};

dispatch_group_t dispatch_group_create() { return std::make_shared<DispatchGroup>(); }
void dispatch_group_enter(const dispatch_group_t& group) { group->enter(); }
void dispatch_group_leave(const dispatch_group_t& group) { group->leave(); }
void dispatch_group_async(const dispatch_group_t& group, const dispatch_queue_t& queue, dispatch_block_t block) {
    group->enter();
    queue->async([group, block = std::move(block)] {
        block();
        group->leave();
    });
}
void dispatch_group_notify(const dispatch_group_t& group, const dispatch_queue_t& queue, dispatch_block_t block) {
    group->notify(queue, std::move(block));
}
long dispatch_group_wait(const dispatch_group_t& group, dispatch_time_t timeout) {
    auto keep = group;
    return keep->wait(clockSecondsFor(timeout));
}

// ---------------------------------------------------------------- semaphores

class DispatchSemaphore : public std::enable_shared_from_this<DispatchSemaphore> {
public:
    explicit DispatchSemaphore(long value) : value_(value) {}
    long wait(double deadline) {
        std::unique_lock lock(mutex_);
        if (value_ > 0) {
            --value_;
            return 0;
        }
        ++waiters_;
        lock.unlock();
        auto listener = Clock::addListener([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                std::lock_guard l(self->mutex_);
                self->cv_.notify_all();
            }
        });
        lock.lock();
        bool ok = Clock::waitUntil(cv_, lock, deadline, [this] { return value_ > 0; });
        --waiters_;
        if (ok) --value_;
        lock.unlock();
        Clock::removeListener(listener);
        return ok ? 0 : 1;
    }
    long signal() {
        std::lock_guard lock(mutex_);
        ++value_;
        cv_.notify_one();
        return waiters_ > 0 ? 1 : 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long value_;
    long waiters_ = 0;
};

dispatch_semaphore_t dispatch_semaphore_create(long value) {
    if (value < 0) return nullptr;
    return std::make_shared<DispatchSemaphore>(value);
}
long dispatch_semaphore_wait(const dispatch_semaphore_t& sema, dispatch_time_t timeout) {
    auto keep = sema;
    return keep->wait(clockSecondsFor(timeout));
}
long dispatch_semaphore_signal(const dispatch_semaphore_t& sema) {
    auto keep = sema;
    return keep->signal();
}

void dispatch_main_sync_safe(const dispatch_block_t& block) {
    if (NSThread::isMainThread()) block();
    else dispatch_sync(dispatch_get_main_queue(), block);
}

void dispatch_main_async_safe(dispatch_block_t block) {
    if (NSThread::isMainThread()) block();
    else dispatch_async(dispatch_get_main_queue(), std::move(block));
}
