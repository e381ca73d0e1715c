#include "screens/ServerConfiguration.h"

#include "core/CatalogueReplies.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"

namespace {

// The value itself when user defaults can hold it; nullopt for nulls and objects.
std::optional<Value> storable(const Value& value) {
    switch (value.type()) {
        case Value::Type::Null:
        case Value::Type::Object:
            return std::nullopt;
        case Value::Type::Array: {
            ValueArray kept;
            for (const Value& element : *value.arrayRef())
                if (auto copy = storable(element)) kept.push_back(std::move(*copy));
            return Value(std::move(kept));
        }
        case Value::Type::Dictionary: {
            ValueDictionary kept;
            for (const auto& [key, element] : *value.dictionaryRef())
                if (auto copy = storable(element)) kept.emplace(key, std::move(*copy));
            return Value(std::move(kept));
        }
        default:
            return value;
    }
}

}  // namespace

Value configurationForDefaults(const Value& configuration) {
    auto copy = storable(configuration);
    return copy ? *copy : Value();
}

bool cacheConfiguration(const Value& configuration) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (!configuration.isDictionary()) {
        defaults->removeObjectForKey(kDefaultInfoQuorvane);
        return defaults->synchronize();
    }
    NSErrorPtr error;
    if (!defaults->setObject(configurationForDefaults(configuration), kDefaultInfoQuorvane, &error)) {
        NSLog("The server configuration was not cached: %@", error ? error->localizedDescription() : "");
        return false;
    }
    if (!defaults->synchronize()) {
        NSLog("The server configuration was not written to the preferences file");
        return false;
    }
    return true;
}

Value cachedConfiguration() {
    return NSUserDefaults::standardUserDefaults()->dictionaryForKey(kDefaultInfoQuorvane);
}

std::string bundleVersion() {
    return NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleVersion").stringValue();
}

std::optional<std::string> requiredUpdateLink(const Value& configuration, const std::string& bundle) {
    const Value version = configuration["AppVersion"];
    const std::string versionText = version.isString() || version.isNumber() ? version.stringValue() : std::string();
    if (versionText.empty() || !CatalogueReply::isNewerVersion(versionText, bundle)) return std::nullopt;
    const Value linkValue = configuration["AppLink"];
    const std::string* link = linkValue.string();
    if (!link || link->empty() || !NSURL::URLWithString(*link)) return std::nullopt;
    if (!UIApplication::sharedApplication()->canOpenURL(*link)) return std::nullopt;
    return *link;
}
