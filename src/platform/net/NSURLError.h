#pragma once
// Error codes of the URL-loading system (domain NSURLErrorDomain).
#include <string>

#include "platform/foundation/NSError.h"

enum : long {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorBadURL = -1000,
    NSURLErrorTimedOut = -1001,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorResourceUnavailable = -1008,
    NSURLErrorNotConnectedToInternet = -1009,
    NSURLErrorRedirectToNonExistentLocation = -1010,
    NSURLErrorBadServerResponse = -1011,
    NSURLErrorUserCancelledAuthentication = -1012,
    NSURLErrorUserAuthenticationRequired = -1013,
    NSURLErrorZeroByteResource = -1014,
    NSURLErrorRequestBodyStreamExhausted = -1021,
    NSURLErrorDataLengthExceedsMaximum = -1103,
    NSURLErrorSecureConnectionFailed = -1200,
    NSURLErrorServerCertificateHasBadDate = -1201,
    NSURLErrorServerCertificateUntrusted = -1202,
    NSURLErrorServerCertificateHasUnknownRoot = -1203,
    NSURLErrorServerCertificateNotYetValid = -1204,
};

// An error of NSURLErrorDomain with its standard description and, when `URL`
// is not empty, the failing URL under NSURLErrorFailingURLErrorKey and
// NSURLErrorFailingURLStringErrorKey.
NSErrorPtr NSURLErrorMake(long code, const std::string& URL);
// The same with why it happened under NSLocalizedFailureReasonErrorKey (left
// out when empty), for logs and support.
NSErrorPtr NSURLErrorMake(long code, const std::string& URL, const std::string& reason);
// The standard description of a code ("The request timed out.").
std::string NSURLErrorDescription(long code);
