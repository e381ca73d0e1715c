#pragma once
// The handle of one image load through the manager: cancels both the cache
// query and the download.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include "imagecache/RIWebImageCompat.h"
#include "imagecache/RIWebImageOperation.h"
#include "platform/dispatch/NSOperation.h"

class RIWebImageCombinedOperation : public NSObject, public RIWebImageOperation {
public:
    void cancel() override;
    bool isCancelled() const { return cancelled_; }
    // A callback given after the cancel runs at once and is not kept.
    void setCancelBlock(RIWebImageNoParamsBlock block);
    RIWebImageNoParamsBlock cancelBlock() const;
    std::shared_ptr<NSOperation> cacheOperation() const;
    void setCacheOperation(std::shared_ptr<NSOperation> operation);

private:
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    RIWebImageNoParamsBlock cancelBlock_;
    std::shared_ptr<NSOperation> cacheOperation_;
};
