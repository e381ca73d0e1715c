// NLNetworkActivityIndicatorManager: counting requests by identity and driving
// the application's network activity indicator.
#include "networking/NLNetworkActivityIndicatorManager.h"

#include <cassert>
#include <vector>

#include "networking/NLSessionTaskNotifications.h"
#include "networking/NLURLConnectionOperation.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIApplication.h"

namespace {

struct RequestLookups {
    std::mutex mutex;
    std::vector<NLNetworkActivityIndicatorManager::RequestLookup> lookups;
};

RequestLookups& requestLookups() {
    static ProcessLifetime<RequestLookups> shared;
    return *shared;
}

bool hasURL(const std::shared_ptr<NSURLRequest>& request) { return request && !request->URL().empty(); }

}  // namespace

NLNetworkActivityIndicatorManager::NLNetworkActivityIndicatorManager() = default;

NLNetworkActivityIndicatorManager::~NLNetworkActivityIndicatorManager() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    // The timer holds the manager weakly; a pending hide of a manager that is gone does nothing.
    if (activityIndicatorVisibilityTimer_) activityIndicatorVisibilityTimer_->invalidate();
}

std::shared_ptr<NLNetworkActivityIndicatorManager> NLNetworkActivityIndicatorManager::init() {
    auto manager = std::make_shared<NLNetworkActivityIndicatorManager>();
    manager->registerForNotifications();
    return manager;
}

std::shared_ptr<NLNetworkActivityIndicatorManager> NLNetworkActivityIndicatorManager::sharedManager() {
    static ProcessLifetime<std::shared_ptr<NLNetworkActivityIndicatorManager>> shared(init());
    return *shared;
}

void NLNetworkActivityIndicatorManager::registerForNotifications() {
    auto center = NSNotificationCenter::defaultCenter();
    std::weak_ptr<NLNetworkActivityIndicatorManager> weak = weakSelf<NLNetworkActivityIndicatorManager>();
    auto started = [weak](const NSNotification& notification) {
        if (auto manager = weak.lock()) manager->networkRequestDidStart(notification);
    };
    auto ended = [weak](const NSNotification& notification) {
        if (auto manager = weak.lock()) manager->networkRequestDidFinish(notification);
    };
    auto self = shared_from_this();
    center->addObserver(self, started, NLNetworkingOperationDidStartNotification);
    center->addObserver(self, started, NLNetworkingTaskDidResumeNotification);
    center->addObserver(self, ended, NLNetworkingOperationDidFinishNotification);
    center->addObserver(self, ended, NLNetworkingTaskDidSuspendNotification);
    center->addObserver(self, ended, NLNetworkingTaskDidCompleteNotification);
}

void NLNetworkActivityIndicatorManager::addRequestLookup(RequestLookup lookup) {
    if (!lookup) return;
    std::lock_guard lock(requestLookups().mutex);
    requestLookups().lookups.push_back(std::move(lookup));
}

std::shared_ptr<NSURLRequest> NLNetworkActivityIndicatorManager::requestOfObject(const NSObject& object) {
    if (auto operation = dynamic_cast<const NLURLConnectionOperation*>(&object)) return operation->request();
    std::vector<RequestLookup> lookups;
    {
        std::lock_guard lock(requestLookups().mutex);
        lookups = requestLookups().lookups;
    }
    for (const auto& lookup : lookups)
        if (auto request = lookup(object)) return request;
    return nullptr;
}

// ---------------------------------------------------------------- the count

std::int64_t NLNetworkActivityIndicatorManager::countLocked() const {
    std::int64_t live = 0;
    for (const auto& entry : running_)
        if (!entry.expired()) ++live;
    return live + ownCount_;
}

std::int64_t NLNetworkActivityIndicatorManager::activityCount() const {
    std::lock_guard lock(mutex_);
    return countLocked();
}

void NLNetworkActivityIndicatorManager::changeCount(const std::function<void()>& change) {
    bool changed;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t before = countLocked();
        std::erase_if(running_, [](const std::weak_ptr<NSObject>& entry) { return entry.expired(); });
        change();
        changed = countLocked() != before;
    }
    if (!changed) return;
    willChangeValueForKey("activityCount");
    willChangeValueForKey("networkActivityIndicatorVisible");
    didChangeValueForKey("networkActivityIndicatorVisible");
    didChangeValueForKey("activityCount");
    std::weak_ptr<NLNetworkActivityIndicatorManager> weak = weakSelf<NLNetworkActivityIndicatorManager>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto manager = weak.lock()) manager->updateNetworkActivityIndicatorVisibilityDelayed();
    });
}

void NLNetworkActivityIndicatorManager::setActivityCount(std::int64_t count) {
    changeCount([&] {
        running_.clear();
        ownCount_ = count < 0 ? 0 : count;
    });
}

void NLNetworkActivityIndicatorManager::incrementActivityCount() {
    changeCount([&] { ++ownCount_; });
}

void NLNetworkActivityIndicatorManager::decrementActivityCount() {
    changeCount([&] {
        if (ownCount_ > 0) --ownCount_;
    });
}

void NLNetworkActivityIndicatorManager::networkRequestDidStart(const NSNotification& notification) {
    const auto& object = notification.object();
    if (!object || !hasURL(requestOfObject(*object))) return;
    changeCount([&] { running_.insert(object); });
}

void NLNetworkActivityIndicatorManager::networkRequestDidFinish(const NSNotification& notification) {
    const auto& object = notification.object();
    if (!object || !hasURL(requestOfObject(*object))) return;
    changeCount([&] { running_.erase(object); });
}

// ---------------------------------------------------------------- the indicator (main thread)

std::shared_ptr<NSTimer> NLNetworkActivityIndicatorManager::activityIndicatorVisibilityTimer() const {
    QV_ASSERT_MAIN_THREAD();
    return activityIndicatorVisibilityTimer_;
}

void NLNetworkActivityIndicatorManager::updateNetworkActivityIndicatorVisibilityDelayed() {
    QV_ASSERT_MAIN_THREAD();
    if (!isEnabled()) return;
    std::weak_ptr<NLNetworkActivityIndicatorManager> weak = weakSelf<NLNetworkActivityIndicatorManager>();
    auto update = [weak] {
        if (auto manager = weak.lock()) manager->updateNetworkActivityIndicatorVisibility();
    };
    if (isNetworkActivityIndicatorVisible()) {
        // A pending hide stays: when it fires it reads the count afresh and keeps the indicator on.
        NSRunLoop::mainRunLoop()->performBlock(update, {NSRunLoopCommonModes});
        return;
    }
    if (activityIndicatorVisibilityTimer_) activityIndicatorVisibilityTimer_->invalidate();
    activityIndicatorVisibilityTimer_ = NSTimer::timerWithTimeInterval(
        NLNetworkActivityIndicatorInvisibilityDelay, [update](NSTimer&) { update(); }, false);
    NSRunLoop::mainRunLoop()->addTimer(activityIndicatorVisibilityTimer_, NSRunLoopCommonModes);
}

void NLNetworkActivityIndicatorManager::updateNetworkActivityIndicatorVisibility() {
    QV_ASSERT_MAIN_THREAD();
    if (!isEnabled()) return;
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(isNetworkActivityIndicatorVisible());
}
