#pragma once
// Classes looked up by name: a factory, the superclass name and the protocols a
// class conforms to. Classes register themselves explicitly at start-up.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class ClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<NSObject>()>;
    struct ClassInfo {
        std::string name;
        std::string superclass;
        std::vector<std::string> protocols;
        Factory factory;
    };

    static void registerClass(ClassInfo info);
    template <class T>
    static void registerClass(const std::string& superclass = "NSObject", std::vector<std::string> protocols = {}) {
        registerClass({NSStringFromClass<T>(), superclass, std::move(protocols),
                       [] { return std::static_pointer_cast<NSObject>(std::make_shared<T>()); }});
    }
    static std::optional<ClassInfo> lookup(const std::string& name);
    static std::shared_ptr<NSObject> create(const std::string& name);  // null for an unknown class
    static bool isSubclass(const std::string& name, const std::string& ancestor);
    static bool conformsTo(const std::string& name, const std::string& protocol);
    static std::vector<std::string> allClasses();
};

// NSClassFromString: true when the class is registered.
inline bool NSClassExists(const std::string& name) { return ClassRegistry::lookup(name).has_value(); }
