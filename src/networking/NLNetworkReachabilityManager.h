#pragma once
// Watches whether a host name or an address can be reached, through the
// platform's reachability service, and reports each change as a status: to
// the change callback, to observers of "networkReachabilityStatus" (and of
// "reachable", "reachableViaWWAN", "reachableViaWiFi", which follow it) and as
// the notification "com.netline.networking.reachability.change" (no object;
// user info "NetlineReachabilityNotificationStatusItem" -> the status number).
//
//   auto manager = NLNetworkReachabilityManager::managerForDomain("example.org");
//   manager->setReachabilityStatusChangeBlock([](NLNetworkReachabilityStatus s) { ... });
//   manager->startMonitoring();
//
// Threads: create and call on the main thread. Every status change, callback
// and notification happens on the main thread; an address's first reading is
// taken on a background-priority global queue and applied on the main queue.
//
// A name's first status arrives when the platform first resolves it; an
// address's is read right after monitoring starts. A reading whose flags
// cannot be read gives -1 (unknown), never a status from flags not read. A
// first reading that arrives after the platform reported a change, or after
// monitoring was stopped or restarted, is out of date and dropped.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/net/SCNetworkReachability.h"

using NLNetworkReachabilityStatus = std::int64_t;
enum : NLNetworkReachabilityStatus {
    NLNetworkReachabilityStatusUnknown = -1,
    NLNetworkReachabilityStatusNotReachable = 0,
    NLNetworkReachabilityStatusReachableViaWWAN = 1,
    NLNetworkReachabilityStatusReachableViaWiFi = 2,
};

using NLNetworkReachabilityAssociation = std::uint64_t;
enum : NLNetworkReachabilityAssociation {
    NLNetworkReachabilityForAddress = 1,
    NLNetworkReachabilityForName = 3,
};

inline constexpr const char* NLNetworkingReachabilityDidChangeNotification =
    "com.netline.networking.reachability.change";
inline constexpr const char* NLNetworkingReachabilityNotificationStatusItem = "NetlineReachabilityNotificationStatusItem";

// The status the platform's flags mean: 0 unless reachable without a connection
// that needs the user; then 1 for a WWAN interface, else 2.
NLNetworkReachabilityStatus NLNetworkReachabilityStatusForFlags(SCNetworkReachabilityFlags flags);
// "Unknown", "Not Reachable", "Reachable via WWAN", "Reachable via WiFi" from
// the string table "Netline"; any other value gives the unknown text.
std::string NLStringFromNetworkReachabilityStatus(NLNetworkReachabilityStatus status);

class NLNetworkReachabilityManager : public NSObject {
public:
    using StatusBlock = std::function<void(NLNetworkReachabilityStatus status)>;
    // How a first reading of `manager` reaches the main thread (tests hold it back).
    using FirstReadingDelivery =
        std::function<void(const NLNetworkReachabilityManager* manager, std::function<void()> apply)>;

    explicit NLNetworkReachabilityManager(SCNetworkReachabilityRef reachability);
    ~NLNetworkReachabilityManager() override;

    // The process-wide manager for 0.0.0.0, made once and never released.
    static std::shared_ptr<NLNetworkReachabilityManager> sharedManager();
    // Null when the platform cannot make a reachability for the name or address.
    static std::shared_ptr<NLNetworkReachabilityManager> managerForDomain(const std::string& domain);
    static std::shared_ptr<NLNetworkReachabilityManager> managerForAddress(const sockaddr* address);
    static std::shared_ptr<NLNetworkReachabilityManager> initWithReachability(SCNetworkReachabilityRef reachability);

    NLNetworkReachabilityStatus networkReachabilityStatus() const { return status_; }
    bool isReachable() const { return status_ == 1 || status_ == 2; }
    bool isReachableViaWWAN() const { return status_ == 1; }
    bool isReachableViaWiFi() const { return status_ == 2; }
    const SCNetworkReachabilityRef& networkReachability() const { return reachability_; }
    NLNetworkReachabilityAssociation networkReachabilityAssociation() const { return association_; }
    void setNetworkReachabilityAssociation(NLNetworkReachabilityAssociation association) { association_ = association; }
    std::string localizedNetworkReachabilityStatusString() const;

    void setReachabilityStatusChangeBlock(StatusBlock block) { statusBlock_ = std::move(block); }
    void startMonitoring();
    void stopMonitoring();
    bool isMonitoring() const { return monitoring_; }

    // Replaces the first reading's hop to the main queue (null: the main queue).
    static void setFirstReadingDeliveryForTesting(FirstReadingDelivery delivery);

private:
    void setStatus(NLNetworkReachabilityStatus status);
    // Main thread: a status reported by the platform or read first.
    void applyStatus(NLNetworkReachabilityStatus status);
    static void postChange(NLNetworkReachabilityStatus status);
    void readFirstStatus();

    SCNetworkReachabilityRef reachability_;
    NLNetworkReachabilityAssociation association_ = 0;
    NLNetworkReachabilityStatus status_ = NLNetworkReachabilityStatusUnknown;
    StatusBlock statusBlock_;
    bool monitoring_ = false;
    // Main thread: counts starts and stops, so a first reading knows its monitoring.
    std::uint64_t monitoringGeneration_ = 0;
    // Main thread: the platform reported a change in the current monitoring.
    bool changeReported_ = false;
};
