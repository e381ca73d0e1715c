#include "platform/foundation/ProcessLifetime.h"
#include "platform/foundation/NSBundle.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/NSLog.h"

#ifndef QUORVANE_RESOURCES_DIR
#define QUORVANE_RESOURCES_DIR "resources"
#endif

NSBundle::NSBundle(std::string root) : root_(std::move(root)) {}

std::shared_ptr<NSBundle> NSBundle::mainBundle() {
    static ProcessLifetime<std::shared_ptr<NSBundle>> bundle([] {
        const char* env = std::getenv("QUORVANE_RESOURCES");
        return std::make_shared<NSBundle>(env && *env ? env : QUORVANE_RESOURCES_DIR);
    }());
    return *bundle;
}

Value NSBundle::infoDictionary() const {
    std::lock_guard lock(mutex_);
    if (!info_) {
        std::ifstream in(std::filesystem::path(root_) / "Info.json");
        std::stringstream text;
        text << in.rdbuf();
        auto parsed = Value::fromJSON(text.str());
        info_ = (parsed && parsed->isDictionary()) ? *parsed : Value::dictionary();
    }
    return *info_;
}

std::string NSBundle::bundleIdentifier() const {
    auto id = objectForInfoDictionaryKey("CFBundleIdentifier");
    return id.isString() ? *id.string() : std::string();
}

std::optional<std::string> NSBundle::pathForResource(const std::string& name, const std::string& type,
                                                     const std::string& subdirectory) const {
    namespace fs = std::filesystem;
    std::string file = type.empty() ? name : name + "." + type;
    if (file.empty() || file.find("..") != std::string::npos) return std::nullopt;
    for (const fs::path& dir : {fs::path(root_), fs::path(root_) / subdirectory}) {
        std::error_code ec;
        fs::path candidate = dir / file;
        if (fs::exists(candidate, ec)) return candidate.string();
        if (subdirectory.empty()) break;
    }
    return std::nullopt;
}

const Value& NSBundle::stringTable(const std::string& name) const {
    auto found = tables_.find(name);
    if (found != tables_.end()) return found->second;
    Value table = Value::dictionary();
    if (auto path = pathForResource(name + ".strings", "json")) {
        std::ifstream in(*path);
        std::stringstream text;
        text << in.rdbuf();
        auto parsed = Value::fromJSON(text.str());
        if (parsed && parsed->isDictionary()) table = *parsed;
        else NSLog("NSBundle: the string table %s is not a JSON object; its keys are used as texts", *path);
    }
    return tables_[name] = table;
}

std::string NSBundle::localizedStringForKey(const std::string& key, const std::string& value,
                                            const std::string& table) const {
    std::lock_guard lock(mutex_);
    Value text = stringTable(table.empty() ? "Localizable" : table)[key];
    if (text.isString()) return *text.string();
    return value.empty() ? key : value;
}
