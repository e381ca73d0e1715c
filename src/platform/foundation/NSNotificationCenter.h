#pragma once
// Named notifications, delivered synchronously on the posting thread (block
// observers with a queue get them on that queue).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSNotification {
public:
    NSNotification(std::string name, std::shared_ptr<NSObject> object = nullptr, Value userInfo = {})
        : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}
    const std::string& name() const { return name_; }
    const std::shared_ptr<NSObject>& object() const { return object_; }
    const Value& userInfo() const { return userInfo_; }

private:
    std::string name_;
    std::shared_ptr<NSObject> object_;
    Value userInfo_;
};

// The queue a block observer's notifications run on. Foundation sits below
// dispatch, so it holds a queue as "something to hand a block to": a dispatch
// queue (anything with async(block)) converts to it; null stands for the
// posting thread.
class NotificationDeliveryQueue {
public:
    NotificationDeliveryQueue() = default;
    NotificationDeliveryQueue(std::nullptr_t) {}
    template <class Queue>
    NotificationDeliveryQueue(std::shared_ptr<Queue> queue) {
        if (queue) async_ = [queue = std::move(queue)](std::function<void()> block) { queue->async(std::move(block)); };
    }
    explicit operator bool() const { return static_cast<bool>(async_); }
    void async(std::function<void()> block) const { async_(std::move(block)); }

private:
    std::function<void(std::function<void()>)> async_;
};

class NSNotificationCenter : public NSObject {
public:
    using Handler = std::function<void(const NSNotification&)>;

    static std::shared_ptr<NSNotificationCenter> defaultCenter();

    // Selector form: the observer is held weakly; its handler stops once it is gone.
    // An empty name matches every name; a null object matches every sender.
    void addObserver(const std::shared_ptr<NSObject>& observer, Handler handler, const std::string& name,
                     const std::shared_ptr<NSObject>& object = nullptr);
    // Removes the observer's registrations (all, or those matching name and object).
    void removeObserver(const NSObject* observer, const std::string& name = {}, const NSObject* object = nullptr);

    // Block form: returns the registration, which is itself the observer to remove.
    // With a queue, the block runs there asynchronously; else on the posting thread.
    std::shared_ptr<NSObject> addObserverForName(const std::string& name, const std::shared_ptr<NSObject>& object,
                                                 NotificationDeliveryQueue queue, Handler block);

    void postNotification(const NSNotification& notification);
    // Delivers only to registrations made for the notification's object itself:
    // observers of every sender do not hear it (nothing is delivered without an object).
    void postNotificationToObserversOfObject(const NSNotification& notification);
    void postNotificationName(const std::string& name, const std::shared_ptr<NSObject>& object = nullptr,
                              Value userInfo = {});

    std::size_t observerCount(const std::string& name) const;

private:
    void deliver(const NSNotification& notification, bool objectObserversOnly);
    struct Entry {
        std::uint64_t id;
        const NSObject* observerKey;
        std::weak_ptr<NSObject> observer;
        bool weakObserver;  // false for block registrations, which live until removed
        std::string name;
        const NSObject* objectKey;
        std::weak_ptr<NSObject> object;
        NotificationDeliveryQueue queue;
        std::shared_ptr<Handler> handler;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextId_ = 1;
};
