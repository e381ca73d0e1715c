#include "platform/coredata/CoreDataErrors.h"

namespace coredata {

NSErrorPtr makeError(long code, const std::string& description, Value extraInfo) {
    Value info{{NSLocalizedDescriptionKey, description}};
    if (auto extra = extraInfo.dictionaryRef())
        for (const auto& [key, value] : *extra) info.setObject(key, value);
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}

}  // namespace coredata

bool NSPersistentStoreErrorIsCorruptFile(const NSErrorPtr& error) {
    return error && error->domain() == NSCocoaErrorDomain && error->code() == NSFileReadCorruptFileError;
}

bool NSPersistentStoreErrorIsBusy(const NSErrorPtr& error) {
    if (!error || error->domain() != NSCocoaErrorDomain) return false;
    const Value code = error->userInfo()[NSSQLiteErrorDomainKey];
    if (!code.isNumber()) return false;
    const long primary = code.integerValue() & 0xff;
    return primary == 5 /* SQLITE_BUSY */ || primary == 6 /* SQLITE_LOCKED */;
}
