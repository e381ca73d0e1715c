#include "platform/foundation/NSNotificationCenter.h"

#include "platform/foundation/ProcessLifetime.h"

namespace {
// The registration object handed out by the block form.
class NotificationObserver : public NSObject {};
}  // namespace

std::shared_ptr<NSNotificationCenter> NSNotificationCenter::defaultCenter() {
    static ProcessLifetime<std::shared_ptr<NSNotificationCenter>> center(std::make_shared<NSNotificationCenter>());
    return *center;
}

void NSNotificationCenter::addObserver(const std::shared_ptr<NSObject>& observer, Handler handler,
                                       const std::string& name, const std::shared_ptr<NSObject>& object) {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{nextId_++, observer.get(), observer, true, name, object.get(), object, nullptr,
                             std::make_shared<Handler>(std::move(handler))});
}

void NSNotificationCenter::removeObserver(const NSObject* observer, const std::string& name, const NSObject* object) {
    std::vector<Entry> removed;  // released outside the lock
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->observerKey == observer && (name.empty() || it->name == name) && (!object || it->objectKey == object)) {
            removed.push_back(std::move(*it));
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

std::shared_ptr<NSObject> NSNotificationCenter::addObserverForName(const std::string& name,
                                                                   const std::shared_ptr<NSObject>& object,
                                                                   NotificationDeliveryQueue queue, Handler block) {
    auto token = std::make_shared<NotificationObserver>();
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{nextId_++, token.get(), token, false, name, object.get(), object, std::move(queue),
                             std::make_shared<Handler>(std::move(block))});
    return token;
}

void NSNotificationCenter::postNotification(const NSNotification& notification) {
    deliver(notification, false);
}

void NSNotificationCenter::postNotificationToObserversOfObject(const NSNotification& notification) {
    if (!notification.object()) return;
    deliver(notification, true);
}

void NSNotificationCenter::deliver(const NSNotification& notification, bool objectObserversOnly) {
    struct Delivery {
        std::shared_ptr<NSObject> keepObserver;
        NotificationDeliveryQueue queue;
        std::shared_ptr<Handler> handler;
    };
    std::vector<Delivery> deliveries;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_, [](const Entry& e) { return e.weakObserver && e.observer.expired(); });
        for (const auto& e : entries_) {
            if (!e.name.empty() && e.name != notification.name()) continue;
            if (objectObserversOnly && !e.objectKey) continue;
            if (e.objectKey) {
                if (e.objectKey != notification.object().get() || e.object.expired()) continue;
            }
            auto keep = e.observer.lock();
            if (e.weakObserver && !keep) continue;
            deliveries.push_back({keep, e.queue, e.handler});
        }
    }
    for (auto& d : deliveries) {
        if (d.queue) {
            auto handler = d.handler;
            NSNotification copy = notification;
            d.queue.async([handler, copy] { (*handler)(copy); });
        } else {
            (*d.handler)(notification);
        }
    }
}

void NSNotificationCenter::postNotificationName(const std::string& name, const std::shared_ptr<NSObject>& object,
                                                Value userInfo) {
    postNotification(NSNotification(name, object, std::move(userInfo)));
}

std::size_t NSNotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& e : entries_)
        if (e.name == name && (!e.weakObserver || !e.observer.expired())) ++n;
    return n;
}
