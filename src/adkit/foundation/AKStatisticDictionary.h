#pragma once
// The thread-safe, in-memory store of request-quality statistics that every ad
// and the application object keep.
//
// All reads and writes run on the dictionary's serial queue ("com.adkit.adnet.
// statistics" unless named otherwise): writes are asynchronous and never block
// the caller, reads are synchronous and see every write queued before them. A
// burst of notifying writes gives the delegate one didUpdateStatisticDictionary
// on the delegate's notification queue, after all writes queued before the
// first of them. didFinishModifying makes the dictionary read-only for good.
// Snapshots (`dictionary`) are deep copies: later writes never show in them.
//
// Never read the dictionary synchronously from its own serial queue.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSDecimalNumber.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class AKStatisticDictionary;

class AKStatisticDictionaryDelegate {
public:
    virtual ~AKStatisticDictionaryDelegate() = default;
    // The queue for notifications; nullptr: none are sent.
    virtual dispatch_queue_t notificationQueue() = 0;
    virtual void didUpdateStatisticDictionary(const std::shared_ptr<AKStatisticDictionary>& dictionary) = 0;
};

class AKStatisticDictionary : public NSObject {
public:
    explicit AKStatisticDictionary(const std::string& queueLabel = "com.adkit.adnet.statistics",
                                   const std::shared_ptr<AKStatisticDictionaryDelegate>& delegate = nullptr);
    ~AKStatisticDictionary() override;

    void setDelegate(const std::shared_ptr<AKStatisticDictionaryDelegate>& delegate);
    std::shared_ptr<AKStatisticDictionaryDelegate> delegate() const;

    // Asynchronous writes. A null key or value is ignored.
    void setObject(const Value& object, const std::string& key, bool shouldNotifyDelegate = false);
    // The stored decimal (zero when missing) plus the number; a stored value of
    // another kind is left unchanged.
    void addDecimalNumber(const NSDecimalNumberPtr& number, const std::string& key, bool shouldNotifyDelegate);
    void incrementNumberForKey(const std::string& key, bool shouldNotifyDelegate);
    void decrementNumberForKey(const std::string& key, bool shouldNotifyDelegate);
    // Appends to the array under the key (made when missing); another kind is left unchanged.
    void addObjectToArray(const Value& object, const std::string& key, bool shouldNotifyDelegate);

    // Synchronous reads: a deep copy of the value, or of all statistics.
    Value objectForKey(const std::string& key) const;
    Value dictionary() const;

    void didFinishModifying();
    std::string description() const override;
    std::string queueLabel() const { return serialQueue_->label(); }
    const dispatch_queue_t& serialQueue() const { return serialQueue_; }

    // A flag this dictionary sets when it goes away; shared with whoever watches.
    void setWasDeallocated(std::shared_ptr<std::atomic<bool>> flag);
    std::shared_ptr<std::atomic<bool>> wasDeallocated() const;

private:
    void dispatchAsync(bool shouldNotifyDelegate, std::function<void(ValueDictionary&)> write);
    void enqueueNotificationBlock();  // on the serial queue

    dispatch_queue_t serialQueue_;
    mutable std::mutex delegateLock_;
    std::weak_ptr<AKStatisticDictionaryDelegate> delegate_;
    std::shared_ptr<std::atomic<bool>> wasDeallocated_;  // under delegateLock_
    // On serialQueue_.
    ValueDictionary statistics_;
    bool allowModification_ = true;
    bool hasEnqueuedNotificationBlock_ = false;
};
