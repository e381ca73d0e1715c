#include "networking/NLLocalizedString.h"

#include <mutex>
#include <utility>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// The bundle whose tables the library reads; null: the main bundle.
struct TableBundle {
    std::mutex mutex;
    std::shared_ptr<NSBundle> bundle;
};

TableBundle& tableBundle() {
    static ProcessLifetime<TableBundle> shared;
    return *shared;
}

}  // namespace

std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table, const NSBundle& bundle) {
    return bundle.localizedStringForKey(key, key, table);
}

std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table) {
    std::shared_ptr<NSBundle> bundle;
    {
        std::lock_guard lock(tableBundle().mutex);
        bundle = tableBundle().bundle;
    }
    return NLLocalizedStringFromTable(key, table, bundle ? *bundle : *NSBundle::mainBundle());
}

std::string NLLocalizedString(const std::string& key) { return NLLocalizedStringFromTable(key, "Netline"); }

std::shared_ptr<NSBundle> NLSetStringTableBundle(std::shared_ptr<NSBundle> bundle) {
    std::lock_guard lock(tableBundle().mutex);
    std::swap(tableBundle().bundle, bundle);
    return bundle;
}
