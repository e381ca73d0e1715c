// NLNetworkReachabilityManager: platform reachability flags as statuses, told
// on the main thread.
#include "networking/NLNetworkReachabilityManager.h"

#include <netinet/in.h>

#include <mutex>

#include "networking/NLLocalizedString.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/runloop/NSRunLoop.h"

namespace {

const char* const kStatusKey = "networkReachabilityStatus";
const char* const kDependentKeys[] = {"reachable", "reachableViaWWAN", "reachableViaWiFi"};

struct DeliverySlot {
    std::mutex mutex;
    NLNetworkReachabilityManager::FirstReadingDelivery delivery;
};

DeliverySlot& deliverySlot() {
    static ProcessLifetime<DeliverySlot> shared;
    return *shared;
}

void deliverFirstReading(const NLNetworkReachabilityManager* manager, std::function<void()> apply) {
    NLNetworkReachabilityManager::FirstReadingDelivery delivery;
    {
        std::lock_guard lock(deliverySlot().mutex);
        delivery = deliverySlot().delivery;
    }
    if (delivery) delivery(manager, std::move(apply));
    else dispatch_async(dispatch_get_main_queue(), std::move(apply));
}

}  // namespace

NLNetworkReachabilityStatus NLNetworkReachabilityStatusForFlags(SCNetworkReachabilityFlags flags) {
    const bool reachable = flags & kSCNetworkReachabilityFlagsReachable;
    const bool needsConnection = flags & kSCNetworkReachabilityFlagsConnectionRequired;
    const bool canConnectAutomatically =
        flags & (kSCNetworkReachabilityFlagsConnectionOnDemand | kSCNetworkReachabilityFlagsConnectionOnTraffic);
    const bool canConnectWithoutUser =
        canConnectAutomatically && !(flags & kSCNetworkReachabilityFlagsInterventionRequired);
    const bool networkReachable = reachable && (!needsConnection || canConnectWithoutUser);
    if (!networkReachable) return NLNetworkReachabilityStatusNotReachable;
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) return NLNetworkReachabilityStatusReachableViaWWAN;
    return NLNetworkReachabilityStatusReachableViaWiFi;
}

std::string NLStringFromNetworkReachabilityStatus(NLNetworkReachabilityStatus status) {
    switch (status) {
        case NLNetworkReachabilityStatusNotReachable: return NLLocalizedString("Not Reachable");
        case NLNetworkReachabilityStatusReachableViaWWAN: return NLLocalizedString("Reachable via WWAN");
        case NLNetworkReachabilityStatusReachableViaWiFi: return NLLocalizedString("Reachable via WiFi");
        default: return NLLocalizedString("Unknown");
    }
}

NLNetworkReachabilityManager::NLNetworkReachabilityManager(SCNetworkReachabilityRef reachability)
    : reachability_(std::move(reachability)) {}

NLNetworkReachabilityManager::~NLNetworkReachabilityManager() {
    if (!reachability_) return;
    // The platform callback holds the manager weakly; leaving it set is harmless,
    // but unscheduling stops the watching it would do for nobody.
    (void)SCNetworkReachabilityUnscheduleFromRunLoop(reachability_, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    (void)SCNetworkReachabilitySetCallback(reachability_, nullptr);
}

std::shared_ptr<NLNetworkReachabilityManager> NLNetworkReachabilityManager::sharedManager() {
    static ProcessLifetime<std::shared_ptr<NLNetworkReachabilityManager>> shared([] {
        sockaddr_in address{};
        address.sin_family = AF_INET;  // 0.0.0.0, port 0
        return managerForAddress(reinterpret_cast<const sockaddr*>(&address));
    }());
    return *shared;
}

std::shared_ptr<NLNetworkReachabilityManager> NLNetworkReachabilityManager::managerForDomain(const std::string& domain) {
    auto reachability = SCNetworkReachabilityCreateWithName(domain.c_str());
    if (!reachability) return nullptr;
    auto manager = initWithReachability(std::move(reachability));
    manager->setNetworkReachabilityAssociation(NLNetworkReachabilityForName);
    return manager;
}

std::shared_ptr<NLNetworkReachabilityManager> NLNetworkReachabilityManager::managerForAddress(const sockaddr* address) {
    auto reachability = SCNetworkReachabilityCreateWithAddress(address);
    if (!reachability) return nullptr;
    auto manager = initWithReachability(std::move(reachability));
    manager->setNetworkReachabilityAssociation(NLNetworkReachabilityForAddress);
    return manager;
}

std::shared_ptr<NLNetworkReachabilityManager> NLNetworkReachabilityManager::initWithReachability(
    SCNetworkReachabilityRef reachability) {
    return std::make_shared<NLNetworkReachabilityManager>(std::move(reachability));
}

std::string NLNetworkReachabilityManager::localizedNetworkReachabilityStatusString() const {
    return NLStringFromNetworkReachabilityStatus(status_);
}

void NLNetworkReachabilityManager::setFirstReadingDeliveryForTesting(FirstReadingDelivery delivery) {
    std::lock_guard lock(deliverySlot().mutex);
    deliverySlot().delivery = std::move(delivery);
}

void NLNetworkReachabilityManager::setStatus(NLNetworkReachabilityStatus status) {
    willChangeValueForKey(kStatusKey);
    for (const char* key : kDependentKeys) willChangeValueForKey(key);
    status_ = status;
    for (const char* key : kDependentKeys) didChangeValueForKey(key);
    didChangeValueForKey(kStatusKey);
}

void NLNetworkReachabilityManager::applyStatus(NLNetworkReachabilityStatus status) {
    QV_ASSERT_MAIN_THREAD();
    setStatus(status);
    if (auto block = statusBlock_) block(status);
}

void NLNetworkReachabilityManager::postChange(NLNetworkReachabilityStatus status) {
    Value userInfo = Value::dictionary();
    userInfo.setObject(NLNetworkingReachabilityNotificationStatusItem, Value(status));
    NSNotificationCenter::defaultCenter()->postNotificationName(NLNetworkingReachabilityDidChangeNotification, nullptr,
                                                                userInfo);
}

void NLNetworkReachabilityManager::startMonitoring() {
    QV_ASSERT_MAIN_THREAD();
    stopMonitoring();
    if (!reachability_) return;
    std::weak_ptr<NLNetworkReachabilityManager> weak = weakSelf<NLNetworkReachabilityManager>();
    const bool callbackSet = SCNetworkReachabilitySetCallback(
        reachability_, [weak](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags flags) {
            const NLNetworkReachabilityStatus status = NLNetworkReachabilityStatusForFlags(flags);
            if (auto manager = weak.lock()) {
                manager->changeReported_ = true;
                manager->applyStatus(status);
            }
            dispatch_async(dispatch_get_main_queue(), [status] { postChange(status); });
        });
    if (!callbackSet ||
        !SCNetworkReachabilityScheduleWithRunLoop(reachability_, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes))
        return;  // not watching: nothing will be reported
    monitoring_ = true;
    changeReported_ = false;
    ++monitoringGeneration_;
    if (association_ != NLNetworkReachabilityForName) readFirstStatus();
}

void NLNetworkReachabilityManager::readFirstStatus() {
    std::weak_ptr<NLNetworkReachabilityManager> weak = weakSelf<NLNetworkReachabilityManager>();
    const std::uint64_t generation = monitoringGeneration_;
    auto reachability = reachability_;
    const NLNetworkReachabilityManager* identity = this;
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_BACKGROUND, 0), [weak, identity, generation,
                                                                                      reachability] {
        SCNetworkReachabilityFlags flags = 0;
        const NLNetworkReachabilityStatus status = SCNetworkReachabilityGetFlags(reachability, &flags)
                                                       ? NLNetworkReachabilityStatusForFlags(flags)
                                                       : NLNetworkReachabilityStatusUnknown;
        deliverFirstReading(identity, [weak, generation, status] {
            auto manager = weak.lock();
            if (!manager) return;
            // Out of date once the platform reported a change or the monitoring it belongs to ended.
            if (!manager->monitoring_ || manager->monitoringGeneration_ != generation || manager->changeReported_)
                return;
            manager->applyStatus(status);
            postChange(status);
        });
    });
}

void NLNetworkReachabilityManager::stopMonitoring() {
    QV_ASSERT_MAIN_THREAD();
    if (!reachability_) return;
    if (monitoring_) ++monitoringGeneration_;
    monitoring_ = false;
    // False when it was not scheduled: nothing to undo.
    (void)SCNetworkReachabilityUnscheduleFromRunLoop(reachability_, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
}
