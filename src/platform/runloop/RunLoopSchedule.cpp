#include "platform/runloop/RunLoopSchedule.h"

#include <algorithm>

bool RunLoopSchedule::includes(const std::vector<NSRunLoopMode>& modes, const NSRunLoopMode& running) {
    return std::any_of(modes.begin(), modes.end(),
                       [&](const NSRunLoopMode& m) { return NSRunLoop::modeIncludes(m, running); });
}

bool RunLoopSchedule::Snapshot::includes(const NSRunLoopMode& running) const {
    return RunLoopSchedule::includes(modes, running);
}

void RunLoopSchedule::Snapshot::perform(std::function<void()> block) const {
    if (runLoop) runLoop->performBlock(std::move(block), modes);
}

bool RunLoopSchedule::add(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    if (!runLoop) return false;
    if (modes_.empty()) runLoop_ = runLoop;
    else if (runLoop_.lock() != runLoop) return false;
    if (std::find(modes_.begin(), modes_.end(), mode) == modes_.end()) modes_.push_back(mode);
    return true;
}

void RunLoopSchedule::remove(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode) {
    if (!runLoop || runLoop_.lock() != runLoop) return;
    std::erase(modes_, mode);
    if (modes_.empty()) runLoop_.reset();
}
