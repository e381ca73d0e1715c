#pragma once
// The keychain as a defaults-like object: every operation goes to its controller
// under the key path "values.<key>". The controller owns its facade and the
// facade refers back to it weakly: once the controller is gone the facade answers
// null and stores nothing (the shared pair lives for the whole process).
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class KSKeychainBindingsController;

class KSKeychainBindings : public NSObject {
public:
    explicit KSKeychainBindings(std::weak_ptr<KSKeychainBindingsController> controller);
    // The shared controller's facade.
    static std::shared_ptr<KSKeychainBindings> sharedKeychainBindings();

    Value objectForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;

    void setObject(const Value& object, const std::string& forKey);
    void setObject(const Value& object, const std::string& forKey, const std::string& accessibleAttribute);
    void setString(const std::optional<std::string>& string, const std::string& forKey);
    void setString(const std::optional<std::string>& string, const std::string& forKey,
                   const std::string& accessibleAttribute);
    void removeObjectForKey(const std::string& key);

private:
    std::weak_ptr<KSKeychainBindingsController> controller_;
};
