#include "platform/coredata/NSPersistentStoreCoordinator.h"

#include <algorithm>

#include "platform/coredata/ObjectStoreSqlite.h"

NSPersistentStoreCoordinator::NSPersistentStoreCoordinator(std::shared_ptr<NSManagedObjectModel> model)
    : model_(std::move(model)) {}

std::shared_ptr<NSPersistentStore> NSPersistentStoreCoordinator::addPersistentStoreWithType(
    const std::string& storeType, const std::string& configuration, const std::string& url, const Value& options,
    NSErrorPtr* error) {
    if (!model_) {
        if (error) *error = coredata::makeError(NSCoreDataError, "The coordinator has no model.");
        return nullptr;
    }
    std::string path;
    if (storeType == NSSQLiteStoreType) {
        path = coredata::pathFromURL(url);
        if (path.empty()) {
            if (error) *error = coredata::makeError(NSPersistentStoreOpenError, "The store needs a file URL.");
            return nullptr;
        }
        for (const auto& store : stores_)
            if (store->type() == NSSQLiteStoreType && coredata::pathFromURL(store->URL()) == path) {
                if (error)
                    *error = coredata::makeError(NSPersistentStoreOpenError,
                                                 "The store at this location is already added.",
                                                 Value{{NSFilePathErrorKey, path}});
                return nullptr;
            }
    } else if (storeType == NSInMemoryStoreType) {
        path = ":memory:";
    } else {
        if (error)
            *error = coredata::makeError(NSPersistentStoreInvalidTypeError, "Unknown store type " + storeType + ".");
        return nullptr;
    }
    auto backing = coredata::ObjectStoreSqlite::open(path, *model_, options.isDictionary() ? options : Value::dictionary(),
                                                     error);
    if (!backing) return nullptr;
    auto store = std::make_shared<NSPersistentStore>(storeType, configuration, url, options, std::move(backing));
    stores_.push_back(store);
    return store;
}

bool NSPersistentStoreCoordinator::removePersistentStore(const std::shared_ptr<NSPersistentStore>& store,
                                                         NSErrorPtr* error) {
    auto it = std::find(stores_.begin(), stores_.end(), store);
    if (it == stores_.end()) {
        if (error) *error = coredata::makeError(NSPersistentStoreOperationError, "The store is not in this coordinator.");
        return false;
    }
    stores_.erase(it);
    return true;
}
