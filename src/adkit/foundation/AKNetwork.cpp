#include "adkit/foundation/AKNetwork.h"

#include "adkit/foundation/AKAdHosts.h"

AKNetwork::AKNetwork()
    : lockQueue_(dispatch_queue_create("com.adkit.adnet.network")),
      enableQueue_(dispatch_queue_create("com.adkit.adnet.network-enable")) {}

AKNetwork::~AKNetwork() {
    // The monitor's callbacks hold this object only weakly; stop them.
    if (monitor_) monitor_->stop();
}

void AKNetwork::enableNetworkChecking() {
    auto me = self<AKNetwork>();
    dispatch_sync(enableQueue_, [this, me] {
        if (monitor_) return;
        setNetworkType(0);
        auto monitor = AKReachability::monitorForHost(AKAdHosts::reachabilityOrigin().host);
        if (!monitor) return;
        std::weak_ptr<AKNetwork> weak = me;
        if (!monitor->start(enableQueue_, [weak](std::uint32_t flags) {
                if (auto network = weak.lock()) network->setNetworkTypeFromFlags(flags);
            })) {
            return;  // the monitor is released; not watching
        }
        monitor_ = std::move(monitor);
        selfWhileWatching_ = me;
    });
}

void AKNetwork::disableNetworkChecking() {
    std::shared_ptr<AKNetwork> released;
    dispatch_sync(enableQueue_, [this, &released] {
        if (!monitor_) return;
        monitor_->stop();
        monitor_.reset();
        setNetworkType(0);
        released = std::move(selfWhileWatching_);
    });
    // `released` lets go of the self reference here, outside the queue.
}

bool AKNetwork::isChecking() const {
    bool checking = false;
    dispatch_sync(enableQueue_, [&] { checking = monitor_ != nullptr; });
    return checking;
}

void AKNetwork::setNetworkTypeFromFlags(std::uint32_t flags) {
    if (flags & kAKReachabilityFlagsIsWWAN) {
        setNetworkType(3);
    } else if (flags & kAKReachabilityFlagsReachable) {
        setNetworkType(2);
    } else {
        setNetworkType(1);
    }
}

void AKNetwork::setNetworkType(std::uint64_t type) {
    auto me = self<AKNetwork>();
    dispatch_async(lockQueue_, [me, type] {
        if (type == me->type_) return;
        if (type != 0) {
            ++me->changes_;
            if (type >= 2) me->lastKnown_ = type;
        }
        me->type_ = type;
    });
}

std::uint64_t AKNetwork::networkType() const {
    std::uint64_t type = 0;
    dispatch_sync(lockQueue_, [&] { type = type_; });
    return type;
}

std::uint64_t AKNetwork::changeCount() const {
    std::uint64_t count = 0;
    dispatch_sync(lockQueue_, [&] { count = changes_; });
    return count;
}

std::optional<std::string> AKNetwork::stringForType(std::uint64_t type) {
    if (type == 2) return std::string("wi");
    if (type == 3) return std::string("ed");
    return std::nullopt;
}

std::optional<std::string> AKNetwork::networkTypeString() const { return stringForType(networkType()); }

std::optional<std::string> AKNetwork::lastKnownNetworkTypeString() const {
    std::uint64_t type = 0;
    dispatch_sync(lockQueue_, [&] { type = lastKnown_; });
    return stringForType(type);
}
