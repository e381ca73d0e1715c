#pragma once
// The settings a URL session is made with: default (shared storage),
// ephemeral (nothing kept on disk) or background (named by an identifier).
// A session copies its configuration when made; later changes to the caller's
// object do not reach it. Archived as a Value dictionary (encodeWithCoder /
// initWithCoder) and copied with copy().
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/net/HTTPHeaderFields.h"
#include "platform/net/NSURLRequest.h"

class NSURLSessionConfiguration;
using NSURLSessionConfigurationPtr = std::shared_ptr<NSURLSessionConfiguration>;

class NSURLSessionConfiguration : public NSObject {
public:
    static NSURLSessionConfigurationPtr defaultSessionConfiguration();
    static NSURLSessionConfigurationPtr ephemeralSessionConfiguration();
    static NSURLSessionConfigurationPtr backgroundSessionConfigurationWithIdentifier(const std::string& identifier);

    // Null for a default or ephemeral configuration.
    const std::optional<std::string>& identifier() const { return identifier_; }
    bool isEphemeral() const { return ephemeral_; }

    // Header fields added to every request that does not set them itself.
    const HTTPHeaderFields& HTTPAdditionalHeaders() const { return additionalHeaders_; }
    void setHTTPAdditionalHeaders(HTTPHeaderFields headers) { additionalHeaders_ = std::move(headers); }
    // Seconds without a byte moving before a load fails (requests that keep the
    // default time-out take this one).
    double timeoutIntervalForRequest() const { return requestTimeout_; }
    void setTimeoutIntervalForRequest(double seconds) { requestTimeout_ = seconds; }
    // Seconds a task may take in all, suspended time included.
    double timeoutIntervalForResource() const { return resourceTimeout_; }
    void setTimeoutIntervalForResource(double seconds) { resourceTimeout_ = seconds; }
    NSURLRequestCachePolicy requestCachePolicy() const { return cachePolicy_; }
    void setRequestCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    bool allowsCellularAccess() const { return allowsCellularAccess_; }
    void setAllowsCellularAccess(bool allows) { allowsCellularAccess_ = allows; }
    long HTTPMaximumConnectionsPerHost() const { return maxConnectionsPerHost_; }
    void setHTTPMaximumConnectionsPerHost(long count) { maxConnectionsPerHost_ = count; }
    bool HTTPShouldSetCookies() const { return shouldSetCookies_; }
    void setHTTPShouldSetCookies(bool should) { shouldSetCookies_ = should; }
    bool isDiscretionary() const { return discretionary_; }
    void setDiscretionary(bool discretionary) { discretionary_ = discretionary; }
    bool sessionSendsLaunchEvents() const { return sendsLaunchEvents_; }
    void setSessionSendsLaunchEvents(bool sends) { sendsLaunchEvents_ = sends; }

    NSURLSessionConfigurationPtr copy() const;
    Value encodeWithCoder() const;
    // Null when the archive is no configuration archive.
    static NSURLSessionConfigurationPtr initWithCoder(const Value& archive);

    // The request a task sends for `request`: the additional headers it lacks,
    // and this configuration's idle time-out when it kept the default one.
    std::shared_ptr<NSURLRequest> requestForTask(const std::shared_ptr<NSURLRequest>& request) const;

private:
    std::optional<std::string> identifier_;
    bool ephemeral_ = false;
    HTTPHeaderFields additionalHeaders_;
    double requestTimeout_ = 60;
    double resourceTimeout_ = 604800;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    bool allowsCellularAccess_ = true;
    long maxConnectionsPerHost_ = 6;
    bool shouldSetCookies_ = true;
    bool discretionary_ = false;
    bool sendsLaunchEvents_ = false;
};
