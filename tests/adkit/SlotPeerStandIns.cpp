// Stand-ins for the fetcher and the core-page controller while the slot's
// tests link without them: the controller records the slots that asked for a
// build; the fetcher completes an ad that carries its HTML on the next turn of
// the main queue (headers read, response type from the mediation, native and
// custom-rendering headers) and fetches nothing else.
#include "SlotTestOwner.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdFetcher.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ProcessLifetime.h"

std::vector<std::weak_ptr<AKSDKCoreControllerDelegate>>& slottest::requestedBuilds() {
    static ProcessLifetime<std::vector<std::weak_ptr<AKSDKCoreControllerDelegate>>> builds;
    return *builds;
}

std::shared_ptr<AKSDKCoreController> AKSDKCoreController::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<AKSDKCoreController>> shared(std::make_shared<AKSDKCoreController>());
    return *shared;
}

void AKSDKCoreController::buildAdURL(const std::shared_ptr<AKSDKCoreControllerDelegate>& slot) {
    slottest::requestedBuilds().push_back(slot);
}

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
