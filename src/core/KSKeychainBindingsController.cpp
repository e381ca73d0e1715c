#include "core/KSKeychainBindingsController.h"

#include <string_view>

#include "core/KSKeychainBindings.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

constexpr std::string_view kValuesPrefix = "values.";

std::optional<std::string> keyOfValuesPath(const std::string& keyPath) {
    if (keyPath.compare(0, kValuesPrefix.size(), kValuesPrefix) != 0) return std::nullopt;
    return keyPath.substr(kValuesPrefix.size());
}

}  // namespace

KSKeychainBindingsController::KSKeychainBindingsController() = default;

std::shared_ptr<KSKeychainBindingsController> KSKeychainBindingsController::sharedKeychainBindingsController() {
    static ProcessLifetime<std::shared_ptr<KSKeychainBindingsController>> shared(
        std::make_shared<KSKeychainBindingsController>());
    return *shared;
}

std::string KSKeychainBindingsController::serviceName() const { return NSBundle::mainBundle()->bundleIdentifier(); }

Value KSKeychainBindingsController::baseQuery(const std::string& key) const {
    return Value{{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, key}, {kSecAttrService, serviceName()}};
}

std::optional<std::string> KSKeychainBindingsController::stringForKey(const std::string& key) const {
    Value query = baseQuery(key);
    query.setObject(kSecReturnData, true);
    query.setObject(kSecMatchLimit, kSecMatchLimitOne);
    Value result;
    if (SecItemCopyMatching(query, &result) != errSecSuccess || !result.isData()) return std::nullopt;
    return stringWithData(*result.data(), NSUTF8StringEncoding);
}

bool KSKeychainBindingsController::storeString(const std::optional<std::string>& string, const std::string& forKey) {
    return storeString(string, forKey, kSecAttrAccessibleWhenUnlocked);
}

bool KSKeychainBindingsController::storeString(const std::optional<std::string>& string, const std::string& forKey,
                                               const std::string& accessibleAttribute) {
    OSStatus status;
    if (!string) {
        status = SecItemDelete(baseQuery(forKey));
        if (status != errSecSuccess) NSLog("Could not store(Delete) string. Error was:%i", status);
        return status == errSecSuccess;
    }
    const Data bytes = dataFromString(*string);
    if (stringForKey(forKey)) {
        Value changes{{kSecValueData, bytes}, {kSecAttrAccessible, accessibleAttribute}};
        status = SecItemUpdate(baseQuery(forKey), changes);
        if (status != errSecSuccess) NSLog("Could not store(Update) string. Error was:%i", status);
    } else {
        Value item = baseQuery(forKey);
        item.setObject(kSecValueData, bytes);
        item.setObject(kSecAttrAccessible, accessibleAttribute);
        status = SecItemAdd(item, nullptr);
        if (status != errSecSuccess) NSLog("Could not store(Add) string. Error was:%i", status);
    }
    return status == errSecSuccess;
}

std::shared_ptr<KSKeychainBindings> KSKeychainBindingsController::keychainBindings() {
    std::lock_guard lock(mutex_);
    if (!keychainBindings_) keychainBindings_ = std::make_shared<KSKeychainBindings>(weakSelf<KSKeychainBindingsController>());
    return keychainBindings_;
}

Value KSKeychainBindingsController::values() const {
    std::lock_guard lock(mutex_);
    return valueBuffer_.isDictionary() ? valueBuffer_.copy() : Value::dictionary();
}

Value KSKeychainBindingsController::bufferedValue(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return valueBuffer_[key];
}

void KSKeychainBindingsController::putInBuffer(const std::string& key, const Value& value) {
    std::lock_guard lock(mutex_);
    if (!valueBuffer_.isDictionary()) valueBuffer_ = Value::dictionary();
    if (value.isNull()) valueBuffer_.removeObjectForKey(key);
    else if (valueBuffer_[key] != value) valueBuffer_.setObject(key, value);
}

Value KSKeychainBindingsController::valueForKeyPath(const std::string& keyPath) {
    if (auto key = keyOfValuesPath(keyPath)) {
        if (auto stored = stringForKey(*key)) putInBuffer(*key, Value(*stored));
        // The buffer answers, also for an item that has gone missing.
        return bufferedValue(*key);
    }
    if (keyPath == "values") return values();
    if (keyPath == "serviceName") return Value(serviceName());
    return Value();
}

void KSKeychainBindingsController::setValue(const Value& value, const std::string& forKeyPath) {
    setValue(value, forKeyPath, kSecAttrAccessibleWhenUnlocked);
}

void KSKeychainBindingsController::setValue(const Value& value, const std::string& forKeyPath,
                                            const std::string& accessibleAttribute) {
    auto key = keyOfValuesPath(forKeyPath);
    if (!key) {
        NSLog("KSKeychainBindingsController: the key path %@ cannot be set", forKeyPath);
        return;
    }
    std::optional<std::string> string;
    if (value.isString()) {
        string = *value.string();
    } else if (value.isNumber()) {
        string = value.stringValue();
    } else if (!value.isNull()) {
        NSLog("KSKeychainBindingsController: only strings and numbers can be kept (key %@)", *key);
        return;
    }
    // Only a change reaches the keychain.
    const auto stored = stringForKey(*key);
    if (!stored || stored != string) storeString(string, *key, accessibleAttribute);
    putInBuffer(*key, string ? Value(*string) : Value());
}
