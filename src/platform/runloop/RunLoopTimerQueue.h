#pragma once
// The timers of one run loop, ordered by fire date, so that a pass finds the
// due ones and the next date without looking at every timer. Not locked
// itself: the run loop's mutex guards it. Timers are locked inside it (run
// loop first, then timer), never the other way round.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/runloop/NSRunLoop.h"

class RunLoopTimerQueue {
public:
    using TimerPtr = std::shared_ptr<NSTimer>;

    // Adds the timer in `mode`; a timer added again gains the mode. It is
    // queued at its fire date.
    void add(const TimerPtr& timer, const NSRunLoopMode& mode);
    // The timer's fire date changed: it takes its new place.
    void moved(const NSTimer* timer);
    // Takes the timer out; the reference it held is handed back so that the
    // caller lets go of it outside the lock (its block may hold anything).
    TimerPtr remove(const NSTimer* timer);

    struct Due {
        std::vector<TimerPtr> timers;    // to fire, in fire-date order
        std::vector<TimerPtr> released;  // found invalid and dropped: let go outside the lock
        double nextFire;                 // the first later date in the mode, or infinity
    };
    // Timers of `mode` due at `now`. A repeating one is queued again at its next
    // date; any other leaves the queue until its date is set again (it is
    // invalidated once fired).
    Due takeDue(const NSRunLoopMode& mode, double now);
    std::size_t size() const { return entries_.size(); }

private:
    struct Key {
        double date;
        std::uint64_t order;  // among equal dates, the order in which they were queued
        bool operator<(const Key& other) const {
            return date < other.date || (date == other.date && order < other.order);
        }
    };
    struct Entry {
        TimerPtr timer;
        std::vector<NSRunLoopMode> modes;
        std::optional<Key> key;  // where it is queued; none while out of the queue
    };
    void enqueue(Entry& entry);
    void dequeue(Entry& entry);
    static bool inMode(const Entry& entry, const NSRunLoopMode& mode);

    std::unordered_map<const NSTimer*, Entry> entries_;
    std::map<Key, const NSTimer*> queue_;
    std::uint64_t order_ = 0;
};
