#include "networking/NLMainQueueBatch.h"

#include <utility>

#include "platform/dispatch/Dispatch.h"

void NLMainQueueBatch::post(std::function<void()> block, const std::shared_ptr<NSRunLoop>& sendAfterPassOf) {
    bool schedule = false;
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
        if (queued_) return;  // the queued main-queue block takes it
        if (sendAfterPassOf) schedule = !std::exchange(scheduled_, true);
    }
    if (!sendAfterPassOf) return send();
    if (schedule) {
        sendAfterPassOf->performBlock([self = shared_from_this()] {
            {
                std::lock_guard lock(self->mutex_);
                self->scheduled_ = false;
            }
            self->send();
        });
    }
}

void NLMainQueueBatch::send() {
    {
        std::lock_guard lock(mutex_);
        if (queued_ || blocks_.empty()) return;
        queued_ = true;
    }
    dispatch_async(dispatch_get_main_queue(), [self = shared_from_this()] { self->runOnMainQueue(); });
}

void NLMainQueueBatch::runOnMainQueue() {
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(mutex_);
        blocks.swap(blocks_);
        queued_ = false;
    }
    for (auto& block : blocks) block();
}
