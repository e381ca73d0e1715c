#include "adkit/foundation/AKURLConnection.h"

#include <cassert>
#include <mutex>

#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKHeaderParser.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/runloop/NSThread.h"

namespace {

std::mutex factoryMutex;
std::shared_ptr<AKMConnectionFactory> factory;

bool isSuccess(long status) { return status >= 200 && status < 300; }

}  // namespace

// ---- Cached responses and the factory -----------------------------------------

std::shared_ptr<AKCachedURLResponse> AKCachedURLResponse::initWithResponse(std::shared_ptr<NSURLResponse> response,
                                                                           std::optional<Data> data,
                                                                           std::optional<Date> expirationDate,
                                                                           NSURLPtr destinationURL) {
    if (!response || !data || !expirationDate) return nullptr;
    return std::make_shared<AKCachedURLResponse>(std::move(response), std::move(*data), *expirationDate,
                                                 std::move(destinationURL));
}

std::shared_ptr<AKMConnectionFactory> AKMNSURLConnectionFactory::sharedFactory() {
    std::lock_guard<std::mutex> lock(factoryMutex);
    if (!factory) factory = std::make_shared<AKMNSURLConnectionFactory>();
    return factory;
}

void AKMNSURLConnectionFactory::setSharedFactory(std::shared_ptr<AKMConnectionFactory> replacement) {
    std::lock_guard<std::mutex> lock(factoryMutex);
    factory = std::move(replacement);
}

NSURLConnectionPtr AKMNSURLConnectionFactory::connectionWithRequest(
    const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSURLConnectionDelegate>& delegate,
    bool startImmediately) {
    return NSURLConnection::initWithRequest(request, delegate, startImmediately);
}

// ---- The class-wide cache -----------------------------------------------------------------

std::shared_ptr<NSCache> AKURLConnection::memoryCache() {
    static ProcessLifetime<std::shared_ptr<NSCache>> cache([] {
        auto c = std::make_shared<NSCache>();
        c->setCountLimit(25);
        return c;
    }());
    return *cache;
}

std::string AKURLConnection::cacheKeyForURL(const NSURL& url) {
    std::string source = url.absoluteString();
    if (auto slot = ak_parameterValueForKey(url, "slotname")) {
        source = url.host().value_or("") + url.path() + *slot;
    }
    // Every URL string is UTF-8, so the digest always exists.
    return ak_MD5String(source).value_or(source);
}

void AKURLConnection::clearCache() { memoryCache()->removeAllObjects(); }

std::string AKURLConnection::defaultCachePath() { return stringByAppendingPathComponent(AppHome::caches(), "AdNet"); }

std::shared_ptr<AKCachedURLResponse> AKURLConnection::cachedResponseForURL(const NSURL& url) const {
    const std::string key = cacheKeyForURL(url);
    auto entry = memoryCache()->objectForKeyAs<AKCachedURLResponse>(key);
    if (!entry) return nullptr;
    if (entry->expirationDate().secondsSince1970 > Clock::now()) return entry;
    memoryCache()->removeObjectForKey(key);
    return nullptr;
}

bool AKURLConnection::tryToStoreResponseAndData() {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response_);
    if (!http || !isSuccess(http->statusCode()) || !source_) return false;
    auto expiration = ak_expirationDate(*http);
    if (!expiration || expiration->secondsSince1970 < Clock::now()) return false;
    auto entry = AKCachedURLResponse::initWithResponse(response_, received_, expiration, destination_);
    if (!entry) return false;
    memoryCache()->setObject(cacheKeyForURL(*source_), entry);
    return true;
}
