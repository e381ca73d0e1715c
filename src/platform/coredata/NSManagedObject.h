#pragma once
// An object of an entity: typed attribute values, change state, identity and
// the context it lives in. Setting a value checks it against the attribute's
// type (a wrong type or an unknown key is refused with a console line and
// changes nothing) and notifies key-value observers of the key.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/coredata/Forward.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSManagedObjectID.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// Subclasses (typed accessors for one entity) have a public default constructor
// and register in the ClassRegistry under the entity's class name; the store
// then creates them for that entity's objects. An instance made directly, not by
// the store, has no entity: it reads null and refuses every value.
class NSManagedObject : public NSObject {
public:
    // An object outside any context; NSEntityDescription::insertNewObjectForEntityForName
    // creates and inserts in one step.
    explicit NSManagedObject(std::shared_ptr<NSEntityDescription> entity);
    // An object of the entity's class (see above), outside any context.
    static std::shared_ptr<NSManagedObject> instantiate(const std::shared_ptr<NSEntityDescription>& entity);

    const std::shared_ptr<NSEntityDescription>& entity() const { return entity_; }
    const std::string& entityName() const;
    std::shared_ptr<NSManagedObjectContext> managedObjectContext() const { return context_.lock(); }
    std::shared_ptr<NSManagedObjectID> objectID() const { return objectID_; }

    // The value of an attribute (null when unset); an unknown key gives null and a console line.
    Value valueForKey(const std::string& key) const;
    // Sets an attribute; false (nothing changed) for an unknown key or a value the
    // attribute's type does not take.
    bool setValueForKey(const std::string& key, const Value& value);
    bool setValue(const Value& value, const std::string& forKey) { return setValueForKey(forKey, value); }
    // The value without any check or console line (null for an unknown key).
    Value primitiveValueForKey(const std::string& key) const;

    bool isInserted() const { return inserted_; }
    bool isUpdated() const;
    bool isDeleted() const { return deleted_; }
    bool hasChanges() const { return inserted_ || deleted_ || isUpdated(); }
    // The attributes that differ from what the store holds, with their new values.
    Value changedValues() const;

    std::string description() const override;

protected:
    NSManagedObject() = default;

private:
    friend class NSManagedObjectContext;
    bool attributeChanged(std::size_t index) const;
    void adoptEntity(std::shared_ptr<NSEntityDescription> entity);

    std::shared_ptr<NSEntityDescription> entity_;
    std::weak_ptr<NSManagedObjectContext> context_;
    std::shared_ptr<NSManagedObjectID> objectID_;
    std::vector<Value> values_;
    std::vector<Value> committed_;  // as last saved or fetched
    std::int64_t primaryKey_ = 0;   // 0 until saved
    bool inserted_ = false;
    bool deleted_ = false;
};
