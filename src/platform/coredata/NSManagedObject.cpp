#include "platform/coredata/NSManagedObject.h"

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSLog.h"

NSManagedObject::NSManagedObject(std::shared_ptr<NSEntityDescription> entity) { adoptEntity(std::move(entity)); }

void NSManagedObject::adoptEntity(std::shared_ptr<NSEntityDescription> entity) {
    entity_ = std::move(entity);
    objectID_ = NSManagedObjectID::temporaryID(entity_->name());
    values_.assign(entity_->attributes().size(), Value());
    committed_.assign(entity_->attributes().size(), Value());
}

std::shared_ptr<NSManagedObject> NSManagedObject::instantiate(const std::shared_ptr<NSEntityDescription>& entity) {
    const std::string& className = entity->managedObjectClassName();
    if (!className.empty() && className != "NSManagedObject") {
        auto object = std::dynamic_pointer_cast<NSManagedObject>(ClassRegistry::create(className));
        if (object && !object->entity_) {
            object->adoptEntity(entity);
            return object;
        }
    }
    return std::make_shared<NSManagedObject>(entity);
}

const std::string& NSManagedObject::entityName() const {
    static const std::string none;
    return entity_ ? entity_->name() : none;
}

Value NSManagedObject::valueForKey(const std::string& key) const {
    auto index = entity_ ? entity_->indexOfAttribute(key) : std::nullopt;
    if (!index) {
        NSLog("[<%@> valueForKey:]: the entity %@ is not key value coding-compliant for the key \"%@\".",
              entityName(), entityName(), key);
        return {};
    }
    return values_[*index];
}

Value NSManagedObject::primitiveValueForKey(const std::string& key) const {
    auto index = entity_ ? entity_->indexOfAttribute(key) : std::nullopt;
    return index ? values_[*index] : Value();
}

bool NSManagedObject::setValueForKey(const std::string& key, const Value& value) {
    auto index = entity_ ? entity_->indexOfAttribute(key) : std::nullopt;
    if (!index) {
        NSLog("[<%@> setValue:forKey:]: the entity %@ is not key value coding-compliant for the key \"%@\".",
              entityName(), entityName(), key);
        return false;
    }
    std::string reason;
    auto coerced = entity_->attributes()[*index].coerce(value, &reason);
    if (!coerced) {
        NSLog("[<%@> setValue:forKey:]: unacceptable value %@ for the attribute \"%@\" (%@); the value is unchanged.",
              entityName(), value.description(), key, reason);
        return false;
    }
    willChangeValueForKey(key);
    values_[*index] = std::move(*coerced);
    if (auto context = context_.lock()) context->objectDidChange(self<NSManagedObject>());
    didChangeValueForKey(key);
    return true;
}

bool NSManagedObject::attributeChanged(std::size_t index) const {
    const Value& now = values_[index];
    const Value& before = committed_[index];
    return now.type() != before.type() || now != before;
}

bool NSManagedObject::isUpdated() const {
    if (inserted_ || deleted_ || primaryKey_ == 0) return false;
    for (std::size_t i = 0; i < values_.size(); ++i)
        if (attributeChanged(i)) return true;
    return false;
}

Value NSManagedObject::changedValues() const {
    ValueDictionary out;
    for (std::size_t i = 0; i < values_.size(); ++i)
        if ((inserted_ && !values_[i].isNull()) || (!inserted_ && attributeChanged(i)))
            out[entity_->attributes()[i].name()] = values_[i];
    return Value(std::move(out));
}

std::string NSManagedObject::description() const {
    std::string out = "<";
    if (!entity_) return out.append(className()).append(": no entity>");
    out.append(entityName()).append(": ").append(objectID_->URIRepresentation()).append("> (data: {");
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (i) out += "; ";
        out.append(entity_->attributes()[i].name()).append(" = ");
        if (values_[i].isString()) out.append("\"").append(*values_[i].string()).append("\"");
        else out.append(values_[i].description());
    }
    return out.append("})");
}
