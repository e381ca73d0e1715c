#pragma once
// Connects a model with the stores that keep its objects. Objects are written to
// the first store; one SQLite store is the usual set-up.
#include <memory>
#include <string>
#include <vector>

#include "platform/coredata/CoreDataErrors.h"
#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/coredata/NSPersistentStore.h"

class NSPersistentStoreCoordinator : public NSObject {
public:
    explicit NSPersistentStoreCoordinator(std::shared_ptr<NSManagedObjectModel> model);
    static std::shared_ptr<NSPersistentStoreCoordinator> initWithManagedObjectModel(
        std::shared_ptr<NSManagedObjectModel> model) {
        return std::make_shared<NSPersistentStoreCoordinator>(std::move(model));
    }

    const std::shared_ptr<NSManagedObjectModel>& managedObjectModel() const { return model_; }

    // Adds a store of type NSSQLiteStoreType at the file URL (or path), or of type
    // NSInMemoryStoreType. Options: NSMigratePersistentStoresAutomaticallyOption and
    // NSInferMappingModelAutomaticallyOption (both YES let a model that adds
    // attributes or entities update the file), NSReadOnlyPersistentStoreOption,
    // NSSQLitePragmasOption. nullptr with an error when the store cannot be used:
    // a file that is not a store or is damaged (NSFileReadCorruptFileError), a
    // model the file does not match, a location that cannot be opened.
    std::shared_ptr<NSPersistentStore> addPersistentStoreWithType(const std::string& storeType,
                                                                  const std::string& configuration,
                                                                  const std::string& url, const Value& options,
                                                                  NSErrorPtr* error);
    bool removePersistentStore(const std::shared_ptr<NSPersistentStore>& store, NSErrorPtr* error);
    std::vector<std::shared_ptr<NSPersistentStore>> persistentStores() const { return stores_; }

private:
    std::shared_ptr<NSManagedObjectModel> model_;
    std::vector<std::shared_ptr<NSPersistentStore>> stores_;
};
