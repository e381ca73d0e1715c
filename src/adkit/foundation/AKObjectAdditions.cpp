#include "adkit/foundation/AKObjectAdditions.h"

#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "platform/foundation/NSDecimalNumber.h"
#include "platform/foundation/NSJSONSerialization.h"

bool ak_valueIsKind(const Value& value, AKValueKind kind) {
    switch (kind) {
        case AKValueKind::String: return value.isString();
        case AKValueKind::Number: return value.isNumber() || NSDecimalNumber::fromValue(value) != nullptr;
        case AKValueKind::Decimal: return NSDecimalNumber::fromValue(value) != nullptr;
        case AKValueKind::Array: return value.isArray();
        case AKValueKind::Dictionary: return value.isDictionary();
        case AKValueKind::Date: return value.isDate();
        case AKValueKind::Data: return value.isData();
    }
    return false;
}

Value ak_objectForKey(const Value& dictionary, const std::string& key, AKValueKind kind) {
    Value value = dictionary[key];
    return ak_valueIsKind(value, kind) ? value : Value();
}

void ak_setIfNotNilObject(Value& dictionary, const Value& object, const std::string& key) {
    if (!object.isNull()) dictionary.setObject(key, object);
}

void ak_setStringForBoolValue(Value& dictionary, bool value, const std::string& key) {
    dictionary.setObject(key, Value(value ? "1" : "0"));
}

void ak_setStringIfTrueForBoolValue(Value& dictionary, bool value, const std::string& key) {
    if (value) {
        dictionary.setObject(key, Value("1"));
    } else {
        dictionary.removeObjectForKey(key);
    }
}

void ak_setStringForCGFloat(Value& dictionary, double value, const std::string& key) {
    if (auto text = ak_shortStringWithCGFloat(value)) dictionary.setObject(key, Value(*text));
}

Value ak_JSONReady(const Value& value) {
    if (auto decimal = NSDecimalNumber::fromValue(value)) {
        if (decimal->exponent() >= 0) return Value(decimal->integerValue());
        return Value(decimal->doubleValue());
    }
    if (auto array = value.arrayRef()) {
        ValueArray out;
        for (const Value& item : *array) out.push_back(ak_JSONReady(item));
        return Value(std::move(out));
    }
    if (auto dictionary = value.dictionaryRef()) {
        ValueDictionary out;
        for (const auto& [key, item] : *dictionary) out.emplace(key, ak_JSONReady(item));
        return Value(std::move(out));
    }
    return value;
}

std::optional<std::string> ak_JSONStringPretty(const Value& input, bool pretty, NSErrorPtr* error) {
    const Value object = ak_JSONReady(input);
    if (!NSJSONSerialization::isValidJSONObject(object)) {
        if (error) *error = ak_errorWithCode(2, std::string("Invalid JSON object."));
        return std::nullopt;
    }
    auto data = NSJSONSerialization::dataWithJSONObject(object, pretty ? static_cast<unsigned long>(NSJSONWritingPrettyPrinted) : 0ul, error);
    if (!data) return std::nullopt;
    return stringFromData(*data);
}

std::optional<Value> ak_decodedJSONObject(const std::string& text, NSErrorPtr* error) {
    return NSJSONSerialization::JSONObjectWithData(dataFromString(text), NSJSONReadingAllowFragments, error);
}

NSDecimalNumberPtr ak_negativeOne() { return NSDecimalNumber::decimalNumberWithMantissa(1, 0, true); }

std::vector<NSURLPtr> AKURLsFromStrings(const Value& strings) {
    std::vector<NSURLPtr> urls;
    if (auto array = strings.arrayRef()) {
        for (const Value& item : *array) {
            if (const std::string* s = item.string()) {
                if (auto url = NSURL::URLWithString(*s)) urls.push_back(url);
            }
        }
    }
    return urls;
}

CGRect AKCGRectFromDictionary(const Value& dictionary, NSErrorPtr* error) {
    const char* const keys[] = {"x", "y", "width", "height"};
    double v[4] = {};
    for (int i = 0; i < 4; ++i) {
        Value number = ak_objectForKey(dictionary, keys[i], AKValueKind::Number);
        if (number.isNull()) {
            if (error) {
                // Only the localized description, as the core page's callers expect.
                *error = NSError::make("cg_rect_conversion", 1,
                                       "Invalid SDK Core rectangle " + dictionary.description() + ".");
            }
            return CGRectZero;
        }
        auto decimal = NSDecimalNumber::fromValue(number);
        v[i] = decimal ? decimal->doubleValue() : number.doubleValue();
    }
    return CGRectMake(v[0], v[1], v[2], v[3]);
}

Value AKDictionaryFromCGRect(CGRect rect) {
    return Value{{"x", Value(rect.origin.x)},
                 {"y", Value(rect.origin.y)},
                 {"width", Value(rect.size.width)},
                 {"height", Value(rect.size.height)}};
}
