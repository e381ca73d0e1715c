#pragma once
// Operations and operation queues.
//
// An operation announces its state changes through key-value observation of the
// keys "isReady", "isExecuting", "isFinished" and "isCancelled". A plain operation
// runs main() inside start(); an asynchronous (concurrent) one overrides start()
// and the state predicates and announces its own changes. A queue starts ready
// operations on worker threads, up to its maximum concurrency, by priority and
// then in the order they were added.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

enum class NSOperationQueuePriority : long { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };

class NSOperationQueue;

class NSOperation : public NSObject {
public:
    NSOperation();
    ~NSOperation() override;

    virtual void start();
    virtual void main() {}
    virtual void cancel();

    virtual bool isReady() const;
    virtual bool isExecuting() const { return executing_; }
    virtual bool isFinished() const { return finished_; }
    virtual bool isConcurrent() const { return false; }
    bool isAsynchronous() const { return isConcurrent(); }
    bool isCancelled() const { return cancelled_; }

    // Dependencies: the operation is not ready until every dependency finished.
    void addDependency(const std::shared_ptr<NSOperation>& op);
    void removeDependency(const std::shared_ptr<NSOperation>& op);
    std::vector<std::shared_ptr<NSOperation>> dependencies() const;

    // Runs once, on a worker thread, after the operation finished.
    void setCompletionBlock(std::function<void()> block);
    std::function<void()> completionBlock() const;

    NSOperationQueuePriority queuePriority() const { return priority_; }
    void setQueuePriority(NSOperationQueuePriority p) { priority_ = p; }
    std::string name() const;
    void setName(std::string name);

    // Blocks the calling thread until the operation finished (not on the main
    // thread while the main run loop must deliver the finish).
    void waitUntilFinished();

protected:
    // Dependencies' readiness is re-announced through this hook.
    void dependencyFinished();

private:
    friend class NSOperationQueue;
    void observeOwnFinish();
    void finishedChanged();
    mutable std::mutex mutex_;
    std::condition_variable finishedCv_;
    std::atomic<bool> executing_{false}, finished_{false}, cancelled_{false};
    std::atomic<bool> completionRan_{false};
    std::vector<std::shared_ptr<NSOperation>> dependencies_;
    std::vector<ObservationToken> dependencyTokens_;
    std::function<void()> completion_;
    NSOperationQueuePriority priority_ = NSOperationQueuePriority::Normal;
    std::string name_;
    ObservationToken selfFinishToken_;
};

// A block operation.
class NSBlockOperation : public NSOperation {
public:
    explicit NSBlockOperation(std::function<void()> block) : block_(std::move(block)) {}
    static std::shared_ptr<NSBlockOperation> blockOperationWithBlock(std::function<void()> block) {
        return std::make_shared<NSBlockOperation>(std::move(block));
    }
    void main() override {
        if (block_) block_();
    }

private:
    std::function<void()> block_;
};

inline constexpr long NSOperationQueueDefaultMaxConcurrentOperationCount = -1;

class NSOperationQueue : public NSObject {
public:
    NSOperationQueue();
    ~NSOperationQueue() override;
    // The queue whose operations run on the main thread, one at a time.
    static std::shared_ptr<NSOperationQueue> mainQueue();

    void addOperation(const std::shared_ptr<NSOperation>& op);
    void addOperationWithBlock(std::function<void()> block);
    void addOperations(const std::vector<std::shared_ptr<NSOperation>>& ops, bool waitUntilFinished);
    std::vector<std::shared_ptr<NSOperation>> operations() const;
    std::size_t operationCount() const;

    long maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(long count);
    bool isSuspended() const;
    void setSuspended(bool suspended);
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();
    std::string name() const;
    void setName(std::string name);

private:
    struct Entry {
        std::shared_ptr<NSOperation> op;
        std::uint64_t order;
        bool started = false;
        std::vector<ObservationToken> tokens;
    };
    void schedule();
    void operationFinished(NSOperation* op);
    long effectiveMax() const;
    mutable std::mutex mutex_;
    std::condition_variable emptyCv_;
    std::vector<std::shared_ptr<Entry>> entries_;
    std::uint64_t nextOrder_ = 0;
    long maxConcurrent_ = NSOperationQueueDefaultMaxConcurrentOperationCount;
    long running_ = 0;
    bool suspended_ = false;
    bool isMainQueue_ = false;
    std::string name_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
