// AKURLConnection's load: start, the platform callbacks and the outcomes.
#include <cassert>

#include "adkit/foundation/AKConnectionForwarder.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKURLConnection.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/base/ThreadAssertions.h"

AKURLConnection::~AKURLConnection() {
    if (connection_) connection_->cancel();
}

bool AKURLConnection::startWithURL(const NSURLPtr& url, const std::shared_ptr<AKURLConnectionDelegate>& delegate,
                                   NSErrorPtr* error) {
    return startWithURL(url, std::nullopt, std::nullopt, delegate, error);
}

bool AKURLConnection::startWithURL(const NSURLPtr& url, const std::optional<Data>& data,
                                   const std::optional<std::string>& type,
                                   const std::shared_ptr<AKURLConnectionDelegate>& delegate, NSErrorPtr* error) {
    QV_ASSERT_MAIN_THREAD();
    if (inProgress_) {
        if (error) {
            *error = AKRequestError::errorWithCode(
                2, std::optional<std::string>("Ignoring -- Currently loading " + (source_ ? source_->absoluteString() : "")));
        }
        return false;
    }
    if (!url) {
        if (error) *error = AKRequestError::errorWithCode(12);
        return false;
    }
    auto keepAlive = self<AKURLConnection>();
    delegate_ = delegate;
    source_ = url;
    destination_ = url;
    if (allowCache_) {
        if (auto cached = cachedResponseForURL(*url)) {
            deliverCached(cached);
            return true;
        }
    }
    connection_ = AKMNSURLConnectionFactory::sharedFactory()->connectionWithRequest(requestForURL(url, data, type),
                                                                                    std::make_shared<AKConnectionForwarder<AKURLConnection>>(keepAlive), false);
    if (!connection_) {
        // Nothing will load: one failure, and the object stays idle.
        source_.reset();
        destination_.reset();
        if (auto d = delegate_.lock()) d->connectionLoadDidFail(*this, nullptr, -1);
        if (error) *error = AKRequestError::errorWithCode(2);
        return false;
    }
    received_.clear();
    connection_->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
    inProgress_ = true;
    connection_->start();
    return true;
}

std::shared_ptr<NSMutableURLRequest> AKURLConnection::requestForURL(const NSURLPtr& url, const std::optional<Data>& data,
                                                                    const std::optional<std::string>& type) const {
    auto request = NSMutableURLRequest::requestWithURL(url->absoluteString());
    if (auto agent = AKDevice::currentDevice()->userAgentString(); agent && !agent->empty()) {
        request->setValue(*agent, "User-Agent");
    }
    if (data && type) {
        request->setHTTPMethod("POST");
        request->setHTTPBody(*data);
        request->setValue(std::to_string(data->size()), "Content-Length");
        request->setValue(*type, "Content-Type");
    }
    return request;
}

void AKURLConnection::stop() {
    if (connection_) connection_->cancel();
    connection_.reset();
    source_.reset();
    destination_.reset();
    response_.reset();
    received_.clear();
    inProgress_ = false;
}

void AKURLConnection::cancel() {
    delegate_.reset();
    stop();
}

void AKURLConnection::deliverCached(const std::shared_ptr<AKCachedURLResponse>& cached) {
    const std::string& bytes = stringFromData(cached->data());
    std::optional<std::string> text;
    if (isValidUTF8(bytes)) text = bytes;
    if (auto d = delegate_.lock()) d->connectionLoadDidReceiveCachedResponse(*this, cached->response());
    if (auto d = delegate_.lock()) d->connectionLoadDidFinish(*this, text, cached->destinationURL());
}

void AKURLConnection::failLoad(const NSErrorPtr& error, long status) {
    auto keepAlive = self<AKURLConnection>();
    stop();
    if (auto d = delegate_.lock()) d->connectionLoadDidFail(*this, error, status);
}

std::shared_ptr<NSURLRequest> AKURLConnection::loadWillSendRequest(const std::shared_ptr<NSURLRequest>& request,
                                                               const std::shared_ptr<NSURLResponse>& redirect) {
    if (!redirect) return request;
    auto keepAlive = self<AKURLConnection>();
    NSURLPtr target = NSURL::URLWithString(request->URL());
    NSErrorPtr refusal;
    if (auto d = delegate_.lock()) refusal = d->connectionShouldRedirectToURL(*this, target);
    if (refusal) {
        // A refused redirect ends the load with that failure alone.
        failLoad(refusal, -1);
        return nullptr;
    }
    destination_ = target;
    if (auto d = delegate_.lock()) d->connectionLoadDidReceiveRedirectResponse(*this, redirect);
    return inProgress_ ? request : nullptr;
}

void AKURLConnection::loadDidReceiveResponse(const std::shared_ptr<NSURLResponse>& response) {
    auto keepAlive = self<AKURLConnection>();
    response_ = response;
    received_.clear();
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response); http && !(http->statusCode() >= 200 && http->statusCode() < 300)) {
        const long status = http->statusCode();
        failLoad(AKRequestError::errorWithCode(status >= 500 ? 3 : 2, nullptr, status), status);
        return;
    }
    bool useCache = false;
    if (auto d = delegate_.lock()) useCache = d->connectionLoadShouldUseCachedResponse(*this, response);
    if (!useCache || !inProgress_) return;
    allowCache_ = true;
    if (auto cached = source_ ? cachedResponseForURL(*source_) : nullptr) {
        stop();
        deliverCached(cached);
    }
}

void AKURLConnection::loadDidReceiveData(const Data& data) {
    if (received_.size() + data.size() > kAKMaximumBodyLength) {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response_);
        failLoad(AKRequestError::errorWithCode(13, std::optional<std::string>("The response body is over 16 MiB.")),
                 http ? http->statusCode() : -1);
        return;
    }
    received_.insert(received_.end(), data.begin(), data.end());
}

void AKURLConnection::loadDidFinish() {
    auto keepAlive = self<AKURLConnection>();
    if (allowCache_) [[maybe_unused]] const bool stored = tryToStoreResponseAndData();  // uncacheable answers are not kept
    const std::string bytes = stringFromData(received_);
    std::optional<std::string> text;
    if (isValidUTF8(bytes)) text = bytes;
    NSURLPtr base = destination_;
    stop();
    if (auto d = delegate_.lock()) d->connectionLoadDidFinish(*this, text, base);
}

void AKURLConnection::loadDidFail(const NSErrorPtr& error) {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response_);
    failLoad(error, http ? http->statusCode() : -1);
}
