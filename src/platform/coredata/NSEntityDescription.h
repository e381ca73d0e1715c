#pragma once
// An entity of the object model: its name and its typed attributes, in the
// order the model declares them.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/coredata/Forward.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

enum NSAttributeType {
    NSUndefinedAttributeType = 0,
    NSInteger16AttributeType = 100,
    NSInteger32AttributeType = 200,
    NSInteger64AttributeType = 300,
    NSDoubleAttributeType = 500,
    NSFloatAttributeType = 600,
    NSStringAttributeType = 700,
    NSBooleanAttributeType = 800,
    NSDateAttributeType = 900,
    NSBinaryDataAttributeType = 1000,
};

class NSAttributeDescription {
public:
    NSAttributeDescription(std::string name, NSAttributeType type) : name_(std::move(name)), type_(type) {}
    const std::string& name() const { return name_; }
    NSAttributeType attributeType() const { return type_; }
    bool isNumeric() const;

    // The type's name in the model file ("integer32", "string", ...); nullopt for an unknown name.
    static std::optional<NSAttributeType> typeForName(const std::string& name);
    static std::string nameForType(NSAttributeType type);

    // The value as the attribute stores it: integers range-checked, floats rounded
    // to single precision, booleans as bools. nullopt (with a reason) when the
    // value does not fit the attribute's type. Null always fits.
    std::optional<Value> coerce(const Value& value, std::string* reason = nullptr) const;

private:
    std::string name_;
    NSAttributeType type_;
};

class NSEntityDescription : public NSObject {
public:
    NSEntityDescription(std::string name, std::vector<NSAttributeDescription> attributes,
                        std::string managedObjectClassName = "NSManagedObject");

    const std::string& name() const { return name_; }
    // The class of the entity's objects: a subclass of NSManagedObject registered
    // in the ClassRegistry under this name, or NSManagedObject itself.
    const std::string& managedObjectClassName() const { return className_; }
    const std::vector<NSAttributeDescription>& attributes() const { return attributes_; }
    std::optional<std::size_t> indexOfAttribute(const std::string& key) const;
    const NSAttributeDescription* attributeNamed(const std::string& key) const;

    // The entity of that name in the model of the context's coordinator.
    static std::shared_ptr<NSEntityDescription> entityForName(const std::string& name,
                                                              const std::shared_ptr<NSManagedObjectContext>& context);
    // Creates an object of the entity and inserts it into the context; nullptr
    // (with a console line) when the context has no model or the model no such entity.
    static std::shared_ptr<NSManagedObject> insertNewObjectForEntityForName(
        const std::string& name, const std::shared_ptr<NSManagedObjectContext>& context);

    std::string description() const override;

private:
    std::string name_;
    std::vector<NSAttributeDescription> attributes_;
    std::string className_;
};
