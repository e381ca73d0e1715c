#include "core/KSKeychainBindings.h"

#include "core/KSKeychainBindingsController.h"
#include "platform/foundation/NSLog.h"

namespace {
std::string valuesKeyPath(const std::string& key) { return format("values.%@", key); }
Value optionalString(const std::optional<std::string>& s) { return s ? Value(*s) : Value(); }
}  // namespace

KSKeychainBindings::KSKeychainBindings(std::weak_ptr<KSKeychainBindingsController> controller)
    : controller_(std::move(controller)) {}

std::shared_ptr<KSKeychainBindings> KSKeychainBindings::sharedKeychainBindings() {
    return KSKeychainBindingsController::sharedKeychainBindingsController()->keychainBindings();
}

Value KSKeychainBindings::objectForKey(const std::string& key) const {
    auto controller = controller_.lock();
    return controller ? controller->valueForKeyPath(valuesKeyPath(key)) : Value();
}

std::optional<std::string> KSKeychainBindings::stringForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (v.isString()) return *v.string();
    return std::nullopt;
}

void KSKeychainBindings::setObject(const Value& object, const std::string& forKey) {
    if (auto controller = controller_.lock()) controller->setValue(object, valuesKeyPath(forKey));
}

void KSKeychainBindings::setObject(const Value& object, const std::string& forKey,
                                   const std::string& accessibleAttribute) {
    if (auto controller = controller_.lock()) controller->setValue(object, valuesKeyPath(forKey), accessibleAttribute);
}

void KSKeychainBindings::setString(const std::optional<std::string>& string, const std::string& forKey) {
    setObject(optionalString(string), forKey);
}

void KSKeychainBindings::setString(const std::optional<std::string>& string, const std::string& forKey,
                                   const std::string& accessibleAttribute) {
    setObject(optionalString(string), forKey, accessibleAttribute);
}

void KSKeychainBindings::removeObjectForKey(const std::string& key) { setObject(Value(), key); }
