#include "platform/foundation/ClassRegistry.h"

#include <map>
#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {
std::mutex& registryMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
std::map<std::string, ClassRegistry::ClassInfo>& classes() {
    static ProcessLifetime<std::map<std::string, ClassRegistry::ClassInfo>> c;
    return *c;
}
}  // namespace

void ClassRegistry::registerClass(ClassInfo info) {
    std::lock_guard lock(registryMutex());
    auto name = info.name;
    classes()[name] = std::move(info);
}

std::optional<ClassRegistry::ClassInfo> ClassRegistry::lookup(const std::string& name) {
    std::lock_guard lock(registryMutex());
    auto it = classes().find(name);
    if (it == classes().end()) return std::nullopt;
    return it->second;
}

std::shared_ptr<NSObject> ClassRegistry::create(const std::string& name) {
    auto info = lookup(name);
    if (!info || !info->factory) return nullptr;
    return info->factory();
}

bool ClassRegistry::isSubclass(const std::string& name, const std::string& ancestor) {
    std::string current = name;
    for (int depth = 0; depth < 64 && !current.empty(); ++depth) {
        if (current == ancestor) return true;
        auto info = lookup(current);
        if (!info) return false;
        current = info->superclass;
    }
    return false;
}

bool ClassRegistry::conformsTo(const std::string& name, const std::string& protocol) {
    std::string current = name;
    for (int depth = 0; depth < 64 && !current.empty(); ++depth) {
        auto info = lookup(current);
        if (!info) return false;
        for (const auto& p : info->protocols)
            if (p == protocol) return true;
        current = info->superclass;
    }
    return false;
}

std::vector<std::string> ClassRegistry::allClasses() {
    std::lock_guard lock(registryMutex());
    std::vector<std::string> out;
    for (const auto& [name, info] : classes()) out.push_back(name);
    return out;
}
