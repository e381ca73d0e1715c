#pragma once
// Exceptions the platform raises where a caller broke a rule (the layout
// language's refusals, for one). Thrown as C++ exceptions and caught as
// NSException, told apart by name:
//
//     try { ... } catch (const NSException& e) { if (e.name() == NSInvalidArgumentException) ... }
//
// Only where a component names an exception; ordinary failures are NSError values.
#include <exception>
#include <string>

#include "platform/foundation/Value.h"

inline constexpr const char* NSGenericException = "NSGenericException";
inline constexpr const char* NSRangeException = "NSRangeException";
inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";
inline constexpr const char* NSMallocException = "NSMallocException";
inline constexpr const char* NSObjectInaccessibleException = "NSObjectInaccessibleException";
inline constexpr const char* NSObjectNotAvailableException = "NSObjectNotAvailableException";
inline constexpr const char* NSDestinationInvalidException = "NSDestinationInvalidException";
inline constexpr const char* NSInvalidReceivePortException = "NSInvalidReceivePortException";
inline constexpr const char* NSInvalidSendPortException = "NSInvalidSendPortException";
inline constexpr const char* NSPortTimeoutException = "NSPortTimeoutException";
inline constexpr const char* NSUndefinedKeyException = "NSUndefinedKeyException";

class NSException : public std::exception {
public:
    NSException(std::string name, std::string reason, Value userInfo = Value());

    static NSException exceptionWithName(const std::string& name, const std::string& reason,
                                         const Value& userInfo = Value()) {
        return NSException(name, reason, userInfo);
    }
    // Throws an exception of the name with the reason.
    [[noreturn]] static void raise(const std::string& name, const std::string& reason);
    [[noreturn]] void raise() const { throw *this; }

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Value& userInfo() const { return userInfo_; }
    // "<name>: <reason>"
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::string name_, reason_, what_;
    Value userInfo_;
};
