#include "platform/quartzcore/CAAnimation.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"

double CACurrentMediaTime() { return Clock::now(); }

void CAAnimation::copyInto(CAAnimation& o) const {
    o.duration = duration;
    o.beginTime = beginTime;
    o.repeatCount = repeatCount;
    o.autoreverses = autoreverses;
    o.removedOnCompletion = removedOnCompletion;
    o.timingFunction = timingFunction;
    o.fillMode = fillMode;
    o.delegate = delegate;
    o.didStart = didStart;
    o.didStop = didStop;
}

CAAnimationPtr CAAnimation::copy() const {
    auto a = std::make_shared<CAAnimation>();
    copyInto(*a);
    return a;
}

double CAAnimation::endTime() const {
    double plays = repeatCount > 1 ? repeatCount : 1;
    if (std::isinf(plays)) return plays;
    return startTime_ + duration * plays * (autoreverses ? 2 : 1);
}

double CAAnimation::fractionAt(double time) const {
    if (duration <= 0) return 1;
    double local = (time - startTime_) / duration;
    if (local <= 0) return CAMediaTimingFunctionApply(timingFunction, 0);
    double end = (endTime() - startTime_) / duration;
    if (local >= end) local = end;
    double cycle = autoreverses ? 2 : 1;
    double phase = std::fmod(local, cycle);
    if (local >= end && phase == 0) phase = cycle;
    double t = phase <= 1 ? phase : 2 - phase;
    return CAMediaTimingFunctionApply(timingFunction, std::clamp(t, 0.0, 1.0));
}

void CAPropertyAnimation::copyInto(CAPropertyAnimation& o) const {
    CAAnimation::copyInto(o);
    o.keyPath = keyPath;
    o.cumulative = cumulative;
}

CAAnimationPtr CAPropertyAnimation::copy() const {
    auto a = std::make_shared<CAPropertyAnimation>();
    copyInto(*a);
    return a;
}

std::shared_ptr<CABasicAnimation> CABasicAnimation::animationWithKeyPath(const std::string& keyPath) {
    auto a = std::make_shared<CABasicAnimation>();
    a->keyPath = keyPath;
    return a;
}

CAAnimationPtr CABasicAnimation::copy() const {
    auto a = std::make_shared<CABasicAnimation>();
    CAPropertyAnimation::copyInto(*a);
    a->fromValue = fromValue;
    a->toValue = toValue;
    a->byValue = byValue;
    return a;
}

double CAMediaTimingFunctionApply(const std::string& name, double t) {
    t = std::clamp(t, 0.0, 1.0);
    if (name == kCAMediaTimingFunctionEaseIn) return t * t;
    if (name == kCAMediaTimingFunctionEaseOut) return t * (2 - t);
    if (name == kCAMediaTimingFunctionEaseInEaseOut || name == kCAMediaTimingFunctionDefault)
        return t * t * (3 - 2 * t);
    return t;
}
