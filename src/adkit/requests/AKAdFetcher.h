#pragma once
// One fetch of an ad's content: downloads the ad URL over AKURLConnection
// (unless the ad already carries its HTML), reads the response headers onto
// the ad (tracking URLs, refresh rate, orientation, size, Viewability and
// swipe settings), decides the response type and tells its delegate once.
// A fetcher serves one fetch only (a cancelled one none); a cancelled fetcher
// tells nobody. Main thread only; made with std::make_shared (it hands itself
// to its connection as a weak delegate); the delegate is held weakly.
//
// Call order: fetchRemainingContentForAd once; then, on the main run loop,
// the connection's callbacks (or, for an ad that already has its HTML, one
// queued completion on the main queue's next turn, holding the fetcher
// weakly); the delegate hears exactly one of adFetcherDidFetchAd or
// adFetcherDidFailToFetchAdWithError, unless cancel() came first. Header
// processing may run once per redirect hop and for the final or cached
// response; every pass adds its tracking URLs. A failure found while the
// fetch starts (a connection that does not start, a refused type in the given
// headers) reaches the delegate before fetchRemainingContentForAd returns.
//
// Only http and https URLs are fetched: an ad URL of another scheme fails the
// fetch (code 13 to the delegate, code 2 "Failed to start ad connection." in
// the out-parameter), a redirect to another scheme fails the load with code
// 13, and a final URL of another scheme is not kept as the base URL.
//
// Failure codes to the delegate: 0 (HTTP 400, after a publisher log line),
// 3 (HTTP 401 and above with "HttpStatus"; mediation or native headers on a
// body that is not JSON), 2 (other load failures, with the status), 1 (the
// body is empty or not UTF-8), 11 (completed with response type 0), 13 (an
// URL that is not http or https), or the connection's own error when it did
// not start. Header values that are not strings count as missing; numbers
// that are not finite, or texts that do not begin with one, are ignored.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKTiming.h"
#include "adkit/foundation/AKURLConnection.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class AKAd;
class AKAdFetcher;
class AKRequest;

class AKAdFetcherDelegate {
public:
    virtual ~AKAdFetcherDelegate() = default;
    virtual void adFetcherDidFetchAd(AKAdFetcher& fetcher, const std::shared_ptr<AKAd>& ad) = 0;
    virtual void adFetcherDidFailToFetchAdWithError(AKAdFetcher& fetcher, const NSErrorPtr& error) = 0;
};

class AKAdFetcher : public NSObject, public AKURLConnectionDelegate {
public:
    // Where one fetch stands; it only moves forward. New -> Fetching (the fetch
    // started) -> Completed (the body arrived, or the ad brought its HTML) ->
    // Finished (the delegate was told, or the fetch was cancelled).
    enum class Phase { New, Fetching, Completed, Finished };

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
    // The stopwatch of the fetch, category "AKAdFetcher (<address>)".
    const AKTimingPtr& timer() const { return timer_; }
    Phase phase() const { return phase_; }

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
    [[nodiscard]] bool startFetchWithAdURL(const NSURLPtr& url, const Value& headers, NSErrorPtr* error);
    void processHTTPHeaders(const Value& headers);
    void processResponseHeaders(const std::shared_ptr<NSURLResponse>& response);
    void completedURLConnection();
    void resourceFailedToLoadWithError(const NSErrorPtr& error);
    void markConnectionCompleted();
    void markFetchStart();
    void markFetchComplete();
    void moveTo(Phase next);

    std::shared_ptr<AKAd> ad_;
    std::shared_ptr<AKRequest> request_;
    std::weak_ptr<AKAdFetcherDelegate> delegate_;
    std::shared_ptr<AKURLConnection> adConnection_;
    AKTimingPtr timer_;
    Phase phase_ = Phase::New;
    NSErrorPtr refusedRedirect_;  // the error a redirect to another scheme was refused with
};
