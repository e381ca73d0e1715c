#pragma once
// A defaults-like store of strings in the keychain: one generic-password item per
// key, under the main bundle's identifier as service. Values read or written
// through "values.<key>" key paths are also kept in a buffer, which answers for a
// key whose keychain item has gone missing (or could not be written).
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/security/Keychain.h"

class KSKeychainBindings;

class KSKeychainBindingsController : public NSObject {
public:
    KSKeychainBindingsController();
    static std::shared_ptr<KSKeychainBindingsController> sharedKeychainBindingsController();

    // The main bundle's identifier.
    std::string serviceName() const;

    // The item's value as UTF-8 text; nullopt when there is no item (or it does
    // not hold text).
    std::optional<std::string> stringForKey(const std::string& key) const;
    // Adds or updates the item (nullopt deletes it); false, with a console line,
    // when the keychain refused.
    bool storeString(const std::optional<std::string>& string, const std::string& forKey);
    bool storeString(const std::optional<std::string>& string, const std::string& forKey,
                     const std::string& accessibleAttribute);

    // The facade over this controller, made on first request.
    std::shared_ptr<KSKeychainBindings> keychainBindings();
    // A copy of the value buffer (a dictionary, empty until first needed).
    Value values() const;

    // "values.<key>" reads the keychain (refreshing the buffer) and answers from
    // the buffer; "values" answers the buffer, "serviceName" the service; any
    // other key path answers null.
    Value valueForKeyPath(const std::string& keyPath);
    // "values.<key>" writes the keychain when the value differs from the stored
    // one and keeps the value in the buffer; a null value deletes both. Other key
    // paths are not settable.
    void setValue(const Value& value, const std::string& forKeyPath);
    void setValue(const Value& value, const std::string& forKeyPath, const std::string& accessibleAttribute);

private:
    Value bufferedValue(const std::string& key) const;
    void putInBuffer(const std::string& key, const Value& value);
    Value baseQuery(const std::string& key) const;

    mutable std::mutex mutex_;
    Value valueBuffer_;
    std::shared_ptr<KSKeychainBindings> keychainBindings_;
};
