#include "adkit/rendering/AKPublisherToolbarCredentials.h"

#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
Value storedDictionary() {
    const Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(AKPublisherToolbarCredentials::kDefaultsKey);
    return stored.isDictionary() ? stored : Value();
}
}  // namespace

bool AKPublisherToolbarCredentials::hasToolbarCredentials() { return !storedDictionary().isNull(); }

std::mutex& AKPublisherToolbarCredentials::credentialsLock() {
    static ProcessLifetime<std::mutex> lock;
    return *lock;
}

AKPublisherToolbarCredentials::AKPublisherToolbarCredentials() {
    const Value stored = storedDictionary();
    if (!stored.isNull()) credentials_ = stored.copy();
}

void AKPublisherToolbarCredentials::storeCredentials(const Value& credentials) {
    std::lock_guard lock(credentialsLock());
    credentials_ = credentials.copy();
    const auto defaults = NSUserDefaults::standardUserDefaults();
    // A failed write stays in memory for this run; synchronize() reports it and nothing more can be done.
    (void)defaults->setObject(credentials_, kDefaultsKey);
    (void)defaults->synchronize();
}

void AKPublisherToolbarCredentials::clearCredentials() {
    std::lock_guard lock(credentialsLock());
    const auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(kDefaultsKey);
    (void)defaults->synchronize();
    credentials_ = Value();
}
