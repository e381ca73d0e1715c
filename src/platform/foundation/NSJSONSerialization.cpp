#include "platform/foundation/NSJSONSerialization.h"

#include <cmath>

namespace NSJSONSerialization {

NSErrorPtr readError(const std::string& reason) {
    Value info{{NSLocalizedDescriptionKey,
                "The data couldn\xE2\x80\x99t be read because it isn\xE2\x80\x99t in the correct format."},
               {"NSDebugDescription", reason}};
    return NSError::errorWithDomain(NSCocoaErrorDomain, NSPropertyListReadCorruptError, info);
}

std::optional<Value> JSONObjectWithData(const Data& data, unsigned long options, NSErrorPtr* error) {
    std::string problem;
    auto value = Value::fromJSON(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), &problem);
    if (!value) {
        if (error) *error = readError(problem.empty() ? "Invalid JSON." : problem);
        return std::nullopt;
    }
    if (!(options & NSJSONReadingAllowFragments) && !value->isArray() && !value->isDictionary()) {
        if (error) *error = readError("JSON text did not start with array or object and option to allow fragments not set.");
        return std::nullopt;
    }
    return value;
}

namespace {
bool validItem(const Value& v) {
    switch (v.type()) {
    case Value::Type::Null:
    case Value::Type::Bool:
    case Value::Type::Integer:
    case Value::Type::Unsigned:
    case Value::Type::String: return true;
    case Value::Type::Double: return std::isfinite(v.doubleValue());
    case Value::Type::Array:
        for (const auto& item : *v.arrayRef())
            if (!validItem(item)) return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [key, item] : *v.dictionaryRef())
            if (!validItem(item)) return false;
        return true;
    default: return false;
    }
}
}  // namespace

bool isValidJSONObject(const Value& object) { return (object.isArray() || object.isDictionary()) && validItem(object); }

std::optional<Data> dataWithJSONObject(const Value& object, unsigned long options, NSErrorPtr* error) {
    if (!isValidJSONObject(object)) {
        if (error)
            *error = NSError::make(NSCocoaErrorDomain, NSPropertyListWriteInvalidError, "Invalid type in JSON write.");
        return std::nullopt;
    }
    std::string problem;
    auto text = object.toJSON(options & NSJSONWritingPrettyPrinted, &problem);
    if (!text) {
        if (error) *error = NSError::make(NSCocoaErrorDomain, 3840, problem);
        return std::nullopt;
    }
    return dataFromString(*text);
}

}  // namespace NSJSONSerialization
