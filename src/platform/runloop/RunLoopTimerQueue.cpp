#include "platform/runloop/RunLoopTimerQueue.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/Clock.h"

namespace {
constexpr double kNever = std::numeric_limits<double>::infinity();
}  // namespace

bool RunLoopTimerQueue::inMode(const Entry& entry, const NSRunLoopMode& mode) {
    return std::any_of(entry.modes.begin(), entry.modes.end(),
                       [&](const NSRunLoopMode& m) { return NSRunLoop::modeIncludes(m, mode); });
}

void RunLoopTimerQueue::enqueue(Entry& entry) {
    dequeue(entry);
    double date = entry.timer->fireDate();
    if (std::isnan(date)) date = kNever;  // no date: never due (and the order stays strict)
    entry.key = Key{date, order_++};
    queue_.emplace(*entry.key, entry.timer.get());
}

void RunLoopTimerQueue::dequeue(Entry& entry) {
    if (!entry.key) return;
    queue_.erase(*entry.key);
    entry.key.reset();
}

void RunLoopTimerQueue::add(const TimerPtr& timer, const NSRunLoopMode& mode) {
    auto [it, added] = entries_.try_emplace(timer.get());
    Entry& entry = it->second;
    if (added) entry.timer = timer;
    if (std::find(entry.modes.begin(), entry.modes.end(), mode) == entry.modes.end()) entry.modes.push_back(mode);
    if (added) enqueue(entry);
}

void RunLoopTimerQueue::moved(const NSTimer* timer) {
    auto it = entries_.find(timer);
    if (it != entries_.end()) enqueue(it->second);
}

RunLoopTimerQueue::TimerPtr RunLoopTimerQueue::remove(const NSTimer* timer) {
    auto it = entries_.find(timer);
    if (it == entries_.end()) return nullptr;
    dequeue(it->second);
    TimerPtr held = std::move(it->second.timer);
    entries_.erase(it);
    return held;
}

RunLoopTimerQueue::Due RunLoopTimerQueue::takeDue(const NSRunLoopMode& mode, double now) {
    Due due{{}, {}, kNever};
    for (auto q = queue_.begin(); q != queue_.end();) {
        auto it = entries_.find(q->second);
        Entry& entry = it->second;
        if (!entry.timer->isValid()) {
            // Invalidated on the way here: its removal may still be coming.
            q = queue_.erase(q);
            due.released.push_back(std::move(entry.timer));
            entries_.erase(it);
            continue;
        }
        if (!inMode(entry, mode)) {
            ++q;
            continue;
        }
        if (!Clock::reached(q->first.date, now)) {
            due.nextFire = q->first.date;
            break;
        }
        q = queue_.erase(q);
        entry.key.reset();
        due.timers.push_back(entry.timer);
        if (entry.timer->repeats()) {
            // Queued again after `now`, so this pass reaches it once at most.
            entry.timer->advanceAfterFiring(now);
            enqueue(entry);
        }
    }
    return due;
}
