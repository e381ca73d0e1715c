#include "adkit/foundation/AKStatisticDictionary.h"

#include "adkit/foundation/AKObjectAdditions.h"
#include "platform/foundation/NSLog.h"

AKStatisticDictionary::AKStatisticDictionary(const std::string& queueLabel,
                                             const std::shared_ptr<AKStatisticDictionaryDelegate>& delegate)
    : serialQueue_(dispatch_queue_create(queueLabel)), delegate_(delegate) {}

AKStatisticDictionary::~AKStatisticDictionary() {
    std::lock_guard<std::mutex> lock(delegateLock_);
    if (wasDeallocated_) wasDeallocated_->store(true);
}

void AKStatisticDictionary::setDelegate(const std::shared_ptr<AKStatisticDictionaryDelegate>& delegate) {
    std::lock_guard<std::mutex> lock(delegateLock_);
    delegate_ = delegate;
}

std::shared_ptr<AKStatisticDictionaryDelegate> AKStatisticDictionary::delegate() const {
    std::lock_guard<std::mutex> lock(delegateLock_);
    return delegate_.lock();
}

void AKStatisticDictionary::dispatchAsync(bool shouldNotifyDelegate, std::function<void(ValueDictionary&)> write) {
    auto me = self<AKStatisticDictionary>();
    dispatch_async(serialQueue_, [me, shouldNotifyDelegate, write = std::move(write)] {
        if (!me->allowModification_) return;
        write(me->statistics_);
        if (shouldNotifyDelegate && !me->hasEnqueuedNotificationBlock_) me->enqueueNotificationBlock();
    });
}

void AKStatisticDictionary::enqueueNotificationBlock() {
    hasEnqueuedNotificationBlock_ = true;
    auto me = self<AKStatisticDictionary>();
    dispatch_async(serialQueue_, [me] {
        me->hasEnqueuedNotificationBlock_ = false;
        auto delegate = me->delegate();
        if (!delegate) return;
        dispatch_queue_t queue = delegate->notificationQueue();
        if (!queue) return;
        dispatch_async(queue, [me] {
            // Read anew: a delegate that went away in between is not called.
            if (auto current = me->delegate()) current->didUpdateStatisticDictionary(me);
        });
    });
}

void AKStatisticDictionary::setObject(const Value& object, const std::string& key, bool shouldNotifyDelegate) {
    if (object.isNull() || key.empty()) return;
    Value stored = object.copy();
    dispatchAsync(shouldNotifyDelegate, [stored, key](ValueDictionary& statistics) { statistics[key] = stored; });
}

void AKStatisticDictionary::addDecimalNumber(const NSDecimalNumberPtr& number, const std::string& key,
                                             bool shouldNotifyDelegate) {
    if (!number || key.empty()) return;
    dispatchAsync(shouldNotifyDelegate, [number, key](ValueDictionary& statistics) {
        auto found = statistics.find(key);
        NSDecimalNumberPtr current = found == statistics.end() ? NSDecimalNumber::zero() : NSDecimalNumber::fromValue(found->second);
        if (!current) return;  // another kind of value stays as it is
        if (auto sum = current->decimalNumberByAdding(*number)) statistics[key] = Value(sum);
    });
}

void AKStatisticDictionary::incrementNumberForKey(const std::string& key, bool shouldNotifyDelegate) {
    addDecimalNumber(NSDecimalNumber::one(), key, shouldNotifyDelegate);
}

void AKStatisticDictionary::decrementNumberForKey(const std::string& key, bool shouldNotifyDelegate) {
    addDecimalNumber(ak_negativeOne(), key, shouldNotifyDelegate);
}

void AKStatisticDictionary::addObjectToArray(const Value& object, const std::string& key, bool shouldNotifyDelegate) {
    if (object.isNull() || key.empty()) return;
    Value stored = object.copy();
    dispatchAsync(shouldNotifyDelegate, [stored, key](ValueDictionary& statistics) {
        auto found = statistics.find(key);
        if (found == statistics.end()) {
            statistics[key] = Value::array({stored});
        } else if (found->second.isArray()) {
            found->second.append(stored);
        }
    });
}

Value AKStatisticDictionary::objectForKey(const std::string& key) const {
    Value value;
    dispatch_sync(serialQueue_, [&] {
        auto found = statistics_.find(key);
        if (found != statistics_.end()) value = found->second.copy();
    });
    return value;
}

Value AKStatisticDictionary::dictionary() const {
    Value snapshot;
    dispatch_sync(serialQueue_, [&] { snapshot = Value(statistics_).copy(); });
    return snapshot;
}

void AKStatisticDictionary::didFinishModifying() {
    dispatch_sync(serialQueue_, [&] { allowModification_ = false; });
    dispatch_sync(serialQueue_, [&] {
        auto current = delegate();
        if (!current) return;
        if (dispatch_queue_t queue = current->notificationQueue()) {
            dispatch_sync(queue, [] {});  // every notification already handed over has run
        }
    });
    setDelegate(nullptr);
}

std::string AKStatisticDictionary::description() const {
    const Value snapshot = dictionary();
    const auto json = ak_JSONStringPretty(snapshot, true);
    return format("<%@: %p>\nqueue: %s\nstatistics: %@", className(), static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)), queueLabel(),
                  json ? Value(*json) : snapshot);
}

void AKStatisticDictionary::setWasDeallocated(std::shared_ptr<std::atomic<bool>> flag) {
    std::lock_guard<std::mutex> lock(delegateLock_);
    wasDeallocated_ = std::move(flag);
}

std::shared_ptr<std::atomic<bool>> AKStatisticDictionary::wasDeallocated() const {
    std::lock_guard<std::mutex> lock(delegateLock_);
    return wasDeallocated_;
}
