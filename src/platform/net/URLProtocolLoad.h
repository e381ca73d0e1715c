#pragma once
// A request of an NSURLConnection answered by a URL protocol instance instead
// of the network. Internal to the URL-loading backing: the connection's load
// logic makes one when a registered NSURLProtocol class claims the request it
// is about to send (the first one or a redirect), and drops it when the load
// ends, fails or is cancelled.
//
// Threads: the instance is made, started and stopped on the connection's
// loading thread (the thread of the run loop it is scheduled in). Its client
// may report from any thread: each report is queued here, under the lock, and
// handed to the connection's delegate on the loading thread, in the order
// reported, in the connection's modes, and not while the load is held.
// Reports made after the load ended are dropped. stopLoading is called once,
// whatever ended the load.
#include <deque>
#include <memory>

#include "platform/foundation/AnnotatedMutex.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/net/NSURLProtocol.h"
#include "platform/net/NSURLResponse.h"

class NSURLConnection;

struct URLProtocolLoad {
    struct Report {
        enum class Kind { Response, Data, Finish, Fail } kind;
        std::shared_ptr<NSURLResponse> response;
        Data data;
        NSErrorPtr error;
    };

    // The loading thread's.
    std::shared_ptr<NSURLProtocol> protocol;
    bool stopped = false;

    AnnotatedMutex mutex;  // between the reporting thread and the loading thread
    // The connection, kept alive while the instance answers (as the network
    // keeps its loads); null once the load ended.
    std::shared_ptr<NSURLConnection> connection QV_GUARDED_BY(mutex);
    std::deque<Report> reports QV_GUARDED_BY(mutex);
    bool drainPosted QV_GUARDED_BY(mutex) = false;

    // Queues a report; returns the connection when a drain must be posted
    // (null: one is posted already, or the load ended). Any thread.
    std::shared_ptr<NSURLConnection> add(Report report) QV_EXCLUDES(mutex);
    // Takes the next report, if any; clears drainPosted when none is left.
    bool next(Report& report) QV_EXCLUDES(mutex);
    // Lets go of the connection and stops the instance, once. The loading thread.
    void stop() QV_EXCLUDES(mutex);
};
