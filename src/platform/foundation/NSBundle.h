#pragma once
// The main bundle: the resources folder that ships beside the executable, with
// its information dictionary (Info.json). QUORVANE_RESOURCES overrides the folder.
#include <memory>
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

private:
    std::string root_;
    mutable std::optional<Value> info_;
    mutable std::mutex mutex_;
};
