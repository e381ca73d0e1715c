// The provider of the shared reachability manager held by the HTTP managers.
#include "networking/NLNetworkReachabilityManagerFwd.h"

#include <mutex>

#include "networking/NLNetworkReachabilityManager.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

struct ProviderSlot {
    std::mutex mutex;
    NLNetworkReachabilityManagerProvider provider;
};

ProviderSlot& slot() {
    static ProcessLifetime<ProviderSlot> shared;
    return *shared;
}

}  // namespace

void NLSetSharedNetworkReachabilityManagerProvider(NLNetworkReachabilityManagerProvider provider) {
    std::lock_guard lock(slot().mutex);
    slot().provider = std::move(provider);
}

std::shared_ptr<NLNetworkReachabilityManager> NLSharedNetworkReachabilityManager() {
    NLNetworkReachabilityManagerProvider provider;
    {
        std::lock_guard lock(slot().mutex);
        provider = slot().provider;
    }
    // Called outside the lock: the provider may make the shared instance on first use.
    return provider ? provider() : NLNetworkReachabilityManager::sharedManager();
}
