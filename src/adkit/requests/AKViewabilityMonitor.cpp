#include "adkit/requests/AKViewabilityMonitor.h"

#include <cmath>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKWeakTimer.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSRunLoop.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
// The zero rectangle for an empty or non-finite one.
CGRect orZero(CGRect rect) {
    if (!CGRectIsFinite(rect) || CGRectIsEmpty(rect)) return CGRectZero;
    return CGRectStandardize(rect);
}
}  // namespace

std::shared_ptr<AKViewabilityMonitor> AKViewabilityMonitor::make(const std::shared_ptr<UIView>& view,
                                                                 const Value& refreshIntervals) {
    if (!view || !refreshIntervals.isArray()) return nullptr;
    return std::make_shared<AKViewabilityMonitor>(view, refreshIntervals.copy());
}

AKViewabilityMonitor::AKViewabilityMonitor(const std::shared_ptr<UIView>& view, Value refreshIntervals)
    : lockQueue_(dispatch_queue_create("com.adkit.adnet.active-view-monitor")),
      monitoredView_(view),
      refreshIntervals_(std::move(refreshIntervals)) {}

AKViewabilityMonitor::~AKViewabilityMonitor() {
    // stopMonitoring: the timer holds the monitor weakly, so only its firing is left to stop.
    if (updateViewBoundsTimer_) updateViewBoundsTimer_->invalidate();
}

// ---------------------------------------------------------------- schedule

double AKViewabilityMonitor::nextRefreshInterval() {
    const std::size_t count = refreshIntervals_.count();
    if (count == 0) return 0;
    if (nextRefreshIntervalIndex_ >= count) nextRefreshIntervalIndex_ = count - 1;
    const Value element = refreshIntervals_[static_cast<std::size_t>(nextRefreshIntervalIndex_)];
    ++nextRefreshIntervalIndex_;
    if (!element.isNumber()) return 0;
    const double interval = element.doubleValue();
    return std::isfinite(interval) ? interval : 0;  // a number that is not finite counts as missing
}

void AKViewabilityMonitor::startMonitoring() {
    AKMacros::runSynchronouslyOnMainThreadWithBlock([this] { startMonitoringOnMain(); });
}

void AKViewabilityMonitor::sample() {
    AKMacros::runSynchronouslyOnMainThreadWithBlock([this] {
        if (enabled_) updateViewBounds();
    });
}

void AKViewabilityMonitor::stopMonitoring() {
    AKMacros::runSynchronouslyOnMainThreadWithBlock([this] { stopMonitoringOnMain(); });
}

void AKViewabilityMonitor::startMonitoringOnMain() {
    QV_ASSERT_MAIN_THREAD();
    if (!enabled_ || updateViewBoundsTimer_) return;
    const double interval = nextRefreshInterval();
    if (interval <= 0) enabled_ = false;  // the timer still comes: one last sample at once
    updateViewBoundsTimer_ = ak_timerWithTimeInterval(
        std::max(interval, 0.0), self(),
        [](const std::shared_ptr<NSObject>& target, NSTimer&) {
            const auto monitor = std::static_pointer_cast<AKViewabilityMonitor>(target);
            monitor->stopMonitoringOnMain();
            monitor->updateViewBounds();
            monitor->startMonitoringOnMain();
        },
        Value(), false);
    NSRunLoop::mainRunLoop()->addTimer(updateViewBoundsTimer_, NSRunLoopCommonModes);
}

void AKViewabilityMonitor::stopMonitoringOnMain() {
    QV_ASSERT_MAIN_THREAD();
    if (updateViewBoundsTimer_) updateViewBoundsTimer_->invalidate();
    updateViewBoundsTimer_.reset();
}

// ---------------------------------------------------------------- one sample

AKViewabilityMonitor::Visibility AKViewabilityMonitor::visibilityOfView(const UIView* view) {
    QV_ASSERT_MAIN_THREAD();
    if (!view) return {};
    const auto window = view->window();
    bool visible = !view->isHidden() && window && !window->isHidden() &&
                   UIApplication::sharedApplication()->applicationState() == UIApplicationStateActive;
    CGRect rect = CGRectZero;
    if (window) {
        rect = orZero(view->convertRectToView(view->bounds(), nullptr));
        for (auto ancestor = view->superview(); ancestor; ancestor = ancestor->superview()) {
            if (ancestor->isHidden()) visible = false;
            if (!ancestor->clipsToBounds()) continue;
            rect = orZero(CGRectIntersection(rect, ancestor->convertRectToView(ancestor->bounds(), nullptr)));
            if (CGRectEqualToRect(rect, CGRectZero)) break;
        }
    }
    rect = orZero(CGRectIntersection(rect, AKDevice::currentDevice()->standardizedApplicationFrame()));
    return {rect, visible && !CGRectEqualToRect(rect, CGRectZero)};
}

void AKViewabilityMonitor::updateViewBounds() {
    QV_ASSERT_MAIN_THREAD();
    const auto view = monitoredView_.lock();
    const Visibility found = visibilityOfView(view.get());
    dispatch_async(lockQueue_, [self = self<AKViewabilityMonitor>(), found] {
        self->monitoredViewVisibleBounds_ = found.bounds;
        self->monitoredViewVisible_ = found.visible;
    });
    if (const auto told = delegate()) told->didRefreshViewabilityMonitor(*this);
}

// ---------------------------------------------------------------- guarded fields

CGRect AKViewabilityMonitor::monitoredViewVisibleBounds() const {
    CGRect bounds = CGRectZero;
    dispatch_sync(lockQueue_, [&] { bounds = monitoredViewVisibleBounds_; });
    return bounds;
}

void AKViewabilityMonitor::setMonitoredViewVisibleBounds(CGRect bounds) {
    dispatch_async(lockQueue_, [self = self<AKViewabilityMonitor>(), bounds] {
        self->monitoredViewVisibleBounds_ = bounds;
    });
}

bool AKViewabilityMonitor::isMonitoredViewVisible() const {
    bool visible = false;
    dispatch_sync(lockQueue_, [&] { visible = monitoredViewVisible_; });
    return visible;
}

std::shared_ptr<AKViewabilityMonitorDelegate> AKViewabilityMonitor::delegate() const {
    std::shared_ptr<AKViewabilityMonitorDelegate> delegate;
    dispatch_sync(lockQueue_, [&] { delegate = delegate_.lock(); });
    return delegate;
}

void AKViewabilityMonitor::setDelegate(const std::shared_ptr<AKViewabilityMonitorDelegate>& delegate) {
    dispatch_async(lockQueue_, [self = self<AKViewabilityMonitor>(), weak = std::weak_ptr(delegate)] {
        self->delegate_ = weak;
    });
}

Value AKViewabilityDictionaryFromRect(CGRect rect) {
    const CGRect r = CGRectStandardize(rect);
    return Value{{"x", r.origin.x}, {"y", r.origin.y}, {"w", r.size.width}, {"h", r.size.height}};
}
