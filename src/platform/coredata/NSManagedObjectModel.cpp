#include "platform/coredata/NSManagedObjectModel.h"

#include <fstream>
#include <set>
#include <sstream>

#include "platform/coredata/CoreDataErrors.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

namespace {

// Entity and attribute names become table and column names: plain identifiers
// only, and the "Z_" prefix is kept for the store's own columns and tables.
bool isValidName(const std::string& name) {
    if (name.empty() || name.size() > 128) return false;
    if (name.rfind("Z_", 0) == 0) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (!(letter || (digit && i > 0))) return false;
    }
    return true;
}

NSErrorPtr malformed(const std::string& reason) {
    return coredata::makeError(NSFileReadCorruptFileError, "The model file is not valid: " + reason);
}

}  // namespace

namespace coredata {
std::string pathFromURL(const std::string& url) {
    const std::string scheme = "file://";
    if (url.rfind(scheme, 0) != 0) return url;
    std::string rest = url.substr(scheme.size());
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    std::string out;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexDigitValue(rest[i + 1]) >= 0 &&
            hexDigitValue(rest[i + 2]) >= 0) {
            out += static_cast<char>(hexDigitValue(rest[i + 1]) * 16 + hexDigitValue(rest[i + 2]));
            i += 2;
        } else {
            out += rest[i];
        }
    }
    return out;
}
}  // namespace coredata

NSManagedObjectModel::NSManagedObjectModel(std::string name, std::vector<std::shared_ptr<NSEntityDescription>> entities)
    : name_(std::move(name)), entities_(std::move(entities)) {}

std::shared_ptr<NSEntityDescription> NSManagedObjectModel::entityForName(const std::string& name) const {
    for (const auto& entity : entities_)
        if (entity->name() == name) return entity;
    return nullptr;
}

std::shared_ptr<NSManagedObjectModel> NSManagedObjectModel::initWithContentsOfURL(const std::string& url,
                                                                                  NSErrorPtr* error) {
    std::string path = coredata::pathFromURL(url);
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) {
        NSLog("CoreData: error: the model file at %@ cannot be read", path);
        if (error)
            *error = coredata::makeError(NSFileReadNoSuchFileError, "The model file could not be read.",
                                         Value{{NSFilePathErrorKey, path}});
        return nullptr;
    }
    std::stringstream text;
    text << in.rdbuf();
    NSErrorPtr parseError;
    auto model = modelWithJSON(text.str(), &parseError);
    if (!model) {
        NSLog("CoreData: error: the model file at %@ is malformed: %@", path, parseError->localizedDescription());
        if (error) *error = parseError;
    }
    return model;
}

std::shared_ptr<NSManagedObjectModel> NSManagedObjectModel::modelWithJSON(std::string_view text, NSErrorPtr* error) {
    auto fail = [&](const std::string& reason) -> std::shared_ptr<NSManagedObjectModel> {
        if (error) *error = malformed(reason);
        return nullptr;
    };
    std::string parseError;
    auto root = Value::fromJSON(text, &parseError);
    if (!root) return fail("not JSON (" + parseError + ")");
    if (!root->isDictionary()) return fail("the top level is not an object");
    Value name = (*root)["name"];
    if (!name.isNull() && !name.isString()) return fail("\"name\" is not a string");
    Value entitiesValue = (*root)["entities"];
    if (!entitiesValue.isArray()) return fail("\"entities\" is not an array");

    std::vector<std::shared_ptr<NSEntityDescription>> entities;
    std::set<std::string> entityNames;
    for (const Value& e : *entitiesValue.arrayRef()) {
        Value entityName = e["name"];
        if (!entityName.isString() || !isValidName(*entityName.string()))
            return fail("an entity has no valid name (" + entityName.description() + ")");
        // Table names are matched without regard to case by the store.
        if (!entityNames.insert(lowercaseString(*entityName.string())).second)
            return fail("the entity " + *entityName.string() + " is declared twice");
        Value className = e["class"];
        if (!className.isNull() && (!className.isString() || !isValidName(*className.string())))
            return fail("the class of " + *entityName.string() + " is not a valid name");
        Value attrs = e["attributes"];
        if (!attrs.isNull() && !attrs.isArray())
            return fail("the attributes of " + *entityName.string() + " are not an array");
        std::vector<NSAttributeDescription> attributes;
        std::set<std::string> attributeNames;
        for (std::size_t i = 0; i < attrs.count(); ++i) {
            Value a = attrs[i];
            Value attrName = a["name"];
            Value attrType = a["type"];
            if (!attrName.isString() || !isValidName(*attrName.string()))
                return fail("an attribute of " + *entityName.string() + " has no valid name");
            if (!attributeNames.insert(lowercaseString(*attrName.string())).second)
                return fail("the attribute " + *attrName.string() + " of " + *entityName.string() +
                            " is declared twice");
            auto type = attrType.isString() ? NSAttributeDescription::typeForName(*attrType.string()) : std::nullopt;
            if (!type)
                return fail("the attribute " + *attrName.string() + " of " + *entityName.string() +
                            " has an unknown type " + attrType.description());
            attributes.emplace_back(*attrName.string(), *type);
        }
        entities.push_back(std::make_shared<NSEntityDescription>(
            *entityName.string(), std::move(attributes),
            className.isString() ? *className.string() : std::string("NSManagedObject")));
    }
    return std::make_shared<NSManagedObjectModel>(name.isString() ? *name.string() : std::string(),
                                                  std::move(entities));
}
