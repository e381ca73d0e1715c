#include "adkit/rendering/AKSDKInfo.h"

#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {
struct ProviderSlot {
    std::mutex mutex;
    AKSDKInfo::Provider provider;
};
ProviderSlot& slot() {
    static ProcessLifetime<ProviderSlot> shared;
    return *shared;
}
}  // namespace

void AKSDKInfo::setSDKVersionProvider(Provider provider) {
    std::lock_guard<std::mutex> lock(slot().mutex);
    slot().provider = std::move(provider);
}

std::string AKSDKInfo::SDKVersion() {
    Provider provider;
    {
        std::lock_guard<std::mutex> lock(slot().mutex);
        provider = slot().provider;
    }
    return provider ? provider() : std::string();
}
