#include "networking/NLLocalizedString.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/foundation/Value.h"

namespace {

struct Tables {
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, Value> loaded;  // (bundle folder, table) -> table
    std::shared_ptr<NSBundle> bundle;                              // null: the main bundle
};

Tables& tables() {
    static ProcessLifetime<Tables> instance;
    return *instance;
}

Value readTable(const NSBundle& bundle, const std::string& table) {
    auto path = bundle.pathForResource(table + ".strings", "json");
    if (!path) return {};
    auto bytes = dataWithContentsOfFile(*path);
    if (!bytes) return {};
    auto parsed = Value::fromJSON(std::string(bytes->begin(), bytes->end()));
    return parsed && parsed->isDictionary() ? *parsed : Value();
}

}  // namespace

std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table, const NSBundle& bundle) {
    auto& all = tables();
    Value entries;
    {
        std::lock_guard lock(all.mutex);
        auto id = std::make_pair(bundle.bundlePath(), table);
        auto found = all.loaded.find(id);
        if (found == all.loaded.end()) found = all.loaded.emplace(id, readTable(bundle, table)).first;
        entries = found->second;
    }
    auto text = entries[key];
    if (text.isString() && !text.string()->empty()) return *text.string();
    return key;
}

std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table) {
    std::shared_ptr<NSBundle> bundle;
    {
        std::lock_guard lock(tables().mutex);
        bundle = tables().bundle;
    }
    return NLLocalizedStringFromTable(key, table, bundle ? *bundle : *NSBundle::mainBundle());
}

std::string NLLocalizedString(const std::string& key) { return NLLocalizedStringFromTable(key, "Netline"); }

std::shared_ptr<NSBundle> NLSetStringTableBundle(std::shared_ptr<NSBundle> bundle) {
    std::lock_guard lock(tables().mutex);
    std::swap(tables().bundle, bundle);
    return bundle;
}
