#include "imagecache/RIWebImageManager.h"

#include <algorithm>

#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/NSURLError.h"

namespace {

constexpr long kFileDoesNotExist = -1100;

RIWebImageDownloaderOptions downloaderOptionsFor(RIWebImageOptions options) {
    RIWebImageDownloaderOptions result = 0;
    if (options & RIWebImageLowPriority) result |= RIWebImageDownloaderLowPriority;
    if (options & RIWebImageProgressiveDownload) result |= RIWebImageDownloaderProgressiveDownload;
    if (options & RIWebImageRefreshCached) result |= RIWebImageDownloaderUseNSURLCache;
    if (options & RIWebImageContinueInBackground) result |= RIWebImageDownloaderContinueInBackground;
    if (options & RIWebImageHandleCookies) result |= RIWebImageDownloaderHandleCookies;
    if (options & RIWebImagePassedOnOnly) result |= RIWebImageDownloaderPassedOn;
    if (options & RIWebImageHighPriority) result |= RIWebImageDownloaderHighPriority;
    if (options & RIWebImageAllowInvalidSSLCertificates) result |= RIWebImageDownloaderAllowInvalidSSLCertificates;
    return result;
}

}  // namespace

std::shared_ptr<RIWebImageManager> RIWebImageManager::sharedManager() {
    static ProcessLifetime<std::shared_ptr<RIWebImageManager>> instance(init());
    return *instance;
}

std::shared_ptr<RIWebImageManager> RIWebImageManager::init() {
    return initWithCache(RIImageCache::sharedImageCache(), RIWebImageDownloader::sharedDownloader());
}

std::shared_ptr<RIWebImageManager> RIWebImageManager::initWithCache(std::shared_ptr<RIImageCache> cache,
                                                                    std::shared_ptr<RIWebImageDownloader> downloader) {
    return std::make_shared<RIWebImageManager>(std::move(cache), std::move(downloader));
}

RIWebImageManager::RIWebImageManager(std::shared_ptr<RIImageCache> cache,
                                     std::shared_ptr<RIWebImageDownloader> downloader)
    : imageCache_(std::move(cache)), imageDownloader_(std::move(downloader)) {}

std::shared_ptr<RIWebImageManagerDelegate> RIWebImageManager::delegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_.lock();
}

void RIWebImageManager::setDelegate(const std::shared_ptr<RIWebImageManagerDelegate>& delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = delegate;
}

void RIWebImageManager::setCacheKeyFilter(RIWebImageCacheKeyFilterBlock filter) {
    std::lock_guard lock(delegateMutex_);
    cacheKeyFilter_ = std::move(filter);
}

std::string RIWebImageManager::cacheKeyForURL(const NSURLPtr& url) const {
    if (!url) return {};
    RIWebImageCacheKeyFilterBlock filter;
    {
        std::lock_guard lock(delegateMutex_);
        filter = cacheKeyFilter_;
    }
    return filter ? filter(url) : url->absoluteString();
}

bool RIWebImageManager::cachedImageExistsForURL(const NSURLPtr& url) {
    std::string key = cacheKeyForURL(url);
    if (imageCache_->imageFromMemoryCacheForKey(key)) return true;
    return imageCache_->diskImageExistsWithKey(key);
}

bool RIWebImageManager::diskImageExistsForURL(const NSURLPtr& url) {
    return imageCache_->diskImageExistsWithKey(cacheKeyForURL(url));
}

void RIWebImageManager::cachedImageExistsForURL(const NSURLPtr& url, RIWebImageCheckCacheCompletionBlock completion) {
    std::string key = cacheKeyForURL(url);
    if (imageCache_->imageFromMemoryCacheForKey(key)) {
        if (completion) dispatch_async(dispatch_get_main_queue(), [completion] { completion(true); });
        return;
    }
    imageCache_->diskImageExistsWithKey(key, std::move(completion));
}

void RIWebImageManager::diskImageExistsForURL(const NSURLPtr& url, RIWebImageCheckCacheCompletionBlock completion) {
    imageCache_->diskImageExistsWithKey(cacheKeyForURL(url), std::move(completion));
}

bool RIWebImageManager::isFailedURL(const NSURLPtr& url) const {
    if (!url) return false;
    std::lock_guard lock(failedMutex_);
    return std::find(failedURLs_.begin(), failedURLs_.end(), url->absoluteString()) != failedURLs_.end();
}

RIWebImageOperationPtr RIWebImageManager::downloadImageWithURL(const std::string& url, RIWebImageOptions options,
                                                               RIWebImageDownloaderProgressBlock progressBlock,
                                                               RIWebImageCompletionWithFinishedBlock completedBlock) {
    return downloadImageWithURL(NSURL::URLWithString(url), options, std::move(progressBlock), std::move(completedBlock));
}

RIWebImageOperationPtr RIWebImageManager::downloadImageWithURL(const std::shared_ptr<NSObject>& url,
                                                               RIWebImageOptions options,
                                                               RIWebImageDownloaderProgressBlock progressBlock,
                                                               RIWebImageCompletionWithFinishedBlock completedBlock) {
    return downloadImageWithURL(std::dynamic_pointer_cast<NSURL>(url), options, std::move(progressBlock),
                                std::move(completedBlock));
}

RIWebImageOperationPtr RIWebImageManager::downloadWithURL(const NSURLPtr& url, RIWebImageOptions options,
                                                          RIWebImageDownloaderProgressBlock progressBlock,
                                                          RIWebImageCompletionBlockWithoutURL completedBlock) {
    return downloadImageWithURL(
        url, options, std::move(progressBlock),
        [completedBlock](UIImagePtr image, NSErrorPtr error, RIImageCacheType cacheType, bool finished, NSURLPtr) {
            if (completedBlock) completedBlock(image, error, cacheType, finished);
        });
}

RIWebImageOperationPtr RIWebImageManager::downloadImageWithURL(const NSURLPtr& url, RIWebImageOptions options,
                                                               RIWebImageDownloaderProgressBlock progressBlock,
                                                               RIWebImageCompletionWithFinishedBlock completedBlock) {
    auto operation = std::make_shared<RIWebImageCombinedOperation>();
    bool failed = isFailedURL(url);
    if (!url || (failed && !(options & RIWebImageRetryFailed))) {
        ri_dispatch_main_sync_safe([&] {
            if (completedBlock)
                completedBlock(nullptr, NSError::errorWithDomain(NSURLErrorDomain, kFileDoesNotExist),
                               RIImageCacheTypeNone, true, url);
        });
        return operation;
    }
    {
        std::lock_guard lock(runningMutex_);
        runningOperations_.push_back(operation);
    }
    std::weak_ptr<RIWebImageManager> weak = weakSelf<RIWebImageManager>();
    std::weak_ptr<RIWebImageCombinedOperation> weakOperation = operation;
    // Until a download starts, cancelling only takes the load off the running list.
    operation->setCancelBlock([weak, weakOperation] {
        auto self = weak.lock();
        auto op = weakOperation.lock();
        if (self && op) self->removeRunning(op);
    });
    std::string key = cacheKeyForURL(url);
    auto cacheOperation = imageCache_->queryDiskCacheForKey(
        key, [weak, operation, url, key, options, progressBlock, completedBlock](UIImagePtr image,
                                                                                 RIImageCacheType cacheType) {
            if (auto self = weak.lock())
                self->queryDone(operation, url, key, options, progressBlock, completedBlock, image, cacheType);
        });
    if (cacheOperation && !operation->isCancelled()) operation->setCacheOperation(cacheOperation);
    return operation;
}

void RIWebImageManager::queryDone(const std::shared_ptr<RIWebImageCombinedOperation>& operation, const NSURLPtr& url,
                                  const std::string& key, RIWebImageOptions options,
                                  RIWebImageDownloaderProgressBlock progress,
                                  const RIWebImageCompletionWithFinishedBlock& completed, UIImagePtr image,
                                  RIImageCacheType cacheType) {
    if (operation->isCancelled()) {
        removeRunning(operation);
        return;
    }
    auto deliverCached = [&] {
        ri_dispatch_main_sync_safe([&] {
            if (!operation->isCancelled() && completed) completed(image, nullptr, cacheType, true, url);
        });
    };
    if (image && !(options & RIWebImageRefreshCached)) {
        deliverCached();
        removeRunning(operation);
        return;
    }
    bool shouldDownload = true;
    if (auto delegate = this->delegate())
        shouldDownload = delegate->imageManagerShouldDownloadImageForURL(*this, url).value_or(true);
    if (!shouldDownload) {
        if (image) {
            deliverCached();
        } else {
            ri_dispatch_main_sync_safe([&] {
                if (!operation->isCancelled() && completed)
                    completed(nullptr, nullptr, RIImageCacheTypeNone, true, url);
            });
        }
        removeRunning(operation);
        return;
    }

    // Download (with a cached image only when refreshing: it is shown first).
    if (image) deliverCached();
    RIWebImageDownloaderOptions downloaderOptions = downloaderOptionsFor(options);
    if (image && (options & RIWebImageRefreshCached)) {
        downloaderOptions &= ~RIWebImageDownloaderProgressiveDownload;
        downloaderOptions |= RIWebImageDownloaderIgnoreCachedResponse;
    }
    bool hadCachedImage = static_cast<bool>(image);
    std::weak_ptr<RIWebImageManager> weak = weakSelf<RIWebImageManager>();
    RIWebImageDownloaderCompletedBlock done = [weak, operation, url, key, options, hadCachedImage, completed](
                                                  UIImagePtr downloaded, std::optional<Data> data, NSErrorPtr error,
                                                  bool finished) {
        if (auto self = weak.lock())
            self->downloadDone(operation, url, key, options, hadCachedImage, completed, downloaded, std::move(data),
                               error, finished);
    };
    // The URL's transfer, while it runs or hands out its result, takes this
    // load along. Without one, a transfer may have finished since the cache
    // was read; it stored its image in memory before it left the downloader.
    auto token = imageDownloader_->attachToDownloadWithURL(url, progress, done);
    if (!token && !image && !(options & RIWebImageRefreshCached)) {
        if (auto arrived = imageCache_->imageFromMemoryCacheForKey(key)) {
            ri_dispatch_main_sync_safe([&] {
                if (!operation->isCancelled() && completed)
                    completed(arrived, nullptr, RIImageCacheTypeMemory, true, url);
            });
            removeRunning(operation);
            return;
        }
    }
    if (!token)
        token = imageDownloader_->downloadImageWithURL(url, downloaderOptions, std::move(progress), std::move(done));
    std::weak_ptr<RIWebImageCombinedOperation> weakOperation = operation;
    operation->setCancelBlock([token, weak, weakOperation] {
        if (token) token->cancel();
        auto self = weak.lock();
        auto op = weakOperation.lock();
        if (self && op) self->removeRunning(op);
    });
}

void RIWebImageManager::downloadDone(const std::shared_ptr<RIWebImageCombinedOperation>& operation,
                                     const NSURLPtr& url, const std::string& key, RIWebImageOptions options,
                                     bool hadCachedImage, const RIWebImageCompletionWithFinishedBlock& completed,
                                     UIImagePtr downloaded, std::optional<Data> data, NSErrorPtr error,
                                     bool finished) {
    bool toDisk = !(options & RIWebImageCacheMemoryOnly);
    if (operation->isCancelled()) {
        // Nothing is delivered for a cancelled load.
    } else if (error) {
        // Listed before the caller hears of it, so that the callback sees the list as it will stay.
        if (errorIsDefinite(error)) {
            std::lock_guard lock(failedMutex_);
            if (std::find(failedURLs_.begin(), failedURLs_.end(), url->absoluteString()) == failedURLs_.end())
                failedURLs_.push_back(url->absoluteString());
        }
        ri_dispatch_main_sync_safe([&] {
            if (!operation->isCancelled() && completed) completed(nullptr, error, RIImageCacheTypeNone, finished, url);
        });
    } else if ((options & RIWebImageRefreshCached) && hadCachedImage && !downloaded) {
        // The URL cache answered with what was already shown.
    } else if (auto delegate = this->delegate();
               downloaded && downloaded->images().empty() && delegate && delegate->respondsToTransformDownloadedImage()) {
        auto self = this->self<RIWebImageManager>();
        dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_HIGH, 0),
                       [self, delegate, operation, url, key, toDisk, completed, downloaded, data, finished] {
                           auto transformed = delegate->imageManagerTransformDownloadedImage(*self, downloaded, url);
                           if (transformed && finished)
                               self->imageCache_->storeImage(transformed, transformed != downloaded, data, key, toDisk);
                           ri_dispatch_main_sync_safe([&] {
                               if (!operation->isCancelled() && completed)
                                   completed(transformed, nullptr, RIImageCacheTypeNone, finished, url);
                           });
                       });
    } else {
        if (downloaded && finished) imageCache_->storeImage(downloaded, false, data, key, toDisk);
        ri_dispatch_main_sync_safe([&] {
            if (!operation->isCancelled() && completed)
                completed(downloaded, nullptr, RIImageCacheTypeNone, finished, url);
        });
    }
    if (finished) removeRunning(operation);
}

bool RIWebImageManager::errorIsDefinite(const NSErrorPtr& error) {
    if (!error) return false;
    if (error->domain() == NSURLErrorDomain) {
        // HTTP statuses: a 4xx answer says the image is not there for us; 408
        // and 429 only say "not now", and 5xx answers are the server's trouble.
        long code = error->code();
        return code >= 400 && code < 500 && code != 408 && code != 429;
    }
    if (error->domain() == RIWebImageErrorDomain)
        return error->code() == 0 || error->code() == RIWebImageErrorBodyTooLarge;
    return false;
}

void RIWebImageManager::saveImageToCache(const UIImagePtr& image, const NSURLPtr& url) {
    if (image && url) imageCache_->storeImage(image, cacheKeyForURL(url), true);
}

void RIWebImageManager::removeRunning(const std::shared_ptr<RIWebImageCombinedOperation>& operation) {
    std::lock_guard lock(runningMutex_);
    runningOperations_.erase(std::remove(runningOperations_.begin(), runningOperations_.end(), operation),
                             runningOperations_.end());
}

void RIWebImageManager::cancelAll() {
    std::vector<std::shared_ptr<RIWebImageCombinedOperation>> running;
    {
        std::lock_guard lock(runningMutex_);
        running.swap(runningOperations_);
    }
    for (const auto& operation : running) operation->cancel();
}

bool RIWebImageManager::isRunning() const {
    std::lock_guard lock(runningMutex_);
    return !runningOperations_.empty();
}
