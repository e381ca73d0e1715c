// Block and begin/commit animations of views.
#include <algorithm>
#include <cassert>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewControllerTransitioning.h"

namespace {

struct Outcome {
    bool cutShort = false;  // an animation of the block was removed before its end
    std::vector<std::weak_ptr<CAAnimation>> mine;  // the layers' copies of the block's animations
};

struct AnimationContext {
    double duration = 0.2;
    double delay = 0;
    UIViewAnimationOptions options = 0;
    std::string animationID;
    void* context = nullptr;
    bool hasDelegate = false;
    std::weak_ptr<NSObject> delegate;
    UIView::DidStopHandler didStop;
    UIView::Completion completion;
    std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
};

thread_local std::vector<AnimationContext> contexts;
thread_local int disabledDepth = 0;
thread_local UIViewAnimationCapture* capturing = nullptr;
bool animationsEnabled = true;

const char* timingFor(UIViewAnimationOptions options) {
    switch ((options >> 16) & 3) {
    case UIViewAnimationCurveEaseIn: return kCAMediaTimingFunctionEaseIn;
    case UIViewAnimationCurveEaseOut: return kCAMediaTimingFunctionEaseOut;
    case UIViewAnimationCurveLinear: return kCAMediaTimingFunctionLinear;
    default: return kCAMediaTimingFunctionEaseInEaseOut;
    }
}

// Runs the block's end on the main run loop after delay + duration of Clock time.
void scheduleEnd(AnimationContext ctx) {
    if (capturing) {  // held for the interactive transition
        if (ctx.completion) capturing->completions.push_back(std::move(ctx.completion));
        return;
    }
    double after = std::max(0.0, ctx.delay + ctx.duration);
    auto end = [ctx = std::move(ctx)] {
        bool finished = !ctx.outcome->cutShort;
        if (ctx.completion) ctx.completion(finished);
        if (ctx.didStop && (!ctx.hasDelegate || !ctx.delegate.expired())) ctx.didStop(ctx.animationID, finished, ctx.context);
    };
    auto loop = NSRunLoop::mainRunLoop();
    if (after <= 0) {
        loop->performBlock(std::move(end));  // the next pass of the main run loop
        return;
    }
    loop->addTimer(NSTimer::timerWithTimeInterval(after, [end = std::move(end)](NSTimer&) { end(); }, false),
                   NSRunLoopCommonModes);
}

bool recording() { return !contexts.empty() && disabledDepth == 0 && animationsEnabled; }

}  // namespace

void UIView::animateWithDuration(double duration, Animations animations, Completion completion) {
    animateWithDuration(duration, 0, 0, std::move(animations), std::move(completion));
}

void UIView::animateWithDuration(double duration, double delay, UIViewAnimationOptions options,
                                 Animations animations, Completion completion) {
    QV_ASSERT_MAIN_THREAD();
    AnimationContext ctx;
    ctx.duration = std::max(0.0, duration);
    ctx.delay = std::max(0.0, delay);
    ctx.options = options;
    ctx.completion = std::move(completion);
    contexts.push_back(ctx);
    if (animations) animations();
    AnimationContext done = std::move(contexts.back());
    contexts.pop_back();
    scheduleEnd(std::move(done));
}

void UIView::beginAnimations(const std::string& animationID, void* context) {
    QV_ASSERT_MAIN_THREAD();
    AnimationContext ctx;
    ctx.animationID = animationID;
    ctx.context = context;
    contexts.push_back(std::move(ctx));
}

void UIView::commitAnimations() {
    if (contexts.empty()) return;
    AnimationContext done = std::move(contexts.back());
    contexts.pop_back();
    scheduleEnd(std::move(done));
}

void UIView::setAnimationDuration(double duration) {
    if (!contexts.empty()) contexts.back().duration = std::max(0.0, duration);
}

void UIView::setAnimationDelay(double delay) {
    if (!contexts.empty()) contexts.back().delay = std::max(0.0, delay);
}

void UIView::setAnimationCurve(UIViewAnimationCurve curve) {
    if (contexts.empty()) return;
    auto& o = contexts.back().options;
    o = (o & ~(UIViewAnimationOptions(3) << 16)) | (UIViewAnimationOptions(curve & 3) << 16);
}

void UIView::setAnimationBeginsFromCurrentState(bool value) {
    if (contexts.empty()) return;
    auto& o = contexts.back().options;
    o = value ? (o | UIViewAnimationOptionBeginFromCurrentState) : (o & ~UIViewAnimationOptionBeginFromCurrentState);
}

void UIView::setAnimationDelegate(const std::shared_ptr<NSObject>& delegate) {
    if (contexts.empty()) return;
    contexts.back().hasDelegate = static_cast<bool>(delegate);
    contexts.back().delegate = delegate;
}

void UIView::setAnimationDidStopSelector(DidStopHandler handler) {
    if (!contexts.empty()) contexts.back().didStop = std::move(handler);
}

void UIView::setAnimationsEnabled(bool enabled) { animationsEnabled = enabled; }

bool UIView::areAnimationsEnabled() { return animationsEnabled; }

void UIView::performWithoutAnimation(const Animations& changes) {
    ++disabledDepth;
    struct Restore {
        ~Restore() { --disabledDepth; }
    } restore;
    if (changes) changes();
}

void UIView::captureAnimations(UIViewAnimationCapture& capture, const Animations& body) {
    QV_ASSERT_MAIN_THREAD();
    UIViewAnimationCapture* const outer = std::exchange(capturing, &capture);
    struct Restore {
        UIViewAnimationCapture* outer;
        ~Restore() { capturing = outer; }
    } restore{outer};
    if (body) body();
}

bool UIView::isInAnimationBlock() { return recording(); }

std::optional<UIViewAnimationRecord> UIView::animationRecordForKey(const std::string& key) const {
    auto it = animationRecords_.find(key);
    if (it == animationRecords_.end()) return std::nullopt;
    return it->second;
}

namespace {
UIViewAnimationRecord recordFor(const AnimationContext& ctx, const std::string& key, const CAValue& from,
                                const CAValue& to) {
    UIViewAnimationRecord record;
    record.key = key;
    record.fromValue = from;
    record.toValue = to;
    record.duration = ctx.duration;
    record.delay = ctx.delay;
    record.options = ctx.options;
    record.startTime = Clock::now() + ctx.delay;
    record.animationID = ctx.animationID;
    return record;
}
}  // namespace

void UIView::recordAnimatedChange(const std::string& key, const CAValue& from, const CAValue& to) {
    if (recording()) animationRecords_[key] = recordFor(contexts.back(), key, from, to);
}

void UIView::layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from, const CAValue& to) {
    if (!recording()) return;
    static const char* const animatable[] = {"position", "bounds", "transform", "opacity", "backgroundColor"};
    if (std::find(std::begin(animatable), std::end(animatable), key) == std::end(animatable)) return;
    if (capturing) {
        const auto layerPtr = std::static_pointer_cast<CALayer>(layer.shared_from_this());
        for (auto& change : capturing->changes)
            if (change.key == key && change.layer.lock() == layerPtr) return void(change.to = to);
        capturing->changes.push_back({layerPtr, key, from, to});
        return;
    }
    const AnimationContext& ctx = contexts.back();
    // Beginning from the current state starts at what is on screen now.
    CAValue start = (ctx.options & UIViewAnimationOptionBeginFromCurrentState) && layer.animationForKey(key)
                        ? layer.presentationValueForKey(key)
                        : from;
    // A second change of the same key in one block continues the first one's
    // animation: it keeps its start and replaces it quietly.
    auto existing = layer.animationForKey(key);
    bool ownEarlier = false;
    for (auto& m : ctx.outcome->mine)
        if (existing && m.lock() == existing) ownEarlier = true;
    if (ownEarlier) {
        if (auto basic = std::dynamic_pointer_cast<CABasicAnimation>(existing)) start = basic->fromValue;
        existing->didStop = nullptr;
    }
    UIViewAnimationRecord record = recordFor(ctx, key, start, to);
    animationRecords_[key] = record;
    if (ctx.duration <= 0) return;  // nothing moves on screen: the record is all

    auto animation = CABasicAnimation::animationWithKeyPath(key);
    animation->fromValue = record.fromValue;
    animation->toValue = to;
    animation->duration = ctx.duration;
    animation->beginTime = ctx.delay > 0 ? record.startTime : 0;
    animation->timingFunction = timingFor(ctx.options);
    if (ctx.options & UIViewAnimationOptionRepeat) animation->repeatCount = std::numeric_limits<double>::infinity();
    animation->autoreverses = (ctx.options & UIViewAnimationOptionAutoreverse) != 0;
    animation->didStop = [outcome = ctx.outcome](CAAnimation&, bool finished) {
        if (!finished) outcome->cutShort = true;
    };
    layer.addAnimation(animation, key);
    ctx.outcome->mine.push_back(layer.animationForKey(key));
}
