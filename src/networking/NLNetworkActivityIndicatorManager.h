#pragma once
// Drives the application's status-bar network activity indicator
// (UIApplication networkActivityIndicatorVisible) from the number of running
// network requests: shown as soon as the count becomes positive, hidden 0.17 s
// (on the Clock) after it drops to zero. While `enabled` is false (the
// default) the count still changes but the indicator is never touched.
//
// A manager made by init() follows the library's notifications from any
// sender: an operation's start and a task's resume count a request; an
// operation's finish and a task's suspend or completion uncount it. Requests
// are counted by identity: a start counts an object once however often it is
// posted, and an end uncounts it only while it is counted. So a doubled
// finish, a task suspended and then cancelled (suspend, then completion) or a
// cancelling task resumed again neither hides the indicator while others run
// nor leaves it on. An object whose request has no URL is not counted; an
// object that is gone no longer counts.
//
// incrementActivityCount and decrementActivityCount count requests the caller
// tracks itself, apart from the notified ones: a decrement never uncounts a
// notified request. setActivityCount sets the whole count: the notified
// requests counted so far are forgotten (their later ends change nothing) and
// the caller's count becomes the value (0 when negative).
//
// Threads: notifications are handled on the posting thread and the count
// changes under the manager's lock; observers of "activityCount" and
// "networkActivityIndicatorVisible" are told on that thread, only when the
// count changes. Every indicator change and the hide timer are on the main
// thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLRequest.h"
#include "platform/runloop/NSRunLoop.h"

// The hide delay after the count dropped to zero, in seconds.
inline constexpr double NLNetworkActivityIndicatorInvisibilityDelay = 0.17;

class NLNetworkActivityIndicatorManager : public NSObject {
public:
    // The request of a notification's object other than an operation (a session
    // task answers its originalRequest); null when the lookup does not know it.
    using RequestLookup = std::function<std::shared_ptr<NSURLRequest>(const NSObject& object)>;

    NLNetworkActivityIndicatorManager();  // registers nothing; use init()
    ~NLNetworkActivityIndicatorManager() override;
    // A manager registered for the five notifications.
    static std::shared_ptr<NLNetworkActivityIndicatorManager> init();
    // The process-wide manager, made once by init() and never released.
    static std::shared_ptr<NLNetworkActivityIndicatorManager> sharedManager();

    // Adds a lookup for the objects of the task notifications (installed once at
    // start-up by the classes whose objects they post).
    static void addRequestLookup(RequestLookup lookup);
    // The request of a notification's object: an operation's request, else the
    // first lookup's answer; null for an object without one.
    static std::shared_ptr<NSURLRequest> requestOfObject(const NSObject& object);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    std::int64_t activityCount() const;
    void setActivityCount(std::int64_t count);
    bool isNetworkActivityIndicatorVisible() const { return activityCount() > 0; }
    void incrementActivityCount();
    void decrementActivityCount();
    // The pending hide, if any (main thread).
    std::shared_ptr<NSTimer> activityIndicatorVisibilityTimer() const;

    // Notification handlers: count or uncount the object of the notification.
    void networkRequestDidStart(const NSNotification& notification);
    void networkRequestDidFinish(const NSNotification& notification);

private:
    using Counted = std::set<std::weak_ptr<NSObject>, std::owner_less<std::weak_ptr<NSObject>>>;

    // Applies `change` under the lock; when the count moved, tells the observers
    // and schedules the delayed update on the main queue.
    void changeCount(const std::function<void()>& change);
    std::int64_t countLocked() const;
    void registerForNotifications();
    // Main thread: show at once when the count is positive, else (re)start the hide timer.
    void updateNetworkActivityIndicatorVisibilityDelayed();
    // Main thread: the application's indicator follows the count as it is now.
    void updateNetworkActivityIndicatorVisibility();

    std::atomic<bool> enabled_{false};
    mutable std::mutex mutex_;  // guards the two counts
    Counted running_;           // notified requests counted by identity
    std::int64_t ownCount_ = 0; // the caller's increments less its decrements
    std::shared_ptr<NSTimer> activityIndicatorVisibilityTimer_;  // main thread
};
