#pragma once
// User defaults: property-list values by key, kept per domain in the file
// <home>/Library/Preferences/<domain>.json.
//
// Every change is written through at once (a temporary file renamed over the
// old one), so a later instance of the same domain, in this process or after a
// restart, reads it back. Values are JSON with tagged forms for what JSON lacks:
// {"$data": "<base64>"}, {"$date": seconds since 1970}, {"$real": "nan"|"inf"|"-inf"},
// and {"$dict": {...}} around a one-key dictionary whose key starts with "$".
// An instance notices when the file was replaced by another instance, and when
// the application home changed, and reads it again. A file that cannot be read
// as such a dictionary, or that is larger than kMaximumFileSize (16 MiB; it is
// then not read at all), is renamed aside (<domain>.json.corrupt, .corrupt.1, ...)
// and the domain starts empty.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// Cocoa code of a value that cannot be written as a property list.
inline constexpr long NSPropertyListWriteInvalidError = 3852;

class NSUserDefaults;
using NSUserDefaultsPtr = std::shared_ptr<NSUserDefaults>;

class NSUserDefaults : public NSObject {
public:
    // The largest defaults file that is read; a larger one is moved aside unread.
    static constexpr std::int64_t kMaximumFileSize = 16ll * 1024 * 1024;

    // The shared instance of the main bundle's identifier.
    static NSUserDefaultsPtr standardUserDefaults();
    // Drops the shared instance; the next standardUserDefaults() makes a new one
    // (tests switch homes between cases).
    static void resetStandardUserDefaults();
    // A new instance for the domain; an empty name means the main bundle's
    // domain. nullptr for a name that cannot be a file name ("/", leading ".").
    static NSUserDefaultsPtr initWithSuiteName(const std::string& suiteName);

    explicit NSUserDefaults(std::string domain);

    const std::string& domain() const { return domain_; }
    // The file of the domain in the current application home.
    std::string filePath() const;

    // The stored value, else the registered default, else null. Containers are
    // copies: changing them changes nothing stored.
    Value objectForKey(const std::string& key) const;
    // Stores a property-list value (Value::isPropertyList: no null, no objects,
    // also not inside containers). Anything else is refused: false, an error
    // (NSCocoaErrorDomain, NSPropertyListWriteInvalidError) and a console line.
    // A failed write keeps the value in memory; synchronize() reports it.
    bool setObject(const Value& value, const std::string& forKey, NSErrorPtr* error = nullptr);
    void removeObjectForKey(const std::string& key);

    void setInteger(std::int64_t value, const std::string& forKey) { setObject(Value(value), forKey); }
    void setBool(bool value, const std::string& forKey) { setObject(Value(value), forKey); }
    void setDouble(double value, const std::string& forKey) { setObject(Value(value), forKey); }

    // A string, or the text of a number; nullopt otherwise.
    std::optional<std::string> stringForKey(const std::string& key) const;
    // Numbers and numeric strings convert by the value rules; anything else is 0 / NO.
    std::int64_t integerForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const { return static_cast<float>(doubleForKey(key)); }
    // Null unless the value is of that kind.
    Value dictionaryForKey(const std::string& key) const;
    Value arrayForKey(const std::string& key) const;
    std::optional<Data> dataForKey(const std::string& key) const;

    // Fallback values of this instance, never written to the file; later
    // registrations of a key replace earlier ones. Non-property-list values are skipped.
    void registerDefaults(const Value& dictionary);
    // Registered defaults overlaid by the stored values.
    Value dictionaryRepresentation() const;

    // Writes outstanding changes (or reads the file again when there are none);
    // false when the file cannot be written.
    bool synchronize();

private:
    struct Stamp {
        bool exists = false;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t mtimeSec = 0, mtimeNsec = 0;
        // Writes through any instance of this process, so that a change is seen
        // even when the file system's timestamps are too coarse to show it.
        std::uint64_t generation = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const std::string& path);
    void refreshLocked() const;
    void reloadLocked(const std::string& path) const;
    bool persistLocked();

    const std::string domain_;
    mutable std::mutex mutex_;
    mutable std::string loadedPath_;
    mutable Stamp stamp_;
    mutable std::map<std::string, Value> values_;
    // Changes not yet on disk: a value, or nullopt for a removal.
    mutable std::map<std::string, std::optional<Value>> pending_;
    std::map<std::string, Value> registered_;
};
