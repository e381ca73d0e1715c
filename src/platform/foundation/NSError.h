#pragma once
// Error objects: a domain, a code and a user-information dictionary.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSError;
using NSErrorPtr = std::shared_ptr<NSError>;

inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* NSFilePathErrorKey = "NSFilePath";
inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSURLErrorFailingURLErrorKey = "NSErrorFailingURLKey";
inline constexpr const char* NSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* NSOSStatusErrorDomain = "NSOSStatusErrorDomain";

class NSError : public NSObject {
public:
    NSError(std::string domain, long code, Value userInfo = {});
    static NSErrorPtr errorWithDomain(std::string domain, long code, Value userInfo = {});
    // An error with a localized description only.
    static NSErrorPtr make(std::string domain, long code, const std::string& description);
    // An error of the POSIX domain for errno, with the failing path.
    static NSErrorPtr posix(int err, const std::string& path = {});

    const std::string& domain() const { return domain_; }
    long code() const { return code_; }
    const Value& userInfo() const { return userInfo_; }
    std::string localizedDescription() const;
    NSErrorPtr underlyingError() const;

    std::string description() const override;

private:
    std::string domain_;
    long code_;
    Value userInfo_;
};
