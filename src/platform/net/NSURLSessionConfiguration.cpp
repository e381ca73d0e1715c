#include "platform/net/NSURLSessionConfiguration.h"

namespace {

constexpr const char* kArchiveKind = "NSURLSessionConfiguration";

}  // namespace

NSURLSessionConfigurationPtr NSURLSessionConfiguration::defaultSessionConfiguration() {
    return std::make_shared<NSURLSessionConfiguration>();
}

NSURLSessionConfigurationPtr NSURLSessionConfiguration::ephemeralSessionConfiguration() {
    auto configuration = std::make_shared<NSURLSessionConfiguration>();
    configuration->ephemeral_ = true;
    return configuration;
}

NSURLSessionConfigurationPtr NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
    const std::string& identifier) {
    auto configuration = std::make_shared<NSURLSessionConfiguration>();
    configuration->identifier_ = identifier;
    return configuration;
}

NSURLSessionConfigurationPtr NSURLSessionConfiguration::copy() const {
    auto other = std::make_shared<NSURLSessionConfiguration>();
    other->identifier_ = identifier_;
    other->ephemeral_ = ephemeral_;
    other->additionalHeaders_ = additionalHeaders_;
    other->requestTimeout_ = requestTimeout_;
    other->resourceTimeout_ = resourceTimeout_;
    other->cachePolicy_ = cachePolicy_;
    other->allowsCellularAccess_ = allowsCellularAccess_;
    other->maxConnectionsPerHost_ = maxConnectionsPerHost_;
    other->shouldSetCookies_ = shouldSetCookies_;
    other->discretionary_ = discretionary_;
    other->sendsLaunchEvents_ = sendsLaunchEvents_;
    return other;
}

Value NSURLSessionConfiguration::encodeWithCoder() const {
    Value headers = Value::dictionary();
    for (const auto& [name, value] : additionalHeaders_) headers.setObject(name, value);
    Value archive = Value::dictionary();
    archive.setObject("kind", kArchiveKind);
    if (identifier_) archive.setObject("identifier", *identifier_);
    archive.setObject("ephemeral", ephemeral_);
    archive.setObject("HTTPAdditionalHeaders", headers);
    archive.setObject("timeoutIntervalForRequest", requestTimeout_);
    archive.setObject("timeoutIntervalForResource", resourceTimeout_);
    archive.setObject("requestCachePolicy", static_cast<unsigned long>(cachePolicy_));
    archive.setObject("allowsCellularAccess", allowsCellularAccess_);
    archive.setObject("HTTPMaximumConnectionsPerHost", maxConnectionsPerHost_);
    archive.setObject("HTTPShouldSetCookies", shouldSetCookies_);
    archive.setObject("discretionary", discretionary_);
    archive.setObject("sessionSendsLaunchEvents", sendsLaunchEvents_);
    return archive;
}

NSURLSessionConfigurationPtr NSURLSessionConfiguration::initWithCoder(const Value& archive) {
    if (!archive.isDictionary() || archive["kind"].stringValue() != kArchiveKind) return nullptr;
    auto c = std::make_shared<NSURLSessionConfiguration>();
    const Value identifier = archive["identifier"];
    if (const std::string* text = identifier.string()) c->identifier_ = *text;
    c->ephemeral_ = archive["ephemeral"].boolValue();
    if (auto headers = archive["HTTPAdditionalHeaders"].dictionaryRef())
        for (const auto& [name, value] : *headers) c->additionalHeaders_[name] = value.stringValue();
    // A missing number keeps its default.
    auto number = [&](const char* key, double fallback) {
        Value v = archive[key];
        return v.isNull() ? fallback : v.doubleValue();
    };
    c->requestTimeout_ = number("timeoutIntervalForRequest", c->requestTimeout_);
    c->resourceTimeout_ = number("timeoutIntervalForResource", c->resourceTimeout_);
    c->cachePolicy_ = static_cast<NSURLRequestCachePolicy>(archive["requestCachePolicy"].unsignedLongLongValue());
    c->allowsCellularAccess_ = archive["allowsCellularAccess"].isNull() || archive["allowsCellularAccess"].boolValue();
    c->maxConnectionsPerHost_ = static_cast<long>(number("HTTPMaximumConnectionsPerHost", 6));
    c->shouldSetCookies_ = archive["HTTPShouldSetCookies"].isNull() || archive["HTTPShouldSetCookies"].boolValue();
    c->discretionary_ = archive["discretionary"].boolValue();
    c->sendsLaunchEvents_ = archive["sessionSendsLaunchEvents"].boolValue();
    return c;
}

std::shared_ptr<NSURLRequest> NSURLSessionConfiguration::requestForTask(
    const std::shared_ptr<NSURLRequest>& request) const {
    if (!request) return nullptr;
    auto task = request->mutableCopy();
    for (const auto& [name, value] : additionalHeaders_)
        if (!task->valueForHTTPHeaderField(name)) task->setValue(value, name);
    if (task->timeoutInterval() == NSURLRequestDefaultTimeoutInterval) task->setTimeoutInterval(requestTimeout_);
    return task;
}
