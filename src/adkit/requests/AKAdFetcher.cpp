#include "adkit/requests/AKAdFetcher.h"

#include <cassert>
#include <cstdint>

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/net/NSHTTPURLResponse.h"

namespace {

constexpr const char* kReusedMessage = "Could not start fetch. This object has already been used to fetch.";
constexpr const char* kStartFailedMessage = "Failed to start ad connection.";
constexpr const char* kBadRequestMessage =
    "Server rejected ad parameters. Typically this is because the ad unit ID is incorrect.";

// A header's text read as the platform reads booleans; false when missing.
bool headerIsTrue(const Value& headers, std::string_view name) {
    const auto text = AKHeaderString(headers, name);
    return text && Value(*text).boolValue();
}

bool isFetchable(const NSURLPtr& url) { return url && AKHTTPURLFromString(url->absoluteString()) != nullptr; }

NSErrorPtr notHTTPError(const AKRequest* request, const NSURL& url) {
    return AKRequestError::errorWithCode(13, request, 0, "Not an http or https URL: " + url.absoluteString());
}

// The user defaults the response headers write (nothing in the library reads
// "applicationTimeout" back).
void writeUserDefaults(const Value& headers) {
    const auto defaults = NSUserDefaults::standardUserDefaults();
    if (const auto timeout = AKHeaderNumber(headers, "X-Adnet-Interstitial-Timeout"))
        defaults->setDouble(*timeout, "applicationTimeout");
    if (AKHeaderString(headers, "X-Adnet-Use-HTTPS")) {
        defaults->setBool(headerIsTrue(headers, "X-Adnet-Use-HTTPS"), "adkit_ak_use_https");
    } else if (defaults->objectForKey("adkit_ak_use_https").isNull()) {
        defaults->setBool(false, "adkit_ak_use_https");
    }
}

Value headerDictionary(const NSHTTPURLResponse& response) {
    ValueDictionary fields;
    for (const auto& [name, value] : response.allHeaderFields()) fields.emplace(name, Value(value));
    return Value(std::move(fields));
}

}  // namespace

AKAdFetcher::AKAdFetcher() : adConnection_(std::make_shared<AKURLConnection>()) {
    timer_ = std::make_shared<AKTiming>(
        format("%@ (%p)", className(), static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this))));
}

AKAdFetcher::~AKAdFetcher() {
    delegate_.reset();
    adConnection_->cancel();
}

std::int64_t AKAdFetcher::orientationFromString(const std::optional<std::string>& text) {
    return AKSupportedOrientationsFromString(text);
}

void AKAdFetcher::moveTo(Phase next) {
    // Forward only, and a connection completes only once a fetch runs.
    assert(next > phase_ && (next != Phase::Completed || phase_ == Phase::Fetching) && "fetcher phase moves forward");
    phase_ = next;
}

void AKAdFetcher::markConnectionCompleted() {
    if (phase_ == Phase::Fetching) moveTo(Phase::Completed);
}

void AKAdFetcher::markFetchStart() { timer_->start(); }
void AKAdFetcher::markFetchComplete() { timer_->end(); }

bool AKAdFetcher::fetchRemainingContentForAd(const std::shared_ptr<AKAd>& ad, const Value& headers,
                                             const std::shared_ptr<AKAdFetcherDelegate>& delegate,
                                             const std::shared_ptr<AKRequest>& request, NSErrorPtr* error) {
    QV_ASSERT_MAIN_THREAD();
    if (phase_ != Phase::New) {
        if (error) *error = AKRequestError::errorWithCode(2, std::optional<std::string>(kReusedMessage));
        return false;
    }
    if (!ad) {
        if (error) *error = AKRequestError::errorWithCode(12);
        return false;
    }
    auto keepAlive = self<AKAdFetcher>();  // the delegate may drop its fetcher when told
    moveTo(Phase::Fetching);
    markFetchStart();
    ad_ = ad;
    delegate_ = delegate;
    request_ = request;
    const bool hasHTML = ad->adHTML && !ad->adHTML->empty();
    return startFetchWithAdURL(hasHTML ? nullptr : ad->adURL, headers, error);
}

bool AKAdFetcher::startFetchWithAdURL(const NSURLPtr& url, const Value& headers, NSErrorPtr* error) {
    NSErrorPtr startError;
    if (url) {
        if (!isFetchable(url)) {
            startError = notHTTPError(request_.get(), *url);
        } else if (!adConnection_->startWithURL(url, self<AKAdFetcher>(), &startError) && !startError) {
            startError = AKRequestError::errorWithCode(2, request_.get());
        }
        if (startError) {
            if (error)
                *error = AKRequestError::errorWithCode(2, request_.get(), 0, kStartFailedMessage, startError);
            markConnectionCompleted();
        }
    } else {
        markConnectionCompleted();
    }
    ad_->responseType = AKAdResponseTypeHTML;
    processHTTPHeaders(headers);
    if (startError) {
        resourceFailedToLoadWithError(startError);
    } else if (phase_ == Phase::Completed) {
        std::weak_ptr<AKAdFetcher> weakSelf = self<AKAdFetcher>();
        NSOperationQueue::mainQueue()->addOperationWithBlock([weakSelf] {
            if (auto fetcher = weakSelf.lock()) fetcher->completedURLConnection();
        });
    }
    return !startError;
}

void AKAdFetcher::cancel() {
    QV_ASSERT_MAIN_THREAD();
    delegate_.reset();
    adConnection_->cancel();
    if (phase_ != Phase::Finished) moveTo(Phase::Finished);
}

std::uint64_t AKAdFetcher::adResponseTypeFromHeaders(const Value& headers, const AKRequest* request,
                                                     AKRequestErrorPtr* error) {
    const auto contentType = AKHeaderString(headers, "Content-Type");
    const bool json = contentType && contentType->rfind("application/json", 0) == 0;
    const auto jsonOnly = [&](AKAdResponseType type) -> std::uint64_t {
        if (json) return type;
        if (error) *error = AKRequestError::errorWithCode(3, request);
        return AKAdResponseTypeError;
    };
    if (headerIsTrue(headers, "X-Adnet-Mediation")) return jsonOnly(AKAdResponseTypeMediation);
    if (headerIsTrue(headers, "X-Adnet-Native")) return jsonOnly(AKAdResponseTypeNative);
    if (headerIsTrue(headers, "X-Adnet-Custom-Rendering-Allowed")) return AKAdResponseTypeCustomRendering;
    return AKAdResponseTypeHTML;
}

void AKAdFetcher::processHTTPHeaders(const Value& headers) {
    if (!headers.isDictionary() || !ad_) return;
    AKRequestErrorPtr typeError;
    ad_->responseType = adResponseTypeFromHeaders(headers, request_.get(), &typeError);
    if (ad_->responseType == AKAdResponseTypeError) resourceFailedToLoadWithError(typeError);
    // The other headers apply also after a refused type.
    ad_->readHTTPHeaders(headers);
    writeUserDefaults(headers);
}

void AKAdFetcher::processResponseHeaders(const std::shared_ptr<NSURLResponse>& response) {
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response)) processHTTPHeaders(headerDictionary(*http));
}

void AKAdFetcher::completedURLConnection() {
    if (phase_ != Phase::Completed) return;
    auto keepAlive = self<AKAdFetcher>();
    markFetchComplete();
    moveTo(Phase::Finished);
    const auto delegate = delegate_.lock();
    if (!delegate) return;
    const bool hasHTML = ad_->adHTML && !ad_->adHTML->empty();
    if (ad_->responseType != AKAdResponseTypeError && hasHTML) {
        delegate->adFetcherDidFetchAd(*this, ad_);
    } else {
        const std::int64_t code = ad_->responseType == AKAdResponseTypeError ? 11 : 1;
        delegate->adFetcherDidFailToFetchAdWithError(*this, AKRequestError::errorWithCode(code, request_.get()));
    }
}

void AKAdFetcher::resourceFailedToLoadWithError(const NSErrorPtr& error) {
    if (phase_ == Phase::Finished) return;
    auto keepAlive = self<AKAdFetcher>();
    const auto delegate = delegate_.lock();
    cancel();  // nothing further reaches the delegate
    if (delegate) delegate->adFetcherDidFailToFetchAdWithError(*this, error);
}

// ---- The connection's callbacks ----------------------------------------------------------

NSErrorPtr AKAdFetcher::connectionShouldRedirectToURL(AKURLConnection&, const NSURLPtr& url) {
    if (isFetchable(url)) return nullptr;
    refusedRedirect_ = url ? notHTTPError(request_.get(), *url) : AKRequestError::errorWithCode(13, request_.get());
    return refusedRedirect_;
}

void AKAdFetcher::connectionLoadDidReceiveRedirectResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>& response) {
    processResponseHeaders(response);
}

bool AKAdFetcher::connectionLoadShouldUseCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>& response) {
    processResponseHeaders(response);
    // Only mediation answers are replayed from the cache.
    return phase_ == Phase::Fetching && ad_->responseType == AKAdResponseTypeMediation;
}

void AKAdFetcher::connectionLoadDidReceiveCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>& response) {
    processResponseHeaders(response);
}

void AKAdFetcher::connectionLoadDidFinish(AKURLConnection&, const std::optional<std::string>& text,
                                          const NSURLPtr& baseURL) {
    if (phase_ != Phase::Fetching) return;
    // A body that is not UTF-8 arrives as nothing and counts as empty.
    ad_->adHTML = text;
    ad_->adBaseURL = isFetchable(baseURL) ? baseURL : nullptr;
    markConnectionCompleted();
    completedURLConnection();
}

void AKAdFetcher::connectionLoadDidFail(AKURLConnection&, const NSErrorPtr& error, long statusCode) {
    if (phase_ == Phase::Finished) return;
    ad_->adHTML.reset();
    ad_->adBaseURL.reset();
    if (error && error == refusedRedirect_) {
        resourceFailedToLoadWithError(error);
        return;
    }
    NSErrorPtr failure;
    if (statusCode == 400) {
        AKMacros::pubLog(kBadRequestMessage);
        failure = AKRequestError::errorWithCode(0, request_.get());
    } else {
        const std::int64_t code = statusCode >= 401 ? 3 : 2;
        failure = AKRequestError::errorWithCode(code, request_.get(), statusCode, std::nullopt, error);
    }
    resourceFailedToLoadWithError(failure);
}
