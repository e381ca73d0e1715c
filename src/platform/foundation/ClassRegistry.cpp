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
std::map<std::string, std::vector<std::string>>& protocols() {
    static ProcessLifetime<std::map<std::string, std::vector<std::string>>> p;
    return *p;
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

std::shared_ptr<NSObject> ClassRegistry::createWithDictionary(const std::string& name, const Value& dictionary) {
    auto info = lookup(name);
    if (!info || !info->dictionaryFactory) return nullptr;
    return info->dictionaryFactory(dictionary);
}

void ClassRegistry::registerProtocol(const std::string& name, std::vector<std::string> inherited) {
    std::lock_guard lock(registryMutex());
    protocols()[name] = std::move(inherited);
}

bool ClassRegistry::protocolConformsTo(const std::string& protocol, const std::string& ancestor) {
    // Breadth-first over the inherited protocols; a cycle ends at the visit limit.
    std::vector<std::string> pending{protocol};
    for (std::size_t next = 0; next < pending.size() && next < 256; ++next) {
        if (pending[next] == ancestor) return true;
        std::lock_guard lock(registryMutex());
        auto it = protocols().find(pending[next]);
        if (it != protocols().end()) pending.insert(pending.end(), it->second.begin(), it->second.end());
    }
    return false;
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
            if (protocolConformsTo(p, protocol)) return true;
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

namespace {
// The first class in the superclass chain of `name` for which `pick` holds.
template <class Pick>
std::optional<ClassRegistry::ClassInfo> firstInChain(const std::string& name, Pick pick) {
    std::string current = name;
    for (int depth = 0; depth < 64 && !current.empty(); ++depth) {
        auto info = ClassRegistry::lookup(current);
        if (!info) return std::nullopt;
        if (pick(*info)) return info;
        current = info->superclass;
    }
    return std::nullopt;
}
}  // namespace

bool ClassRegistry::instancesRespondTo(const std::string& name, const std::string& operation) {
    return firstInChain(name, [&](const ClassInfo& info) {
               for (const auto& op : info.instanceOperations)
                   if (op == operation) return true;
               return false;
           }).has_value();
}

bool ClassRegistry::classRespondsTo(const std::string& name, const std::string& operation) {
    return firstInChain(name, [&](const ClassInfo& info) { return info.classOperations.count(operation) > 0; })
        .has_value();
}

std::optional<Value> ClassRegistry::callClassOperation(const std::string& name, const std::string& operation) {
    auto info = firstInChain(name, [&](const ClassInfo& i) { return i.classOperations.count(operation) > 0; });
    if (!info) return std::nullopt;
    const auto& call = info->classOperations.at(operation);
    if (!call) return std::nullopt;
    return call();
}
