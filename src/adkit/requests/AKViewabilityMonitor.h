#pragma once
// Samples how much of a view is on screen, on a schedule of intervals, and
// tells its delegate after every sample. One monitor serves one measurement
// run of a slot (AKAdSlotViewability.cpp); the slot is its delegate.
//
// Schedule: the intervals (seconds) are used in order and the last one
// repeats for ever, so (1, 2, 5) samples after 1 s, 2 s, 5 s, 5 s... An
// element that is not a number, or a number that is not finite, counts as 0;
// an empty list yields 0. An interval of 0 or less disables the monitor: the
// timer is still made, so one last sample follows at once, and nothing more
// (startMonitoring and sample then do nothing).
//
// One sample: the view is visible when it is not hidden, has a window that is
// not hidden, and the application is active; its bounds in window coordinates
// are cut by every ancestor that clips to its bounds (a hidden ancestor makes
// it not visible) and by the device's application frame. An empty or
// non-finite result is the zero rectangle, which is never visible.
//
// Lifetime: the view and the delegate are held weakly, the timer holds the
// monitor weakly; destruction stops the timer. Threads: startMonitoring,
// sample and stopMonitoring may be called on any thread and run synchronously
// on the main thread; the visible rectangle, the visible flag and the
// delegate live on the lock queue "com.adkit.adnet.active-view-monitor"
// (writes asynchronous, reads synchronous, so a thread reads its own writes).
#include <cstdint>
#include <memory>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class AKViewabilityMonitor;
class NSTimer;
class UIView;

class AKViewabilityMonitorDelegate {
public:
    virtual ~AKViewabilityMonitorDelegate() = default;
    // After every sample, on the main thread.
    virtual void didRefreshViewabilityMonitor(AKViewabilityMonitor& monitor) = 0;
};

class AKViewabilityMonitor : public NSObject {
public:
    // initWithView:refreshIntervals: null without a view or without an array of intervals.
    static std::shared_ptr<AKViewabilityMonitor> make(const std::shared_ptr<UIView>& view, const Value& refreshIntervals);
    AKViewabilityMonitor(const std::shared_ptr<UIView>& view, Value refreshIntervals);
    ~AKViewabilityMonitor() override;

    void startMonitoring();
    void sample();
    void stopMonitoring();

    CGRect monitoredViewVisibleBounds() const;
    void setMonitoredViewVisibleBounds(CGRect bounds);
    bool isMonitoredViewVisible() const;
    std::shared_ptr<AKViewabilityMonitorDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<AKViewabilityMonitorDelegate>& delegate);

    // Main thread.
    bool viewabilityMonitorEnabled() const { return enabled_; }
    bool isMonitoring() const { return updateViewBoundsTimer_ != nullptr; }
    std::shared_ptr<UIView> monitoredView() const { return monitoredView_.lock(); }
    const Value& refreshIntervals() const { return refreshIntervals_; }
    std::uint64_t nextRefreshIntervalIndex() const { return nextRefreshIntervalIndex_; }
    // The next interval of the schedule (advances it).
    double nextRefreshInterval();

    // The visible part of a view in window coordinates and whether it can be
    // seen, as one sample finds them (main thread).
    struct Visibility {
        CGRect bounds = CGRectZero;
        bool visible = false;
    };
    static Visibility visibilityOfView(const UIView* view);

private:
    void startMonitoringOnMain();
    void stopMonitoringOnMain();
    void updateViewBounds();

    const dispatch_queue_t lockQueue_;

    // Main thread.
    bool enabled_ = true;
    std::weak_ptr<UIView> monitoredView_;
    const Value refreshIntervals_;
    std::uint64_t nextRefreshIntervalIndex_ = 0;
    std::shared_ptr<NSTimer> updateViewBoundsTimer_;

    // Lock queue.
    std::weak_ptr<AKViewabilityMonitorDelegate> delegate_;
    CGRect monitoredViewVisibleBounds_ = CGRectZero;
    bool monitoredViewVisible_ = false;
};

// Numbers "x", "y", "w", "h" of the standardized rectangle (the slot's
// "ad_frame" and "ad_bounds" request parameters).
Value AKViewabilityDictionaryFromRect(CGRect rect);
