#pragma once
// Timers that do not keep their target alive: the timer holds an
// AKWeakTimerTarget, which holds the target weakly. At each firing the action
// runs on the target while it exists; once it is gone, the timer invalidates
// itself and calls nothing. The user info is kept on the timer (ak_timerUserInfo).
// Timers fire on the run loop that scheduled them.
#include <functional>
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/runloop/NSRunLoop.h"

class AKWeakTimerTarget : public NSObject {
public:
    using Action = std::function<void(const std::shared_ptr<NSObject>& target, NSTimer& timer)>;
    AKWeakTimerTarget(std::weak_ptr<NSObject> target, Action action)
        : weakTarget_(std::move(target)), action_(std::move(action)) {}
    // The timer's action.
    void runWithTimer(NSTimer& timer);
    std::shared_ptr<NSObject> weakTarget() const { return weakTarget_.lock(); }

private:
    std::weak_ptr<NSObject> weakTarget_;
    Action action_;  // empty: the target does not answer the action
};

// Not scheduled.
std::shared_ptr<NSTimer> ak_timerWithTimeInterval(double interval, const std::shared_ptr<NSObject>& target,
                                                  AKWeakTimerTarget::Action action, const Value& userInfo, bool repeats);
// Scheduled on the current run loop in the default mode.
std::shared_ptr<NSTimer> ak_scheduledTimerWithTimeInterval(double interval, const std::shared_ptr<NSObject>& target,
                                                           AKWeakTimerTarget::Action action, const Value& userInfo,
                                                           bool repeats);
Value ak_timerUserInfo(const NSTimer& timer);

// The member-function form: `method` runs on the target with the timer.
template <class T>
AKWeakTimerTarget::Action ak_timerAction(void (T::*method)(NSTimer&)) {
    return [method](const std::shared_ptr<NSObject>& target, NSTimer& timer) {
        if (auto typed = std::dynamic_pointer_cast<T>(target)) ((*typed).*method)(timer);
    };
}
