#pragma once
// A scratch pad of managed objects over a coordinator: inserts, changes and
// deletes stay pending until save writes them in one transaction. While an
// object is registered (held by someone, or changed), fetching its row again
// gives the same object.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/coredata/Forward.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObject.h"
#include "platform/coredata/NSPersistentStoreCoordinator.h"
#include "platform/foundation/NSError.h"

// Posted by a successful save with the context as object and the arrays
// "inserted", "updated" and "deleted" of objects in the user information.
inline constexpr const char* NSManagedObjectContextDidSaveNotification = "NSManagedObjectContextDidSaveNotification";

class NSManagedObjectContext : public NSObject {
public:
    NSManagedObjectContext() = default;

    void setPersistentStoreCoordinator(std::shared_ptr<NSPersistentStoreCoordinator> coordinator);
    const std::shared_ptr<NSPersistentStoreCoordinator>& persistentStoreCoordinator() const { return coordinator_; }

    // Registers a new object for insertion at the next save.
    void insertObject(const std::shared_ptr<NSManagedObject>& object);
    // Marks a saved object for deletion at the next save; an object not saved yet
    // simply leaves the context.
    void deleteObject(const std::shared_ptr<NSManagedObject>& object);

    // The objects the request selects; empty with *error set when it cannot run
    // (unknown entity, a predicate that does not fit the entity, a store failure).
    std::vector<std::shared_ptr<NSManagedObject>> executeFetchRequest(const std::shared_ptr<NSFetchRequest>& request,
                                                                      NSErrorPtr* error);

    bool hasChanges() const;
    // Writes the pending changes; on failure nothing is written, the changes stay
    // pending and *error tells why.
    bool save(NSErrorPtr* error);
    // Drops the pending changes.
    void rollback();

    std::vector<std::shared_ptr<NSManagedObject>> insertedObjects() const { return inserted_; }
    std::vector<std::shared_ptr<NSManagedObject>> updatedObjects() const;
    std::vector<std::shared_ptr<NSManagedObject>> deletedObjects() const { return deleted_; }
    std::size_t registeredObjectCount() const;

private:
    friend class NSManagedObject;
    void objectDidChange(const std::shared_ptr<NSManagedObject>& object);
    std::shared_ptr<NSPersistentStore> store() const;
    void pruneRegistry();

    using RegistryKey = std::pair<std::string, std::int64_t>;  // entity, row key
    std::shared_ptr<NSPersistentStoreCoordinator> coordinator_;
    std::map<RegistryKey, std::weak_ptr<NSManagedObject>> registered_;
    std::vector<std::shared_ptr<NSManagedObject>> inserted_;  // in insertion order
    std::vector<std::shared_ptr<NSManagedObject>> changed_;   // saved objects set since the last save
    std::vector<std::shared_ptr<NSManagedObject>> deleted_;
};
