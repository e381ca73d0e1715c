#pragma once
// The errors that reach a publisher: domain "com.adkit.ads", a code of the table
// below, and user info with the message under the localized description and the
// failure reason, the underlying error, "HttpStatus" ("HTTP status %ld: %@")
// for a status of 1 or more, and for code 0 the request's parameters (which
// never replace those entries). Immutable values; any thread.
//
// Codes: 0 invalid request (also any unknown code), 1 no ad, 2 network error,
// 3 server error, 4 system below 5.0, 5 timeout, 6 interstitial already used,
// 7 invalid mediation response, 8 no mediation adapter, 9 no ad from any
// mediated network, 10 incompatible ad type, 11 internal error, 12 invalid
// argument, 13 invalid response.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKRequestParameters.h"
#include "platform/foundation/NSError.h"

inline constexpr const char* AKErrorDomain = "com.adkit.ads";

class AKRequestError;
using AKRequestErrorPtr = std::shared_ptr<AKRequestError>;

class AKRequestError : public NSError {
public:
    AKRequestError(std::int64_t code, const AKRequestParametersSource* request, std::int64_t HTTPStatusCode,
                   const std::optional<std::string>& customMessage, const NSErrorPtr& underlyingError);

    // "Request Error: " and the code's message.
    static std::string localizedStringForErrorCode(std::int64_t code);

    static AKRequestErrorPtr errorWithCode(std::int64_t code, const AKRequestParametersSource* request,
                                           std::int64_t HTTPStatusCode, const std::optional<std::string>& customMessage,
                                           const NSErrorPtr& underlyingError);
    static AKRequestErrorPtr errorWithCode(std::int64_t code, const AKRequestParametersSource* request,
                                           std::int64_t HTTPStatusCode = 0,
                                           const std::optional<std::string>& customMessage = std::nullopt);
    static AKRequestErrorPtr errorWithCode(std::int64_t code);
    static AKRequestErrorPtr errorWithCode(std::int64_t code, const std::optional<std::string>& customMessage);
    static AKRequestErrorPtr errorWithCode(std::int64_t code, const NSErrorPtr& underlyingError);

    // A plain NSError with the same domain, code and user info.
    NSErrorPtr error() const;

private:
    static Value userInfoFor(std::int64_t code, const AKRequestParametersSource* request, std::int64_t status,
                             const std::optional<std::string>& customMessage, const NSErrorPtr& underlyingError);
};
