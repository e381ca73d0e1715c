#pragma once
// The kind of network the device is on, for the ad request's "net" and
// "net_last": 0 unknown (not watching), 1 not reachable, 2 Wi-Fi, 3 cellular.
//
// Watching is switched on and off on "com.adkit.adnet.network-enable", where
// the reachability callbacks arrive too; the values are written asynchronously
// and read synchronously on "com.adkit.adnet.network", so a reader on any
// thread sees every change queued before its read. While watching, the object
// keeps itself alive (the reachability source may still call it).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKReachability.h"
#include "platform/foundation/NSObject.h"

class AKNetwork : public NSObject {
public:
    AKNetwork();
    ~AKNetwork() override;

    void enableNetworkChecking();
    void disableNetworkChecking();
    bool isChecking() const;

    // 3 when the is-WWAN flag is set, else 2 when reachable, else 1.
    void setNetworkTypeFromFlags(std::uint32_t flags);
    void setNetworkType(std::uint64_t type);
    std::uint64_t networkType() const;
    std::uint64_t changeCount() const;
    std::optional<std::string> networkTypeString() const;          // "wi" for 2, "ed" for 3
    std::optional<std::string> lastKnownNetworkTypeString() const;

private:
    static std::optional<std::string> stringForType(std::uint64_t type);
    dispatch_queue_t lockQueue_;
    dispatch_queue_t enableQueue_;
    // On lockQueue_.
    std::uint64_t type_ = 0;
    std::uint64_t lastKnown_ = 0;
    std::uint64_t changes_ = 0;
    // On enableQueue_.
    std::unique_ptr<AKReachabilityMonitor> monitor_;
    std::shared_ptr<AKNetwork> selfWhileWatching_;
};
