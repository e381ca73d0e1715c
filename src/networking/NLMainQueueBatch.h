#pragma once
// Work of one sender (a request operation) for the main queue, handed over in
// batches: the blocks posted run on the main queue in the order posted, any
// number of them in one main-queue block.
//
// post(block) sends the batch at once: a main-queue block is queued unless one
// is queued already and has not started, which then takes the new block too.
// post(block, loop) leaves the batch open until the pass of `loop` that is
// running ends (a perform on `loop` sends it), so progress reports posted on
// the network thread and the completion that follows in the same pass reach
// the main thread as one hand-off, and a busy transfer hands over at most one
// batch per pass. Any thread may post; blocks never run on the posting thread.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/runloop/NSRunLoop.h"

class NLMainQueueBatch : public std::enable_shared_from_this<NLMainQueueBatch> {
public:
    void post(std::function<void()> block, const std::shared_ptr<NSRunLoop>& sendAfterPassOf = nullptr);
    // Sends what was posted (nothing when the batch is empty).
    void send();

private:
    void runOnMainQueue();

    std::mutex mutex_;  // guards the fields below
    std::vector<std::function<void()>> blocks_;
    bool queued_ = false;     // a main-queue block will take blocks_
    bool scheduled_ = false;  // a perform will send the batch
};
