// The keychain's backing: one JSON file of items at AppHome::keychainFile().
//
// File: {"version": 1, "items": [{"class": "genp", "svce": ..., "acct": ...,
// "pdmn": ..., "v_Data": "<hex>"}, ...]}. Every change rewrites the whole file
// through a temporary file in the same folder (mode 0600, flushed) that is renamed
// over it, so a reader sees the old or the new file, never a partial one. Changes
// are serialised within the process by a mutex and across processes by an
// exclusive lock on "<file>.lock". A file that cannot be parsed is never
// overwritten: every call then answers errSecDecode.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/security/Keychain.h"

namespace {

// Attributes a query may match on and an update may change.
const std::set<std::string>& itemAttributes() {
    static const std::set<std::string> names{kSecAttrService, kSecAttrAccount, kSecAttrLabel, kSecAttrGeneric,
                                             kSecAttrAccessible};
    return names;
}

bool knownAccessibility(const std::string& value) {
    static const std::set<std::string> values{
        kSecAttrAccessibleWhenUnlocked, kSecAttrAccessibleAfterFirstUnlock, kSecAttrAccessibleAlways,
        kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly, kSecAttrAccessibleWhenUnlockedThisDeviceOnly,
        kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly, kSecAttrAccessibleAlwaysThisDeviceOnly};
    return values.count(value) != 0;
}

struct Item {
    std::map<std::string, std::string> attributes;  // class and the item attributes
    Data data;
};

std::optional<Data> fromHex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    Data out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = hexDigitValue(text[i]), lo = hexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

// Holds the process mutex and the cross-process file lock for one operation.
class StoreLock {
public:
    explicit StoreLock(const std::string& path) : guard_(mutex()) {
        std::filesystem::path target(path);
        std::error_code ec;
        if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    static std::mutex& mutex() {
        static ProcessLifetime<std::mutex> m;
        return *m;
    }
    std::lock_guard<std::mutex> guard_;
    int fd_ = -1;
};

bool readAll(int fd, std::string& out) {
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Loads the items; errSecSuccess with no items when the file does not exist.
OSStatus load(const std::string& path, std::vector<Item>& items) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? errSecSuccess : errSecIO;
    std::string text;
    bool ok = readAll(fd, text);
    ::close(fd);
    if (!ok) return errSecIO;
    auto root = Value::fromJSON(text);
    if (!root || !root->isDictionary()) return errSecDecode;
    Value list = (*root)["items"];
    if (!list.isArray()) return errSecDecode;
    for (std::size_t i = 0; i < list.count(); ++i) {
        Value entry = list[i];
        auto dict = entry.dictionaryRef();
        if (!dict) return errSecDecode;
        Item item;
        for (const auto& [key, value] : *dict) {
            if (!value.isString()) return errSecDecode;
            if (key == kSecValueData) {
                auto bytes = fromHex(*value.string());
                if (!bytes) return errSecDecode;
                item.data = std::move(*bytes);
            } else {
                item.attributes[key] = *value.string();
            }
        }
        items.push_back(std::move(item));
    }
    return errSecSuccess;
}

OSStatus save(const std::string& path, const std::vector<Item>& items) {
    ValueArray list;
    for (const auto& item : items) {
        ValueDictionary entry;
        for (const auto& [key, value] : item.attributes) entry[key] = value;
        entry[kSecValueData] = hexString(item.data);
        list.push_back(Value(std::move(entry)));
    }
    Value root{{"version", 1}, {"items", Value(std::move(list))}};
    auto text = root.toJSON(true);
    if (!text) return errSecIO;

    std::filesystem::path target(path);
    std::string tmpl = path + ".tmp.XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return errSecIO;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, *text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return errSecIO;
    }
    if (target.has_parent_path()) {
        int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return errSecSuccess;
}

bool isGenericPasswordQuery(const Value& query) {
    return query.isDictionary() && query[kSecClass].isString() && *query[kSecClass].string() == kSecClassGenericPassword;
}

// Checks that the query's class is supported and its match attributes are strings.
OSStatus validateQuery(const Value& query) {
    if (!query.isDictionary() || !query[kSecClass].isString()) return errSecParam;
    if (!isGenericPasswordQuery(query)) return errSecUnimplemented;
    for (const auto& name : itemAttributes()) {
        Value v = query[name];
        if (!v.isNull() && !v.isString()) return errSecParam;
    }
    Value limit = query[kSecMatchLimit];
    if (!limit.isNull() && !(limit.isString() && (*limit.string() == kSecMatchLimitOne ||
                                                    *limit.string() == kSecMatchLimitAll)))
        return errSecParam;
    return errSecSuccess;
}

bool matches(const Item& item, const Value& query) {
    auto cls = item.attributes.find(kSecClass);
    if (cls == item.attributes.end() || cls->second != *query[kSecClass].string()) return false;
    for (const auto& name : itemAttributes()) {
        Value wanted = query[name];
        if (wanted.isNull()) continue;
        auto have = item.attributes.find(name);
        if (have == item.attributes.end() || have->second != *wanted.string()) return false;
    }
    return true;
}

std::pair<std::string, std::string> identity(const Item& item) {
    auto get = [&](const char* name) {
        auto it = item.attributes.find(name);
        return it == item.attributes.end() ? std::string() : it->second;
    };
    return {get(kSecAttrService), get(kSecAttrAccount)};
}

Value describe(const Item& item, bool wantData, bool wantAttributes) {
    if (!wantAttributes) return Value(item.data);
    ValueDictionary attrs;
    for (const auto& [key, value] : item.attributes) attrs[key] = value;
    if (wantData) attrs[kSecValueData] = Value(item.data);
    return Value(std::move(attrs));
}

}  // namespace

OSStatus SecItemAdd(const Value& attributes, Value* result) {
    if (result) *result = Value();
    if (OSStatus s = validateQuery(attributes); s != errSecSuccess) return s;
    Value data = attributes[kSecValueData];
    if (!data.isNull() && !data.isData()) return errSecParam;
    Value accessible = attributes[kSecAttrAccessible];
    if (!accessible.isNull() && !knownAccessibility(*accessible.string())) return errSecParam;

    Item item;
    item.attributes[kSecClass] = kSecClassGenericPassword;
    for (const auto& name : itemAttributes())
        if (attributes[name].isString()) item.attributes[name] = *attributes[name].string();
    if (!item.attributes.count(kSecAttrAccessible)) item.attributes[kSecAttrAccessible] = kSecAttrAccessibleWhenUnlocked;
    if (data.isData()) item.data = *data.data();

    const std::string path = AppHome::keychainFile();
    StoreLock lock(path);
    std::vector<Item> items;
    if (OSStatus s = load(path, items); s != errSecSuccess) return s;
    for (const auto& existing : items)
        if (identity(existing) == identity(item)) return errSecDuplicateItem;
    items.push_back(item);
    if (OSStatus s = save(path, items); s != errSecSuccess) return s;
    if (result && attributes[kSecReturnData].boolValue()) *result = Value(item.data);
    return errSecSuccess;
}

OSStatus SecItemCopyMatching(const Value& query, Value* result) {
    if (result) *result = Value();
    if (OSStatus s = validateQuery(query); s != errSecSuccess) return s;
    const bool all = query[kSecMatchLimit].isString() && *query[kSecMatchLimit].string() == kSecMatchLimitAll;
    const bool wantData = query[kSecReturnData].boolValue();
    const bool wantAttributes = query[kSecReturnAttributes].boolValue();

    const std::string path = AppHome::keychainFile();
    std::vector<Item> items;
    {
        StoreLock lock(path);
        if (OSStatus s = load(path, items); s != errSecSuccess) return s;
    }
    ValueArray found;
    for (const auto& item : items) {
        if (!matches(item, query)) continue;
        found.push_back(describe(item, wantData, wantAttributes));
        if (!all) break;
    }
    if (found.empty()) return errSecItemNotFound;
    if (result && (wantData || wantAttributes)) *result = all ? Value(std::move(found)) : found.front();
    return errSecSuccess;
}

OSStatus SecItemUpdate(const Value& query, const Value& attributesToUpdate) {
    if (OSStatus s = validateQuery(query); s != errSecSuccess) return s;
    auto changes = attributesToUpdate.dictionaryRef();
    if (!changes) return errSecParam;
    for (const auto& [key, value] : *changes) {
        if (key == kSecValueData) {
            if (!value.isData()) return errSecParam;
        } else if (!itemAttributes().count(key) || !value.isString()) {
            return errSecParam;
        } else if (key == kSecAttrAccessible && !knownAccessibility(*value.string())) {
            return errSecParam;
        }
    }

    const std::string path = AppHome::keychainFile();
    StoreLock lock(path);
    std::vector<Item> items;
    if (OSStatus s = load(path, items); s != errSecSuccess) return s;
    bool any = false;
    std::vector<Item> updated = items;
    for (auto& item : updated) {
        if (!matches(item, query)) continue;
        any = true;
        for (const auto& [key, value] : *changes) {
            if (key == kSecValueData) item.data = *value.data();
            else item.attributes[key] = *value.string();
        }
    }
    if (!any) return errSecItemNotFound;
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto& item : updated)
        if (!seen.insert(identity(item)).second) return errSecDuplicateItem;
    return save(path, updated);
}

OSStatus SecItemDelete(const Value& query) {
    if (OSStatus s = validateQuery(query); s != errSecSuccess) return s;
    const std::string path = AppHome::keychainFile();
    StoreLock lock(path);
    std::vector<Item> items;
    if (OSStatus s = load(path, items); s != errSecSuccess) return s;
    std::vector<Item> kept;
    for (auto& item : items)
        if (!matches(item, query)) kept.push_back(std::move(item));
    if (kept.size() == items.size()) return errSecItemNotFound;
    return save(path, kept);
}
