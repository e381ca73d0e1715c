#include "platform/coredata/CoreDataErrors.h"

namespace coredata {

NSErrorPtr makeError(long code, const std::string& description, Value extraInfo) {
    Value info{{NSLocalizedDescriptionKey, description}};
    if (auto extra = extraInfo.dictionaryRef())
        for (const auto& [key, value] : *extra) info.setObject(key, value);
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}

}  // namespace coredata
