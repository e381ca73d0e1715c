#include "imagecache/RIWebImageCombinedOperation.h"

void RIWebImageCombinedOperation::cancel() {
    RIWebImageNoParamsBlock block;
    std::shared_ptr<NSOperation> cacheOperation;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        cacheOperation = std::move(cacheOperation_);
        cacheOperation_ = nullptr;
        block = std::move(cancelBlock_);
        cancelBlock_ = nullptr;
    }
    if (cacheOperation) cacheOperation->cancel();
    if (block) block();
}

void RIWebImageCombinedOperation::setCancelBlock(RIWebImageNoParamsBlock block) {
    {
        std::lock_guard lock(mutex_);
        if (!cancelled_) {
            cancelBlock_ = std::move(block);
            return;
        }
    }
    if (block) block();
}

RIWebImageNoParamsBlock RIWebImageCombinedOperation::cancelBlock() const {
    std::lock_guard lock(mutex_);
    return cancelBlock_;
}

std::shared_ptr<NSOperation> RIWebImageCombinedOperation::cacheOperation() const {
    std::lock_guard lock(mutex_);
    return cacheOperation_;
}

void RIWebImageCombinedOperation::setCacheOperation(std::shared_ptr<NSOperation> operation) {
    std::lock_guard lock(mutex_);
    cacheOperation_ = std::move(operation);
}
