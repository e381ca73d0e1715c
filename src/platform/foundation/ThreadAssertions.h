#pragma once
// Threading rules as debug assertions: the entry of a method that may only run
// on the main thread, on one dispatch queue or on one run loop's thread states
// it with one of these. Release builds (NDEBUG) compile them to nothing.
//
//   QV_ASSERT_MAIN_THREAD();          // main thread only
//   QV_ASSERT_ON_QUEUE(ioQueue_);     // only inside a block of that queue
//   QV_ASSERT_ON_RUN_LOOP(runLoop);   // only on the thread of that run loop
#include <cassert>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSThread.h"
#include "platform/runloop/NSRunLoop.h"

#ifdef NDEBUG
#define QV_ASSERT_MAIN_THREAD() ((void)0)
#define QV_ASSERT_ON_QUEUE(queue) ((void)0)
#define QV_ASSERT_ON_RUN_LOOP(loop) ((void)0)
#else
#define QV_ASSERT_MAIN_THREAD() assert(NSThread::isMainThread() && "runs on the main thread only")
#define QV_ASSERT_ON_QUEUE(queue) \
    assert(DispatchQueue::current() != nullptr && DispatchQueue::current() == (queue) && "runs on its queue only")
#define QV_ASSERT_ON_RUN_LOOP(loop) \
    assert(NSRunLoop::currentRunLoop() == (loop) && "runs on its run loop's thread only")
#endif
