#pragma once
// Error codes of the object store (NSCocoaErrorDomain) and the option keys of
// persistent stores.
#include <string>

#include "platform/foundation/FoundationErrors.h"

#include "platform/foundation/NSError.h"

inline constexpr const char* NSSQLiteStoreType = "SQLite";
inline constexpr const char* NSInMemoryStoreType = "InMemory";

inline constexpr const char* NSMigratePersistentStoresAutomaticallyOption = "NSMigratePersistentStoresAutomaticallyOption";
inline constexpr const char* NSInferMappingModelAutomaticallyOption = "NSInferMappingModelAutomaticallyOption";
inline constexpr const char* NSReadOnlyPersistentStoreOption = "NSReadOnlyPersistentStoreOption";
// A dictionary of SQLite pragmas (name -> integer or word) applied when the store opens.
inline constexpr const char* NSSQLitePragmasOption = "NSSQLitePragmasOption";

inline constexpr const char* NSSQLiteErrorDomain = "NSSQLiteErrorDomain";
inline constexpr const char* NSSQLiteErrorDomainKey = "NSSQLiteErrorDomain";  // userInfo key: the SQLite code
inline constexpr const char* NSAffectedObjectsErrorKey = "NSAffectedObjectsErrorKey";
inline constexpr const char* NSValidationKeyErrorKey = "NSValidationErrorKey";

enum : long {
    NSValidationMissingMandatoryPropertyError = 1570,
    NSManagedObjectValidationError = 1550,
    NSManagedObjectContextLockingError = 132000,
    NSManagedObjectMergeError = 133020,
    NSPersistentStoreInvalidTypeError = 134000,
    NSPersistentStoreTypeMismatchError = 134010,
    NSPersistentStoreIncompatibleSchemaError = 134020,
    NSPersistentStoreSaveError = 134030,
    NSPersistentStoreIncompleteSaveError = 134040,
    NSCoreDataError = 134060,
    NSPersistentStoreOperationError = 134070,
    NSPersistentStoreOpenError = 134080,
    NSPersistentStoreIncompatibleVersionHashError = 134100,
    NSMigrationMissingMappingModelError = 134140,
    NSMigrationError = 134110,
};

namespace coredata {
// An error of the Cocoa domain with a description and optional extra user information.
NSErrorPtr makeError(long code, const std::string& description, Value extraInfo = {});
}  // namespace coredata

// What an error of opening a store says about its file: damaged, or not a store
// at all (nothing that waiting would mend), ...
bool NSPersistentStoreErrorIsCorruptFile(const NSErrorPtr& error);
// ... or whole but held by another connection (another process), so that a
// later attempt may succeed.
bool NSPersistentStoreErrorIsBusy(const NSErrorPtr& error);
