#pragma once
// Where something that lives in one run loop runs: the loop (held weakly, it
// goes with its thread) and the modes it was scheduled in. Owners keep one
// under their own lock and take a snapshot to act on outside it:
//
//   RunLoopSchedule::Snapshot where;
//   { std::lock_guard lock(mutex_); where = schedule_.snapshot(); }
//   if (where) where.perform([self] { ... });
//
// Not locked itself.
#include <functional>
#include <memory>
#include <vector>

#include "platform/runloop/NSRunLoop.h"

class RunLoopSchedule {
public:
    struct Snapshot {
        std::shared_ptr<NSRunLoop> runLoop;  // null when never scheduled or the loop is gone
        std::vector<NSRunLoopMode> modes;

        explicit operator bool() const { return runLoop != nullptr; }
        // Whether the loop, running in `running`, serves one of the modes.
        bool includes(const NSRunLoopMode& running) const;
        // Queues the block on the loop in the modes (nothing without a loop).
        void perform(std::function<void()> block) const;
    };

    // Adds a mode. Something lives in one loop: a loop other than the first is
    // refused (false) until every mode was removed again.
    bool add(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
    void remove(const std::shared_ptr<NSRunLoop>& runLoop, const NSRunLoopMode& mode);
    bool empty() const { return modes_.empty(); }
    Snapshot snapshot() const { return {runLoop_.lock(), modes_}; }
    // The loop alone, and the test of Snapshot::includes, without copying the modes.
    std::shared_ptr<NSRunLoop> runLoop() const { return runLoop_.lock(); }
    bool includes(const NSRunLoopMode& running) const { return includes(modes_, running); }

private:
    static bool includes(const std::vector<NSRunLoopMode>& modes, const NSRunLoopMode& running);
    std::weak_ptr<NSRunLoop> runLoop_;
    std::vector<NSRunLoopMode> modes_;
};
