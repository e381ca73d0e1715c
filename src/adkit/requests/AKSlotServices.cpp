#include "adkit/requests/AKSlotServices.h"

#include <mutex>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKRequestError.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
// The installed factories and providers, each behind one holder.
template <class T>
AKInstalled<T>& installed() {
    static ProcessLifetime<AKInstalled<T>> holder;
    return *holder;
}
}  // namespace

// ---- Mediation ---------------------------------------------------------------------

std::shared_ptr<AKMConfig> AKMConfig::initWithAppKey(const std::string& appKey, const Value& configDict,
                                                     NSErrorPtr* error) {
    const auto factory = installed<Factory>().get();
    if (!factory) return unavailable(appKey, configDict, error);
    return (*factory)(appKey, configDict, error);
}

void AKMConfig::setFactory(Factory factory) {
    installed<Factory>().set(factory ? std::make_shared<Factory>(std::move(factory)) : nullptr);
}

std::shared_ptr<AKMConfig> AKMConfig::unavailable(const std::string& /*appKey*/, const Value& /*configDict*/,
                                                  NSErrorPtr* error) {
    if (error) *error = AKRequestError::errorWithCode(8);
    return nullptr;
}

std::shared_ptr<AKMToAKGlue> AKMToAKGlue::make() {
    const auto factory = installed<Factory>().get();
    if (factory) {
        if (auto glue = (*factory)()) return glue;
    }
    return std::make_shared<AKMToAKGlue>();
}

void AKMToAKGlue::setFactory(Factory factory) {
    installed<Factory>().set(factory ? std::make_shared<Factory>(std::move(factory)) : nullptr);
}

namespace {
using AdapterNamesProvider = std::function<Value()>;
}  // namespace

Value AKMAdNetworkAdapter::availableAdapterNames() {
    const auto provider = installed<AdapterNamesProvider>().get();
    return provider && *provider ? (*provider)() : Value();
}

void AKMAdNetworkAdapter::setAvailableAdapterNamesProvider(std::function<Value()> provider) {
    installed<AdapterNamesProvider>().set(provider ? std::make_shared<AdapterNamesProvider>(std::move(provider))
                                                   : nullptr);
}

// ---- Slot extensions ------------------------------------------------------------------

std::shared_ptr<AKSlotExtensions> AKSlotExtensions::shared() {
    if (auto extensions = installed<AKSlotExtensions>().get()) return extensions;
    installed<AKSlotExtensions>().setIfEmpty(std::make_shared<AKSlotExtensions>());
    return installed<AKSlotExtensions>().get();
}

void AKSlotExtensions::install(std::shared_ptr<AKSlotExtensions> extensions) {
    installed<AKSlotExtensions>().set(std::move(extensions));
}

void AKSlotServicesRegisterDefaults() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKApplication::addEarlyActivity([] {
            installed<AKSlotExtensions>().setIfEmpty(std::make_shared<AKSlotExtensions>());
        });
    });
}
