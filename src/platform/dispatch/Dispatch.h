#pragma once
// Dispatch queues: the main queue (drained by the main run loop), serial and
// concurrent queues (with barriers) on a shared pool of worker threads, global
// queues, delayed work on the Clock, once-only initialisation, groups and semaphores.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

using dispatch_block_t = std::function<void()>;
using dispatch_time_t = std::uint64_t;  // nanoseconds of Clock time; see dispatch_time()
inline constexpr dispatch_time_t DISPATCH_TIME_NOW = 0;
inline constexpr dispatch_time_t DISPATCH_TIME_FOREVER = ~0ull;
inline constexpr std::uint64_t NSEC_PER_SEC = 1000000000ull;
inline constexpr std::uint64_t NSEC_PER_MSEC = 1000000ull;

enum class DispatchQueueKind { Serial, Concurrent, Main };
inline constexpr DispatchQueueKind DISPATCH_QUEUE_SERIAL = DispatchQueueKind::Serial;
inline constexpr DispatchQueueKind DISPATCH_QUEUE_CONCURRENT = DispatchQueueKind::Concurrent;

inline constexpr long DISPATCH_QUEUE_PRIORITY_HIGH = 2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_DEFAULT = 0;
inline constexpr long DISPATCH_QUEUE_PRIORITY_LOW = -2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_BACKGROUND = -32768;

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    virtual ~DispatchQueue() = default;
    const std::string& label() const { return label_; }
    DispatchQueueKind kind() const { return kind_; }
    virtual void async(dispatch_block_t block, bool barrier = false) = 0;
    // Runs the block and waits for it. Like the platform's, a sync onto the serial
    // queue that is running the caller deadlocks.
    virtual void sync(dispatch_block_t block, bool barrier = false);
    // The queue whose block is running on this thread, if any.
    static std::shared_ptr<DispatchQueue> current();

protected:
    DispatchQueue(std::string label, DispatchQueueKind kind) : label_(std::move(label)), kind_(kind) {}

private:
    std::string label_;
    DispatchQueueKind kind_;
};
using dispatch_queue_t = std::shared_ptr<DispatchQueue>;

dispatch_queue_t dispatch_get_main_queue();
dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long flags);
dispatch_queue_t dispatch_queue_create(const std::string& label, DispatchQueueKind kind = DISPATCH_QUEUE_SERIAL);
std::string dispatch_queue_get_label(const dispatch_queue_t& queue);  // the current queue's for null

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_sync(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_barrier_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_barrier_sync(const dispatch_queue_t& queue, dispatch_block_t block);

dispatch_time_t dispatch_time(dispatch_time_t when, std::int64_t deltaNanoseconds);
void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block);

using dispatch_once_t = std::once_flag;
inline void dispatch_once(dispatch_once_t* predicate, const dispatch_block_t& block) { std::call_once(*predicate, block); }

class DispatchGroup;
using dispatch_group_t = std::shared_ptr<DispatchGroup>;
dispatch_group_t dispatch_group_create();
void dispatch_group_enter(const dispatch_group_t& group);
void dispatch_group_leave(const dispatch_group_t& group);
void dispatch_group_async(const dispatch_group_t& group, const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_group_notify(const dispatch_group_t& group, const dispatch_queue_t& queue, dispatch_block_t block);
long dispatch_group_wait(const dispatch_group_t& group, dispatch_time_t timeout);  // 0 when all left

class DispatchSemaphore;
using dispatch_semaphore_t = std::shared_ptr<DispatchSemaphore>;
dispatch_semaphore_t dispatch_semaphore_create(long value);
long dispatch_semaphore_wait(const dispatch_semaphore_t& sema, dispatch_time_t timeout);  // 0 on success
long dispatch_semaphore_signal(const dispatch_semaphore_t& sema);  // non-zero when a waiter was woken

// Runs the block on the main thread: at once when already there, else a synchronous
// dispatch to the main queue.
void dispatch_main_sync_safe(const dispatch_block_t& block);
// Runs the block on the main thread: at once when already there, else asynchronously.
void dispatch_main_async_safe(dispatch_block_t block);
