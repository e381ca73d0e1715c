#pragma once
// Layer animations. An animation added to a layer is copied and kept under its
// key; it runs from its begin time for its duration (times its repeats) on the
// Clock and then ends: it is removed (unless removedOnCompletion is off) and
// its delegate hears animationDidStop with finished true. Removing it earlier
// (or adding another under the same key) stops it with finished false.
// Animations never change the layer's model values; presentation values are
// computed from them on request.
//
// Main thread only: the start and stop callbacks run on the main run loop.
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/quartzcore/CAValue.h"
#include "platform/quartzcore/Forward.h"

// The media clock: the Clock's time.
double CACurrentMediaTime();

inline constexpr const char* kCAMediaTimingFunctionLinear = "linear";
inline constexpr const char* kCAMediaTimingFunctionEaseIn = "easeIn";
inline constexpr const char* kCAMediaTimingFunctionEaseOut = "easeOut";
inline constexpr const char* kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
inline constexpr const char* kCAMediaTimingFunctionDefault = "default";

inline constexpr const char* kCAFillModeRemoved = "removed";
inline constexpr const char* kCAFillModeForwards = "forwards";

class CAAnimationDelegate {
public:
    virtual ~CAAnimationDelegate() = default;
    virtual void animationDidStart(CAAnimation& /*animation*/) {}
    virtual void animationDidStop(CAAnimation& /*animation*/, bool /*finished*/) {}
};

class CAAnimation : public NSObject {
public:
    static std::shared_ptr<CAAnimation> animation() { return std::make_shared<CAAnimation>(); }
    // The copy a layer keeps; subclasses copy their own fields.
    virtual CAAnimationPtr copy() const;

    // Seconds; 0 takes the transaction's duration when added.
    double duration = 0;
    // A media time (CACurrentMediaTime() + delay); 0 starts when added.
    double beginTime = 0;
    // 0 or 1 plays once; infinity repeats until removed.
    double repeatCount = 0;
    bool autoreverses = false;
    bool removedOnCompletion = true;
    std::string timingFunction = kCAMediaTimingFunctionDefault;
    std::string fillMode = kCAFillModeRemoved;
    // Held strongly, as the platform holds an animation's delegate; released
    // with the animation.
    std::shared_ptr<CAAnimationDelegate> delegate;
    // Block forms of the delegate, run after it.
    std::function<void(CAAnimation&)> didStart;
    std::function<void(CAAnimation&, bool finished)> didStop;

    // Set when a layer runs the animation (on the layer's copy).
    double startTime() const { return startTime_; }
    // The media time the animation ends; infinity when it repeats forever.
    double endTime() const;
    bool hasStarted() const { return started_; }
    bool hasStopped() const { return stopped_; }
    // The timing fraction at a media time, repeats and reversal applied (0...1).
    double fractionAt(double time) const;

private:
    friend class CALayer;
    friend class CAAnimationScheduler;
    double startTime_ = 0;
    bool started_ = false;
    bool stopped_ = false;
    std::shared_ptr<void> transactionGroup_;  // the transaction waiting for this animation

protected:
    void copyInto(CAAnimation& other) const;
};

class CAPropertyAnimation : public CAAnimation {
public:
    std::string keyPath;
    // Whether each repeat starts where the previous one ended (kept for the
    // callers that set it; presentation values blend one cycle).
    bool cumulative = false;
    CAAnimationPtr copy() const override;

protected:
    void copyInto(CAPropertyAnimation& other) const;
};

class CABasicAnimation : public CAPropertyAnimation {
public:
    static std::shared_ptr<CABasicAnimation> animationWithKeyPath(const std::string& keyPath);
    CAValue fromValue;
    CAValue toValue;
    CAValue byValue;
    CAAnimationPtr copy() const override;
};

// Named easing on a fraction 0...1.
double CAMediaTimingFunctionApply(const std::string& name, double t);
