// Protects operations and their queues: dependencies, concurrency limits, cancels, state announcements, block operations, the main queue, locks.
#include <doctest/doctest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLock.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/runloop/NSThread.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {
// An asynchronous operation that finishes when the test says so.
class ManualOperation : public NSOperation {
public:
    bool isConcurrent() const override { return true; }
    bool isExecuting() const override { return executing; }
    bool isFinished() const override { return finished; }
    void start() override {
        if (isCancelled()) {
            complete();
            return;
        }
        willChangeValueForKey("isExecuting");
        executing = true;
        didChangeValueForKey("isExecuting");
        ++starts;
    }
    void complete() {
        willChangeValueForKey("isExecuting");
        willChangeValueForKey("isFinished");
        executing = false;
        finished = true;
        didChangeValueForKey("isExecuting");
        didChangeValueForKey("isFinished");
    }
    std::atomic<bool> executing{false}, finished{false};
    std::atomic<int> starts{0};
};
}  // namespace

TEST_CASE("a dependent operation starts only after its dependency finished") {
    auto queue = std::make_shared<NSOperationQueue>();
    auto first = std::make_shared<ManualOperation>();
    auto second = std::make_shared<ManualOperation>();
    second->addDependency(first);
    CHECK_FALSE(second->isReady());
    queue->addOperation(second);
    queue->addOperation(first);
    REQUIRE(runMainUntil([&] { return first->starts == 1; }));
    NSRunLoop::mainRunLoop()->runFor(0.05);
    CHECK(second->starts == 0);
    first->complete();
    REQUIRE(runMainUntil([&] { return second->starts == 1; }));
    second->complete();
    REQUIRE(runMainUntil([&] { return queue->operationCount() == 0; }));
}

TEST_CASE("removing a dependency makes the operation ready at once") {
    auto queue = std::make_shared<NSOperationQueue>();
    auto blocker = std::make_shared<ManualOperation>();
    auto waiting = std::make_shared<ManualOperation>();
    waiting->addDependency(blocker);
    queue->addOperation(waiting);
    NSRunLoop::mainRunLoop()->runFor(0.05);
    CHECK(waiting->starts == 0);
    waiting->removeDependency(blocker);
    CHECK(waiting->dependencies().empty());
    REQUIRE(runMainUntil([&] { return waiting->starts == 1; }));
    waiting->complete();
}

TEST_CASE("the queue never runs more operations than its maximum concurrency") {
    auto queue = std::make_shared<NSOperationQueue>();
    queue->setMaxConcurrentOperationCount(2);
    std::vector<std::shared_ptr<ManualOperation>> ops;
    for (int i = 0; i < 5; ++i) {
        ops.push_back(std::make_shared<ManualOperation>());
        queue->addOperation(ops.back());
    }
    auto running = [&] {
        int n = 0;
        for (auto& op : ops) n += op->executing ? 1 : 0;
        return n;
    };
    REQUIRE(runMainUntil([&] { return running() == 2; }));
    NSRunLoop::mainRunLoop()->runFor(0.05);
    CHECK(running() == 2);
    // Operations start in the order they were added.
    CHECK(ops[0]->starts == 1);
    CHECK(ops[1]->starts == 1);
    CHECK(ops[2]->starts == 0);
    for (std::size_t done = 0; done < ops.size(); ++done) {
        ops[done]->complete();
        if (done + 2 < ops.size()) REQUIRE(runMainUntil([&] { return ops[done + 2]->starts == 1; }));
        CHECK(running() <= 2);
    }
    REQUIRE(runMainUntil([&] { return queue->operationCount() == 0; }));
}

TEST_CASE("an operation cancelled before it starts finishes without running") {
    auto queue = std::make_shared<NSOperationQueue>();
    std::atomic<bool> ran{false}, completed{false};
    auto op = NSBlockOperation::blockOperationWithBlock([&] { ran = true; });
    op->setCompletionBlock([&] { completed = true; });
    auto blocker = std::make_shared<ManualOperation>();
    op->addDependency(blocker);
    queue->addOperation(op);
    op->cancel();
    CHECK(op->isReady());  // cancelled operations no longer wait for dependencies
    REQUIRE(runMainUntil([&] { return op->isFinished() && completed.load(); }));
    CHECK_FALSE(ran);
    CHECK(op->isCancelled());
}

TEST_CASE("state changes are announced to observers in order") {
    auto op = NSBlockOperation::blockOperationWithBlock([] {});
    std::vector<std::string> seen;
    std::mutex m;
    auto record = [&](const std::string& prefix) {
        return [&, prefix](const std::string& key) {
            std::lock_guard l(m);
            seen.push_back(prefix + key);
        };
    };
    auto t1 = op->observeValueForKey("isExecuting", record("will:"), true);
    auto t2 = op->observeValueForKey("isExecuting", record("did:"));
    auto t3 = op->observeValueForKey("isFinished", record("did:"));
    op->start();
    CHECK(seen == std::vector<std::string>{"will:isExecuting", "did:isExecuting", "will:isExecuting",
                                           "did:isExecuting", "did:isFinished"});
    CHECK(op->isFinished());
    // A token that is gone stops the announcements.
    t3.disconnect();
    CHECK(op->observerCount("isFinished") == 1);  // the operation's own watcher remains
}

TEST_CASE("block operations run on workers and completion blocks follow") {
    auto queue = std::make_shared<NSOperationQueue>();
    std::atomic<int> ran{0}, completions{0};
    for (int i = 0; i < 20; ++i) {
        auto op = NSBlockOperation::blockOperationWithBlock([&] { ++ran; });
        op->setCompletionBlock([&] { ++completions; });
        queue->addOperation(op);
    }
    queue->waitUntilAllOperationsAreFinished();
    CHECK(ran == 20);
    REQUIRE(runMainUntil([&] { return completions.load() == 20; }));
}

TEST_CASE("the main operation queue runs on the main thread one at a time") {
    std::vector<int> order;
    bool onMain = true;
    for (int i = 0; i < 5; ++i)
        NSOperationQueue::mainQueue()->addOperationWithBlock([&, i] {
            order.push_back(i);
            onMain = onMain && NSThread::isMainThread();
        });
    REQUIRE(runMainUntil([&] { return order.size() == 5; }));
    CHECK(order == std::vector<int>{0, 1, 2, 3, 4});
    CHECK(onMain);
}

TEST_CASE("recursive locks can be taken again by their holder") {
    NSRecursiveLock lock;
    lock.setName("com.quorvane.test.lock");
    lock.lock();
    CHECK(lock.tryLock());
    lock.unlock();
    lock.unlock();
    CHECK(lock.name() == "com.quorvane.test.lock");
    NSLock plain;
    plain.lock();
    CHECK_FALSE(plain.tryLock());
    plain.unlock();
}
