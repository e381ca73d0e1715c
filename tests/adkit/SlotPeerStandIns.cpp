// A stand-in for the fetcher while the slot's tests link without it: it
// completes an ad that carries its HTML on the next turn of the main queue
// (headers read, response type from the mediation, native and
// custom-rendering headers) and fetches nothing else.
#include "SlotTestOwner.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdFetcher.h"
#include "platform/dispatch/Dispatch.h"

AKAdFetcher::AKAdFetcher() = default;
AKAdFetcher::~AKAdFetcher() = default;

bool AKAdFetcher::fetchRemainingContentForAd(const std::shared_ptr<AKAd>& ad, const Value& headers,
                                             const std::shared_ptr<AKAdFetcherDelegate>& delegate,
                                             const std::shared_ptr<AKRequest>&, NSErrorPtr*) {
    if (started_) return false;
    started_ = true;
    ad_ = ad;
    delegate_ = delegate;
    if (!ad->adHTML) return true;
    ad->readHTTPHeaders(headers);
    const auto truth = [&](const char* name) { return headers[name].boolValue(); };
    const bool json = headers["Content-Type"].stringValue().starts_with("application/json");
    ad->responseType = truth("X-Adnet-Mediation")                ? (json ? 2u : 0u)
                       : truth("X-Adnet-Native")                 ? (json ? 3u : 0u)
                       : truth("X-Adnet-Custom-Rendering-Allowed") ? 4u
                                                                   : 1u;
    dispatch_async(dispatch_get_main_queue(), [weak = weakSelf<AKAdFetcher>()] {
        const auto fetcher = weak.lock();
        if (!fetcher || fetcher->finished_) return;
        fetcher->finished_ = true;
        const auto target = fetcher->delegate_.lock();
        if (!target) return;
        if (fetcher->ad_->responseType == 0) target->adFetcherDidFailToFetchAdWithError(*fetcher, AKRequestError::errorWithCode(11));
        else if (fetcher->ad_->adHTML->empty()) target->adFetcherDidFailToFetchAdWithError(*fetcher, AKRequestError::errorWithCode(1));
        else target->adFetcherDidFetchAd(*fetcher, fetcher->ad_);
    });
    return true;
}

void AKAdFetcher::cancel() {
    delegate_.reset();
    finished_ = true;
}

NSErrorPtr AKAdFetcher::connectionShouldRedirectToURL(AKURLConnection&, const NSURLPtr&) { return nullptr; }
void AKAdFetcher::connectionLoadDidReceiveRedirectResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) {}
bool AKAdFetcher::connectionLoadShouldUseCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) {
    return false;
}
void AKAdFetcher::connectionLoadDidReceiveCachedResponse(AKURLConnection&, const std::shared_ptr<NSURLResponse>&) {}
void AKAdFetcher::connectionLoadDidFinish(AKURLConnection&, const std::optional<std::string>&, const NSURLPtr&) {}
void AKAdFetcher::connectionLoadDidFail(AKURLConnection&, const NSErrorPtr&, long) {}
