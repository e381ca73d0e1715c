#include "platform/net/NSURLError.h"

std::string NSURLErrorDescription(long code) {
    switch (code) {
        case NSURLErrorCancelled: return "cancelled";
        case NSURLErrorBadURL: return "bad URL";
        case NSURLErrorTimedOut: return "The request timed out.";
        case NSURLErrorUnsupportedURL: return "unsupported URL";
        case NSURLErrorCannotFindHost: return "A server with the specified hostname could not be found.";
        case NSURLErrorCannotConnectToHost: return "Could not connect to the server.";
        case NSURLErrorNetworkConnectionLost: return "The network connection was lost.";
        case NSURLErrorHTTPTooManyRedirects: return "too many HTTP redirects";
        case NSURLErrorNotConnectedToInternet: return "The Internet connection appears to be offline.";
        case NSURLErrorBadServerResponse: return "The server returned an invalid response.";
        case NSURLErrorUserCancelledAuthentication: return "The operation couldn't be completed.";
        case NSURLErrorRequestBodyStreamExhausted: return "The request body stream was exhausted.";
        case NSURLErrorDataLengthExceedsMaximum: return "resource exceeds maximum size";
        case NSURLErrorSecureConnectionFailed: return "An SSL error has occurred and a secure connection to the server cannot be made.";
        case NSURLErrorServerCertificateUntrusted: return "The certificate for this server is invalid.";
        default: return "unknown error";
    }
}

NSErrorPtr NSURLErrorMake(long code, const std::string& URL) { return NSURLErrorMake(code, URL, std::string()); }

NSErrorPtr NSURLErrorMake(long code, const std::string& URL, const std::string& reason) {
    Value info = Value::dictionary();
    if (!reason.empty()) info.setObject(NSLocalizedFailureReasonErrorKey, reason);
    info.setObject(NSLocalizedDescriptionKey, NSURLErrorDescription(code));
    if (!URL.empty()) {
        info.setObject(NSURLErrorFailingURLErrorKey, URL);
        info.setObject(NSURLErrorFailingURLStringErrorKey, URL);
    }
    return NSError::errorWithDomain(NSURLErrorDomain, code, info);
}
