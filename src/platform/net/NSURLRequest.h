#pragma once
// URL requests: an absolute URL, a method, header fields, a body, a cache
// policy and an idle time-out. NSURLRequest is immutable once shared;
// NSMutableURLRequest is the variant that callers build and change.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSStream.h"
#include "platform/net/HTTPHeaderFields.h"

enum NSURLRequestCachePolicy : unsigned long {
    NSURLRequestUseProtocolCachePolicy = 0,
    NSURLRequestReloadIgnoringLocalCacheData = 1,
    NSURLRequestReloadIgnoringLocalAndRemoteCacheData = 4,
    NSURLRequestReloadIgnoringCacheData = NSURLRequestReloadIgnoringLocalCacheData,
    NSURLRequestReturnCacheDataElseLoad = 2,
    NSURLRequestReturnCacheDataDontLoad = 3,
    NSURLRequestReloadRevalidatingCacheData = 5,
};

inline constexpr double NSURLRequestDefaultTimeoutInterval = 60;

enum NSURLRequestNetworkServiceType : unsigned long {
    NSURLNetworkServiceTypeDefault = 0,
    NSURLNetworkServiceTypeVoIP = 1,
    NSURLNetworkServiceTypeVideo = 2,
    NSURLNetworkServiceTypeBackground = 3,
    NSURLNetworkServiceTypeVoice = 4,
};

class NSMutableURLRequest;

class NSURLRequest : public NSObject {
public:
    explicit NSURLRequest(std::string URL, NSURLRequestCachePolicy cachePolicy = NSURLRequestUseProtocolCachePolicy,
                          double timeoutInterval = NSURLRequestDefaultTimeoutInterval);
    static std::shared_ptr<NSURLRequest> requestWithURL(std::string URL);
    static std::shared_ptr<NSURLRequest> requestWithURL(std::string URL, NSURLRequestCachePolicy cachePolicy,
                                                       double timeoutInterval);

    // The absolute URL as a string ("" for none).
    const std::string& URL() const { return URL_; }
    // "GET" unless set otherwise.
    const std::string& HTTPMethod() const { return HTTPMethod_; }
    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
    const std::optional<Data>& HTTPBody() const { return HTTPBody_; }
    // A body read from a stream as it is sent, instead of HTTPBody. The stream
    // is shared, not copied, by copies of the request; it is read once.
    const std::shared_ptr<NSInputStream>& HTTPBodyStream() const { return HTTPBodyStream_; }
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    // Seconds without any byte moving after which a load fails; not a limit on the whole load.
    double timeoutInterval() const { return timeoutInterval_; }
    bool HTTPShouldHandleCookies() const { return HTTPShouldHandleCookies_; }
    // Recorded for the callers that set them; the loopback transport does not act on them.
    bool allowsCellularAccess() const { return allowsCellularAccess_; }
    bool HTTPShouldUsePipelining() const { return HTTPShouldUsePipelining_; }
    NSURLRequestNetworkServiceType networkServiceType() const { return networkServiceType_; }

    std::shared_ptr<NSURLRequest> copy() const;
    std::shared_ptr<NSMutableURLRequest> mutableCopy() const;
    // Same URL, method, header fields, body (the same body stream), cache policy and time-out.
    bool isEqual(const NSURLRequest& other) const;

    std::string description() const override;

protected:
    void copyFieldsFrom(const NSURLRequest& other);

    std::string URL_;
    std::string HTTPMethod_ = "GET";
    HTTPHeaderFields headers_;
    std::optional<Data> HTTPBody_;
    std::shared_ptr<NSInputStream> HTTPBodyStream_;
    NSURLRequestCachePolicy cachePolicy_;
    double timeoutInterval_;
    bool HTTPShouldHandleCookies_ = true;
    bool allowsCellularAccess_ = true;
    bool HTTPShouldUsePipelining_ = false;
    NSURLRequestNetworkServiceType networkServiceType_ = NSURLNetworkServiceTypeDefault;
};

class NSMutableURLRequest : public NSURLRequest {
public:
    using NSURLRequest::NSURLRequest;
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(std::string URL);
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(std::string URL, NSURLRequestCachePolicy cachePolicy,
                                                              double timeoutInterval);

    void setURL(std::string URL) { URL_ = std::move(URL); }
    void setHTTPMethod(std::string method);
    // Replaces the field; an absent value removes it.
    void setValue(const std::optional<std::string>& value, const std::string& field);
    // Appends to the field, comma-separated, or sets it when absent.
    void addValue(const std::string& value, const std::string& field);
    void setAllHTTPHeaderFields(const HTTPHeaderFields& fields) { headers_ = fields; }
    // A body and a body stream exclude each other: setting one drops the other.
    void setHTTPBody(std::optional<Data> body) {
        HTTPBody_ = std::move(body);
        if (HTTPBody_) HTTPBodyStream_.reset();
    }
    void setHTTPBodyStream(std::shared_ptr<NSInputStream> stream) {
        HTTPBodyStream_ = std::move(stream);
        if (HTTPBodyStream_) HTTPBody_.reset();
    }
    void setAllowsCellularAccess(bool allows) { allowsCellularAccess_ = allows; }
    void setHTTPShouldUsePipelining(bool pipelining) { HTTPShouldUsePipelining_ = pipelining; }
    void setNetworkServiceType(NSURLRequestNetworkServiceType type) { networkServiceType_ = type; }
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    void setHTTPShouldHandleCookies(bool handle) { HTTPShouldHandleCookies_ = handle; }
};
