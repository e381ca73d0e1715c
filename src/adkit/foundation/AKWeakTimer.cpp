#include "adkit/foundation/AKWeakTimer.h"

namespace {
const char kUserInfoKey = 0;
const char kTargetKey = 0;
}  // namespace

void AKWeakTimerTarget::runWithTimer(NSTimer& timer) {
    auto target = weakTarget_.lock();
    if (!target) {
        timer.invalidate();
        return;
    }
    if (action_) action_(target, timer);
}

std::shared_ptr<NSTimer> ak_timerWithTimeInterval(double interval, const std::shared_ptr<NSObject>& target,
                                                  AKWeakTimerTarget::Action action, const Value& userInfo, bool repeats) {
    auto holder = std::make_shared<AKWeakTimerTarget>(target, std::move(action));
    std::weak_ptr<AKWeakTimerTarget> weakHolder = holder;
    auto timer = NSTimer::timerWithTimeInterval(
        interval,
        [weakHolder](NSTimer& t) {
            if (auto h = weakHolder.lock()) h->runWithTimer(t);
        },
        repeats);
    // The timer owns its target holder (as a timer retains its target) and its user info.
    timer->setAssociatedObject(&kTargetKey, holder);
    timer->setAssociatedObject(&kUserInfoKey, std::make_shared<Value>(userInfo));
    return timer;
}

std::shared_ptr<NSTimer> ak_scheduledTimerWithTimeInterval(double interval, const std::shared_ptr<NSObject>& target,
                                                           AKWeakTimerTarget::Action action, const Value& userInfo,
                                                           bool repeats) {
    auto timer = ak_timerWithTimeInterval(interval, target, std::move(action), userInfo, repeats);
    NSRunLoop::currentRunLoop()->addTimer(timer, NSDefaultRunLoopMode);
    return timer;
}

Value ak_timerUserInfo(const NSTimer& timer) {
    auto info = timer.associated<Value>(&kUserInfoKey);
    return info ? *info : Value();
}
