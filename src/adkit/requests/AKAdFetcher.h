#pragma once
// One fetch of an ad's content: downloads the ad URL over AKURLConnection
// (unless the ad already carries its HTML), reads the response headers onto
// the ad (tracking URLs, refresh rate, orientation, size, Viewability and
// swipe settings), decides the response type and tells its delegate once.
// A fetcher serves one fetch only; a cancelled fetcher tells nobody.
// Main thread only; the delegate is held weakly.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKURLConnection.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class AKAd;
class AKAdFetcher;
class AKRequest;
class AKTiming;

class AKAdFetcherDelegate {
public:
    virtual ~AKAdFetcherDelegate() = default;
    virtual void adFetcherDidFetchAd(AKAdFetcher& fetcher, const std::shared_ptr<AKAd>& ad) = 0;
    virtual void adFetcherDidFailToFetchAdWithError(AKAdFetcher& fetcher, const NSErrorPtr& error) = 0;
};

class AKAdFetcher : public NSObject, public AKURLConnectionDelegate {
public:
    AKAdFetcher();
    ~AKAdFetcher() override;

    // fetchRemainingContentForAd:headers:delegate:request:error:
    [[nodiscard]] bool fetchRemainingContentForAd(const std::shared_ptr<AKAd>& ad, const Value& headers,
                                                  const std::shared_ptr<AKAdFetcherDelegate>& delegate,
                                                  const std::shared_ptr<AKRequest>& request,
                                                  NSErrorPtr* error = nullptr);
    void cancel();

    // The response type the headers ask for (adResponseTypeFromHeaders:requestError:).
    static std::uint64_t adResponseTypeFromHeaders(const Value& headers, const AKRequest* request,
                                                   AKRequestErrorPtr* error);
    // Orientation text of a header to its number: "any" 1, "portrait" 2, "landscape" 3, else 0.
    static std::int64_t orientationFromString(const std::optional<std::string>& text);

    const std::shared_ptr<AKAd>& ad() const { return ad_; }
    // The fetch's connection (tests look at what it loaded).
    const std::shared_ptr<AKURLConnection>& adConnection() const { return adConnection_; }

    // AKURLConnectionDelegate (see AKURLConnection.h for when each arrives).
    NSErrorPtr connectionShouldRedirectToURL(AKURLConnection& connection, const NSURLPtr& url) override;
    void connectionLoadDidReceiveRedirectResponse(AKURLConnection& connection,
                                                  const std::shared_ptr<NSURLResponse>& response) override;
    bool connectionLoadShouldUseCachedResponse(AKURLConnection& connection,
                                               const std::shared_ptr<NSURLResponse>& response) override;
    void connectionLoadDidReceiveCachedResponse(AKURLConnection& connection,
                                                const std::shared_ptr<NSURLResponse>& response) override;
    void connectionLoadDidFinish(AKURLConnection& connection, const std::optional<std::string>& text,
                                 const NSURLPtr& baseURL) override;
    void connectionLoadDidFail(AKURLConnection& connection, const NSErrorPtr& error, long statusCode) override;

private:
    std::shared_ptr<AKAd> ad_;
    std::shared_ptr<AKURLConnection> adConnection_;
    std::weak_ptr<AKAdFetcherDelegate> delegate_;
    bool started_ = false;
    bool finished_ = false;
};
