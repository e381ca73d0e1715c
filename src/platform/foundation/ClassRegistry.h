#pragma once
// Classes looked up by name: a factory, the superclass name and the protocols a
// class conforms to. Classes register themselves explicitly at start-up.
// Protocols may be registered with the protocols they inherit: a class that
// conforms to a protocol conforms to every protocol that one inherits.
// A class may also list the operations its instances answer (asked without an
// instance, e.g. whether an adapter class takes a banner size) and its
// class-level operations, callable by class name; both are inherited from the
// registered superclasses.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class ClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<NSObject>()>;
    // Makes an object from a dictionary; null when the dictionary is refused.
    using DictionaryFactory = std::function<std::shared_ptr<NSObject>(const Value&)>;
    struct ClassInfo {
        std::string name;
        std::string superclass;
        std::vector<std::string> protocols;
        Factory factory;
        DictionaryFactory dictionaryFactory = nullptr;
        // Operation names the class's instances answer.
        std::vector<std::string> instanceOperations = {};
        // Class-level operations by name; each answers a Value.
        std::map<std::string, std::function<Value()>> classOperations = {};
    };

    static void registerClass(ClassInfo info);
    template <class T>
    static void registerClass(const std::string& superclass = "NSObject", std::vector<std::string> protocols = {}) {
        registerClass({NSStringFromClass<T>(), superclass, std::move(protocols),
                       [] { return std::static_pointer_cast<NSObject>(std::make_shared<T>()); }});
    }
    static std::optional<ClassInfo> lookup(const std::string& name);
    static std::shared_ptr<NSObject> create(const std::string& name);  // null for an unknown class
    // Through the class's dictionary factory; null for an unknown class, one
    // without that factory, or a refused dictionary.
    static std::shared_ptr<NSObject> createWithDictionary(const std::string& name, const Value& dictionary);
    // A protocol and the protocols it inherits (registering again replaces them).
    static void registerProtocol(const std::string& name, std::vector<std::string> inherited = {});
    // True when `protocol` is `ancestor` or inherits it through registered protocols.
    static bool protocolConformsTo(const std::string& protocol, const std::string& ancestor);
    static bool isSubclass(const std::string& name, const std::string& ancestor);
    // The class or one of its registered superclasses lists a protocol that is
    // `protocol` or inherits it.
    static bool conformsTo(const std::string& name, const std::string& protocol);
    static std::vector<std::string> allClasses();
    // instancesRespondToSelector: the class or a superclass lists the operation.
    static bool instancesRespondTo(const std::string& name, const std::string& operation);
    // respondsToSelector: of the class object.
    static bool classRespondsTo(const std::string& name, const std::string& operation);
    // Calls a class-level operation (the nearest in the superclass chain);
    // nullopt when the class or the operation is unknown.
    static std::optional<Value> callClassOperation(const std::string& name, const std::string& operation);
};

// NSClassFromString: true when the class is registered.
inline bool NSClassExists(const std::string& name) { return ClassRegistry::lookup(name).has_value(); }

// conformsToProtocol: of an object, by its className() and the registry.
inline bool NSObjectConformsToProtocol(const NSObject& object, const std::string& protocol) {
    return ClassRegistry::conformsTo(object.className(), protocol);
}
