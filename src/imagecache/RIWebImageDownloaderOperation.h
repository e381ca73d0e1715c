#pragma once
// One image transfer: an operation of the downloader's queue that runs its
// connection on its own thread's run loop, gathers the bytes, optionally
// delivers partial images while they arrive, and decodes, rescales and
// decompresses the image at the end.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include "imagecache/RIWebImageCompat.h"
#include "imagecache/RIWebImageOperation.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/runloop/NSThread.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/net/NSURLConnection.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"

using RIWebImageDownloaderOptions = std::uint64_t;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderLowPriority = 1 << 0;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderProgressiveDownload = 1 << 1;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderUseNSURLCache = 1 << 2;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderIgnoreCachedResponse = 1 << 3;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderContinueInBackground = 1 << 4;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderHandleCookies = 1 << 5;
// Set by the image manager for its bit 128; nothing reads it.
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderPassedOn = 1 << 6;
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderHighPriority = 1 << 7;
// Accepts whatever certificate an HTTPS server presents. Without it the
// platform verifies the chain and the host name. Kept well above the bits
// defined with the manager, so neither set's meaning changes.
inline constexpr RIWebImageDownloaderOptions RIWebImageDownloaderAllowInvalidSSLCertificates = std::uint64_t(1) << 20;

// Limits checked before anything is allocated for a transfer.
inline constexpr std::int64_t kRIWebImageMaxBodySize = 64ll * 1024 * 1024;
// Code of the error for a body above the limit (in RIWebImageErrorDomain).
inline constexpr long RIWebImageErrorBodyTooLarge = -2;

using RIWebImageDownloaderProgressBlock = std::function<void(std::int64_t receivedSize, std::int64_t expectedSize)>;
using RIWebImageDownloaderCompletedBlock =
    std::function<void(UIImagePtr image, std::optional<Data> data, NSErrorPtr error, bool finished)>;

class RIWebImageDownloaderOperation : public NSOperation,
                                      public RIWebImageOperation,
                                      public NSURLConnectionDelegate {
public:
    RIWebImageDownloaderOperation(std::shared_ptr<NSURLRequest> request, RIWebImageDownloaderOptions options,
                                  RIWebImageDownloaderProgressBlock progressBlock,
                                  RIWebImageDownloaderCompletedBlock completedBlock,
                                  RIWebImageNoParamsBlock cancelBlock);
    static std::shared_ptr<RIWebImageDownloaderOperation> initWithRequest(
        std::shared_ptr<NSURLRequest> request, RIWebImageDownloaderOptions options,
        RIWebImageDownloaderProgressBlock progressBlock, RIWebImageDownloaderCompletedBlock completedBlock,
        RIWebImageNoParamsBlock cancelBlock);
    ~RIWebImageDownloaderOperation() override;

    const std::shared_ptr<NSURLRequest>& request() const { return request_; }
    RIWebImageDownloaderOptions options() const { return options_; }
    std::shared_ptr<NSURLCredential> credential() const;
    void setCredential(std::shared_ptr<NSURLCredential> credential);
    bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
    void setShouldUseCredentialStorage(bool use) { shouldUseCredentialStorage_ = use; }
    bool shouldContinueWhenAppEntersBackground() const {
        return (options_ & RIWebImageDownloaderContinueInBackground) != 0;
    }
    std::int64_t expectedSize() const { return expectedSize_; }

    void start() override;
    void cancel() override;
    bool isConcurrent() const override { return true; }
    bool isExecuting() const override { return executing_; }
    bool isFinished() const override { return finished_; }

    static UIImageOrientation orientationFromPropertyValue(long value);
    UIImagePtr scaledImageForKey(const std::string& key, const UIImagePtr& image) const;

    // The connection's delegate.
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override;
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override;
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override;
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override;
    std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) override;
    bool connectionShouldUseCredentialStorage(const NSURLConnectionPtr& connection) override;
    bool respondsToWillSendRequestForAuthenticationChallenge() const override { return true; }
    void connectionWillSendRequestForAuthenticationChallenge(
        const NSURLConnectionPtr& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;

private:
    // The connection's events, the partial decoder and the stop of the loop
    // belong to the thread whose run loop carries the transfer (debug builds check).
    void assertOnTransferLoop() const;
    void setExecuting(bool executing);
    void setFinished(bool finished);
    void cancelInternalAndStop();
    void cancelInternal();
    void done();
    void reset();
    void stopRunLoop();
    // Ends the transfer with an error (the connection already cancelled).
    void failNow(const NSErrorPtr& error, bool postStop);
    void deliverPartialImage();
    std::string cacheKey() const;

    const std::shared_ptr<NSURLRequest> request_;
    const RIWebImageDownloaderOptions options_;
    mutable std::recursive_mutex mutex_;  // the operation's own lock
    RIWebImageDownloaderProgressBlock progressBlock_;
    RIWebImageDownloaderCompletedBlock completedBlock_;
    RIWebImageNoParamsBlock cancelBlock_;
    std::shared_ptr<NSURLCredential> credential_;
    std::atomic<bool> shouldUseCredentialStorage_{true};
    std::atomic<bool> executing_{false}, finished_{false};
    std::atomic<std::int64_t> expectedSize_{0};
    Data imageData_;
    NSURLConnectionPtr connection_;
    std::shared_ptr<NSThread> thread_;
    std::shared_ptr<NSRunLoop> runLoop_;
    std::atomic<bool> stopRequested_{false};
    UIBackgroundTaskIdentifier backgroundTaskId_ = UIBackgroundTaskInvalid;
    CGImageSourceRef partialSource_;  // the progressive decoder; connection callbacks only
    std::size_t width_ = 0, height_ = 0;
    UIImageOrientation orientation_ = UIImageOrientationUp;
    bool responseFromCached_ = true;
};
