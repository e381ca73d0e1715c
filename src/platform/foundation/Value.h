#pragma once
// The dynamic value of the platform: null, numbers, strings, data, dates and
// containers. Arrays and dictionaries are shared by reference, as the platform's
// collection objects are; copy() makes a deep copy of the containers.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSValue.h"

class NSObject;
class Value;

using ValueArray = std::vector<Value>;
using ValueDictionary = std::map<std::string, Value>;

struct Date {
    double secondsSince1970 = 0;
    bool operator==(const Date&) const = default;
    auto operator<=>(const Date&) const = default;
};

class Value {
public:
    // Boxed: a plain struct with its type encoding (NSValue), equal by encoding and bytes.
    enum class Type { Null, Bool, Integer, Unsigned, Double, String, Data, Date, Array, Dictionary, Object, Boxed };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(unsigned u) : v_(static_cast<std::uint64_t>(u)) {}
    Value(unsigned long u) : v_(static_cast<std::uint64_t>(u)) {}
    Value(unsigned long long u) : v_(static_cast<std::uint64_t>(u)) {}
    Value(float d) : v_(static_cast<double>(d)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(::Data d) : v_(std::move(d)) {}
    Value(::Date d) : v_(d) {}
    Value(NSValue boxed) : v_(std::move(boxed)) {}
    Value(ValueArray a) : v_(std::make_shared<ValueArray>(std::move(a))) {}
    Value(ValueDictionary d) : v_(std::make_shared<ValueDictionary>(std::move(d))) {}
    Value(std::shared_ptr<ValueArray> a) : v_(a ? Variant(std::move(a)) : Variant()) {}
    Value(std::shared_ptr<ValueDictionary> d) : v_(d ? Variant(std::move(d)) : Variant()) {}
    Value(std::shared_ptr<NSObject> o) : v_(o ? Variant(std::move(o)) : Variant()) {}
    template <class T, class = std::enable_if_t<std::is_base_of_v<NSObject, T>>>
    Value(std::shared_ptr<T> o) : Value(std::static_pointer_cast<NSObject>(std::move(o))) {}
    Value(std::initializer_list<std::pair<const std::string, Value>> d)
        : v_(std::make_shared<ValueDictionary>(d)) {}

    static Value array(std::initializer_list<Value> items = {}) { return Value(ValueArray(items)); }
    static Value dictionary() { return Value(ValueDictionary{}); }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isNumber() const;  // bool, integer, unsigned or double
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isObject() const { return type() == Type::Object; }
    bool isBoxed() const { return type() == Type::Boxed; }
    explicit operator bool() const { return !isNull(); }

    // Conversions with the platform's rules: numbers convert between each other,
    // strings are scanned as leading decimal numbers, anything else gives 0.
    // Integer conversions of doubles saturate at the type's range and give 0 for
    // NaN; unsigned conversions of negative numbers wrap as in C.
    // intValue saturates to 32 bits; boolValue of a string is true when its first
    // non-space character is Y, y, T, t or a digit 1-9 (after an optional sign and zeros).
    std::int32_t intValue() const;
    std::int64_t integerValue() const;
    std::int64_t longLongValue() const { return integerValue(); }
    std::uint32_t unsignedIntValue() const;
    std::uint64_t unsignedLongLongValue() const;
    double doubleValue() const;
    float floatValue() const;  // out of the float range gives an infinity
    bool boolValue() const;

    // Accessors that answer nullptr / empty when the value has another type.
    const std::string* string() const { return std::get_if<std::string>(&v_); }
    const ::Data* data() const { return std::get_if<::Data>(&v_); }
    const NSValue* boxed() const { return std::get_if<NSValue>(&v_); }
    std::optional<::Date> date() const;
    std::shared_ptr<ValueArray> arrayRef() const;
    std::shared_ptr<ValueDictionary> dictionaryRef() const;
    std::shared_ptr<NSObject> object() const;
    template <class T>
    std::shared_ptr<T> objectAs() const { return std::dynamic_pointer_cast<T>(object()); }

    // The string itself, or the description of numbers; empty for other types.
    std::string stringValue() const;
    // The platform's description of the value (used by "%@").
    std::string description() const;

    // Dictionary access: null for a missing key or a non-dictionary.
    Value operator[](const std::string& key) const;
    Value objectForKey(const std::string& key) const { return (*this)[key]; }
    void setObject(const std::string& key, Value value);  // requires a dictionary; null removes
    void removeObjectForKey(const std::string& key);
    // Array access: null out of range or for a non-array.
    Value operator[](std::size_t index) const;
    Value at(std::size_t index) const { return (*this)[index]; }
    void append(Value value);  // requires an array
    std::size_t count() const;  // elements of an array or dictionary, 0 otherwise

    Value copy() const;  // deep copy of containers; objects stay shared

    // Structural equality (numbers compare by value, containers by content, objects by identity).
    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }
    // Numeric comparison of number values (-1, 0, 1), as the platform's compare:.
    int compare(const Value& other) const;

    // True when the value is made only of property-list types (no null, no objects).
    bool isPropertyList() const;

    // JSON: parse and serialise; nullopt and an error text when the input is not
    // JSON or the value holds something JSON cannot carry (data, dates, objects, NaN).
    static std::optional<Value> fromJSON(std::string_view text, std::string* error = nullptr);
    std::optional<std::string> toJSON(bool pretty = false, std::string* error = nullptr) const;

private:
    using Variant = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, ::Data,
                                 ::Date, std::shared_ptr<ValueArray>, std::shared_ptr<ValueDictionary>,
                                 std::shared_ptr<NSObject>, NSValue>;
    Variant v_;
};
