#include "platform/dispatch/NSOperation.h"

#include <algorithm>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

// ---------------------------------------------------------------- NSOperation

NSOperation::NSOperation() { observeOwnFinish(); }

NSOperation::~NSOperation() = default;

void NSOperation::observeOwnFinish() {
    selfFinishToken_ = observeValueForKey("isFinished", [this](const std::string&) { finishedChanged(); });
}

void NSOperation::finishedChanged() {
    if (!isFinished()) return;
    {
        std::lock_guard lock(mutex_);
        finishedCv_.notify_all();
    }
    if (completionRan_.exchange(true)) return;
    std::function<void()> block;
    {
        std::lock_guard lock(mutex_);
        block = completion_;
    }
    if (block) dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), block);
}

void NSOperation::start() {
    if (isFinished() || isExecuting()) return;
    if (isCancelled()) {
        willChangeValueForKey("isFinished");
        finished_ = true;
        didChangeValueForKey("isFinished");
        return;
    }
    if (!isReady()) {
        NSLog("*** -[%@ start]: receiver is not yet ready to execute", className());
        return;
    }
    willChangeValueForKey("isExecuting");
    executing_ = true;
    didChangeValueForKey("isExecuting");
    main();
    willChangeValueForKey("isExecuting");
    willChangeValueForKey("isFinished");
    executing_ = false;
    finished_ = true;
    didChangeValueForKey("isExecuting");
    didChangeValueForKey("isFinished");
}

void NSOperation::cancel() {
    if (cancelled_.exchange(true)) return;
    willChangeValueForKey("isCancelled");
    didChangeValueForKey("isCancelled");
    // A cancelled operation no longer waits for its dependencies.
    willChangeValueForKey("isReady");
    didChangeValueForKey("isReady");
}

bool NSOperation::isReady() const {
    if (isCancelled()) return true;
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(), [](const auto& d) { return d->isFinished(); });
}

void NSOperation::addDependency(const std::shared_ptr<NSOperation>& op) {
    if (!op || op.get() == this) return;
    auto token = op->observeValueForKey("isFinished", [this](const std::string&) { dependencyFinished(); });
    {
        std::lock_guard lock(mutex_);
        if (std::find(dependencies_.begin(), dependencies_.end(), op) != dependencies_.end()) return;
        dependencies_.push_back(op);
        dependencyTokens_.push_back(std::move(token));
    }
    willChangeValueForKey("isReady");
    didChangeValueForKey("isReady");
}

void NSOperation::removeDependency(const std::shared_ptr<NSOperation>& op) {
    ObservationToken released;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find(dependencies_.begin(), dependencies_.end(), op);
        if (it == dependencies_.end()) return;
        auto index = static_cast<std::size_t>(it - dependencies_.begin());
        dependencies_.erase(it);
        released = std::move(dependencyTokens_[index]);
        dependencyTokens_.erase(dependencyTokens_.begin() + static_cast<long>(index));
    }
    released.disconnect();
    willChangeValueForKey("isReady");
    didChangeValueForKey("isReady");
}

std::vector<std::shared_ptr<NSOperation>> NSOperation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void NSOperation::dependencyFinished() {
    willChangeValueForKey("isReady");
    didChangeValueForKey("isReady");
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completion_ = std::move(block);
}

std::function<void()> NSOperation::completionBlock() const {
    std::lock_guard lock(mutex_);
    return completion_;
}

std::string NSOperation::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSOperation::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

void NSOperation::waitUntilFinished() {
    std::unique_lock lock(mutex_);
    while (!isFinished()) finishedCv_.wait_for(lock, std::chrono::milliseconds(20));
}

// ---------------------------------------------------------------- NSOperationQueue

NSOperationQueue::NSOperationQueue() = default;

NSOperationQueue::~NSOperationQueue() { *alive_ = false; }

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() {
    static ProcessLifetime<std::shared_ptr<NSOperationQueue>> queue([] {
        auto q = std::make_shared<NSOperationQueue>();
        q->isMainQueue_ = true;
        q->maxConcurrent_ = 1;
        q->name_ = "NSOperationQueue Main Queue";
        return q;
    }());
    return *queue;
}

long NSOperationQueue::effectiveMax() const {
    if (isMainQueue_) return 1;
    return maxConcurrent_ < 0 ? 64 : maxConcurrent_;
}

void NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& op) {
    if (!op || op->isFinished()) return;
    auto weak = weakSelf<NSOperationQueue>();
    auto entry = std::make_shared<Entry>();
    entry->op = op;
    NSOperation* raw = op.get();
    entry->tokens.push_back(op->observeValueForKey("isReady", [weak](const std::string&) {
        if (auto q = weak.lock()) q->schedule();
    }));
    entry->tokens.push_back(op->observeValueForKey("isFinished", [weak, raw](const std::string&) {
        if (auto q = weak.lock()) q->operationFinished(raw);
    }));
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_)
            if (e->op == op) return;  // already queued
        entry->order = nextOrder_++;
        entries_.push_back(entry);
    }
    schedule();
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
    addOperation(NSBlockOperation::blockOperationWithBlock(std::move(block)));
}

void NSOperationQueue::addOperations(const std::vector<std::shared_ptr<NSOperation>>& ops, bool waitUntilFinished) {
    for (const auto& op : ops) addOperation(op);
    if (waitUntilFinished)
        for (const auto& op : ops) op->waitUntilFinished();
}

std::vector<std::shared_ptr<NSOperation>> NSOperationQueue::operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<NSOperation>> out;
    for (const auto& e : entries_) out.push_back(e->op);
    return out;
}

std::size_t NSOperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

long NSOperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return maxConcurrent_;
}

void NSOperationQueue::setMaxConcurrentOperationCount(long count) {
    {
        std::lock_guard lock(mutex_);
        if (!isMainQueue_) maxConcurrent_ = count;
    }
    schedule();
}

bool NSOperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void NSOperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    schedule();
}

void NSOperationQueue::cancelAllOperations() {
    for (const auto& op : operations()) op->cancel();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    while (!entries_.empty()) emptyCv_.wait_for(lock, std::chrono::milliseconds(20));
}

std::string NSOperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void NSOperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

void NSOperationQueue::schedule() {
    // Readiness is asked outside the queue's lock: operations announce their
    // changes while holding their own locks.
    std::vector<std::shared_ptr<Entry>> waiting;
    {
        std::lock_guard lock(mutex_);
        if (suspended_) return;
        for (const auto& e : entries_)
            if (!e->started) waiting.push_back(e);
    }
    std::vector<std::shared_ptr<Entry>> ready;
    for (const auto& e : waiting)
        if (e->op->isReady()) ready.push_back(e);
    std::stable_sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) {
        if (a->op->queuePriority() != b->op->queuePriority()) return a->op->queuePriority() > b->op->queuePriority();
        return a->order < b->order;
    });
    std::vector<std::shared_ptr<NSOperation>> launch;
    {
        std::lock_guard lock(mutex_);
        if (suspended_) return;
        for (const auto& e : ready) {
            if (running_ >= effectiveMax()) break;
            if (e->started) continue;
            if (std::find(entries_.begin(), entries_.end(), e) == entries_.end()) continue;
            e->started = true;
            ++running_;
            launch.push_back(e->op);
        }
    }
    auto target = isMainQueue_ ? dispatch_get_main_queue() : dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    for (auto& op : launch) dispatch_async(target, [op] { op->start(); });
}

void NSOperationQueue::operationFinished(NSOperation* op) {
    if (!op->isFinished()) return;
    std::shared_ptr<Entry> removed;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(), [op](const auto& e) { return e->op.get() == op; });
        if (it == entries_.end()) return;
        removed = *it;
        if (removed->started) --running_;
        entries_.erase(it);
        emptyCv_.notify_all();
    }
    // The entry (its observation tokens and the operation) is released outside
    // the lock; release it off this call stack, which is inside the operation's
    // own change announcement.
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [removed] {});
    schedule();
}
