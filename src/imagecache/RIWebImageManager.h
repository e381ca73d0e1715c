#pragma once
// The one entry point for loading a remote image: the cache first, the
// downloader on a miss (or on a refresh), the result stored and reported on
// the main thread. URLs that failed for good are not tried again.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "imagecache/RIImageCache.h"
#include "imagecache/RIWebImageCombinedOperation.h"
#include "imagecache/RIWebImageDownloader.h"
#include "platform/foundation/NSURL.h"

using RIWebImageOptions = std::uint64_t;
inline constexpr RIWebImageOptions RIWebImageRetryFailed = 1 << 0;
inline constexpr RIWebImageOptions RIWebImageLowPriority = 1 << 1;
inline constexpr RIWebImageOptions RIWebImageCacheMemoryOnly = 1 << 2;
inline constexpr RIWebImageOptions RIWebImageProgressiveDownload = 1 << 3;
inline constexpr RIWebImageOptions RIWebImageRefreshCached = 1 << 4;
inline constexpr RIWebImageOptions RIWebImageContinueInBackground = 1 << 5;
inline constexpr RIWebImageOptions RIWebImageHandleCookies = 1 << 6;
// Passed on to the downloader as its bit 64, which nothing reads.
inline constexpr RIWebImageOptions RIWebImagePassedOnOnly = 1 << 7;
inline constexpr RIWebImageOptions RIWebImageHighPriority = 1 << 8;
inline constexpr RIWebImageOptions RIWebImageDelayPlaceholder = 1 << 9;
// Accept any server certificate (passed on as the downloader's bit of the same
// value). Kept well above the bits the manager and the downloader define.
inline constexpr RIWebImageOptions RIWebImageAllowInvalidSSLCertificates = std::uint64_t(1) << 20;

using RIWebImageCompletionWithFinishedBlock =
    std::function<void(UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, bool finished, NSURLPtr imageURL)>;
using RIWebImageCompletionBlockWithoutURL =
    std::function<void(UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, bool finished)>;
using RIWebImageCacheKeyFilterBlock = std::function<std::string(const NSURLPtr& url)>;

class RIWebImageManager;

// Optional operations: an empty answer means the delegate does not take part.
class RIWebImageManagerDelegate {
public:
    virtual ~RIWebImageManagerDelegate() = default;
    virtual std::optional<bool> imageManagerShouldDownloadImageForURL(RIWebImageManager& manager, const NSURLPtr& url) {
        (void)manager;
        (void)url;
        return std::nullopt;
    }
    // Whether the delegate transforms downloaded images (then the next
    // operation runs for each, on a global queue of high priority).
    virtual bool respondsToTransformDownloadedImage() const { return false; }
    virtual UIImagePtr imageManagerTransformDownloadedImage(RIWebImageManager& manager, const UIImagePtr& image,
                                                            const NSURLPtr& url) {
        (void)manager;
        (void)url;
        return image;
    }
};

class RIWebImageManager : public NSObject {
public:
    static std::shared_ptr<RIWebImageManager> sharedManager();
    static std::shared_ptr<RIWebImageManager> init();
    // A manager over the given cache and downloader (tests and separate stacks).
    static std::shared_ptr<RIWebImageManager> initWithCache(std::shared_ptr<RIImageCache> cache,
                                                            std::shared_ptr<RIWebImageDownloader> downloader);
    RIWebImageManager(std::shared_ptr<RIImageCache> cache, std::shared_ptr<RIWebImageDownloader> downloader);

    const std::shared_ptr<RIImageCache>& imageCache() const { return imageCache_; }
    const std::shared_ptr<RIWebImageDownloader>& imageDownloader() const { return imageDownloader_; }
    std::shared_ptr<RIWebImageManagerDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<RIWebImageManagerDelegate>& delegate);
    void setCacheKeyFilter(RIWebImageCacheKeyFilterBlock filter);

    std::string cacheKeyForURL(const NSURLPtr& url) const;
    bool cachedImageExistsForURL(const NSURLPtr& url);
    bool diskImageExistsForURL(const NSURLPtr& url);
    void cachedImageExistsForURL(const NSURLPtr& url, RIWebImageCheckCacheCompletionBlock completion);
    void diskImageExistsForURL(const NSURLPtr& url, RIWebImageCheckCacheCompletionBlock completion);

    // completedBlock is required. A memory hit on the main thread is delivered
    // before this returns; everything else on the main thread later.
    RIWebImageOperationPtr downloadImageWithURL(const NSURLPtr& url, RIWebImageOptions options,
                                                RIWebImageDownloaderProgressBlock progressBlock,
                                                RIWebImageCompletionWithFinishedBlock completedBlock);
    // A string is parsed into a URL; a string that is no URL counts as none.
    RIWebImageOperationPtr downloadImageWithURL(const std::string& url, RIWebImageOptions options,
                                                RIWebImageDownloaderProgressBlock progressBlock,
                                                RIWebImageCompletionWithFinishedBlock completedBlock);
    // Any other object than a URL counts as no URL.
    RIWebImageOperationPtr downloadImageWithURL(const std::shared_ptr<NSObject>& url, RIWebImageOptions options,
                                                RIWebImageDownloaderProgressBlock progressBlock,
                                                RIWebImageCompletionWithFinishedBlock completedBlock);
    // The older form: the callback without the URL.
    RIWebImageOperationPtr downloadWithURL(const NSURLPtr& url, RIWebImageOptions options,
                                           RIWebImageDownloaderProgressBlock progressBlock,
                                           RIWebImageCompletionBlockWithoutURL completedBlock);

    void saveImageToCache(const UIImagePtr& image, const NSURLPtr& url);
    void cancelAll();
    bool isRunning() const;
    bool isFailedURL(const NSURLPtr& url) const;

private:
    void removeRunning(const std::shared_ptr<RIWebImageCombinedOperation>& operation);
    void queryDone(const std::shared_ptr<RIWebImageCombinedOperation>& operation, const NSURLPtr& url,
                   const std::string& key, RIWebImageOptions options, RIWebImageDownloaderProgressBlock progress,
                   const RIWebImageCompletionWithFinishedBlock& completed, UIImagePtr image, RIImageCacheType cacheType);
    void downloadDone(const std::shared_ptr<RIWebImageCombinedOperation>& operation, const NSURLPtr& url,
                      const std::string& key, RIWebImageOptions options, bool hadCachedImage,
                      const RIWebImageCompletionWithFinishedBlock& completed, UIImagePtr downloaded,
                      std::optional<Data> data, NSErrorPtr error, bool finished);
    // Whether an error is a definite answer about the URL (so retrying is useless).
    static bool errorIsDefinite(const NSErrorPtr& error);

    std::shared_ptr<RIImageCache> imageCache_;
    std::shared_ptr<RIWebImageDownloader> imageDownloader_;
    mutable std::mutex delegateMutex_;
    std::weak_ptr<RIWebImageManagerDelegate> delegate_;
    RIWebImageCacheKeyFilterBlock cacheKeyFilter_;
    mutable std::mutex failedMutex_;
    std::vector<std::string> failedURLs_;
    mutable std::mutex runningMutex_;
    std::vector<std::shared_ptr<RIWebImageCombinedOperation>> runningOperations_;
};
