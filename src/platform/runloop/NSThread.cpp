#include "platform/runloop/NSThread.h"

#include <pthread.h>

#include <future>

#include "platform/base/MainThread.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSRunLoop.h"

namespace {
thread_local std::shared_ptr<NSThread> tlsThread;

std::shared_ptr<NSThread>& mainThreadSlot() {
    static ProcessLifetime<std::shared_ptr<NSThread>> slot;
    return *slot;
}
std::mutex& mainThreadMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
}  // namespace

struct ThreadRegistry {
    static std::shared_ptr<NSThread> adopt() {
        auto t = std::shared_ptr<NSThread>(new NSThread());
        t->isMain_ = isProcessMainThread();
        t->id_ = std::this_thread::get_id();
        t->executing_ = true;
        t->runLoop_ = NSRunLoop::currentRunLoop();
        if (t->isMain_) t->setName("main");
        return t;
    }
};

NSThread::NSThread() = default;

NSThread::NSThread(std::function<void()> main) : main_(std::move(main)) {}

NSThread::~NSThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
        else thread_.detach();  // a thread keeps itself alive while it runs
    }
}

std::shared_ptr<NSThread> NSThread::currentThread() {
    if (!tlsThread) {
        if (isProcessMainThread()) {
            std::lock_guard lock(mainThreadMutex());
            if (!mainThreadSlot()) mainThreadSlot() = ThreadRegistry::adopt();
            tlsThread = mainThreadSlot();
        } else {
            tlsThread = ThreadRegistry::adopt();
        }
    }
    return tlsThread;
}

std::shared_ptr<NSThread> NSThread::mainThread() {
    if (isProcessMainThread()) return currentThread();
    std::lock_guard lock(mainThreadMutex());
    return mainThreadSlot();  // null until the main thread first asked for itself
}

bool NSThread::isMainThread() { return isProcessMainThread(); }

void NSThread::sleepForTimeInterval(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void NSThread::start() {
    if (thread_.joinable() || finished_) return;
    auto keep = self<NSThread>();
    std::promise<void> ready;
    auto readyFuture = ready.get_future();
    thread_ = std::thread([keep, &ready] {
        tlsThread = keep;
        keep->id_ = std::this_thread::get_id();
        keep->runLoop_ = NSRunLoop::currentRunLoop();
        {
            std::string n = keep->name();
            if (!n.empty()) pthread_setname_np(pthread_self(), n.substr(0, 15).c_str());
        }
        keep->executing_ = true;
        ready.set_value();
        if (keep->main_) keep->main_();
        keep->executing_ = false;
        keep->finished_ = true;
        tlsThread.reset();
    });
    readyFuture.wait();  // the run loop exists once start() returns
    thread_.detach();
}

void NSThread::setName(const std::string& name) {
    {
        std::lock_guard lock(nameMutex_);
        name_ = name;
    }
    if (id_ == std::this_thread::get_id()) pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

std::string NSThread::name() const {
    std::lock_guard lock(nameMutex_);
    return name_;
}

std::shared_ptr<NSRunLoop> NSThread::runLoop() const { return runLoop_; }

void NSThread::perform(std::function<void()> block, bool waitUntilDone) {
    if (id_ == std::this_thread::get_id()) {
        block();
        return;
    }
    if (!waitUntilDone) {
        runLoop_->performBlock(std::move(block));
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    runLoop_->performBlock([block = std::move(block), done] {
        block();
        done->set_value();
    });
    future.wait();
}
