#pragma once
// Named notifications, delivered synchronously on the posting thread (block
// observers with a queue get them on that queue).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/Dispatch.h"
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
                                                 dispatch_queue_t queue, Handler block);

    void postNotification(const NSNotification& notification);
    void postNotificationName(const std::string& name, const std::shared_ptr<NSObject>& object = nullptr,
                              Value userInfo = {});

    std::size_t observerCount(const std::string& name) const;

private:
    struct Entry {
        std::uint64_t id;
        const NSObject* observerKey;
        std::weak_ptr<NSObject> observer;
        bool weakObserver;  // false for block registrations, which live until removed
        std::string name;
        const NSObject* objectKey;
        std::weak_ptr<NSObject> object;
        dispatch_queue_t queue;
        std::shared_ptr<Handler> handler;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextId_ = 1;
};
