#pragma once
// The main bundle: the resources folder that ships beside the executable, with
// its information dictionary (Info.json) and its string tables
// (<table>.strings.json: one JSON object of keys to texts). QUORVANE_RESOURCES
// overrides the folder. Safe from any thread.
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSBundle : public NSObject {
public:
    explicit NSBundle(std::string root);
    static std::shared_ptr<NSBundle> mainBundle();

    const std::string& bundlePath() const { return root_; }
    // The information dictionary ("CFBundleVersion", "CFBundleIdentifier", ...).
    Value infoDictionary() const;
    Value objectForInfoDictionaryKey(const std::string& key) const { return infoDictionary()[key]; }
    std::string bundleIdentifier() const;

    // Path of the resource "<name>.<type>" (type may be empty or included in the
    // name), searched in the root and then in subdirectory; nullopt when absent.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type,
                                               const std::string& subdirectory = {}) const;

    // The text for the key in the string table ("Localizable" when table is
    // empty); when the table or the key is missing, value, or the key itself
    // when value is empty. Tables are read once.
    std::string localizedStringForKey(const std::string& key, const std::string& value,
                                      const std::string& table = {}) const;

private:
    const Value& stringTable(const std::string& name) const;  // with mutex_ held

    std::string root_;
    mutable std::optional<Value> info_;
    mutable std::map<std::string, Value> tables_;
    mutable std::mutex mutex_;
};

// The main bundle's text for the key in the "Localizable" table or the named one.
inline std::string NSLocalizedString(const std::string& key, const std::string& /*comment*/ = {}) {
    return NSBundle::mainBundle()->localizedStringForKey(key, "", "");
}
inline std::string NSLocalizedStringFromTable(const std::string& key, const std::string& table,
                                              const std::string& /*comment*/ = {}) {
    return NSBundle::mainBundle()->localizedStringForKey(key, "", table);
}
