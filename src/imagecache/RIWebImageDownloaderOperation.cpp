#include "imagecache/RIWebImageDownloaderOperation.h"

#include "imagecache/RIWebImageManager.h"
#include "imagecache/UIImageForceDecode.h"
#include "imagecache/UIImageMultiFormat.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGContext.h"
#include "platform/imageio/CGImageSource.h"
#include "platform/runloop/NSRunLoop.h"

RIWebImageDownloaderOperation::RIWebImageDownloaderOperation(std::shared_ptr<NSURLRequest> request,
                                                             RIWebImageDownloaderOptions options,
                                                             RIWebImageDownloaderProgressBlock progressBlock,
                                                             RIWebImageDownloaderCompletedBlock completedBlock,
                                                             RIWebImageNoParamsBlock cancelBlock)
    : request_(std::move(request)),
      options_(options),
      progressBlock_(std::move(progressBlock)),
      completedBlock_(std::move(completedBlock)),
      cancelBlock_(std::move(cancelBlock)) {}

std::shared_ptr<RIWebImageDownloaderOperation> RIWebImageDownloaderOperation::initWithRequest(
    std::shared_ptr<NSURLRequest> request, RIWebImageDownloaderOptions options,
    RIWebImageDownloaderProgressBlock progressBlock, RIWebImageDownloaderCompletedBlock completedBlock,
    RIWebImageNoParamsBlock cancelBlock) {
    return std::make_shared<RIWebImageDownloaderOperation>(std::move(request), options, std::move(progressBlock),
                                                           std::move(completedBlock), std::move(cancelBlock));
}

RIWebImageDownloaderOperation::~RIWebImageDownloaderOperation() = default;

std::shared_ptr<NSURLCredential> RIWebImageDownloaderOperation::credential() const {
    std::lock_guard lock(mutex_);
    return credential_;
}

void RIWebImageDownloaderOperation::setCredential(std::shared_ptr<NSURLCredential> credential) {
    std::lock_guard lock(mutex_);
    credential_ = std::move(credential);
}

void RIWebImageDownloaderOperation::setExecuting(bool executing) {
    willChangeValueForKey("isExecuting");
    executing_ = executing;
    didChangeValueForKey("isExecuting");
}

void RIWebImageDownloaderOperation::setFinished(bool finished) {
    willChangeValueForKey("isFinished");
    finished_ = finished;
    didChangeValueForKey("isFinished");
}

UIImageOrientation RIWebImageDownloaderOperation::orientationFromPropertyValue(long value) {
    if (value < 1 || value > 8) return UIImageOrientationUp;
    return ri_exifOrientationToiOSOrientation(static_cast<std::int32_t>(value));
}

UIImagePtr RIWebImageDownloaderOperation::scaledImageForKey(const std::string& key, const UIImagePtr& image) const {
    return RIScaledImageForKey(key, image);
}

std::string RIWebImageDownloaderOperation::cacheKey() const {
    return RIWebImageManager::sharedManager()->cacheKeyForURL(NSURL::URLWithString(request_->URL()));
}

void RIWebImageDownloaderOperation::start() {
    auto strongSelf = self<RIWebImageDownloaderOperation>();
    NSURLConnectionPtr connection;
    {
        std::lock_guard lock(mutex_);
        if (isCancelled()) {
            setFinished(true);
            reset();
            return;
        }
        if (shouldContinueWhenAppEntersBackground()) {
            std::weak_ptr<RIWebImageDownloaderOperation> weak = strongSelf;
            auto application = UIApplication::sharedApplication();
            backgroundTaskId_ = application->beginBackgroundTaskWithExpirationHandler([weak, application] {
                auto op = weak.lock();
                if (!op) return;
                op->cancel();
                UIBackgroundTaskIdentifier task;
                {
                    std::lock_guard innerLock(op->mutex_);
                    task = op->backgroundTaskId_;
                    op->backgroundTaskId_ = UIBackgroundTaskInvalid;
                }
                if (task != UIBackgroundTaskInvalid) application->endBackgroundTask(task);
            });
        }
        setExecuting(true);
        connection_ = NSURLConnection::initWithRequest(
            request_, std::static_pointer_cast<NSURLConnectionDelegate>(strongSelf), false);
        connection = connection_;
        thread_ = NSThread::currentThread();
        runLoop_ = NSRunLoop::currentRunLoop();
    }

    if (connection) {
        connection->scheduleInRunLoop(runLoop_, NSDefaultRunLoopMode);
        connection->start();
        RIWebImageDownloaderProgressBlock progress;
        {
            std::lock_guard lock(mutex_);
            progress = progressBlock_;
        }
        if (progress) progress(0, -1);
        NSNotificationCenter::defaultCenter()->postNotificationName(RIWebImageDownloadStartNotification, strongSelf);
        // Runs until the transfer stops the loop (finish, failure or cancel).
        // The thread's loop outlives this operation; run() starts it afresh.
        auto loop = NSRunLoop::currentRunLoop();
        while (!stopRequested_) loop->run();
        if (!isFinished()) {
            connection->cancel();
            connectionDidFailWithError(connection, NSURLErrorMake(NSURLErrorTimedOut, request_->URL()));
        }
    } else {
        RIWebImageDownloaderCompletedBlock completed;
        {
            std::lock_guard lock(mutex_);
            completed = completedBlock_;
        }
        if (completed)
            completed(nullptr, std::nullopt, NSError::make(NSURLErrorDomain, 0, "Connection can't be initialized"),
                      true);
        done();
    }

    UIBackgroundTaskIdentifier task;
    {
        std::lock_guard lock(mutex_);
        task = backgroundTaskId_;
        backgroundTaskId_ = UIBackgroundTaskInvalid;
    }
    if (task != UIBackgroundTaskInvalid) UIApplication::sharedApplication()->endBackgroundTask(task);
}

void RIWebImageDownloaderOperation::cancel() {
    std::lock_guard lock(mutex_);
    if (thread_) {
        std::weak_ptr<RIWebImageDownloaderOperation> weak = self<RIWebImageDownloaderOperation>();
        thread_->perform(
            [weak] {
                if (auto op = weak.lock()) op->cancelInternalAndStop();
            },
            false);
    } else {
        cancelInternal();
    }
}

void RIWebImageDownloaderOperation::cancelInternalAndStop() {
    if (isFinished()) return;
    cancelInternal();
    stopRunLoop();
}

void RIWebImageDownloaderOperation::cancelInternal() {
    if (isFinished()) return;
    NSOperation::cancel();
    RIWebImageNoParamsBlock cancelled;
    NSURLConnectionPtr connection;
    {
        std::lock_guard lock(mutex_);
        cancelled = cancelBlock_;
        connection = connection_;
    }
    if (cancelled) cancelled();
    if (connection) {
        connection->cancel();
        NSNotificationCenter::defaultCenter()->postNotificationName(RIWebImageDownloadStopNotification, self());
        if (isExecuting()) setExecuting(false);
        if (!isFinished()) setFinished(true);
    }
    reset();
}

void RIWebImageDownloaderOperation::done() {
    setFinished(true);
    setExecuting(false);
    reset();
}

void RIWebImageDownloaderOperation::reset() {
    std::lock_guard lock(mutex_);
    progressBlock_ = nullptr;
    completedBlock_ = nullptr;
    cancelBlock_ = nullptr;
    connection_ = nullptr;
    imageData_ = Data();
    thread_ = nullptr;
}

void RIWebImageDownloaderOperation::assertOnTransferLoop() const {
#ifndef NDEBUG
    std::shared_ptr<NSRunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_;
    }
    if (loop) QV_ASSERT_ON_RUN_LOOP(loop);
#endif
}

void RIWebImageDownloaderOperation::stopRunLoop() {
    assertOnTransferLoop();
    stopRequested_ = true;
    if (auto loop = NSRunLoop::currentRunLoop()) loop->stop();
}

void RIWebImageDownloaderOperation::failNow(const NSErrorPtr& error, bool postStop) {
    assertOnTransferLoop();
    RIWebImageDownloaderCompletedBlock completed;
    {
        std::lock_guard lock(mutex_);
        completed = completedBlock_;
    }
    if (postStop) NSNotificationCenter::defaultCenter()->postNotificationName(RIWebImageDownloadStopNotification);
    if (completed) completed(nullptr, std::nullopt, error, true);
    stopRunLoop();
    done();
}

void RIWebImageDownloaderOperation::connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                                                 const std::shared_ptr<NSURLResponse>& response) {
    assertOnTransferLoop();
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    if (http && http->statusCode() >= 400) {
        connection->cancel();
        failNow(NSError::errorWithDomain(NSURLErrorDomain, http->statusCode()), true);
        return;
    }
    std::int64_t expected = response && response->expectedContentLength() > 0 ? response->expectedContentLength() : 0;
    if (expected > kRIWebImageMaxBodySize) {
        // Refused before anything is allocated for it.
        connection->cancel();
        failNow(NSError::make(RIWebImageErrorDomain, RIWebImageErrorBodyTooLarge, "Image too large to download"),
                true);
        return;
    }
    expectedSize_ = expected;
    RIWebImageDownloaderProgressBlock progress;
    {
        std::lock_guard lock(mutex_);
        progress = progressBlock_;
        imageData_ = Data();
        imageData_.reserve(static_cast<std::size_t>(expected));
    }
    if (progress) progress(0, expected);
}

void RIWebImageDownloaderOperation::connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) {
    assertOnTransferLoop();
    std::size_t received;
    bool tooLarge = false;
    {
        std::lock_guard lock(mutex_);
        if (imageData_.size() + data.size() > static_cast<std::size_t>(kRIWebImageMaxBodySize)) {
            tooLarge = true;
        } else {
            imageData_.insert(imageData_.end(), data.begin(), data.end());
        }
        received = imageData_.size();
    }
    if (tooLarge) {
        connection->cancel();
        failNow(NSError::make(RIWebImageErrorDomain, RIWebImageErrorBodyTooLarge, "Image too large to download"),
                true);
        return;
    }
    bool hasCompletion;
    RIWebImageDownloaderProgressBlock progress;
    {
        std::lock_guard lock(mutex_);
        hasCompletion = static_cast<bool>(completedBlock_);
        progress = progressBlock_;
    }
    if ((options_ & RIWebImageDownloaderProgressiveDownload) && expectedSize_ > 0 && hasCompletion)
        deliverPartialImage();
    if (progress) progress(static_cast<std::int64_t>(received), expectedSize_);
}

void RIWebImageDownloaderOperation::deliverPartialImage() {
    assertOnTransferLoop();
    Data bytes;
    {
        std::lock_guard lock(mutex_);
        bytes = imageData_;
    }
    auto total = static_cast<std::int64_t>(bytes.size());
    // One source for the whole transfer: a GIF's frames are read once, not on every chunk.
    if (!partialSource_) partialSource_ = CGImageSourceCreateIncremental();
    const auto& source = partialSource_;
    CGImageSourceUpdateData(source, bytes, total == expectedSize_);

    if (width_ + height_ == 0) {
        Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
        if (properties.isDictionary()) {
            std::int64_t h = properties[kCGImagePropertyPixelHeight].integerValue();
            std::int64_t w = properties[kCGImagePropertyPixelWidth].integerValue();
            Value orientationValue = properties[kCGImagePropertyOrientation];
            long orientation = orientationValue.isNull() ? -1 : orientationValue.intValue();
            // Declared sizes are checked before a bitmap of that size is made.
            if (w > 0 && h > 0 && static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) <= kCGImageMaxPixelCount) {
                width_ = static_cast<std::size_t>(w);
                height_ = static_cast<std::size_t>(h);
            }
            orientation_ = orientationFromPropertyValue(orientation == -1 ? 1 : orientation);
        }
    }
    if (width_ + height_ == 0 || total >= expectedSize_) return;

    auto partial = CGImageSourceCreateImageAtIndex(source, 0);
    if (!partial) return;
    auto partialHeight = static_cast<CGFloat>(std::min(partial->height(), height_));
    auto context = CGBitmapContextCreate(nullptr, width_, height_, 8, width_ * 4, CGColorSpaceCreateDeviceRGB(),
                                         kCGImageAlphaPremultipliedFirst);
    if (!context) return;
    // The context's y runs upwards: the rows decoded so far go at the top.
    CGContextDrawImage(context,
                       CGRectMake(0, static_cast<CGFloat>(height_) - partialHeight, static_cast<CGFloat>(width_),
                                  partialHeight),
                       partial);
    auto bitmap = CGBitmapContextCreateImage(context);
    if (!bitmap) return;
    auto image = UIImage::imageWithCGImage(bitmap, 1, orientation_);
    image = decodedImageWithImage(scaledImageForKey(cacheKey(), image));
    std::weak_ptr<RIWebImageDownloaderOperation> weak = self<RIWebImageDownloaderOperation>();
    ri_dispatch_main_sync_safe([weak, image] {
        auto op = weak.lock();
        if (!op) return;
        RIWebImageDownloaderCompletedBlock completed;
        {
            std::lock_guard lock(op->mutex_);
            completed = op->completedBlock_;
        }
        if (completed) completed(image, std::nullopt, nullptr, false);
    });
}

void RIWebImageDownloaderOperation::connectionDidFinishLoading(const NSURLConnectionPtr&) {
    assertOnTransferLoop();
    RIWebImageDownloaderCompletedBlock completed;
    Data data;
    {
        std::lock_guard lock(mutex_);
        completed = completedBlock_;
        data = std::move(imageData_);
        stopRunLoop();
        thread_ = nullptr;
        connection_ = nullptr;
        NSNotificationCenter::defaultCenter()->postNotificationName(RIWebImageDownloadStopNotification);
    }
    // This platform keeps no shared URL cache, so no response ever comes from one.
    responseFromCached_ = false;

    if (completed) {
        if ((options_ & RIWebImageDownloaderIgnoreCachedResponse) && responseFromCached_) {
            completed(nullptr, std::nullopt, nullptr, true);
        } else {
            auto image = scaledImageForKey(cacheKey(), ri_imageWithData(data));
            if (image && image->images().empty()) image = decodedImageWithImage(image);
            CGSize size = image ? image->size() : CGSizeZero;
            if (size.width == 0 && size.height == 0) {
                completed(nullptr, std::nullopt,
                          NSError::make(RIWebImageErrorDomain, 0, "Downloaded image has 0 pixels"), true);
            } else {
                completed(image, std::move(data), nullptr, true);
            }
        }
    }
    done();
}

void RIWebImageDownloaderOperation::connectionDidFailWithError(const NSURLConnectionPtr&, const NSErrorPtr& error) {
    assertOnTransferLoop();
    stopRunLoop();
    NSNotificationCenter::defaultCenter()->postNotificationName(RIWebImageDownloadStopNotification);
    RIWebImageDownloaderCompletedBlock completed;
    {
        std::lock_guard lock(mutex_);
        completed = completedBlock_;
    }
    if (completed) completed(nullptr, std::nullopt, error, true);
    done();
}

std::shared_ptr<NSCachedURLResponse> RIWebImageDownloaderOperation::connectionWillCacheResponse(
    const NSURLConnectionPtr&, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
    responseFromCached_ = false;
    if (request_->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData) return nullptr;
    return cachedResponse;
}

bool RIWebImageDownloaderOperation::connectionShouldUseCredentialStorage(const NSURLConnectionPtr&) {
    return shouldUseCredentialStorage_;
}

void RIWebImageDownloaderOperation::connectionWillSendRequestForAuthenticationChallenge(
    const NSURLConnectionPtr&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    auto sender = challenge->sender();
    if (!sender) return;
    if (challenge->protectionSpace() &&
        challenge->protectionSpace()->authenticationMethod() == NSURLAuthenticationMethodServerTrust) {
        // Certificates are verified unless the caller explicitly accepts any.
        auto trust = challenge->protectionSpace()->serverTrust();
        if ((options_ & RIWebImageDownloaderAllowInvalidSSLCertificates) && trust)
            sender->useCredential(NSURLCredential::credentialForTrust(trust), challenge);
        else
            sender->performDefaultHandlingForAuthenticationChallenge(challenge);
        return;
    }
    auto credential = this->credential();
    if (challenge->previousFailureCount() == 0 && credential) sender->useCredential(credential, challenge);
    else sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
}
