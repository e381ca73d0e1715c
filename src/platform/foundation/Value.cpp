#include "platform/foundation/Value.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "platform/foundation/HexString.h"
#include "platform/foundation/NSObject.h"

namespace {

// Scans a leading decimal number as the platform's string conversions do:
// leading white space, an optional sign, digits, an optional fraction and exponent.
double scanDouble(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { ++i; digits = true; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { ++i; digits = true; }
    }
    if (!digits) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
        if (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) {
            while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
            i = e;
        }
    }
    return std::strtod(s.substr(start, i - start).c_str(), nullptr);
}

// Integer scan with saturation at the 64-bit range.
std::int64_t scanInteger(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::uint64_t acc = 0;
    bool overflow = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        unsigned d = static_cast<unsigned>(s[i++] - '0');
        if (acc > (std::numeric_limits<std::uint64_t>::max() - d) / 10) overflow = true;
        else acc = acc * 10 + d;
    }
    if (negative) {
        if (overflow || acc > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(0 - acc);
    }
    if (overflow || acc > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(acc);
}

std::int64_t saturate(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

std::string formatDouble(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    if (d == std::floor(d) && std::fabs(d) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", d);
        return buf;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    // Prefer the shortest form that reads back to the same value.
    for (int precision = 1; precision <= 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, d);
        if (std::strtod(shorter, nullptr) == d) return shorter;
    }
    return buf;
}

nlohmann::json toJson(const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: return nullptr;
    case Value::Type::Bool: return v.boolValue();
    case Value::Type::Integer: return v.integerValue();
    case Value::Type::Unsigned: return v.unsignedLongLongValue();
    case Value::Type::Double: {
        double d = v.doubleValue();
        if (!std::isfinite(d)) throw std::invalid_argument("non-finite number in JSON");
        return d;
    }
    case Value::Type::String: return *v.string();
    case Value::Type::Data: throw std::invalid_argument("data is not a JSON type");
    case Value::Type::Date: throw std::invalid_argument("date is not a JSON type");
    case Value::Type::Array: {
        auto out = nlohmann::json::array();
        for (const auto& item : *v.arrayRef()) out.push_back(toJson(item));
        return out;
    }
    case Value::Type::Dictionary: {
        auto out = nlohmann::json::object();
        for (const auto& [k, item] : *v.dictionaryRef()) out[k] = toJson(item);
        return out;
    }
    case Value::Type::Object: throw std::invalid_argument("object is not a JSON type");
    case Value::Type::Boxed: throw std::invalid_argument("a boxed value is not a JSON type");
    }
    return nullptr;
}

}  // namespace

bool Value::isNumber() const {
    auto t = type();
    return t == Type::Bool || t == Type::Integer || t == Type::Unsigned || t == Type::Double;
}

std::int64_t Value::integerValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return std::get<std::int64_t>(v_);
    case Type::Unsigned: {
        auto u = std::get<std::uint64_t>(v_);
        return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(u);
    }
    case Type::Double: return saturate(std::get<double>(v_));
    case Type::String: return scanInteger(std::get<std::string>(v_));
    default: return 0;
    }
}

std::int32_t Value::intValue() const {
    if (type() == Type::String) {
        // Strings saturate at the 32-bit range.
        auto i = scanInteger(std::get<std::string>(v_));
        if (i > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
        if (i < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(i);
    }
    auto i = integerValue();
    if (i > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (i < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(i);
}

std::uint32_t Value::unsignedIntValue() const { return static_cast<std::uint32_t>(unsignedLongLongValue()); }

std::uint64_t Value::unsignedLongLongValue() const {
    switch (type()) {
    case Type::Unsigned: return std::get<std::uint64_t>(v_);
    case Type::Double: {
        // NaN gives 0; negatives go through the signed range and wrap, as in C.
        double d = std::get<double>(v_);
        if (std::isnan(d)) return 0;
        if (d < 0) return static_cast<std::uint64_t>(saturate(d));
        if (d >= 1.8446744073709552e19) return std::numeric_limits<std::uint64_t>::max();
        return static_cast<std::uint64_t>(d);
    }
    default: return static_cast<std::uint64_t>(integerValue());
    }
}

double Value::doubleValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return static_cast<double>(std::get<std::int64_t>(v_));
    case Type::Unsigned: return static_cast<double>(std::get<std::uint64_t>(v_));
    case Type::Double: return std::get<double>(v_);
    case Type::String: return scanDouble(std::get<std::string>(v_));
    case Type::Date: return std::get<::Date>(v_).secondsSince1970;
    default: return 0;
    }
}

float Value::floatValue() const {
    const double d = doubleValue();
    if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()) && std::isfinite(d))
        return d > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

bool Value::boolValue() const {
    if (type() != Type::String) return integerValue() != 0 || (type() == Type::Double && doubleValue() != 0);
    const auto& s = std::get<std::string>(v_);
    std::size_t i = 0;
    // White space, an optional sign and leading zeros; then a digit 1 to 9 or Y, y, T, t.
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i >= s.size()) return false;
    const char c = s[i];
    return (c >= '1' && c <= '9') || c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

std::optional<::Date> Value::date() const {
    if (auto d = std::get_if<::Date>(&v_)) return *d;
    return std::nullopt;
}

std::shared_ptr<ValueArray> Value::arrayRef() const {
    if (auto a = std::get_if<std::shared_ptr<ValueArray>>(&v_)) return *a;
    return nullptr;
}

std::shared_ptr<ValueDictionary> Value::dictionaryRef() const {
    if (auto d = std::get_if<std::shared_ptr<ValueDictionary>>(&v_)) return *d;
    return nullptr;
}

std::shared_ptr<NSObject> Value::object() const {
    if (auto o = std::get_if<std::shared_ptr<NSObject>>(&v_)) return *o;
    return nullptr;
}

std::string Value::stringValue() const {
    switch (type()) {
    case Type::String: return std::get<std::string>(v_);
    case Type::Bool: return std::get<bool>(v_) ? "1" : "0";
    case Type::Integer: return std::to_string(std::get<std::int64_t>(v_));
    case Type::Unsigned: return std::to_string(std::get<std::uint64_t>(v_));
    case Type::Double: return formatDouble(std::get<double>(v_));
    default: return {};
    }
}

std::string Value::description() const {
    switch (type()) {
    case Type::Null: return "(null)";
    case Type::Data:
    case Type::Boxed: {  // a box shows its bytes as data does
        const auto& d = isBoxed() ? boxed()->bytes : std::get<::Data>(v_);
        std::string out = "<";
        for (std::size_t i = 0; i < d.size(); ++i) {
            if (i && i % 4 == 0) out += ' ';
            appendHexByte(out, d[i]);
        }
        return out + ">";
    }
    case Type::Date: return formatDouble(std::get<::Date>(v_).secondsSince1970);
    case Type::Array: {
        std::string out = "(";
        bool first = true;
        for (const auto& item : *arrayRef()) {
            out += first ? "\n    " : ",\n    ";
            out += item.description();
            first = false;
        }
        return out + "\n)";
    }
    case Type::Dictionary: {
        std::string out = "{";
        for (const auto& [k, item] : *dictionaryRef()) out += "\n    " + k + " = " + item.description() + ";";
        return out + "\n}";
    }
    case Type::Object: {
        auto o = object();
        return o->description();
    }
    default: return stringValue();
    }
}

Value Value::operator[](const std::string& key) const {
    auto d = dictionaryRef();
    if (!d) return {};
    auto it = d->find(key);
    return it == d->end() ? Value() : it->second;
}

void Value::setObject(const std::string& key, Value value) {
    auto d = dictionaryRef();
    if (!d) throw std::logic_error("setObject on a value that is not a dictionary");
    if (value.isNull()) d->erase(key);
    else (*d)[key] = std::move(value);
}

void Value::removeObjectForKey(const std::string& key) {
    if (auto d = dictionaryRef()) d->erase(key);
}

Value Value::operator[](std::size_t index) const {
    auto a = arrayRef();
    if (!a || index >= a->size()) return {};
    return (*a)[index];
}

void Value::append(Value value) {
    auto a = arrayRef();
    if (!a) throw std::logic_error("append on a value that is not an array");
    a->push_back(std::move(value));
}

std::size_t Value::count() const {
    if (auto a = arrayRef()) return a->size();
    if (auto d = dictionaryRef()) return d->size();
    return 0;
}

Value Value::copy() const {
    if (auto a = arrayRef()) {
        ValueArray out;
        out.reserve(a->size());
        for (const auto& item : *a) out.push_back(item.copy());
        return Value(std::move(out));
    }
    if (auto d = dictionaryRef()) {
        ValueDictionary out;
        for (const auto& [k, item] : *d) out.emplace(k, item.copy());
        return Value(std::move(out));
    }
    return *this;
}

bool Value::operator==(const Value& other) const {
    if (isNumber() && other.isNumber()) {
        if (type() == Type::Double || other.type() == Type::Double) return doubleValue() == other.doubleValue();
        if (type() == Type::Unsigned || other.type() == Type::Unsigned)
            return integerValue() >= 0 && other.integerValue() >= 0 &&
                   unsignedLongLongValue() == other.unsignedLongLongValue();
        return integerValue() == other.integerValue();
    }
    if (type() != other.type()) return false;
    switch (type()) {
    case Type::Null: return true;
    case Type::String: return *string() == *other.string();
    case Type::Data: return *data() == *other.data();
    case Type::Date: return *date() == *other.date();
    case Type::Array: {
        auto a = arrayRef(), b = other.arrayRef();
        return a == b || *a == *b;
    }
    case Type::Dictionary: {
        auto a = dictionaryRef(), b = other.dictionaryRef();
        return a == b || *a == *b;
    }
    case Type::Object: return object() == other.object();
    case Type::Boxed: return *boxed() == *other.boxed();
    default: return false;
    }
}

int Value::compare(const Value& other) const {
    if (type() == Type::String && other.type() == Type::String) {
        int c = string()->compare(*other.string());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if ((type() == Type::Integer || type() == Type::Bool) && (other.type() == Type::Integer || other.type() == Type::Bool)) {
        auto a = integerValue(), b = other.integerValue();
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    double a = doubleValue(), b = other.doubleValue();
    return a < b ? -1 : (a > b ? 1 : 0);
}

bool Value::isPropertyList() const {
    switch (type()) {
    case Type::Null:
    case Type::Object:
    case Type::Boxed: return false;
    case Type::Array:
        for (const auto& item : *arrayRef())
            if (!item.isPropertyList()) return false;
        return true;
    case Type::Dictionary:
        for (const auto& [k, item] : *dictionaryRef())
            if (!item.isPropertyList()) return false;
        return true;
    default: return true;
    }
}

std::optional<std::string> Value::toJSON(bool pretty, std::string* error) const {
    try {
        return toJson(*this).dump(pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return std::nullopt;
    }
}
