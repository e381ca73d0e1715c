#include "adkit/foundation/AKRequestError.h"

#include <mutex>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/NSHTTPURLResponse.h"

namespace {

const char* messageForCode(std::int64_t code) {
    switch (code) {
        case 1: return "No ad to show.";
        case 2: return "A network error occurred.";
        case 3: return "Server error processing the request.";
        case 5: return "The AdKit Ad request was unable to be fulfilled before a timeout occurred.";
        case 6: return "Will not send request because interstitial object has been used.";
        case 7: return "The mediation response was invalid.";
        case 8: return "Cannot find an ad network adapter for mediation.";
        case 9: return "No ad to show from all configured ad networks.";
        case 10: return "Incompatible ad type requested.";
        case 11: return "Internal error.";
        case 12: return "Invalid argument.";
        case 13: return "Received invalid response.";
        default: return "Invalid ad request parameter(s). Check the Xcode console for details.";
    }
}

// The code 4 message, formatted once per process; reading the version may
// wait for the main thread, which the once-only holder never does under its lock.
std::string osBelowMinimumMessage() {
    static ProcessLifetime<AKOnceValue<std::string>> text;
    return text->get([] {
        std::int64_t major = 0, minor = 0, bugFix = 0;
        AKDevice::getOSMajor(&major, &minor, &bugFix);
        return format("This device's OS is %ld.%ld.%ld.It is below the minimum of %ld.%ld.", major, minor, bugFix, 5, 0);
    });
}

}  // namespace

std::string AKRequestError::localizedStringForErrorCode(std::int64_t code) {
    return std::string("Request Error: ") + (code == 4 ? osBelowMinimumMessage() : std::string(messageForCode(code)));
}

Value AKRequestError::userInfoFor(std::int64_t code, const AKRequestParametersSource* request, std::int64_t status,
                                  const std::optional<std::string>& customMessage, const NSErrorPtr& underlyingError) {
    Value info = Value::dictionary();
    // Code 0 carries the request's parameters; the entries below are set after
    // them, so a parameter never replaces the message, the underlying error or
    // a status entry.
    if (code == 0 && request) {
        const Value parameters = request->parameters();
        if (auto d = parameters.dictionaryRef()) {
            for (const auto& [key, value] : *d) info.setObject(key, value);
        }
    }
    const std::string message = customMessage ? *customMessage : localizedStringForErrorCode(code);
    info.setObject(NSLocalizedDescriptionKey, Value(message));
    info.setObject(NSLocalizedFailureReasonErrorKey, Value(message));
    if (underlyingError) info.setObject(NSUnderlyingErrorKey, Value(underlyingError));
    else info.removeObjectForKey(NSUnderlyingErrorKey);
    // Below 1 there is no status entry of our own, so a request parameter of
    // that name stays.
    if (status >= 1) {
        info.setObject("HttpStatus", Value(format("HTTP status %ld: %@", static_cast<long>(status),
                                                  NSHTTPURLResponse::localizedStringForStatusCode(static_cast<long>(status)))));
    }
    return info;
}

AKRequestError::AKRequestError(std::int64_t code, const AKRequestParametersSource* request,
                               std::int64_t HTTPStatusCode, const std::optional<std::string>& customMessage,
                               const NSErrorPtr& underlyingError)
    : NSError(AKErrorDomain, static_cast<long>(code),
              userInfoFor(code, request, HTTPStatusCode, customMessage, underlyingError)) {}

AKRequestErrorPtr AKRequestError::errorWithCode(std::int64_t code, const AKRequestParametersSource* request,
                                                std::int64_t HTTPStatusCode,
                                                const std::optional<std::string>& customMessage,
                                                const NSErrorPtr& underlyingError) {
    return std::make_shared<AKRequestError>(code, request, HTTPStatusCode, customMessage, underlyingError);
}

AKRequestErrorPtr AKRequestError::errorWithCode(std::int64_t code, const AKRequestParametersSource* request,
                                                std::int64_t HTTPStatusCode,
                                                const std::optional<std::string>& customMessage) {
    return errorWithCode(code, request, HTTPStatusCode, customMessage, nullptr);
}

AKRequestErrorPtr AKRequestError::errorWithCode(std::int64_t code) { return errorWithCode(code, std::nullopt); }

AKRequestErrorPtr AKRequestError::errorWithCode(std::int64_t code, const std::optional<std::string>& customMessage) {
    return errorWithCode(code, nullptr, 0, customMessage, nullptr);
}

AKRequestErrorPtr AKRequestError::errorWithCode(std::int64_t code, const NSErrorPtr& underlyingError) {
    std::optional<std::string> message;
    if (underlyingError) message = underlyingError->localizedDescription();
    return errorWithCode(code, nullptr, 0, message, underlyingError);
}

NSErrorPtr AKRequestError::error() const { return NSError::errorWithDomain(domain(), code(), userInfo().copy()); }
