#include "platform/net/LoopThread.h"

#include "platform/foundation/NSThread.h"

std::shared_ptr<NSRunLoop> startLoopThread(const std::string& name) {
    // Never released: work of any object may be scheduled there until the process ends.
    auto* thread = new std::shared_ptr<NSThread>(std::make_shared<NSThread>([] { NSRunLoop::currentRunLoop()->run(); }));
    (*thread)->setName(name);
    (*thread)->start();
    return (*thread)->runLoop();
}
