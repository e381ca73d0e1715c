#include "platform/foundation/NSError.h"

#include <cstring>

NSError::NSError(std::string domain, long code, Value userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(userInfo.isDictionary() ? userInfo : Value::dictionary()) {}

NSErrorPtr NSError::errorWithDomain(std::string domain, long code, Value userInfo) {
    return std::make_shared<NSError>(std::move(domain), code, std::move(userInfo));
}

NSErrorPtr NSError::make(std::string domain, long code, const std::string& description) {
    return errorWithDomain(std::move(domain), code, Value{{NSLocalizedDescriptionKey, description}});
}

NSErrorPtr NSError::posix(int err, const std::string& path) {
    Value info{{NSLocalizedDescriptionKey, std::string(std::strerror(err))}};
    if (!path.empty()) info.setObject(NSFilePathErrorKey, path);
    return errorWithDomain(NSPOSIXErrorDomain, err, info);
}

std::string NSError::localizedDescription() const {
    auto d = userInfo_[NSLocalizedDescriptionKey];
    if (d.isString()) return *d.string();
    return "The operation couldn\u2019t be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

NSErrorPtr NSError::underlyingError() const { return userInfo_[NSUnderlyingErrorKey].objectAs<NSError>(); }

std::string NSError::description() const {
    return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + localizedDescription() +
           "\" UserInfo=" + userInfo_.description();
}
