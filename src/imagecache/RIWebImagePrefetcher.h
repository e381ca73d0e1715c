#pragma once
// Loads a list of image URLs into the cache ahead of need, a few at a time,
// through an image manager of its own, reporting progress after each load and
// the counts once the list is done.
//
// Call order: prefetchURLs() starts a list (cancelling the previous one), up
// to maxConcurrentDownloads loads at once; each finished load starts the next
// one from the main queue. cancelPrefetching() drops the list and cancels every
// load of the prefetcher's manager.
//
// Threads: main thread only (asserted in debug builds). The manager delivers
// each load's end on the main thread, so the counts are only touched there.
//
// Lists: each list has a generation. A load of a list that was cancelled or
// replaced, and a start queued for it, change nothing: neither the counts nor
// the callbacks of the current list see them. A cancelled list's completion
// callback is never called. An empty list starts nothing and calls nothing.
//
// Counts: requestedCount loads started, finishedCount loads ended,
// skippedCount loads that ended without an image (failed or vetoed).
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imagecache/RIWebImageManager.h"

class RIWebImagePrefetcher;

// Both operations are optional; the defaults do nothing.
class RIWebImagePrefetcherDelegate {
public:
    virtual ~RIWebImagePrefetcherDelegate() = default;
    // After each load of the current list: the URL it loaded, the loads ended
    // so far and the list's length.
    virtual void imagePrefetcherDidPrefetchURL(RIWebImagePrefetcher& prefetcher, const NSURLPtr& url,
                                               std::uint64_t finishedCount, std::uint64_t totalCount) {
        (void)prefetcher;
        (void)url;
        (void)finishedCount;
        (void)totalCount;
    }
    // Once the list is done: the loads that gave an image and those that did not.
    virtual void imagePrefetcherDidFinishWithTotalCount(RIWebImagePrefetcher& prefetcher, std::uint64_t totalCount,
                                                        std::uint64_t skippedCount) {
        (void)prefetcher;
        (void)totalCount;
        (void)skippedCount;
    }
};

using RIWebImagePrefetcherProgressBlock = std::function<void(std::uint64_t finishedCount, std::uint64_t totalCount)>;
using RIWebImagePrefetcherCompletionBlock =
    std::function<void(std::uint64_t finishedCount, std::uint64_t skippedCount)>;

inline constexpr std::uint64_t kRIWebImagePrefetcherDefaultMaxConcurrentDownloads = 3;

class RIWebImagePrefetcher : public NSObject {
public:
    // The process-wide prefetcher, made once.
    static std::shared_ptr<RIWebImagePrefetcher> sharedImagePrefetcher();
    // A prefetcher with a new manager over the shared cache and downloader.
    // Sets that downloader's concurrency to 3 (for every image load of the process).
    static std::shared_ptr<RIWebImagePrefetcher> init();
    // A prefetcher over the given manager (a separate stack); sets its
    // downloader's concurrency to 3 likewise.
    static std::shared_ptr<RIWebImagePrefetcher> initWithManager(std::shared_ptr<RIWebImageManager> manager);
    explicit RIWebImagePrefetcher(std::shared_ptr<RIWebImageManager> manager);

    void prefetchURLs(const std::vector<NSURLPtr>& urls);
    void prefetchURLs(const std::vector<NSURLPtr>& urls, RIWebImagePrefetcherProgressBlock progress,
                      RIWebImagePrefetcherCompletionBlock completed);
    void cancelPrefetching();
    // Starts the load of the current list at `index` (nothing past its end).
    void startPrefetchingAtIndex(std::uint64_t index);
    // Tells the delegate the counts of the current list.
    void reportStatus();

    // Properties. The concurrency is the manager's downloader's.
    const std::shared_ptr<RIWebImageManager>& manager() const { return manager_; }
    void setManager(std::shared_ptr<RIWebImageManager> manager);
    RIWebImageOptions options() const { return options_; }
    void setOptions(RIWebImageOptions options) { options_ = options; }
    std::shared_ptr<RIWebImagePrefetcherDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<RIWebImagePrefetcherDelegate>& delegate) { delegate_ = delegate; }
    const std::vector<NSURLPtr>& prefetchURLs() const { return prefetchURLs_; }
    // Replaces the list without starting anything (the counts stay).
    void setPrefetchURLs(std::vector<NSURLPtr> urls) { prefetchURLs_ = std::move(urls); }
    std::uint64_t requestedCount() const { return requestedCount_; }
    void setRequestedCount(std::uint64_t count) { requestedCount_ = count; }
    std::uint64_t skippedCount() const { return skippedCount_; }
    void setSkippedCount(std::uint64_t count) { skippedCount_ = count; }
    std::uint64_t finishedCount() const { return finishedCount_; }
    void setFinishedCount(std::uint64_t count) { finishedCount_ = count; }
    // Clock seconds (since 1970) at which the current list was started.
    double startedTime() const { return startedTime_; }
    void setStartedTime(double time) { startedTime_ = time; }
    const RIWebImagePrefetcherCompletionBlock& completionBlock() const { return completionBlock_; }
    void setCompletionBlock(RIWebImagePrefetcherCompletionBlock block) { completionBlock_ = std::move(block); }
    const RIWebImagePrefetcherProgressBlock& progressBlock() const { return progressBlock_; }
    void setProgressBlock(RIWebImagePrefetcherProgressBlock block) { progressBlock_ = std::move(block); }
    std::uint64_t maxConcurrentDownloads() const;
    void setMaxConcurrentDownloads(std::uint64_t count);

private:
    // The end of one load of the list of `generation`, at `index`.
    void loadEnded(std::uint64_t generation, std::uint64_t index, bool gotImage);
    void startNextFromMainQueue(std::uint64_t generation);

    // Main thread only, like every member.
    std::shared_ptr<RIWebImageManager> manager_;
    RIWebImageOptions options_ = RIWebImageLowPriority;
    std::weak_ptr<RIWebImagePrefetcherDelegate> delegate_;
    std::vector<NSURLPtr> prefetchURLs_;
    std::uint64_t requestedCount_ = 0, skippedCount_ = 0, finishedCount_ = 0;
    double startedTime_ = 0;
    RIWebImagePrefetcherCompletionBlock completionBlock_;
    RIWebImagePrefetcherProgressBlock progressBlock_;
    // Bumped by every new or cancelled list; loads and queued starts carry the
    // generation they belong to.
    std::uint64_t generation_ = 0;
};
