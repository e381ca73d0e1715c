#pragma once
// Threading rules as debug assertions: the entry of a method that may only run
// on the main thread, never on it, on one dispatch queue or on one run loop's
// thread states it with one of these. Release builds (NDEBUG) compile them to
// nothing.
//
//   QV_ASSERT_MAIN_THREAD();          // main thread only
//   QV_ASSERT_NOT_MAIN_THREAD();      // never on the main thread (it would block it)
//   QV_ASSERT_ON_QUEUE(ioQueue_);     // only inside a block of that queue
//   QV_ASSERT_ON_RUN_LOOP(runLoop);   // only on the thread of that run loop
//
// This header sits below every platform folder and includes none of them: the
// queue and run-loop forms name DispatchQueue and NSRunLoop, which the caller
// has included already (it holds the queue or loop it names).
#include <cassert>

#include "platform/base/MainThread.h"

#ifdef NDEBUG
#define QV_ASSERT_MAIN_THREAD() ((void)0)
#define QV_ASSERT_NOT_MAIN_THREAD() ((void)0)
#define QV_ASSERT_ON_QUEUE(queue) ((void)0)
#define QV_ASSERT_ON_RUN_LOOP(loop) ((void)0)
#else
#define QV_ASSERT_MAIN_THREAD() assert(isProcessMainThread() && "runs on the main thread only")
#define QV_ASSERT_NOT_MAIN_THREAD() assert(!isProcessMainThread() && "never runs on the main thread")
#define QV_ASSERT_ON_QUEUE(queue) \
    assert(DispatchQueue::current() != nullptr && DispatchQueue::current() == (queue) && "runs on its queue only")
#define QV_ASSERT_ON_RUN_LOOP(loop) \
    assert(NSRunLoop::currentRunLoop() == (loop) && "runs on its run loop's thread only")
#endif
