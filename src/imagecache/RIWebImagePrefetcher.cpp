#include "imagecache/RIWebImagePrefetcher.h"

#include "platform/foundation/ProcessLifetime.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/Clock.h"
#include "platform/base/ThreadAssertions.h"

std::shared_ptr<RIWebImagePrefetcher> RIWebImagePrefetcher::sharedImagePrefetcher() {
    static ProcessLifetime<std::shared_ptr<RIWebImagePrefetcher>> instance(init());
    return *instance;
}

std::shared_ptr<RIWebImagePrefetcher> RIWebImagePrefetcher::init() { return initWithManager(RIWebImageManager::init()); }

std::shared_ptr<RIWebImagePrefetcher> RIWebImagePrefetcher::initWithManager(
    std::shared_ptr<RIWebImageManager> manager) {
    return std::make_shared<RIWebImagePrefetcher>(std::move(manager));
}

RIWebImagePrefetcher::RIWebImagePrefetcher(std::shared_ptr<RIWebImageManager> manager) : manager_(std::move(manager)) {
    setMaxConcurrentDownloads(kRIWebImagePrefetcherDefaultMaxConcurrentDownloads);
}

void RIWebImagePrefetcher::setManager(std::shared_ptr<RIWebImageManager> manager) { manager_ = std::move(manager); }

// The queue's "no limit" (-1) reads as the largest count, so a list then starts whole.
std::uint64_t RIWebImagePrefetcher::maxConcurrentDownloads() const {
    return manager_ ? static_cast<std::uint64_t>(manager_->imageDownloader()->maxConcurrentDownloads()) : 0;
}

void RIWebImagePrefetcher::setMaxConcurrentDownloads(std::uint64_t count) {
    if (manager_) manager_->imageDownloader()->setMaxConcurrentDownloads(static_cast<long>(count));
}

void RIWebImagePrefetcher::prefetchURLs(const std::vector<NSURLPtr>& urls) { prefetchURLs(urls, nullptr, nullptr); }

void RIWebImagePrefetcher::prefetchURLs(const std::vector<NSURLPtr>& urls, RIWebImagePrefetcherProgressBlock progress,
                                        RIWebImagePrefetcherCompletionBlock completed) {
    QV_ASSERT_MAIN_THREAD();
    cancelPrefetching();
    startedTime_ = Clock::now();
    prefetchURLs_ = urls;
    progressBlock_ = std::move(progress);
    completionBlock_ = std::move(completed);
    // A load answered from memory ends (and queues the next start) before its
    // start returns; the counts keep this loop from starting more than the list.
    std::uint64_t generation = generation_;
    for (std::uint64_t index = 0; index < maxConcurrentDownloads() && requestedCount_ < prefetchURLs_.size() &&
                                  generation == generation_;
         ++index)
        startPrefetchingAtIndex(index);
}

void RIWebImagePrefetcher::cancelPrefetching() {
    QV_ASSERT_MAIN_THREAD();
    ++generation_;
    prefetchURLs_.clear();
    requestedCount_ = skippedCount_ = finishedCount_ = 0;
    if (manager_) manager_->cancelAll();
}

void RIWebImagePrefetcher::startPrefetchingAtIndex(std::uint64_t index) {
    QV_ASSERT_MAIN_THREAD();
    if (index >= prefetchURLs_.size() || !manager_) return;
    ++requestedCount_;
    std::weak_ptr<RIWebImagePrefetcher> weak = weakSelf<RIWebImagePrefetcher>();
    std::uint64_t generation = generation_;
    manager_->downloadImageWithURL(
        prefetchURLs_[index], options_, nullptr,
        [weak, generation, index](UIImagePtr image, NSErrorPtr, RIImageCacheType, bool finished, NSURLPtr) {
            if (!finished) return;
            if (auto self = weak.lock()) self->loadEnded(generation, index, static_cast<bool>(image));
        });
}

void RIWebImagePrefetcher::loadEnded(std::uint64_t generation, std::uint64_t index, bool gotImage) {
    QV_ASSERT_MAIN_THREAD();
    // A load of a cancelled or replaced list: its counts are gone with it.
    if (generation != generation_ || index >= prefetchURLs_.size()) return;
    ++finishedCount_;
    std::uint64_t total = prefetchURLs_.size();
    if (progressBlock_) progressBlock_(finishedCount_, total);
    // The callbacks may have cancelled this list or started another one.
    if (generation != generation_) return;
    if (!gotImage) ++skippedCount_;
    if (auto delegate = this->delegate()) {
        delegate->imagePrefetcherDidPrefetchURL(*this, prefetchURLs_[index], finishedCount_, total);
        if (generation != generation_) return;
    }
    if (prefetchURLs_.size() > requestedCount_) {
        startNextFromMainQueue(generation);
    } else if (finishedCount_ == requestedCount_) {
        reportStatus();
        if (generation != generation_) return;
        auto completed = std::move(completionBlock_);
        completionBlock_ = nullptr;
        if (completed) completed(finishedCount_, skippedCount_);
    }
}

void RIWebImagePrefetcher::startNextFromMainQueue(std::uint64_t generation) {
    std::weak_ptr<RIWebImagePrefetcher> weak = weakSelf<RIWebImagePrefetcher>();
    dispatch_async(dispatch_get_main_queue(), [weak, generation] {
        auto self = weak.lock();
        // A start queued for a list that has since been cancelled or replaced starts nothing.
        if (!self || generation != self->generation_) return;
        self->startPrefetchingAtIndex(self->requestedCount_);
    });
}

void RIWebImagePrefetcher::reportStatus() {
    QV_ASSERT_MAIN_THREAD();
    std::uint64_t total = prefetchURLs_.size();
    if (auto delegate = this->delegate())
        delegate->imagePrefetcherDidFinishWithTotalCount(*this, total > skippedCount_ ? total - skippedCount_ : 0,
                                                         skippedCount_);
}
