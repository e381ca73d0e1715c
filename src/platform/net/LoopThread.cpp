#include "platform/net/LoopThread.h"

#include <mutex>
#include <vector>

#include "platform/runloop/NSThread.h"

std::shared_ptr<NSRunLoop> startLoopThread(const std::string& name) {
    // Never released: work of any object may be scheduled there until the process ends.
    static std::mutex mutex;
    static auto* threads = new std::vector<std::shared_ptr<NSThread>>();
    auto thread = std::make_shared<NSThread>([] { NSRunLoop::currentRunLoop()->run(); });
    thread->setName(name);
    thread->start();
    std::lock_guard lock(mutex);
    threads->push_back(thread);
    return thread->runLoop();
}
