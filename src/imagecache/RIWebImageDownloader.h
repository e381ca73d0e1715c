#pragma once
// The image downloader: at most one transfer per URL at a time, shared by every
// caller that asks for the URL while it runs, on a queue of at most 2
// concurrent transfers.
//
// Each caller gets its own handle. Cancelling a handle detaches that caller
// only; the transfer is cancelled when its last caller has cancelled. A caller
// either attaches to the URL's transfer (and is called back with its result)
// or finds none and starts a new one. A transfer that brought an image stays
// attachable until every caller, those attaching while it hands the image out
// included, has been called back; only then does it leave, so whatever its
// callers did with the image (the image manager stores it in its memory cache)
// is done before a new caller can find no transfer. A failed transfer leaves
// as it reports: a caller coming later starts a new one.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "imagecache/RIWebImageDownloaderOperation.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/HTTPHeaderFields.h"

enum RIWebImageDownloaderExecutionOrder : std::int64_t {
    RIWebImageDownloaderFIFOExecutionOrder = 0,
    RIWebImageDownloaderLIFOExecutionOrder = 1,
};

using RIWebImageDownloaderHeadersFilterBlock =
    std::function<HTTPHeaderFields(const NSURLPtr& url, const HTTPHeaderFields& headers)>;

class RIWebImageDownloader : public NSObject {
public:
    static std::shared_ptr<RIWebImageDownloader> sharedDownloader();
    static std::shared_ptr<RIWebImageDownloader> init();
    RIWebImageDownloader();
    ~RIWebImageDownloader() override;

    void setValue(const std::optional<std::string>& value, const std::string& field);
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;

    void setMaxConcurrentDownloads(long count);
    long maxConcurrentDownloads() const;
    std::size_t currentDownloadCount() const;
    void setSuspended(bool suspended);

    double downloadTimeout() const;
    void setDownloadTimeout(double seconds);
    RIWebImageDownloaderExecutionOrder executionOrder() const;
    void setExecutionOrder(RIWebImageDownloaderExecutionOrder order);
    std::string username() const;
    void setUsername(std::string username);
    std::string password() const;
    void setPassword(std::string password);
    // The filter gets (URL, a copy of the headers) for each new transfer and
    // returns the headers to send. It runs on the caller's thread while the
    // transfer is set up, without the settings lock, so it may read the
    // downloader's settings; it must not start or inspect transfers.
    void setHeadersFilter(RIWebImageDownloaderHeadersFilterBlock filter);

    // The caller's handle on the URL's transfer; null for a null URL, whose
    // completed callback is called at once with (nil, nil, nil, NO).
    RIWebImageOperationPtr downloadImageWithURL(const NSURLPtr& url, RIWebImageDownloaderOptions options,
                                                RIWebImageDownloaderProgressBlock progressBlock,
                                                RIWebImageDownloaderCompletedBlock completedBlock);

    // Like downloadImageWithURL, but only attaches to a transfer that is running
    // or still handing out its result: null, and nothing called, when the URL
    // has none.
    RIWebImageOperationPtr attachToDownloadWithURL(const NSURLPtr& url, RIWebImageDownloaderProgressBlock progressBlock,
                                                   RIWebImageDownloaderCompletedBlock completedBlock);

    // The transfer running for a URL, if any (for inspection).
    std::shared_ptr<RIWebImageDownloaderOperation> operationForURL(const NSURLPtr& url) const;
    // How many callers are attached to a URL's transfer.
    std::size_t callbackCountForURL(const NSURLPtr& url) const;

private:
    struct Caller {
        std::uint64_t id;
        RIWebImageDownloaderProgressBlock progress;
        RIWebImageDownloaderCompletedBlock completed;
    };
    struct Entry {
        std::uint64_t generation;
        std::vector<Caller> callers;  // those still to be called back
        std::weak_ptr<RIWebImageDownloaderOperation> operation;
        bool finished = false;  // handing out its result; no longer cancelled by its callers
    };
    class Token;
    // The settings one request is built from, copied under the lock.
    struct Settings {
        HTTPHeaderFields headers;
        double timeout;
        RIWebImageDownloaderExecutionOrder executionOrder;
        std::string username, password;
        RIWebImageDownloaderHeadersFilterBlock headersFilter;
    };
    Settings settings() const;

    // Runs inside the barrier that registers a URL's first caller (debug builds
    // check), so that one URL never gets two transfers.
    std::shared_ptr<RIWebImageDownloaderOperation> makeOperation(const NSURLPtr& url, std::uint64_t generation,
                                                                 RIWebImageDownloaderOptions options);
    // Registers a caller; with mayStart, a URL without a transfer gets one.
    RIWebImageOperationPtr attach(const NSURLPtr& url, RIWebImageDownloaderOptions options, bool mayStart,
                                  RIWebImageDownloaderProgressBlock progressBlock,
                                  RIWebImageDownloaderCompletedBlock completedBlock);
    std::vector<Caller> callersForURL(const std::string& url, std::uint64_t generation) const;
    // Calls back every caller with the final result and removes the URL's entry.
    void finishURL(const std::string& url, std::uint64_t generation, const UIImagePtr& image,
                   const std::optional<Data>& data, const NSErrorPtr& error);
    void removeCallbacksForURL(const std::string& url, std::uint64_t generation);
    void detachCaller(const std::string& url, std::uint64_t generation, std::uint64_t callerId);

    std::shared_ptr<NSOperationQueue> downloadQueue_;
    dispatch_queue_t barrierQueue_;
    std::map<std::string, Entry> URLCallbacks_;  // touched only on barrierQueue_
    std::uint64_t nextGeneration_ = 1;           // barrierQueue_ only
    std::uint64_t nextCaller_ = 1;               // barrierQueue_ only

    // The settings below. Never held while calling out (the headers filter may
    // read the settings).
    mutable std::mutex mutex_;
    HTTPHeaderFields HTTPHeaders_;
    double downloadTimeout_ = 15.0;
    RIWebImageDownloaderExecutionOrder executionOrder_ = RIWebImageDownloaderFIFOExecutionOrder;
    std::string username_, password_;
    RIWebImageDownloaderHeadersFilterBlock headersFilter_;
    std::weak_ptr<RIWebImageDownloaderOperation> lastAddedOperation_;
};
