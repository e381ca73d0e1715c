#include "adkit/foundation/AKInternalErrors.h"

NSErrorPtr ak_errorWithDomain(const std::string& domain, long code, const std::optional<std::string>& description) {
    if (!description) return NSError::errorWithDomain(domain, code);
    return NSError::errorWithDomain(domain, code,
                                    Value{{NSLocalizedDescriptionKey, Value(*description)},
                                          {NSLocalizedFailureReasonErrorKey, Value(*description)}});
}

NSErrorPtr ak_errorWithCode(long code, const std::optional<std::string>& description) {
    return ak_errorWithDomain(AKPrivateErrorDomain, code, description);
}

std::optional<std::string> ak_localizedDescriptionForErrorCode(long code) {
    switch (code) {
        case 1: return "File could not be read.";
        case 2: return "Internal error.";
        case 3: return "Invalid argument.";
        default: return std::nullopt;
    }
}
