#include "platform/net/NSURLRequest.h"

#include <cstdio>

NSURLRequest::NSURLRequest(std::string URL, NSURLRequestCachePolicy cachePolicy, double timeoutInterval)
    : URL_(std::move(URL)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::string URL) {
    return std::make_shared<NSURLRequest>(std::move(URL));
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::string URL, NSURLRequestCachePolicy cachePolicy,
                                                           double timeoutInterval) {
    return std::make_shared<NSURLRequest>(std::move(URL), cachePolicy, timeoutInterval);
}

std::optional<std::string> NSURLRequest::valueForHTTPHeaderField(const std::string& field) const {
    return headerValue(headers_, field);
}

void NSURLRequest::copyFieldsFrom(const NSURLRequest& other) {
    URL_ = other.URL_;
    HTTPMethod_ = other.HTTPMethod_;
    headers_ = other.headers_;
    HTTPBody_ = other.HTTPBody_;
    HTTPBodyStream_ = other.HTTPBodyStream_;
    cachePolicy_ = other.cachePolicy_;
    timeoutInterval_ = other.timeoutInterval_;
    HTTPShouldHandleCookies_ = other.HTTPShouldHandleCookies_;
    allowsCellularAccess_ = other.allowsCellularAccess_;
    HTTPShouldUsePipelining_ = other.HTTPShouldUsePipelining_;
    networkServiceType_ = other.networkServiceType_;
}

std::shared_ptr<NSURLRequest> NSURLRequest::copy() const {
    auto r = std::make_shared<NSURLRequest>(URL_);
    r->copyFieldsFrom(*this);
    return r;
}

std::shared_ptr<NSMutableURLRequest> NSURLRequest::mutableCopy() const {
    auto r = std::make_shared<NSMutableURLRequest>(URL_);
    r->copyFieldsFrom(*this);
    return r;
}

bool NSURLRequest::isEqual(const NSURLRequest& other) const {
    auto sameHeaders = [&] {
        if (headers_.size() != other.headers_.size()) return false;
        for (const auto& [name, value] : headers_) {
            auto v = headerValue(other.headers_, name);
            if (!v || *v != value) return false;
        }
        return true;
    };
    return URL_ == other.URL_ && HTTPMethod_ == other.HTTPMethod_ && HTTPBody_ == other.HTTPBody_ &&
           HTTPBodyStream_ == other.HTTPBodyStream_ &&
           cachePolicy_ == other.cachePolicy_ && timeoutInterval_ == other.timeoutInterval_ && sameHeaders();
}

std::string NSURLRequest::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + "> { URL: " + URL_ + " }";
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(std::string URL) {
    return std::make_shared<NSMutableURLRequest>(std::move(URL));
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(std::string URL,
                                                                         NSURLRequestCachePolicy cachePolicy,
                                                                         double timeoutInterval) {
    return std::make_shared<NSMutableURLRequest>(std::move(URL), cachePolicy, timeoutInterval);
}

void NSMutableURLRequest::setHTTPMethod(std::string method) {
    // The method is sent as given; an empty one means the default.
    HTTPMethod_ = method.empty() ? "GET" : std::move(method);
}

void NSMutableURLRequest::setValue(const std::optional<std::string>& value, const std::string& field) {
    headers_.erase(field);
    if (value) headers_.emplace(field, *value);
}

void NSMutableURLRequest::addValue(const std::string& value, const std::string& field) {
    auto it = headers_.find(field);
    if (it == headers_.end()) headers_.emplace(field, value);
    else it->second += "," + value;
}
