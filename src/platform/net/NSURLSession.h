#pragma once
// A URL session: a set of tasks sharing one configuration and one delegate.
//
// The session keeps its delegate until it becomes invalid: after
// finishTasksAndInvalidate (once the running tasks completed) or
// invalidateAndCancel (which cancels them), the delegate hears
// URLSessionDidBecomeInvalidWithError and is let go; no task can be made after
// either call (the makers answer null). Without a delegate queue the session
// makes a serial one; with any queue, delegate calls of one session run one at
// a time, in order.
//
// Transfers run on one loading thread shared by all sessions, over the same
// libcurl multi code and TLS trust path as NSURLConnection (a task's load is an
// NSURLConnection scheduled there). Server trust goes to the delegate's
// session-level challenge when it answers those, else to the task-level one,
// else the default handling (system roots and host name).
//
// Task lists never wait for the delegate queue: getTasksWithCompletionHandler
// takes the list at once and calls back on a global queue; tasks() answers at once.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/AnnotatedMutex.h"
#include "platform/dispatch/NSOperation.h"
#include "platform/net/NSURLSessionConfiguration.h"
#include "platform/net/NSURLSessionDelegate.h"
#include "platform/net/NSURLSessionTask.h"

class NSURLSession : public NSObject {
public:
    // A session with a copy of `configuration` (the default one for null).
    static NSURLSessionPtr sessionWithConfiguration(const NSURLSessionConfigurationPtr& configuration,
                                                    std::shared_ptr<NSURLSessionDelegate> delegate = nullptr,
                                                    std::shared_ptr<NSOperationQueue> delegateQueue = nullptr);
    NSURLSession(NSURLSessionConfigurationPtr configuration, std::shared_ptr<NSURLSessionDelegate> delegate,
                 std::shared_ptr<NSOperationQueue> delegateQueue);
    ~NSURLSession() override;

    // A copy: changing it does not change the session.
    NSURLSessionConfigurationPtr configuration() const { return configuration_->copy(); }
    // Null once the session became invalid.
    std::shared_ptr<NSURLSessionDelegate> delegate() const;
    const std::shared_ptr<NSOperationQueue>& delegateQueue() const { return delegateQueue_; }
    std::string sessionDescription() const;
    void setSessionDescription(std::string description);

    // Tasks, made suspended. Null for a null request, a file that cannot be
    // read, resume data that does not parse, or an invalidated session.
    std::shared_ptr<NSURLSessionDataTask> dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request);
    std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                  const std::string& fromFile);
    std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                  const Data& fromData);
    // The body comes from the request's HTTPBodyStream (its Content-Length, else chunked).
    std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request);
    std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request);
    std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithResumeData(const Data& resumeData);

    struct TaskLists {
        std::vector<std::shared_ptr<NSURLSessionDataTask>> dataTasks;  // upload tasks are not in here
        std::vector<std::shared_ptr<NSURLSessionUploadTask>> uploadTasks;
        std::vector<std::shared_ptr<NSURLSessionDownloadTask>> downloadTasks;
    };
    // The tasks not yet completed, in the order they were made.
    TaskLists tasks() const;
    void getTasksWithCompletionHandler(std::function<void(const TaskLists&)> completion) const;

    void finishTasksAndInvalidate();
    void invalidateAndCancel();

    // Internal to the URL session.
    // Runs `call` on the delegate queue after every call enqueued before it.
    void enqueueDelegateCall(std::function<void()> call);
    // A task completed (its last delegate call ran): it leaves the list.
    void taskCompleted(const std::shared_ptr<NSURLSessionTask>& task);
    // A data task became `download`: the download takes its place in the list.
    void replaceTask(const std::shared_ptr<NSURLSessionTask>& from, const std::shared_ptr<NSURLSessionTask>& to);
    std::shared_ptr<NSURLSessionDownloadTask> makeDownloadTask(const std::shared_ptr<NSURLRequest>& request);
    const NSURLSessionConfigurationPtr& settings() const { return configuration_; }

private:
    template <class T>
    std::shared_ptr<T> addTask(NSURLSessionTask::Kind kind, const std::shared_ptr<NSURLRequest>& request,
                               bool checkValid = true);
    void runDelegateCalls();
    void becomeInvalidIfDone();

    const NSURLSessionConfigurationPtr configuration_;
    const std::shared_ptr<NSOperationQueue> delegateQueue_;

    mutable AnnotatedMutex mutex_;  // guards the fields below
    std::shared_ptr<NSURLSessionDelegate> delegate_ QV_GUARDED_BY(mutex_);
    std::string description_ QV_GUARDED_BY(mutex_);
    unsigned long nextIdentifier_ QV_GUARDED_BY(mutex_) = 1;
    std::map<unsigned long, std::shared_ptr<NSURLSessionTask>> tasks_ QV_GUARDED_BY(mutex_);
    bool invalidating_ QV_GUARDED_BY(mutex_) = false;
    bool invalidated_ QV_GUARDED_BY(mutex_) = false;
    std::deque<std::function<void()>> calls_ QV_GUARDED_BY(mutex_);
    bool callsPosted_ QV_GUARDED_BY(mutex_) = false;
};
