#include "platform/coredata/NSEntityDescription.h"

#include <cmath>
#include <limits>

#include "platform/coredata/NSManagedObject.h"
#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/coredata/NSPersistentStoreCoordinator.h"
#include "platform/foundation/NSLog.h"

namespace {
struct TypeName {
    NSAttributeType type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {NSInteger16AttributeType, "integer16"}, {NSInteger32AttributeType, "integer32"},
    {NSInteger64AttributeType, "integer64"}, {NSDoubleAttributeType, "double"},
    {NSFloatAttributeType, "float"},         {NSStringAttributeType, "string"},
    {NSBooleanAttributeType, "boolean"},     {NSDateAttributeType, "date"},
    {NSBinaryDataAttributeType, "binary"},
};

std::optional<Value> coerceInteger(const Value& value, std::int64_t lo, std::int64_t hi, std::string* reason) {
    std::int64_t n = 0;
    switch (value.type()) {
    case Value::Type::Bool:
    case Value::Type::Integer: n = value.integerValue(); break;
    case Value::Type::Unsigned:
        if (value.unsignedLongLongValue() > static_cast<std::uint64_t>(hi)) {
            if (reason) *reason = "value " + value.description() + " is out of range";
            return std::nullopt;
        }
        n = static_cast<std::int64_t>(value.unsignedLongLongValue());
        break;
    case Value::Type::Double: {
        double d = std::trunc(value.doubleValue());
        // 2^63 is the first double beyond the 64-bit range.
        if (!std::isfinite(d) || d < static_cast<double>(lo) || d >= 9223372036854775808.0 ||
            d > static_cast<double>(hi)) {
            if (reason) *reason = "value " + value.description() + " is out of range";
            return std::nullopt;
        }
        n = static_cast<std::int64_t>(d);
        break;
    }
    default:
        if (reason) *reason = "a number is required";
        return std::nullopt;
    }
    if (n < lo || n > hi) {
        if (reason) *reason = "value " + std::to_string(n) + " is out of range";
        return std::nullopt;
    }
    return Value(static_cast<long long>(n));
}
}  // namespace

bool NSAttributeDescription::isNumeric() const {
    switch (type_) {
    case NSInteger16AttributeType:
    case NSInteger32AttributeType:
    case NSInteger64AttributeType:
    case NSDoubleAttributeType:
    case NSFloatAttributeType:
    case NSBooleanAttributeType: return true;
    default: return false;
    }
}

std::optional<NSAttributeType> NSAttributeDescription::typeForName(const std::string& name) {
    for (const auto& t : kTypeNames)
        if (name == t.name) return t.type;
    return std::nullopt;
}

std::string NSAttributeDescription::nameForType(NSAttributeType type) {
    for (const auto& t : kTypeNames)
        if (type == t.type) return t.name;
    return "undefined";
}

std::optional<Value> NSAttributeDescription::coerce(const Value& value, std::string* reason) const {
    if (value.isNull()) return Value();
    switch (type_) {
    case NSInteger16AttributeType: return coerceInteger(value, INT16_MIN, INT16_MAX, reason);
    case NSInteger32AttributeType: return coerceInteger(value, INT32_MIN, INT32_MAX, reason);
    case NSInteger64AttributeType: return coerceInteger(value, INT64_MIN, INT64_MAX, reason);
    case NSFloatAttributeType:
    case NSDoubleAttributeType: {
        if (!value.isNumber()) {
            if (reason) *reason = "a number is required";
            return std::nullopt;
        }
        double d = value.doubleValue();
        // The store cannot keep NaN (it would read back as null).
        if (std::isnan(d)) {
            if (reason) *reason = "NaN cannot be stored";
            return std::nullopt;
        }
        if (type_ == NSDoubleAttributeType) return Value(d);
        if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
            if (reason) *reason = "value " + value.description() + " is out of range";
            return std::nullopt;
        }
        return Value(static_cast<double>(static_cast<float>(d)));
    }
    case NSBooleanAttributeType:
        if (!value.isNumber()) {
            if (reason) *reason = "a number is required";
            return std::nullopt;
        }
        return Value(value.type() == Value::Type::Double ? value.doubleValue() != 0 : value.integerValue() != 0);
    case NSStringAttributeType:
        if (value.isString()) return value;
        if (reason) *reason = "a string is required";
        return std::nullopt;
    case NSDateAttributeType:
        if (value.isDate()) return value;
        if (reason) *reason = "a date is required";
        return std::nullopt;
    case NSBinaryDataAttributeType:
        if (value.isData()) return value;
        if (reason) *reason = "data is required";
        return std::nullopt;
    default:
        if (reason) *reason = "the attribute has no type";
        return std::nullopt;
    }
}

NSEntityDescription::NSEntityDescription(std::string name, std::vector<NSAttributeDescription> attributes,
                                         std::string managedObjectClassName)
    : name_(std::move(name)), attributes_(std::move(attributes)), className_(std::move(managedObjectClassName)) {}

std::optional<std::size_t> NSEntityDescription::indexOfAttribute(const std::string& key) const {
    for (std::size_t i = 0; i < attributes_.size(); ++i)
        if (attributes_[i].name() == key) return i;
    return std::nullopt;
}

const NSAttributeDescription* NSEntityDescription::attributeNamed(const std::string& key) const {
    auto index = indexOfAttribute(key);
    return index ? &attributes_[*index] : nullptr;
}

std::shared_ptr<NSEntityDescription> NSEntityDescription::entityForName(
    const std::string& name, const std::shared_ptr<NSManagedObjectContext>& context) {
    if (!context) return nullptr;
    auto coordinator = context->persistentStoreCoordinator();
    if (!coordinator || !coordinator->managedObjectModel()) return nullptr;
    return coordinator->managedObjectModel()->entityForName(name);
}

std::shared_ptr<NSManagedObject> NSEntityDescription::insertNewObjectForEntityForName(
    const std::string& name, const std::shared_ptr<NSManagedObjectContext>& context) {
    auto entity = entityForName(name, context);
    if (!entity) {
        NSLog("+entityForName: could not locate an entity named '%@' in this model.", name);
        return nullptr;
    }
    auto object = NSManagedObject::instantiate(entity);
    context->insertObject(object);
    return object;
}

std::string NSEntityDescription::description() const {
    std::string out = "(<NSEntityDescription> name " + name_ + ", attributes {";
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
        if (i) out += ", ";
        out += attributes_[i].name() + ": " + NSAttributeDescription::nameForType(attributes_[i].attributeType());
    }
    return out + "})";
}
