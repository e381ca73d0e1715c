// Showing and hiding the overlay: grace and minimum-show timers, the show and
// hide animations, the finish step, delayed hides and tasks on threads and queues.
#include <cassert>
#include <cstdlib>

#include "platform/foundation/Clock.h"
#include "platform/foundation/LifecycleMove.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSLog.h"
#include "platform/runloop/NSThread.h"
#include "ui/progresshud/LOProgressHUD.h"

namespace {

constexpr double kAnimationDuration = 0.3;
constexpr double kZoomLarge = 1.5;
constexpr double kZoomSmall = 0.5;
constexpr float kFadedAlpha = 0.02f;  // where the hide animation ends; the finish step sets 0

bool tracing() {
    static const bool on = [] {
        const char* value = std::getenv("QUORVANE_TRACE_UI");
        return value && *value && *value != '0';
    }();
    return on;
}

// A non-repeating timer on the main run loop that calls into the overlay only while it exists.
std::shared_ptr<NSTimer> weakTimer(const std::weak_ptr<NSObject>& weak, double seconds,
                                   std::function<void(LOProgressHUD&, NSTimer&)> fire) {
    auto timer = NSTimer::timerWithTimeInterval(
        seconds,
        [weak, fire = std::move(fire)](NSTimer& t) {
            if (auto hud = std::static_pointer_cast<LOProgressHUD>(weak.lock())) fire(*hud, t);
        },
        false);
    NSRunLoop::mainRunLoop()->addTimer(timer, NSDefaultRunLoopMode);
    return timer;
}

}  // namespace

void LOProgressHUD::moveTo(Phase next) {
    static const char* const names[] = {"idle", "grace", "visible", "min-show", "fading-out"};
    auto allowed = [](Phase from, Phase to) {
        switch (from) {
        case Phase::Idle:
        case Phase::Grace: return to == Phase::Idle || to == Phase::Grace || to == Phase::Visible;
        case Phase::Visible:
        case Phase::MinShow: return true;
        case Phase::FadingOut: return to == Phase::Idle || to == Phase::Visible;
        }
        return false;
    };
    checkLifecycleMove(allowed(phase_, next), tracing(), "progress overlay", {}, names[int(phase_)], names[int(next)],
                       "the overlay moves only as its lifecycle allows");
    phase_ = next;
}

// ---------------------------------------------------------------- show

void LOProgressHUD::show(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    useAnimation_ = animated;
    finishPending_ = true;
    // A show supersedes a hide still waiting out the minimum time, or fading out.
    if (minShowTimer_) minShowTimer_->invalidate();
    minShowTimer_.reset();
    const bool onScreen = phase_ == Phase::Visible || phase_ == Phase::MinShow || phase_ == Phase::FadingOut;
    if (phase_ == Phase::FadingOut) ++fadeGeneration_;

    const float grace = graceTime();
    if (grace > 0 && !onScreen) {
        if (graceTimer_) graceTimer_->invalidate();
        graceTimer_ = weakTimer(weak_from_this(), grace, [](LOProgressHUD& hud, NSTimer&) { hud.handleGraceTimer(); });
        moveTo(Phase::Grace);
        return;
    }
    if (graceTimer_) graceTimer_->invalidate();
    graceTimer_.reset();
    showUsingAnimation(useAnimation_);
}

void LOProgressHUD::handleGraceTimer() {
    graceTimer_.reset();
    // Only an overlay whose task still runs appears after its grace time.
    if (taskInProgress()) showUsingAnimation(useAnimation_);
}

void LOProgressHUD::showUsingAnimation(bool animated) {
    setNeedsDisplay();
    const long type = animationType();
    if (animated && type == LOProgressHUDAnimationZoomIn)
        setTransform(CGAffineTransformConcat(rotationTransform_, CGAffineTransformMakeScale(kZoomSmall, kZoomSmall)));
    else if (animated && type == LOProgressHUDAnimationZoomOut)
        setTransform(CGAffineTransformConcat(rotationTransform_, CGAffineTransformMakeScale(kZoomLarge, kZoomLarge)));
    showStarted_ = Clock::now();
    moveTo(Phase::Visible);
    if (!animated) {
        setAlpha(1);
        return;
    }
    UIView::beginAnimations("");
    UIView::setAnimationDuration(kAnimationDuration);
    setAlpha(1);
    if (type == LOProgressHUDAnimationZoomIn || type == LOProgressHUDAnimationZoomOut) setTransform(rotationTransform_);
    UIView::commitAnimations();
}

// ---------------------------------------------------------------- hide

void LOProgressHUD::hide(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    auto keep = shared_from_this();  // the finish step may take the overlay out of its host
    useAnimation_ = animated;
    // An overlay hidden during its grace time never appears.
    if (graceTimer_) graceTimer_->invalidate();
    graceTimer_.reset();

    if (phase_ == Phase::FadingOut) {
        // The running fade finishes this showing; a hide without animation finishes it now.
        if (!animated) {
            ++fadeGeneration_;
            setAlpha(0);
            done();
        }
        return;
    }
    const float minShow = minShowTime();
    if (minShow > 0 && showStarted_) {
        const double shown = Clock::now() - *showStarted_;
        if (shown < minShow) {
            if (minShowTimer_) minShowTimer_->invalidate();
            minShowTimer_ = weakTimer(weak_from_this(), minShow - shown,
                                      [](LOProgressHUD& hud, NSTimer&) { hud.handleMinShowTimer(); });
            moveTo(Phase::MinShow);
            return;
        }
    }
    hideUsingAnimation(useAnimation_);
}

void LOProgressHUD::handleMinShowTimer() {
    minShowTimer_.reset();
    auto keep = shared_from_this();
    hideUsingAnimation(useAnimation_);
}

void LOProgressHUD::hideUsingAnimation(bool animated) {
    const bool wasShown = showStarted_.has_value();
    showStarted_.reset();
    if (!animated || !wasShown) {
        setAlpha(0);
        done();
        return;
    }
    moveTo(Phase::FadingOut);
    const std::uint64_t generation = ++fadeGeneration_;
    std::weak_ptr<NSObject> weak = weak_from_this();
    UIView::beginAnimations("");
    UIView::setAnimationDuration(kAnimationDuration);
    UIView::setAnimationDelegate(shared_from_this());
    UIView::setAnimationDidStopSelector([weak, generation](const std::string&, bool, void*) {
        auto hud = std::static_pointer_cast<LOProgressHUD>(weak.lock());
        // A show or a finishing hide since then took this fade over.
        if (hud && hud->fadeGeneration_ == generation && hud->phase_ == Phase::FadingOut) hud->done();
    });
    const long type = animationType();
    if (type == LOProgressHUDAnimationZoomIn)
        setTransform(CGAffineTransformConcat(rotationTransform_, CGAffineTransformMakeScale(kZoomLarge, kZoomLarge)));
    else if (type == LOProgressHUDAnimationZoomOut)
        setTransform(CGAffineTransformConcat(rotationTransform_, CGAffineTransformMakeScale(kZoomSmall, kZoomSmall)));
    setAlpha(kFadedAlpha);
    UIView::commitAnimations();
}

void LOProgressHUD::hide(bool animated, double afterDelay) {
    QV_ASSERT_MAIN_THREAD();
    auto timer = weakTimer(weak_from_this(), afterDelay, [animated](LOProgressHUD& hud, NSTimer& fired) {
        std::erase_if(hud.delayedHides_, [&](const auto& t) { return t.get() == &fired; });
        hud.hide(animated);
    });
    delayedHides_.push_back(std::move(timer));
}

void LOProgressHUD::done() {
    auto keep = std::static_pointer_cast<LOProgressHUD>(shared_from_this());
    cancelDelayedHides();
    NSRunLoop::currentRunLoop()->cancelPerforms(this, {});
    cancelTimers();
    moveTo(Phase::Idle);
    if (!finishPending_) return;  // this showing was finished already
    finishPending_ = false;
    setAlpha(0);
    if (removeFromSuperViewOnHide()) removeFromSuperview();
    CompletionBlock completion;
    {
        std::lock_guard<std::mutex> lock(propertiesMutex_);
        std::swap(completion, properties_.completionBlock);
    }
    if (completion) completion();
    if (auto delegate = this->delegate()) delegate->hudWasHidden(keep);
}

void LOProgressHUD::cancelTimers() {
    if (graceTimer_) graceTimer_->invalidate();
    graceTimer_.reset();
    if (minShowTimer_) minShowTimer_->invalidate();
    minShowTimer_.reset();
}

void LOProgressHUD::cancelDelayedHides() {
    for (const auto& timer : delayedHides_) timer->invalidate();
    delayedHides_.clear();
}

// ---------------------------------------------------------------- tasks

void LOProgressHUD::showWhileExecuting(ExecutionMethod method, std::shared_ptr<NSObject> onTarget,
                                       std::shared_ptr<NSObject> withObject, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    methodForExecution_ = method;
    targetForExecution_ = onTarget;
    objectForExecution_ = withObject;
    setTaskInProgress(true);
    std::weak_ptr<NSObject> weak = weak_from_this();
    auto thread = std::make_shared<NSThread>(
        [weak, method = std::move(method), target = std::move(onTarget), object = std::move(withObject)]() mutable {
            if (method) method(target, object);
            // Target and object go back to the main thread and are let go there.
            dispatch_async(dispatch_get_main_queue(),
                           [weak, target = std::move(target), object = std::move(object)]() mutable {
                               if (auto hud = std::static_pointer_cast<LOProgressHUD>(weak.lock())) hud->cleanUp();
                               target.reset();
                               object.reset();
                           });
        });
    thread->setName("LOProgressHUD task");
    thread->start();
    show(animated);
}

void LOProgressHUD::showAnimated(bool animated, dispatch_block_t whileExecutingBlock, dispatch_queue_t onQueue,
                                 CompletionBlock completionBlock) {
    QV_ASSERT_MAIN_THREAD();
    if (!onQueue) onQueue = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    setTaskInProgress(true);
    setCompletionBlock(std::move(completionBlock));
    std::weak_ptr<NSObject> weak = weak_from_this();
    dispatch_async(onQueue, [weak, block = std::move(whileExecutingBlock)] {
        if (block) block();
        dispatch_async(dispatch_get_main_queue(), [weak] {
            if (auto hud = std::static_pointer_cast<LOProgressHUD>(weak.lock())) hud->cleanUp();
        });
    });
    show(animated);
}

void LOProgressHUD::showAnimated(bool animated, dispatch_block_t whileExecutingBlock) {
    showAnimated(animated, std::move(whileExecutingBlock), nullptr, nullptr);
}

void LOProgressHUD::showAnimated(bool animated, dispatch_block_t whileExecutingBlock, CompletionBlock completionBlock) {
    showAnimated(animated, std::move(whileExecutingBlock), nullptr, std::move(completionBlock));
}

void LOProgressHUD::showAnimated(bool animated, dispatch_block_t whileExecutingBlock, dispatch_queue_t onQueue) {
    showAnimated(animated, std::move(whileExecutingBlock), std::move(onQueue), nullptr);
}

void LOProgressHUD::cleanUp() {
    setTaskInProgress(false);
    targetForExecution_.reset();
    objectForExecution_.reset();
    methodForExecution_ = nullptr;
    hide(useAnimation_);
}
