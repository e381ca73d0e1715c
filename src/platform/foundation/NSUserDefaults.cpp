#include "platform/foundation/NSUserDefaults.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

using json = nlohmann::json;

constexpr const char* kDataTag = "$data";
constexpr const char* kDateTag = "$date";
constexpr const char* kRealTag = "$real";
constexpr const char* kDictTag = "$dict";
constexpr int kMaxDepth = 512;

// ---- Base64 for data values --------------------------------------------------------

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = static_cast<std::uint32_t>(data[i]) << 16 | static_cast<std::uint32_t>(data[i + 1]) << 8 | data[i + 2];
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (i < data.size()) {
        std::uint32_t n = static_cast<std::uint32_t>(data[i]) << 16;
        if (i + 1 < data.size()) n |= static_cast<std::uint32_t>(data[i + 1]) << 8;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < data.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Data> base64Decode(const std::string& text) {
    if (text.size() % 4) return std::nullopt;
    Data out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t n = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            int v;
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                v = 0;
                ++padding;
            } else {
                if (padding) return std::nullopt;
                const char* p = c ? std::strchr(kAlphabet, c) : nullptr;
                if (!p) return std::nullopt;
                v = static_cast<int>(p - kAlphabet);
            }
            n = n << 6 | static_cast<std::uint32_t>(v);
        }
        out.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) out.push_back(static_cast<std::uint8_t>((n >> 8) & 0xFF));
        if (padding < 1) out.push_back(static_cast<std::uint8_t>(n & 0xFF));
    }
    return out;
}

// ---- Tagged JSON ---------------------------------------------------------------------------

json encode(const Value& v) {
    switch (v.type()) {
    case Value::Type::Bool: return v.boolValue();
    case Value::Type::Integer: return v.integerValue();
    case Value::Type::Unsigned: return v.unsignedLongLongValue();
    case Value::Type::Double: {
        double d = v.doubleValue();
        if (std::isnan(d)) return json{{kRealTag, "nan"}};
        if (std::isinf(d)) return json{{kRealTag, d > 0 ? "inf" : "-inf"}};
        return d;
    }
    case Value::Type::String: return *v.string();
    case Value::Type::Data: return json{{kDataTag, base64Encode(*v.data())}};
    case Value::Type::Date: return json{{kDateTag, v.date()->secondsSince1970}};
    case Value::Type::Array: {
        json out = json::array();
        for (const auto& item : *v.arrayRef()) out.push_back(encode(item));
        return out;
    }
    case Value::Type::Dictionary: {
        json out = json::object();
        for (const auto& [k, item] : *v.dictionaryRef()) out[k] = encode(item);
        if (out.size() == 1 && out.begin().key().rfind('$', 0) == 0) return json{{kDictTag, out}};
        return out;
    }
    default: return nullptr;  // refused before it gets here
    }
}

std::optional<Value> decode(const json& j, int depth = 0) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (j.type()) {
    case json::value_t::boolean: return Value(j.get<bool>());
    case json::value_t::number_integer: return Value(j.get<std::int64_t>());
    case json::value_t::number_unsigned: {
        auto u = j.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return Value(static_cast<std::int64_t>(u));
        return Value(u);
    }
    case json::value_t::number_float: return Value(j.get<double>());
    case json::value_t::string: return Value(j.get<std::string>());
    case json::value_t::array: {
        ValueArray out;
        for (const auto& item : j) {
            auto v = decode(item, depth + 1);
            if (!v) return std::nullopt;
            out.push_back(std::move(*v));
        }
        return Value(std::move(out));
    }
    case json::value_t::object: {
        if (j.size() == 1) {
            auto only = j.begin();
            const std::string& key = only.key();
            const json& inner = only.value();
            if (key == kDataTag) {
                if (!inner.is_string()) return std::nullopt;
                auto bytes = base64Decode(inner.get<std::string>());
                if (!bytes) return std::nullopt;
                return Value(std::move(*bytes));
            }
            if (key == kDateTag) {
                if (!inner.is_number()) return std::nullopt;
                return Value(Date{inner.get<double>()});
            }
            if (key == kRealTag) {
                if (!inner.is_string()) return std::nullopt;
                auto s = inner.get<std::string>();
                if (s == "nan") return Value(std::numeric_limits<double>::quiet_NaN());
                if (s == "inf") return Value(std::numeric_limits<double>::infinity());
                if (s == "-inf") return Value(-std::numeric_limits<double>::infinity());
                return std::nullopt;
            }
            if (key == kDictTag) {
                if (!inner.is_object()) return std::nullopt;
                ValueDictionary out;
                for (auto it = inner.begin(); it != inner.end(); ++it) {
                    auto v = decode(it.value(), depth + 1);
                    if (!v) return std::nullopt;
                    out.emplace(it.key(), std::move(*v));
                }
                return Value(std::move(out));
            }
        }
        ValueDictionary out;
        for (auto it = j.begin(); it != j.end(); ++it) {
            auto v = decode(it.value(), depth + 1);
            if (!v) return std::nullopt;
            out.emplace(it.key(), std::move(*v));
        }
        return Value(std::move(out));
    }
    default: return std::nullopt;  // null has no place in a property list
    }
}

// What makes a value unfit for a property list, for the refusal message.
std::string offendingPart(const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: return "null";
    case Value::Type::Object: return "an object of class " + v.object()->className();
    case Value::Type::Array:
        for (const auto& item : *v.arrayRef())
            if (!item.isPropertyList()) return offendingPart(item) + " inside an array";
        break;
    case Value::Type::Dictionary:
        for (const auto& [k, item] : *v.dictionaryRef())
            if (!item.isPropertyList()) return offendingPart(item) + " under \"" + k + "\"";
        break;
    default: break;
    }
    return "a value that is not a property list";
}

bool validSuiteName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string mainDomain() {
    std::string id = NSBundle::mainBundle()->bundleIdentifier();
    return validSuiteName(id) ? id : std::string("com.quorvane.app");
}

std::mutex& standardMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
std::mutex& generationMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
std::map<std::string, std::uint64_t>& generations() {
    static ProcessLifetime<std::map<std::string, std::uint64_t>> g;
    return *g;
}
std::uint64_t generationOf(const std::string& path) {
    std::lock_guard lock(generationMutex());
    auto it = generations().find(path);
    return it == generations().end() ? 0 : it->second;
}
void bumpGeneration(const std::string& path) {
    std::lock_guard lock(generationMutex());
    ++generations()[path];
}

NSUserDefaultsPtr& standardInstance() {
    static ProcessLifetime<NSUserDefaultsPtr> p;
    return *p;
}

// Moves an unreadable file aside so that it is neither lost nor read again.
void quarantine(const std::string& path, const std::string& reason) {
    std::string target = path + ".corrupt";
    struct stat st {};
    for (int n = 1; ::lstat(target.c_str(), &st) == 0; ++n) target = path + ".corrupt." + std::to_string(n);
    if (std::rename(path.c_str(), target.c_str()) == 0)
        NSLog("NSUserDefaults: %@ is unreadable (%@); moved it to %@ and starting empty", path, reason, target);
    else
        NSLog("NSUserDefaults: %@ is unreadable (%@) and could not be moved aside; starting empty", path, reason);
}

}  // namespace

// ---- Instances ------------------------------------------------------------------------------

NSUserDefaultsPtr NSUserDefaults::standardUserDefaults() {
    std::lock_guard lock(standardMutex());
    auto& instance = standardInstance();
    if (!instance) instance = std::make_shared<NSUserDefaults>(mainDomain());
    return instance;
}

void NSUserDefaults::resetStandardUserDefaults() {
    NSUserDefaultsPtr old;
    {
        std::lock_guard lock(standardMutex());
        old = std::move(standardInstance());
        standardInstance() = nullptr;
    }
    if (old) old->synchronize();
}

NSUserDefaultsPtr NSUserDefaults::initWithSuiteName(const std::string& suiteName) {
    if (suiteName.empty()) return std::make_shared<NSUserDefaults>(mainDomain());
    if (!validSuiteName(suiteName)) return nullptr;
    return std::make_shared<NSUserDefaults>(suiteName);
}

NSUserDefaults::NSUserDefaults(std::string domain) : domain_(std::move(domain)) {}

std::string NSUserDefaults::filePath() const { return AppHome::preferences() + "/" + domain_ + ".json"; }

// ---- The file ---------------------------------------------------------------------------------

NSUserDefaults::Stamp NSUserDefaults::stampOf(const std::string& path) {
    Stamp s;
    s.generation = generationOf(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    return s;
}

void NSUserDefaults::refreshLocked() const {
    std::string path = filePath();
    if (path != loadedPath_) {
        // Another application home: what was pending belongs to the old one.
        if (!pending_.empty() && !loadedPath_.empty())
            NSLog("NSUserDefaults: dropping %lu unsaved change(s) of %@ after the home moved",
                  static_cast<unsigned long>(pending_.size()), loadedPath_);
        pending_.clear();
        reloadLocked(path);
        return;
    }
    if (!(stampOf(path) == stamp_)) reloadLocked(path);
}

void NSUserDefaults::reloadLocked(const std::string& path) const {
    loadedPath_ = path;
    values_.clear();
    NSErrorPtr error;
    std::optional<Data> bytes;
    // A file past any sane size is not read at all: reading and parsing it would
    // hold up the caller for seconds and take its size several times in memory.
    if (struct stat st {}; ::stat(path.c_str(), &st) == 0 && st.st_size > kMaximumFileSize)
        quarantine(path, "larger than " + std::to_string(kMaximumFileSize) + " bytes");
    else
        bytes = dataWithContentsOfFile(path, &error);
    if (bytes) {
        json parsed;
        std::string reason;
        try {
            parsed = json::parse(bytes->begin(), bytes->end());
        } catch (const std::exception& e) {
            reason = e.what();
        }
        std::optional<Value> value;
        if (reason.empty()) {
            value = parsed.is_object() ? decode(parsed) : std::nullopt;
            if (!value || !value->isDictionary()) reason = "not a dictionary of property-list values";
        }
        if (reason.empty()) {
            for (const auto& [k, v] : *value->dictionaryRef()) values_.emplace(k, v);
        } else {
            quarantine(path, reason);
        }
    } else if (error && error->code() != 260) {
        NSLog("NSUserDefaults: cannot read %@: %@", path, error->localizedDescription());
    }
    for (const auto& [k, v] : pending_) {
        if (v) values_[k] = *v;
        else values_.erase(k);
    }
    stamp_ = stampOf(path);
}

bool NSUserDefaults::persistLocked() {
    std::string path = filePath();
    // Start from what is on disk now, so that changes written by another
    // instance of the domain are kept, and lay ours over them.
    if (path != loadedPath_ || !(stampOf(path) == stamp_)) {
        if (path != loadedPath_) pending_.clear();
        reloadLocked(path);
    }
    json out = json::object();
    for (const auto& [k, v] : values_) out[k] = encode(v);
    std::string text = out.dump(2);
    NSErrorPtr error;
    if (!writeToFile(dataFromString(text), path, true, &error, 0600)) {
        NSLog("NSUserDefaults: cannot write %@: %@", path, error ? error->localizedDescription() : std::string("?"));
        return false;
    }
    bumpGeneration(path);
    pending_.clear();
    stamp_ = stampOf(path);
    return true;
}

// ---- Access -------------------------------------------------------------------------------------

Value NSUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    if (auto it = values_.find(key); it != values_.end()) return it->second.copy();
    if (auto it = registered_.find(key); it != registered_.end()) return it->second.copy();
    return {};
}

bool NSUserDefaults::setObject(const Value& value, const std::string& forKey, NSErrorPtr* error) {
    if (!value.isPropertyList()) {
        std::string what = offendingPart(value);
        NSLog("NSUserDefaults: refusing to store %@ for key \"%@\" in %@: only property-list values can be stored",
              what, forKey, domain_);
        if (error)
            *error = NSError::make(NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                                   "The value for key \u201c" + forKey + "\u201d is not a property list (" + what +
                                       ").");
        return false;
    }
    std::lock_guard lock(mutex_);
    refreshLocked();
    Value stored = value.copy();
    values_[forKey] = stored;
    pending_[forKey] = stored;
    persistLocked();
    return true;
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    refreshLocked();
    values_.erase(key);
    pending_[key] = std::nullopt;
    persistLocked();
}

std::optional<std::string> NSUserDefaults::stringForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (v.isString()) return *v.string();
    if (v.isNumber()) return v.stringValue();
    return std::nullopt;
}

std::int64_t NSUserDefaults::integerForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return (v.isNumber() || v.isString()) ? v.integerValue() : 0;
}

bool NSUserDefaults::boolForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return (v.isNumber() || v.isString()) && v.boolValue();
}

double NSUserDefaults::doubleForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return (v.isNumber() || v.isString()) ? v.doubleValue() : 0;
}

Value NSUserDefaults::dictionaryForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return v.isDictionary() ? v : Value();
}

Value NSUserDefaults::arrayForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return v.isArray() ? v : Value();
}

std::optional<Data> NSUserDefaults::dataForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (v.isData()) return *v.data();
    return std::nullopt;
}

void NSUserDefaults::registerDefaults(const Value& dictionary) {
    auto d = dictionary.dictionaryRef();
    if (!d) return;
    std::lock_guard lock(mutex_);
    for (const auto& [k, v] : *d) {
        if (v.isPropertyList()) registered_[k] = v.copy();
        else NSLog("NSUserDefaults: not registering %@ for key \"%@\": not a property list", offendingPart(v), k);
    }
}

Value NSUserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    refreshLocked();
    ValueDictionary out;
    for (const auto& [k, v] : registered_) out[k] = v.copy();
    for (const auto& [k, v] : values_) out[k] = v.copy();
    return Value(std::move(out));
}

bool NSUserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    if (pending_.empty() || filePath() != loadedPath_) {
        refreshLocked();
        return true;
    }
    return persistLocked();
}
